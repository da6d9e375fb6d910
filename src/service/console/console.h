// The local web console: renders the service's state, routes the HTTP
// server's requests to the operator's actions and the job desk, enforces the
// console's security rules, and pushes changes to open pages as Server-Sent
// Events.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "service/console/jobs.h"
#include "service/console/console_settings.h"
#include "platform/event_loop.h"
#include "platform/http_server.h"
#include "service/operator_actions.h"
#include "service/service_state.h"

namespace console {

// Comments sent to open event streams while there are any, so a page that
// went away is noticed and its connection freed.
inline constexpr int64_t kKeepAliveMs = 25000;

// The JSON: the program's Windows-1252 texts turned into UTF-8 for the
// browser and back, and the shapes of the status, the jobs and a result.
std::string Utf8FromCp1252(const std::string& bytes);
// Characters that Windows-1252 cannot hold become "?"; broken UTF-8 too.
std::string Cp1252FromUtf8(const std::string& text);
// A document's body as the printer's Windows-1252 bytes, by its
// Content-Type: with "charset=utf-8" (any case), or a JSON type (UTF-8 by
// definition), it is converted; otherwise taken as it is. False, with the
// 1-based line in `*badLine`, at broken UTF-8 or a character Windows-1252
// cannot hold: nothing is guessed on a fiscal document.
bool DocumentBytes(const std::string& contentType, const std::string& body, std::string* out, size_t* badLine);

nlohmann::json StatusJson(const service::ServiceState& status);
nlohmann::json JobJson(const JobRecord& job);
nlohmann::json JobsJson(const std::vector<JobRecord>& jobs);
// {"outcome":"ok","receipt":{...},"out":[...]} or
// {"outcome":"error","code":"E503","message":"..."}.
nlohmann::json SubmitJson(const SubmitResult& result);
nlohmann::json ActionJson(const service::ActionResult& result);

// The one page, UTF-8 HTML with its CSS and script, nothing fetched from
// elsewhere and never the access token; `signedIn` false gives the read-only
// page with how to log in.
std::string ConsolePage(bool signedIn);
// The answer to a login link with a wrong token.
std::string LoginRefusedPage();

// /metrics in the Prometheus text format 0.0.4: job counts by port and
// outcome, a job duration histogram, and the status gauges. The duration
// buckets' upper bounds, in seconds (+Inf follows):
inline constexpr double kDurationBuckets[] = {0.5, 1, 2, 5, 10, 30, 60, 120};

// Counted since the program started, from the jobs the service reports.
struct JobMetrics {
  std::map<std::pair<int, std::string>, uint64_t> jobs;  // (port, outcome) -> count
  uint64_t bucketCounts[std::size(kDurationBuckets)] = {};  // not cumulative
  uint64_t count = 0;
  double sumSeconds = 0;
  int64_t lastJobTime = 0;

  void Add(const JobRecord& job);
};

std::string MetricsText(const JobMetrics& jobs, const service::ServiceState& status);

struct ConsoleConfig {
  int port = kDefaultPort;
  std::string address = "127.0.0.1";  // the listen address
  std::string token;
};

class Console {
 public:
  // `state` is the service's own, read as it is when a page asks.
  Console(platform::EventLoop& loop, const service::ServiceState& state, service::OperatorActions& actions,
          JobDesk& jobs, const ConsoleConfig& config);
  ~Console();

  // The HTTP server's handler.
  void Handle(const platform::HttpRequest& request, std::shared_ptr<platform::HttpResponder> responder);

  // The service published a change: open pages get the state once per turn
  // of the loop however many changes came, and each message box.
  void StateChanged(service::StateChange change);
  // A job ended, however it was submitted.
  void JobFinished(const JobRecord& job);

 private:
  void Route(const platform::HttpRequest& request, const std::shared_ptr<platform::HttpResponder>& responder);
  void SendPage(const platform::HttpRequest& request, platform::HttpResponder& responder);
  void SubmitJob(const platform::HttpRequest& request, const std::shared_ptr<platform::HttpResponder>& responder);
  void Act(const platform::HttpRequest& request, platform::HttpResponder& responder);
  void Subscribe(const std::shared_ptr<platform::HttpResponder>& responder);
  void Broadcast(const std::string& event);
  void KeepAlive();
  // The token header or a session cookie of ours.
  bool SignedIn(const platform::HttpRequest& request) const;
  void Login(const platform::HttpRequest& request, const std::shared_ptr<platform::HttpResponder>& responder);

  platform::EventLoop& loop_;
  const service::ServiceState& state_;
  service::OperatorActions& actions_;
  JobDesk& jobs_;
  ConsoleConfig config_;
  JobMetrics metrics_;
  std::vector<std::shared_ptr<platform::HttpResponder>> streams_;
  std::vector<std::string> sessions_;  // oldest first
  int keepAliveTimer_ = 0;
  int changeTimer_ = 0;
};

}  // namespace console
