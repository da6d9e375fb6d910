// Runs the console with a fixed stand-in for the job service, for trying the
// page by hand and for measuring the idle server: serves PORT for SECONDS,
// then prints the CPU time and the resident memory it used.
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

#include "service/console/console.h"
#include "platform/http_server.h"

namespace {

struct StandIn : service::OperatorActions, console::JobDesk {
  StandIn() {
    for (int i = 0; i < 4; ++i) state.ports[size_t(i)] = {i + 1, i == 0, i == 0, true, i == 0 ? "DUMP ESEGUITO" : "", i == 0 ? "99MEY012345" : "", i == 0 ? "RT" : ""};
    state.timerText = "1";
    state.intervalMs = 1000;
    state.detectionText = "PRONTO";
    state.programStatus = "QUILO1 IN ATTESA";
    state.configurationLocked = true;
  }
  std::vector<console::JobRecord> Jobs(int) override { return {{1700000000, 1, "ok", "TUTTO OK", "0042", 1800}}; }
  void SubmitJob(int, const std::string&, const std::string&, std::function<void(const console::SubmitResult&)> done) override {
    done({false, {}, {}, "E502", "E502: Nessuna porta di comunicazione disponibile"});
  }
  service::ActionResult TestReceipt() override { return {}; }
  service::ActionResult CancelReceipt() override { return {}; }
  service::ActionResult SetFastDetection(bool) override { return {}; }
  service::ActionResult SetTimerValue(const std::string&) override { return service::ActionResult::Refused("Valore non ammesso"); }
  service::ActionResult SetPortEnabled(int16_t, bool) override { return {}; }
  service::ActionResult SetOption(bool settings::Options::*, bool) override { return {}; }
  service::ActionResult ViewShown(bool) override { return {}; }
  void SubmitDocument(int16_t, const std::string&, std::function<void(const service::FinishedJob&)>, const std::string&) override {}
  void Unload() override {}
  bool Finished() const override { return false; }
  service::ServiceState state;
};

}  // namespace

int main(int argc, char** argv) {
  int port = argc > 1 ? std::atoi(argv[1]) : console::kDefaultPort;
  int seconds = argc > 2 ? std::atoi(argv[2]) : 5;
  auto loop = platform::EventLoop::Create();
  StandIn backend;
  console::Console web(*loop, backend.state, backend, backend, {port, "127.0.0.1", "0123456789abcdef0123456789abcdef"});
  std::string error;
  auto server = platform::HttpServer::Create(
      *loop, {"127.0.0.1", port}, [&](const auto& req, auto r) { web.Handle(req, std::move(r)); }, &error);
  if (!server) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("listening on 127.0.0.1:%d for %d s; login: http://127.0.0.1:%d/login?token=%s\n", server->Port(),
              seconds, server->Port(), "0123456789abcdef0123456789abcdef");
  std::fflush(stdout);
  int64_t rounds = 0;
  int64_t end = loop->NowMs() + int64_t(seconds) * 1000;
  while (loop->NowMs() < end) {
    loop->RunOnce(end - loop->NowMs());
    ++rounds;
  }
#ifdef _WIN32
  FILETIME c, e, k, u;
  GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
  auto ms = [](FILETIME f) { return ((int64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 10000; };
  std::printf("loop rounds %lld, cpu %lld ms\n", (long long)rounds, (long long)(ms(k) + ms(u)));
#else
  rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  std::printf("loop rounds %lld, cpu %ld ms, max rss %ld KiB\n", (long long)rounds,
              long(ru.ru_utime.tv_sec * 1000 + ru.ru_utime.tv_usec / 1000 + ru.ru_stime.tv_sec * 1000 + ru.ru_stime.tv_usec / 1000),
              long(ru.ru_maxrss));
#endif
  return 0;
}
