// Throughput of the printer link: status requests to the virtual printer
// over a pseudo-terminal, unpaced, with the CPU time of both ends.
#include <sys/resource.h>

#include <cstdio>

#include "ecr/link.h"
#include "platform/clock.h"
#include "virtual_ecr_process.h"

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  e2e::VirtualEcrProcess printer;
  std::string error;
  if (!printer.Start(VIRTUAL_ECR_PATH, {}, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  platform::SetSerialDevice(1, printer.slavePath());
  auto loop = platform::EventLoop::Create();
  auto port = platform::SerialPort::Create(*loop);
  settings::Options options;
  ecr::EcrLink link(*port, *loop, options, platform::Clock::Real());
  link.SetCurrentPort(1);
  link.Vexocx21_OpenPort();
  if (!link.IsPortOpen()) {
    std::fprintf(stderr, "cannot open %s: %s\n", printer.slavePath().c_str(), port->error().c_str());
    return 1;
  }

  const double childBefore = printer.CpuMs();
  rusage before, after;
  getrusage(RUSAGE_SELF, &before);
  const int64_t start = loop->NowMs();
  int failures = 0;
  for (int i = 0; i < count; ++i) failures += link.TrasmettiStringa("1009") != 0;
  const int64_t wall = loop->NowMs() - start;
  getrusage(RUSAGE_SELF, &after);
  const double childCpu = printer.CpuMs() - childBefore;

  auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
  const double selfCpu = ms(after.ru_utime) - ms(before.ru_utime) + ms(after.ru_stime) - ms(before.ru_stime);
  std::printf("requests: %d, failures: %d\n", count, failures);
  std::printf("wall time: %lld ms, %.0f requests/s\n", static_cast<long long>(wall),
              wall > 0 ? count * 1000.0 / double(wall) : 0.0);
  std::printf("CPU link: %.0f ms (%.1f us/request)\n", selfCpu, selfCpu * 1000.0 / count);
  std::printf("CPU virtual-ecr during the run (/proc, 10 ms ticks): %.0f ms\n", childCpu);
  link.Vexocx21_ClosePort();
  // Reaped, the child's whole life is counted to the microsecond.
  printer.Stop();
  rusage children;
  getrusage(RUSAGE_CHILDREN, &children);
  const double childTotal = ms(children.ru_utime) + ms(children.ru_stime);
  std::printf("CPU virtual-ecr whole run (RUSAGE_CHILDREN): %.1f ms (%.1f us/request)\n", childTotal,
              childTotal * 1000.0 / count);
  return failures == 0 ? 0 : 2;
}
