// Routing, security rules and event streams of the web console.
#include "service/console/console.h"

#include <algorithm>
#include <cstdlib>

#include "platform/secret_file.h"

namespace console {
namespace {

using platform::HttpAnswer;
using platform::HttpRequest;
using platform::HttpResponder;

std::string Dump(const nlohmann::json& j) { return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace); }

const char kTokenHeader[] = "X-Quilo1-Token";
// The page's credential: a session id given for the token by /login.
const char kSessionCookie[] = "quilo1_session";
// Sessions kept at most; a login past that forgets the oldest.
const size_t kMaxSessions = 64;

HttpAnswer Json(int status, const nlohmann::json& j) {
  return {status, "application/json", {{"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}}, Dump(j)};
}

// A refusal; a document refused before it is queued names its code too.
HttpAnswer Problem(int status, const std::string& message, const char* code = nullptr) {
  nlohmann::json j = {{"outcome", "error"}, {"message", message}};
  if (code) j["code"] = code;
  return Json(status, j);
}

// Compares in time independent of where the texts differ.
bool SameSecret(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= (unsigned char)(a[i] ^ b[i]);
  return diff == 0;
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return (x | 0x20) == (y | 0x20); });
}

// The value of `name` in a query, undecoded; empty when absent.
std::string QueryValue(const std::string& query, const std::string& name) {
  size_t i = 0;
  while (i <= query.size()) {
    size_t j = query.find('&', i);
    if (j == std::string::npos) j = query.size();
    std::string pair = query.substr(i, j - i);
    if (pair.rfind(name + "=", 0) == 0) return pair.substr(name.size() + 1);
    i = j + 1;
  }
  return {};
}

// A whole number within [lo, hi], else `fallback`; `*bad` set when present but wrong.
int NumberIn(const std::string& text, int lo, int hi, int fallback, bool* bad) {
  if (text.empty()) return fallback;
  if (text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) {
    *bad = true;
    return fallback;
  }
  int n = std::atoi(text.c_str());
  if (n < lo || n > hi) *bad = true;
  return n < lo || n > hi ? fallback : n;
}

// The Idempotency-Key header: true when absent (`*key` empty) or one of 1 to
// 64 visible ASCII characters; false when malformed or sent twice.
bool IdempotencyKey(const HttpRequest& request, std::string* key) {
  int found = 0;
  for (const auto& h : request.headers) {
    if (!SameName(h.name, "Idempotency-Key")) continue;
    *key = h.value;
    ++found;
  }
  if (!found) return true;
  if (found > 1 || key->empty() || key->size() > 64) return false;
  for (unsigned char c : *key)
    if (c < 0x21 || c > 0x7E) return false;
  return true;
}

std::string Event(const char* name, const nlohmann::json& data) {
  return std::string("event: ") + name + "\ndata: " + Dump(data) + "\n\n";
}

// The rules every request passes before routing: 0 when it may go on, else
// the status to answer. `signedIn`: the request carries the token or a
// session, which a POST needs.
int CheckRequest(const ConsoleConfig& config, const HttpRequest& request, bool signedIn) {
  // Two Host headers may be read differently by a proxy and by us.
  int hosts = 0;
  for (const auto& h : request.headers) hosts += SameName(h.name, "Host") ? 1 : 0;
  if (hosts > 1) return 400;
  std::string port = ":" + std::to_string(config.port);
  std::string host = request.Header("Host");
  // A name the browser resolved itself (DNS rebinding) never matches.
  bool hostOk = host == "127.0.0.1" + port || host == "localhost" + port ||
                (config.address != "127.0.0.1" && host == config.address + port);
  if (!hostOk) return 403;
  if (request.method == "POST" && !signedIn) return 403;
  if (request.bodyTooLarge) return 413;
  return 0;
}

}  // namespace

Console::Console(platform::EventLoop& loop, const service::ServiceState& state, service::OperatorActions& actions,
                 JobDesk& jobs, const ConsoleConfig& config)
    : loop_(loop), state_(state), actions_(actions), jobs_(jobs), config_(config) {}

Console::~Console() {
  if (keepAliveTimer_) loop_.CancelTimer(keepAliveTimer_);
  if (changeTimer_) loop_.CancelTimer(changeTimer_);
  for (auto& s : streams_) {
    s->OnGone([] {});
    s->Finish();
  }
}

void Console::Handle(const HttpRequest& request, std::shared_ptr<HttpResponder> responder) {
  switch (CheckRequest(config_, request, SignedIn(request))) {
    case 0: return Route(request, responder);
    case 400: return responder->Send(Problem(400, "Richiesta non valida"));
    case 403: return responder->Send(Problem(403, "Accesso negato"));
    default: return responder->Send(Problem(413, "Documento troppo grande"));
  }
}

void Console::Route(const HttpRequest& request, const std::shared_ptr<HttpResponder>& responder) {
  const std::string& path = request.path;
  bool get = request.method == "GET";
  bool post = request.method == "POST";
  bool getPath = path == "/" || path == "/login" || path == "/api/status" || path == "/api/events" || path == "/metrics";
  bool postPath = path.rfind("/api/actions/", 0) == 0;
  if (path == "/api/jobs" ? !(get || post) : getPath ? !get : postPath ? !post : false) {
    HttpAnswer a = Problem(405, "Metodo non consentito");
    a.headers.push_back({"Allow", getPath ? "GET" : postPath ? "POST" : "GET, POST"});
    responder->Send(a);
    return;
  }
  if (path == "/") {
    SendPage(request, *responder);
  } else if (path == "/login") {
    Login(request, responder);
  } else if (path == "/api/status") {
    responder->Send(Json(200, StatusJson(state_)));
  } else if (path == "/api/jobs" && get) {
    bool bad = false;
    int limit = NumberIn(QueryValue(request.query, "limit"), 1, 1000, 100, &bad);
    responder->Send(bad ? Problem(400, "limit: da 1 a 1000") : Json(200, JobsJson(jobs_.Jobs(limit))));
  } else if (path == "/api/jobs") {
    SubmitJob(request, responder);
  } else if (path == "/api/events") {
    Subscribe(responder);
  } else if (path == "/metrics") {
    responder->Send({200, "text/plain; version=0.0.4; charset=utf-8", {{"Cache-Control", "no-store"}},
                     MetricsText(metrics_, state_)});
  } else if (postPath) {
    Act(request, *responder);
  } else {
    responder->Send(Problem(404, "Pagina non trovata"));
  }
}

void Console::SendPage(const HttpRequest& request, HttpResponder& responder) {
  responder.Send({200, "text/html; charset=utf-8",
                  {{"Cache-Control", "no-store"},
                   {"X-Content-Type-Options", "nosniff"},
                   {"X-Frame-Options", "DENY"},
                   {"Content-Security-Policy",
                    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; connect-src 'self'; "
                    "frame-ancestors 'none'"}},
                  ConsolePage(SignedIn(request))});
}

void Console::SubmitJob(const HttpRequest& request, const std::shared_ptr<HttpResponder>& responder) {
  bool bad = false;
  int port = NumberIn(QueryValue(request.query, "port"), 0, 4, 0, &bad);
  if (bad) {
    responder->Send(Problem(400, "port: da 1 a 4"));
    return;
  }
  std::string key;
  if (!IdempotencyKey(request, &key)) {
    responder->Send(Problem(400, "Idempotency-Key: da 1 a 64 caratteri ASCII visibili"));
    return;
  }
  std::string document;
  size_t badLine = 0;
  if (!DocumentBytes(request.Header("Content-Type"), request.body, &document, &badLine)) {
    responder->Send(
        Problem(422, "E513: Carattere non stampabile in Windows-1252 alla riga " + std::to_string(badLine), "E513"));
    return;
  }
  if (document.find_first_not_of(" \t\r\n") == std::string::npos) {
    responder->Send(Problem(422, "E511: Documento senza righe da stampare", "E511"));
    return;
  }
  jobs_.SubmitJob(port, document, key, [responder](const SubmitResult& r) {
    HttpAnswer a = Json(r.ok ? 200 : r.retryAfterS > 0 ? 503 : r.conflict ? 409 : 422, SubmitJson(r));
    if (r.retryAfterS > 0) a.headers.push_back({"Retry-After", std::to_string(r.retryAfterS)});
    responder->Send(a);
  });
}

// The operator's actions; a port box the service shut out is refused there.
void Console::Act(const HttpRequest& request, HttpResponder& responder) {
  nlohmann::json body = request.body.empty() ? nlohmann::json::object() : nlohmann::json::parse(request.body, nullptr, false);
  if (body.is_discarded() || !body.is_object()) {
    responder.Send(Problem(400, "JSON non valido"));
    return;
  }
  std::string action = request.path.substr(13);
  service::ActionResult r;
  if (action == "test-receipt") {
    r = actions_.TestReceipt();
  } else if (action == "cancel-receipt") {
    r = actions_.CancelReceipt();
  } else if (action == "detection" && body.contains("fast") && body["fast"].is_boolean()) {
    r = actions_.SetFastDetection(body["fast"].get<bool>());
  } else if (action == "timer" && body.contains("value") && body["value"].is_string()) {
    r = actions_.SetTimerValue(Cp1252FromUtf8(body["value"].get<std::string>()));
  } else if (action == "port" && body.contains("port") && body["port"].is_number_integer() &&
             body["port"].get<int>() >= 1 && body["port"].get<int>() <= 4 && body.contains("ticked") &&
             body["ticked"].is_boolean()) {
    r = actions_.SetPortEnabled(static_cast<int16_t>(body["port"].get<int>()), body["ticked"].get<bool>());
  } else {
    responder.Send(Problem(action == "detection" || action == "timer" || action == "port" ? 400 : 404,
                           "Richiesta non riconosciuta"));
    return;
  }
  responder.Send(Json(r.ok() ? 200 : 422, ActionJson(r)));
}

// A session counts for a POST only from the console's own page: a page served
// on another port of this computer is the same site to the browser, and its
// form would carry the cookie; browsers send Origin with every POST.
bool Console::SignedIn(const HttpRequest& request) const {
  if (SameSecret(request.Header(kTokenHeader), config_.token)) return true;
  if (request.method == "POST" && request.Header("Origin") != "http://" + request.Header("Host")) return false;
  const std::string name = std::string(kSessionCookie) + "=";
  for (const auto& h : request.headers) {
    if (!SameName(h.name, "Cookie")) continue;
    size_t i = 0;
    while (i < h.value.size()) {
      size_t j = h.value.find(';', i);
      if (j == std::string::npos) j = h.value.size();
      size_t b = h.value.find_first_not_of(' ', i);
      if (b < j && h.value.compare(b, name.size(), name) == 0) {
        std::string id = h.value.substr(b + name.size(), j - b - name.size());
        for (const auto& s : sessions_) {
          if (SameSecret(id, s)) return true;
        }
      }
      i = j + 1;
    }
  }
  return false;
}

// The login link trades the token for a session cookie, so the token never
// sits in the page and the cookie never reaches a script.
void Console::Login(const HttpRequest& request, const std::shared_ptr<HttpResponder>& responder) {
  HttpAnswer a{0, "text/html; charset=utf-8",
               {{"Cache-Control", "no-store"}, {"Referrer-Policy", "no-referrer"}, {"X-Frame-Options", "DENY"}},
               ""};
  std::string bytes;
  if (!SameSecret(QueryValue(request.query, "token"), config_.token)) {
    a.status = 403;
    a.body = LoginRefusedPage();
  } else if (!platform::RandomBytes(16, &bytes)) {
    a.status = 500;
    a.body = "<!DOCTYPE html><title>Quilo1</title><p>Nessuna sorgente casuale per la sessione.</p>";
  } else {
    std::string id = TokenFromBytes(bytes);
    if (sessions_.size() >= kMaxSessions) sessions_.erase(sessions_.begin());
    sessions_.push_back(id);
    a.status = 303;
    a.headers.push_back({"Location", "/"});
    a.headers.push_back({"Set-Cookie", std::string(kSessionCookie) + "=" + id + "; HttpOnly; SameSite=Strict; Path=/"});
    a.body = "<!DOCTYPE html><title>Quilo1</title><p><a href=\"/\">Quilo1</a></p>";
  }
  responder->Send(a);
}

void Console::Subscribe(const std::shared_ptr<HttpResponder>& responder) {
  responder->StartStream("text/event-stream", {{"Cache-Control", "no-store"}, {"X-Accel-Buffering", "no"}});
  responder->Push("retry: 3000\n\n" + Event("status", StatusJson(state_)));
  streams_.push_back(responder);
  HttpResponder* raw = responder.get();
  responder->OnGone([this, raw] {
    std::erase_if(streams_, [raw](const auto& s) { return s.get() == raw; });
    if (streams_.empty() && keepAliveTimer_) {
      loop_.CancelTimer(keepAliveTimer_);
      keepAliveTimer_ = 0;
    }
  });
  if (!keepAliveTimer_ && !streams_.empty()) keepAliveTimer_ = loop_.AddTimer(kKeepAliveMs, [this] { KeepAlive(); });
}

void Console::KeepAlive() {
  keepAliveTimer_ = 0;
  Broadcast(": \n\n");
  if (!streams_.empty()) keepAliveTimer_ = loop_.AddTimer(kKeepAliveMs, [this] { KeepAlive(); });
}

void Console::Broadcast(const std::string& event) {
  auto streams = streams_;  // a push may end a stream and shorten the list
  for (auto& s : streams) s->Push(event);
}

void Console::StateChanged(service::StateChange change) {
  if (change.what == service::Shown::kMessage) {
    Broadcast(Event("message", {{"message", Utf8FromCp1252(state_.lastMessage)}}));
    return;
  }
  if (change.what == service::Shown::kNote || changeTimer_ || streams_.empty()) return;
  changeTimer_ = loop_.AddTimer(0, [this] {
    changeTimer_ = 0;
    if (!streams_.empty()) Broadcast(Event("status", StatusJson(state_)));
  });
}

void Console::JobFinished(const JobRecord& job) {
  metrics_.Add(job);
  Broadcast(Event("job", JobJson(job)));
}

}  // namespace console
