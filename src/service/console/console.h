// The local web console: renders the service's state, routes the HTTP
// server's requests to the operator's actions and the job desk, enforces the
// console's security rules, and pushes changes to open pages as Server-Sent
// Events.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "service/console/jobs.h"
#include "service/console/console_settings.h"
#include "service/console/metrics.h"
#include "platform/event_loop.h"
#include "platform/http_server.h"
#include "service/operator_actions.h"
#include "service/service_state.h"

namespace console {

inline constexpr const char* kTokenHeader = "X-Quilo1-Token";
// The page's credential: a session id given for the token by /login.
inline constexpr const char* kSessionCookie = "quilo1_session";
// Sessions kept at most; a login past that forgets the oldest.
inline constexpr size_t kMaxSessions = 64;
// Comments sent to open event streams while there are any, so a page that
// went away is noticed and its connection freed.
inline constexpr int64_t kKeepAliveMs = 25000;

struct ConsoleConfig {
  int port = kDefaultPort;
  std::string address = "127.0.0.1";  // the listen address
  std::string token;
};

// The rules every request passes before routing; 0 when it may go on, else
// the status to answer (400, 403, 413). `signedIn`: the request carries the
// token or a session, which a POST needs.
int CheckRequest(const ConsoleConfig& config, const platform::HttpRequest& request, bool signedIn);

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

  size_t subscribers() const { return streams_.size(); }

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
