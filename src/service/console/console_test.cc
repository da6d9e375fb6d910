// The console against a fake job service: routing, security rules, JSON,
// event streams, /metrics parsed back, and the settings file.
#include "service/console/console.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "service/console/console_settings.h"
#include "platform/secret_file.h"
#include "testing/fake_event_loop.h"
#include "testing/temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace console {
namespace {

using platform::HttpAnswer;
using platform::HttpRequest;

const char kToken[] = "0123456789abcdef0123456789abcdef";

struct FakeResponder : platform::HttpResponder {
  void Send(const HttpAnswer& a) override {
    if (!answered) answer = a, answered = true;
  }
  void StartStream(const std::string& type, const std::vector<platform::HttpHeader>& h) override {
    streaming = true;
    answer.contentType = type;
    answer.headers = h;
  }
  void Push(const std::string& bytes) override { stream += bytes; }
  void Finish() override {}
  bool Gone() const override { return gone; }
  void OnGone(std::function<void()> fn) override { onGone = std::move(fn); }
  void Leave() {
    gone = true;
    if (onGone) onGone();
  }
  bool answered = false, streaming = false, gone = false;
  HttpAnswer answer;
  std::string stream;
  std::function<void()> onGone;
};

struct FakeBackend : service::OperatorActions, JobDesk {
  std::vector<JobRecord> Jobs(int limit) override {
    lastLimit = limit;
    return jobs;
  }
  void SubmitJob(int port, const std::string& doc, const std::string& key,
                 std::function<void(const SubmitResult&)> done) override {
    submitted.push_back({port, doc});
    keys.push_back(key);
    pending = std::move(done);
  }
  service::ActionResult TestReceipt() override { return {}; }
  service::ActionResult CancelReceipt() override { return {}; }
  service::ActionResult SetFastDetection(bool fast) override {
    status.fastDetection = fast;
    return {};
  }
  service::ActionResult SetTimerValue(const std::string& text) override {
    timerText = text;
    return service::ActionResult::Refused("Connessione in corso, valore non accettato");
  }
  service::ActionResult SetPortEnabled(int16_t port, bool ticked) override {
    status.ports[size_t(port - 1)].ticked = ticked;
    return {};
  }
  service::ActionResult SetOption(bool settings::Options::*, bool) override { return {}; }
  service::ActionResult ViewShown(bool) override { return {}; }
  void SubmitDocument(int16_t, const std::string&, std::function<void(const service::FinishedJob&)>,
                      const std::string&) override {}
  void Unload() override {}
  bool Finished() const override { return false; }
  service::ServiceState status;
  std::vector<JobRecord> jobs;
  std::vector<std::pair<int, std::string>> submitted;
  std::vector<std::string> keys;
  std::function<void(const SubmitResult&)> pending;
  int lastLimit = 0;
  std::string timerText;
};

class ConsoleTest : public ::testing::Test {
 protected:
  ConsoleTest() {
    backend.status.ports[0] = {1, true, true, true, "DUMP ESEGUITO", "99MEY012345", "RT"};
    backend.status.programStatus = "QUILO1 TERMINATO : TUTTO OK";
    backend.status.printerMessage = "Caff\xE8 \x80";  // Windows-1252 bytes
  }
  std::shared_ptr<FakeResponder> Ask(const std::string& method, const std::string& target, const std::string& body = "",
                                     std::vector<platform::HttpHeader> extra = {}) {
    HttpRequest r;
    r.method = method;
    r.path = target.substr(0, target.find('?'));
    if (target.find('?') != std::string::npos) r.query = target.substr(target.find('?') + 1);
    r.headers = {{"Host", "127.0.0.1:8731"}};
    if (method == "POST") r.headers.push_back({"x-quilo1-token", kToken});
    for (auto& h : extra) {
      // Replaces the header of that name, whatever its case.
      std::erase_if(r.headers, [&](const auto& o) {
        return o.name.size() == h.name.size() &&
               std::equal(o.name.begin(), o.name.end(), h.name.begin(), [](char a, char b) { return (a | 0x20) == (b | 0x20); });
      });
      r.headers.push_back(h);
    }
    r.body = body;
    r.bodyTooLarge = body.size() > (1u << 20);
    if (r.bodyTooLarge) r.body.clear();
    auto resp = std::make_shared<FakeResponder>();
    console.Handle(r, resp);
    all.push_back(resp);
    return resp;
  }
  static nlohmann::json Body(const std::shared_ptr<FakeResponder>& r) { return nlohmann::json::parse(r->answer.body); }

  testing_support::FakeEventLoop loop;
  FakeBackend backend;
  Console console{loop, backend.status, backend, backend, ConsoleConfig{8731, "127.0.0.1", kToken}};
  std::vector<std::shared_ptr<FakeResponder>> all;
};

TEST_F(ConsoleTest, ReadsStatusJobsAndPage) {
  backend.jobs = {{1700000000, 1, "E503", "Scontrino aperto", "", 2500}, {1699999000, 2, "ok", "TUTTO OK", "0042", 800}};
  auto status = Body(Ask("GET", "/api/status"));
  EXPECT_EQ(status["ports"][0]["dump"], "DUMP ESEGUITO");
  EXPECT_EQ(status["ports"][0]["mode"], "RT");
  EXPECT_EQ(status["printerMessage"], "Caff\xC3\xA8 \xE2\x82\xAC");
  auto jobs = Ask("GET", "/api/jobs?limit=5");
  EXPECT_EQ(backend.lastLimit, 5);
  EXPECT_EQ(Body(jobs)["jobs"][1]["receipt"], "0042");
  EXPECT_TRUE(Body(jobs)["jobs"][0]["receipt"].is_null());
  EXPECT_EQ(Ask("GET", "/api/jobs?limit=0")->answer.status, 400);
  auto page = Ask("GET", "/");
  EXPECT_EQ(page->answer.status, 200);
  EXPECT_EQ(page->answer.body.find(kToken), std::string::npos) << "the page gives the token away";
  EXPECT_NE(page->answer.body.find("Notifica (Fast)"), std::string::npos);
  EXPECT_EQ(Ask("GET", "/nowhere")->answer.status, 404);
  EXPECT_EQ(Ask("DELETE", "/api/jobs")->answer.status, 405);
  EXPECT_EQ(Ask("GET", "/api/actions/timer")->answer.status, 405);
}

TEST_F(ConsoleTest, SubmitsJobsAndAnswersWhenThePrinterHas) {
  auto ok = Ask("POST", "/api/jobs?port=2", "PRNT,testo\r\n");
  ASSERT_EQ(backend.submitted.size(), 1u);
  EXPECT_EQ(backend.submitted[0], (std::pair<int, std::string>{2, "PRNT,testo\r\n"}));
  EXPECT_FALSE(ok->answered);
  backend.pending({true, {{"number", "0042"}}, {"12:00", "0042"}, "", ""});
  EXPECT_EQ(ok->answer.status, 200);
  EXPECT_EQ(Body(ok), nlohmann::json::parse(R"({"outcome":"ok","receipt":{"number":"0042"},"out":["12:00","0042"]})"));

  auto err = Ask("POST", "/api/jobs", "x");
  EXPECT_EQ(backend.submitted[1].first, 0);
  backend.pending({false, {}, {}, "E503", "E503: Scontrino aperto, chiudere e riavviare l'esecuzione : ERRORE 16"});
  EXPECT_EQ(err->answer.status, 422);
  EXPECT_EQ(Body(err)["code"], "E503");
  EXPECT_EQ(Body(err)["outcome"], "error");

  // The port's queue is full: 503, and when to try again.
  auto full = Ask("POST", "/api/jobs?port=1", "x");
  backend.pending({false, {}, {}, "busy", "Stampante occupata", 5});
  EXPECT_EQ(full->answer.status, 503);
  EXPECT_EQ(Body(full)["code"], "busy");
  EXPECT_EQ(std::count_if(full->answer.headers.begin(), full->answer.headers.end(),
                          [](const auto& h) { return h.name == "Retry-After" && h.value == "5"; }),
            1);

  EXPECT_EQ(Ask("POST", "/api/jobs?port=5", "x")->answer.status, 400);
  EXPECT_EQ(Ask("POST", "/api/jobs", "")->answer.status, 422);
  EXPECT_EQ(backend.submitted.size(), 3u);
}

TEST_F(ConsoleTest, KeysAndTextEncodingOfADocument) {
  // Each row: headers, body; the status at once (0: handed to the service
  // with `sent` and `key`), or the code of the 422.
  struct Row {
    std::vector<platform::HttpHeader> headers;
    std::string body;
    int status;
    std::string sent{}, key{}, code{};
  };
  const std::string k64(64, 'k');
  const Row rows[] = {
      {{}, "PRNT,CAFF\xC8\r\n", 0, "PRNT,CAFF\xC8\r\n", ""},  // no charset: the bytes as they are
      {{{"Content-Type", "text/plain; Charset=\"UTF-8\""}}, "PRNT,CAFF\xC3\x88 \xE2\x82\xAC\r\n", 0,
       "PRNT,CAFF\xC8 \x80\r\n", ""},
      {{{"Content-Type", "application/json"}}, "\xEF\xBB\xBFPRNT,\xC3\xA8", 0, "PRNT,\xE8", ""},
      {{{"Content-Type", "text/plain; charset=windows-1252"}}, "PRNT,\xC8", 0, "PRNT,\xC8", ""},
      {{{"Content-Type", "text/plain;charset=utf-8"}}, "A\r\nB\r\nPRNT,\xE2\x80\xA0\xE2\x82\xBD\r\n", 422, "", "",
       "E513: Carattere non stampabile in Windows-1252 alla riga 3"},  // U+20BD
      {{{"Content-Type", "text/plain;charset=utf-8"}}, "A\nPRNT,CAFF\xC8\n", 422, "", "",
       "E513: Carattere non stampabile in Windows-1252 alla riga 2"},  // Latin-1, not UTF-8
      {{{"Content-Type", "text/plain;charset=utf-8"}}, "PRNT,\xC2\x85", 422, "", "",
       "E513: Carattere non stampabile in Windows-1252 alla riga 1"},  // a C1 control
      {{}, " \r\n\t\r\n", 422, "", "", "E511: Documento senza righe da stampare"},
      {{{"Idempotency-Key", "a"}}, "x", 0, "x", "a"},
      {{{"idempotency-key", k64}}, "x", 0, "x", k64},
      {{{"Idempotency-Key", ""}}, "x", 400},
      {{{"Idempotency-Key", k64 + "k"}}, "x", 400},
      {{{"Idempotency-Key", "two words"}}, "x", 400},
      {{{"Idempotency-Key", "caff\xE8"}}, "x", 400},
      {{{"Idempotency-Key", "a"}, {"Idempotency-Key", "b"}}, "x", 400},
  };
  for (const Row& row : rows) {
    const std::string name = row.body + " " + (row.headers.empty() ? "" : row.headers[0].value);
    const size_t before = backend.submitted.size();
    HttpRequest r;
    r.method = "POST";
    r.path = "/api/jobs";
    r.headers = {{"Host", "127.0.0.1:8731"}, {"X-Quilo1-Token", kToken}};
    r.headers.insert(r.headers.end(), row.headers.begin(), row.headers.end());
    r.body = row.body;
    auto resp = std::make_shared<FakeResponder>();
    console.Handle(r, resp);
    if (row.status) {
      EXPECT_EQ(resp->answer.status, row.status) << name;
      EXPECT_EQ(backend.submitted.size(), before) << name;
      if (!row.code.empty()) {
        EXPECT_EQ(Body(resp)["message"], row.code) << name;
      }
      continue;
    }
    ASSERT_EQ(backend.submitted.size(), before + 1) << name;
    EXPECT_EQ(backend.submitted.back().second, row.sent) << name;
    EXPECT_EQ(backend.keys.back(), row.key) << name;
  }
  // The service's answers: a key met with another document, a job that
  // closed no receipt.
  auto conflict = Ask("POST", "/api/jobs", "x", {{"Idempotency-Key", "a"}});
  SubmitResult refused;
  refused.code = "conflict", refused.message = "altro documento", refused.conflict = true;
  backend.pending(refused);
  EXPECT_EQ(conflict->answer.status, 409);
  EXPECT_EQ(Body(conflict)["code"], "conflict");
  auto none = Ask("POST", "/api/jobs", "PRNT,testo");
  backend.pending({true, {}, {"DATE,07/12/26  SCONTR. N.0001-0027,E,A1;"}, "", ""});
  EXPECT_EQ(none->answer.status, 200);
  EXPECT_TRUE(Body(none)["receipt"].is_null()) << none->answer.body;
}

TEST_F(ConsoleTest, SecurityRules) {
  // Each row: method, path, header replaced, body; the status expected.
  struct Row {
    const char* method;
    const char* path;
    platform::HttpHeader header;
    size_t bodySize;
    int status;
  } rows[] = {
      {"GET", "/api/status", {"Host", "localhost:8731"}, 0, 200},
      {"GET", "/api/status", {"Host", "evil.example:8731"}, 0, 403},
      {"GET", "/api/status", {"Host", "127.0.0.1:80"}, 0, 403},
      {"GET", "/", {"Host", ""}, 0, 403},
      {"POST", "/api/actions/test-receipt", {"X-Quilo1-Token", ""}, 0, 403},
      {"POST", "/api/actions/test-receipt", {"X-Quilo1-Token", "0123456789abcdef0123456789abcdee"}, 0, 403},
      {"POST", "/api/actions/test-receipt", {"X-Other", "1"}, 0, 200},
      {"POST", "/api/jobs", {"Host", "attacker:8731"}, 10, 403},
      {"POST", "/api/jobs", {"X-Other", "1"}, (1u << 20) + 1, 413},
  };
  for (const auto& row : rows) {
    auto r = Ask(row.method, row.path, std::string(row.bodySize, 'x'), {row.header});
    EXPECT_EQ(r->answer.status, row.status) << row.method << " " << row.path << " " << row.header.name << ": "
                                            << row.header.value;
  }
  EXPECT_EQ(backend.submitted.size(), 0u);
  // No answer of any kind opens the console to other origins.
  for (const auto& r : all) {
    for (const auto& h : r->answer.headers) EXPECT_EQ(h.name.rfind("Access-Control", 0), std::string::npos) << h.name;
  }
}

TEST_F(ConsoleTest, ActionsAndEventStream) {
  auto events = Ask("GET", "/api/events");
  EXPECT_TRUE(events->streaming);
  EXPECT_EQ(events->answer.contentType, "text/event-stream");
  EXPECT_NE(events->stream.find("event: status\ndata: {"), std::string::npos);
  events->stream.clear();

  auto fast = Ask("POST", "/api/actions/detection", R"({"fast":true})");
  EXPECT_EQ(Body(fast)["outcome"], "ok");
  EXPECT_TRUE(backend.status.fastDetection);
  auto timer = Ask("POST", "/api/actions/timer", "{\"value\":\"0,5\xC3\xA8\"}");
  EXPECT_EQ(timer->answer.status, 422);
  EXPECT_EQ(Body(timer)["message"], "Connessione in corso, valore non accettato");
  EXPECT_EQ(backend.timerText, "0,5\xE8");
  EXPECT_EQ(Ask("POST", "/api/actions/port", R"({"port":3,"ticked":true})")->answer.status, 200);
  EXPECT_TRUE(backend.status.ports[2].ticked);
  EXPECT_EQ(Ask("POST", "/api/actions/port", R"({"port":9,"ticked":true})")->answer.status, 400);
  EXPECT_EQ(Ask("POST", "/api/actions/timer", "{nope")->answer.status, 400);

  // Changes in one turn of the loop make one status event.
  console.StateChanged({service::Shown::kProgramStatus});
  console.StateChanged({service::Shown::kDumpState, 1});
  loop.RunOnce(0);
  console.JobFinished({1700000000, 1, "ok", "TUTTO OK", "0001", 1200});
  backend.status.lastMessage = "Valore non ammesso";
  console.StateChanged({service::Shown::kMessage});
  std::istringstream lines(events->stream);
  std::vector<std::string> kinds;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("event: ", 0) == 0) kinds.push_back(line.substr(7));
  }
  EXPECT_EQ(kinds, (std::vector<std::string>{"status", "job", "message"}));

  // Keep-alive comments only while a page listens, and none after it left.
  loop.RunOnce(kKeepAliveMs);
  EXPECT_NE(events->stream.find("\n: \n\n"), std::string::npos);
  events->Leave();
  int64_t before = loop.NowMs();
  loop.RunOnce(3 * kKeepAliveMs);
  EXPECT_EQ(loop.NowMs(), before + 3 * kKeepAliveMs) << "a keep-alive timer is still armed";
}

TEST_F(ConsoleTest, LoginLinkTradesTheTokenForASessionCookie) {
  auto cookieOf = [](const std::shared_ptr<FakeResponder>& r) {
    for (const auto& h : r->answer.headers) {
      if (h.name == "Set-Cookie") return h.value;
    }
    return std::string();
  };
  const platform::HttpHeader noToken{"X-Quilo1-Token", ""};
  auto wrong = Ask("GET", "/login?token=0123456789abcdef0123456789abcdee");
  EXPECT_EQ(wrong->answer.status, 403);
  EXPECT_EQ(cookieOf(wrong), "");
  EXPECT_EQ(Ask("GET", "/login")->answer.status, 403);

  auto login = Ask("GET", std::string("/login?token=") + kToken);
  EXPECT_EQ(login->answer.status, 303);
  std::string cookie = cookieOf(login);
  ASSERT_EQ(cookie.rfind("quilo1_session=", 0), 0u) << cookie;
  EXPECT_NE(cookie.find("; HttpOnly; SameSite=Strict; Path=/"), std::string::npos) << cookie;
  std::string id = cookie.substr(15, cookie.find(';') - 15);
  EXPECT_TRUE(IsToken(id)) << id;
  EXPECT_NE(id, kToken);
  EXPECT_NE(cookieOf(Ask("GET", std::string("/login?token=") + kToken)), cookie) << "session ids repeat";
  bool toRoot = false;
  for (const auto& h : login->answer.headers) toRoot |= h.name == "Location" && h.value == "/";
  EXPECT_TRUE(toRoot);

  // Each row: the credential a POST carries; the status expected.
  struct Row {
    std::vector<platform::HttpHeader> headers;
    int status;
  } rows[] = {
      {{noToken}, 403},
      {{noToken, {"Cookie", "quilo1_session=" + std::string(kToken)}}, 403},
      {{noToken, {"Cookie", "quilo1_session=" + id.substr(0, 31) + "0"}}, 403},
      {{noToken, {"Cookie", "other=1; quilo1_session=" + id}, {"Origin", "http://127.0.0.1:8731"}}, 200},
      {{noToken, {"Cookie", "quilo1_session=" + id}}, 403},  // no Origin: not from a browser's page
      {{noToken, {"Cookie", "quilo1_session=" + id}, {"Origin", "http://127.0.0.1:9999"}}, 403},  // same site, other port
      {{noToken, {"Cookie", "quilo1_session=" + id}, {"Origin", "null"}}, 403},
      {{noToken, {"Cookie", "quilo1_session=" + id}, {"Origin", "http://evil.example:8731"}, {"Host", "evil.example:8731"}}, 403},
      {{}, 200},  // the API client's header
  };
  for (const auto& row : rows) {
    auto r = Ask("POST", "/api/actions/test-receipt", "", row.headers);
    std::string sent;
    for (const auto& h : row.headers) sent += h.name + ": " + h.value + "; ";
    EXPECT_EQ(r->answer.status, row.status) << sent;
  }
  // The page offers its actions only to a session.
  EXPECT_NE(Ask("GET", "/", "", {{"Cookie", "quilo1_session=" + id}})->answer.body.find("signedIn=true"), std::string::npos);
  auto anonymous = Ask("GET", "/")->answer.body;
  EXPECT_NE(anonymous.find("signedIn=false"), std::string::npos);
  EXPECT_NE(anonymous.find("quilo1-console"), std::string::npos);
}

TEST_F(ConsoleTest, TwoHostHeadersAreRefused) {
  HttpRequest r;
  r.method = "GET";
  r.path = "/api/status";
  r.headers = {{"Host", "127.0.0.1:8731"}, {"host", "127.0.0.1:8731"}};
  auto resp = std::make_shared<FakeResponder>();
  console.Handle(r, resp);
  EXPECT_EQ(resp->answer.status, 400);
}

// Parses the exposition format back: every sample's name{labels} -> value,
// and checks that each sample's family was announced by HELP and TYPE.
std::map<std::string, double> ParseMetrics(const std::string& text) {
  std::map<std::string, double> samples;
  std::map<std::string, int> announced;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# HELP ", 0) == 0 || line.rfind("# TYPE ", 0) == 0) {
      std::string name = line.substr(7, line.find(' ', 7) - 7);
      announced[name]++;
      continue;
    }
    size_t space = line.rfind(' ');
    EXPECT_NE(space, std::string::npos) << line;
    std::string key = line.substr(0, space);
    std::string family = key.substr(0, key.find('{'));
    for (const char* suffix : {"_bucket", "_sum", "_count"}) {
      std::string s = suffix;
      if (family.size() > s.size() && family.ends_with(s) && !announced.count(family)) family.resize(family.size() - s.size());
    }
    EXPECT_EQ(announced[family], 2) << "no HELP and TYPE for " << line;
    samples[key] = std::stod(line.substr(space + 1));
  }
  return samples;
}

TEST_F(ConsoleTest, MetricsParseBack) {
  backend.status.paperEndWaits = 3;
  console.JobFinished({1700000000, 1, "ok", "", "", 400});
  console.JobFinished({1700000100, 1, "E503", "", "", 7000});
  console.JobFinished({1700000050, 1, "E503", "", "", 200000});
  auto r = Ask("GET", "/metrics");
  EXPECT_EQ(r->answer.contentType.rfind("text/plain; version=0.0.4", 0), 0u);
  auto m = ParseMetrics(r->answer.body);
  EXPECT_EQ(m["quilo1_jobs_total{port=\"1\",outcome=\"ok\"}"], 1);
  EXPECT_EQ(m["quilo1_jobs_total{port=\"1\",outcome=\"E503\"}"], 2);
  EXPECT_EQ(m["quilo1_job_duration_seconds_bucket{le=\"0.5\"}"], 1);
  EXPECT_EQ(m["quilo1_job_duration_seconds_bucket{le=\"10\"}"], 2);
  EXPECT_EQ(m["quilo1_job_duration_seconds_bucket{le=\"120\"}"], 2);
  EXPECT_EQ(m["quilo1_job_duration_seconds_bucket{le=\"+Inf\"}"], 3);
  EXPECT_DOUBLE_EQ(m["quilo1_job_duration_seconds_sum"], 207.4);
  EXPECT_EQ(m["quilo1_job_duration_seconds_count"], 3);
  EXPECT_EQ(m["quilo1_printer_identified{port=\"1\"}"], 1);
  EXPECT_EQ(m["quilo1_printer_identified{port=\"2\"}"], 0);
  EXPECT_EQ(m["quilo1_port_available{port=\"1\"}"], 1);
  EXPECT_EQ(m["quilo1_paper_end_waits_total"], 3);
  EXPECT_EQ(m.count("quilo1_journal_recoveries_total"), 1u);
  EXPECT_EQ(m["quilo1_last_job_timestamp_seconds"], 1700000100);
}

TEST(ConsoleSettingsTest, Lines) {
  struct Row {
    std::vector<std::string> lines;
    bool enabled;
    int port;
    const char* address;
    bool warned;
  } rows[] = {
      {{}, true, 8731, "127.0.0.1", false},
      {{"0\r"}, false, 8731, "127.0.0.1", false},
      {{"1", " 9000", "127.0.0.2"}, true, 9000, "127.0.0.2", false},
      {{"1", "70000", ""}, true, 8731, "127.0.0.1", true},
      {{"1", "80x"}, true, 8731, "127.0.0.1", true},
      {{"1", "8731", "192.168.1.5"}, true, 8731, "127.0.0.1", true},
      {{"1", "8731", "192.168.1.5", "1"}, true, 8731, "192.168.1.5", false},
      {{"1", "8731", "localhost", "1"}, true, 8731, "127.0.0.1", true},
      {{"1", "8731", "1.2.3.256", "1"}, true, 8731, "127.0.0.1", true},
  };
  for (const auto& row : rows) {
    ConsoleSettings s = ParseConsoleSettings(row.lines);
    EXPECT_EQ(s.enabled, row.enabled);
    EXPECT_EQ(s.port, row.port);
    EXPECT_EQ(s.address, row.address);
    EXPECT_EQ(!s.warning.empty(), row.warned) << s.warning;
  }
  EXPECT_TRUE(IsToken(TokenFromBytes(std::string("\x01\xff\x10\x00\x01\xff\x10\x00\x01\xff\x10\x00\x01\xff\x10\x00", 16))));
  EXPECT_EQ(Cp1252FromUtf8(Utf8FromCp1252(std::string("\x80\x8a\x9f\xe8\x81 A", 7))), std::string("\x80\x8a\x9f\xe8\x81 A", 7));
}

// On Windows the token is the user's, outside the program folder that users
// may not create files in; on POSIX it stays in the program folder.
TEST(ConsoleSettingsTest, TokenFileMadeOnceAndKept) {
  testing_support::ScopedTempDir dir;
  const std::string folder = platform::SecretFolder(dir.path());
  const std::string path = folder + platform::kPathSeparator + kTokenFile;
#ifdef _WIN32
  EXPECT_NE(folder, dir.path());
  EXPECT_NE(folder.find("Quilo1"), std::string::npos) << folder;
  std::remove(path.c_str());
#else
  EXPECT_EQ(folder, dir.path());
#endif
  std::string first, second, error;
  ASSERT_TRUE(LoadOrCreateToken(dir.path(), &first, &error)) << error;
  EXPECT_TRUE(IsToken(first));
  EXPECT_EQ(testing_support::ReadFileBytes(path), first + "\r\n");
#ifndef _WIN32
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
#endif
  ASSERT_TRUE(LoadOrCreateToken(dir.path(), &second, &error));
  EXPECT_EQ(second, first);
  // A damaged file is replaced by a fresh token.
  testing_support::WriteFileBytes(path, "short\r\n");
  ASSERT_TRUE(LoadOrCreateToken(dir.path(), &second, &error));
  EXPECT_TRUE(IsToken(second));
  EXPECT_NE(second, first);
}

}  // namespace
}  // namespace console
