// HTTP server on libmicrohttpd without a thread of its own: its epoll
// descriptor sits in the event loop, and a timer is armed only while
// libmicrohttpd has a time-out to watch (an open connection).
// libmicrohttpd, and with it the TLS libraries, is loaded when the first
// server is made: a daemon whose console is off never maps them.
// An event stream waiting for its next event is suspended, and libmicrohttpd
// does not watch a suspended connection: the loop watches its socket itself,
// so a page that leaves frees its slot at once.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <cstring>
#include <type_traits>
#include <vector>

#include "platform/http_server.h"

namespace platform {
namespace {

// The libmicrohttpd functions this server calls.
#define MHD_FUNCTIONS(X)           \
  X(add_response_header)           \
  X(create_response_from_buffer)   \
  X(create_response_from_callback) \
  X(destroy_response)              \
  X(get_connection_info)           \
  X(get_connection_values)         \
  X(get_daemon_info)               \
  X(get_timeout)                   \
  X(queue_response)                \
  X(resume_connection)             \
  X(run)                           \
  X(set_connection_option)         \
  X(start_daemon)                  \
  X(stop_daemon)                   \
  X(suspend_connection)

struct MhdApi {
#define MHD_FIELD(name) decltype(&MHD_##name) name;
  MHD_FUNCTIONS(MHD_FIELD)
#undef MHD_FIELD
};

const MhdApi* mhd = nullptr;

// Loaded once, on first use; false with `error` set when it cannot be.
// Never unloaded.
bool LoadMhd(std::string* error) {
  static std::string loadError;
  static const MhdApi* api = []() -> const MhdApi* {
    const char* soname = "libmicrohttpd.so.12";
    void* lib = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
      const char* why = dlerror();
      loadError = why ? why : std::string(soname) + " cannot be loaded";
      return nullptr;
    }
    static MhdApi a;
    bool ok = true;
    auto get = [&](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, name));
      if (!fn) {
        ok = false;
        loadError = std::string(name) + " missing from " + soname;
      }
    };
#define MHD_GET(name) get(a.name, "MHD_" #name);
    MHD_FUNCTIONS(MHD_GET)
#undef MHD_GET
    return ok ? &a : nullptr;
  }();
  if (!api) *error = loadError;
  mhd = api;
  return api != nullptr;
}

class MhdServer;

// One request and its answer; `*con_cls` of libmicrohttpd holds a shared_ptr.
class MhdResponder : public HttpResponder, public std::enable_shared_from_this<MhdResponder> {
 public:
  enum class State { kReading, kHandling, kSuspended, kQueued };

  MhdResponder(MhdServer* server, MHD_Connection* c) : server_(server), c_(c) {}

  void Send(const HttpAnswer& answer) override;
  void StartStream(const std::string& contentType, const std::vector<HttpHeader>& headers) override;
  void Push(const std::string& bytes) override;
  void Finish() override;

  // From the access handler; returns MHD_YES or MHD_NO.
  MHD_Result Access(const char* method, const char* upload, size_t* uploadSize);
  // The stream's reader: what is buffered, or a pause until Push.
  ssize_t Read(char* buf, size_t max);
  void Completed();
  void ResumeForShutdown() {
    Unwatch();
    if (state_ == State::kSuspended || readerPaused_) mhd->resume_connection(c_);
    state_ = State::kQueued;
    readerPaused_ = false;
  }

  HttpRequest request;
  bool headersSeen = false;

 private:
  MHD_Result QueueAnswer();
  void Resume();
  // The paused stream's reader goes on (an event, the end, or the client left).
  void ResumeReader();
  void Unwatch();

  MhdServer* server_;
  MHD_Connection* c_;
  State state_ = State::kReading;
  HttpAnswer answer_;
  std::string pending_;
  bool finished_ = false;
  bool readerPaused_ = false;
  // The client of a paused stream sent something or closed: the stream ends.
  bool peerLeft_ = false;
  int watch_ = 0;  // the loop's watch on a paused stream's socket
};

class MhdServer : public HttpServer {
 public:
  MhdServer(EventLoop& loop, const HttpServerConfig& config, HttpHandler handler)
      : loop_(loop), config_(config), handler_(std::move(handler)) {}
  ~MhdServer() override {
    if (timer_) loop_.CancelTimer(timer_);
    if (kick_) loop_.CancelTimer(kick_);
    if (handle_) loop_.RemoveHandle(handle_);
    // libmicrohttpd wants every connection resumed before it stops; the
    // responders still held elsewhere are then gone and do nothing.
    stopping_ = true;
    for (MhdResponder* r : live_) r->ResumeForShutdown();
    if (daemon_) mhd->stop_daemon(daemon_);
  }

  bool Start(std::string* error) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(config_.port));
    if (inet_pton(AF_INET, config_.address.c_str(), &addr.sin_addr) != 1) {
      *error = "indirizzo non valido: " + config_.address;
      return false;
    }
    daemon_ = mhd->start_daemon(MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME, uint16_t(config_.port), nullptr, nullptr,
                               &AccessThunk, this, MHD_OPTION_SOCK_ADDR, &addr, MHD_OPTION_CONNECTION_LIMIT,
                               unsigned(config_.maxConnections), MHD_OPTION_CONNECTION_TIMEOUT,
                               unsigned(config_.idleSeconds),
                               MHD_OPTION_NOTIFY_COMPLETED, &CompletedThunk, this, MHD_OPTION_URI_LOG_CALLBACK,
                               &UriThunk, this, MHD_OPTION_END);
    if (!daemon_) {
      *error = "impossibile ascoltare su " + config_.address + ":" + std::to_string(config_.port) + ": " +
               std::strerror(errno);
      return false;
    }
    const MHD_DaemonInfo* ep = mhd->get_daemon_info(daemon_, MHD_DAEMON_INFO_EPOLL_FD);
    const MHD_DaemonInfo* bp = mhd->get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
    port_ = bp ? bp->port : config_.port;
    handle_ = loop_.AddHandle(ep->epoll_fd, [this] { Run(); });
    return true;
  }

  int Port() const override { return port_; }

  // libmicrohttpd without a thread of its own does not signal a resumed
  // connection: run it once more from the loop.
  void Kick() {
    if (!kick_ && !stopping_) {
      kick_ = loop_.AddTimer(0, [this] {
        kick_ = 0;
        Run();
      });
    }
  }
  void Later(std::function<void()> fn) {
    if (!stopping_) later_.push_back(std::move(fn));
  }
  void Track(MhdResponder* r) { live_.push_back(r); }
  void Untrack(MhdResponder* r) { std::erase(live_, r); }
  const HttpServerConfig& config() const { return config_; }
  EventLoop& loop() { return loop_; }
  void Handle(const HttpRequest& req, std::shared_ptr<MhdResponder> r) { handler_(req, std::move(r)); }

 private:
  unsigned Connections() const {
    const MHD_DaemonInfo* info = mhd->get_daemon_info(daemon_, MHD_DAEMON_INFO_CURRENT_CONNECTIONS);
    return info ? info->num_connections : 0;
  }

  void Run() {
    // At the connection limit libmicrohttpd takes its listening socket out of
    // its epoll set, and puts it back only at the start of a run: after a run
    // that freed a slot nothing would wake us for the clients waiting to be
    // accepted, and the console would stay deaf for good. So one more run
    // follows every run that freed one.
    unsigned before = Connections();
    mhd->run(daemon_);
    for (unsigned now = Connections(); now < before; now = Connections()) {
      before = now;
      mhd->run(daemon_);
    }
    // Gone notices run after libmicrohttpd has returned, so they may answer
    // or drop other requests freely.
    auto due = std::move(later_);
    later_.clear();
    for (auto& fn : due) fn();
    if (timer_) loop_.CancelTimer(timer_);
    timer_ = 0;
    MHD_UNSIGNED_LONG_LONG ms = 0;
    if (mhd->get_timeout(daemon_, &ms) == MHD_YES) {
      timer_ = loop_.AddTimer(int64_t(ms), [this] {
        timer_ = 0;
        Run();
      });
    }
  }

  static void* UriThunk(void* cls, const char* uri, MHD_Connection* c) {
    auto* self = static_cast<MhdServer*>(cls);
    auto* holder = new std::shared_ptr<MhdResponder>(std::make_shared<MhdResponder>(self, c));
    self->Track(holder->get());
    std::string u = uri ? uri : "";
    size_t q = u.find('?');
    (*holder)->request.path = u.substr(0, q);
    if (q != std::string::npos) (*holder)->request.query = u.substr(q + 1);
    return holder;
  }
  static MHD_Result AccessThunk(void* cls, MHD_Connection* c, const char* url, const char* method,
                                const char* version, const char* upload, size_t* uploadSize, void** conCls) {
    auto* holder = static_cast<std::shared_ptr<MhdResponder>*>(*conCls);
    if (!holder) return MHD_NO;
    auto keep = *holder;  // the handler may drop every other reference
    return keep->Access(method, upload, uploadSize);
  }
  static void CompletedThunk(void* cls, MHD_Connection* c, void** conCls, MHD_RequestTerminationCode code) {
    auto* holder = static_cast<std::shared_ptr<MhdResponder>*>(*conCls);
    if (!holder) return;
    (*holder)->Completed();
    delete holder;
    *conCls = nullptr;
  }

  EventLoop& loop_;
  HttpServerConfig config_;
  HttpHandler handler_;
  MHD_Daemon* daemon_ = nullptr;
  int handle_ = 0;
  int timer_ = 0;
  int kick_ = 0;
  int port_ = 0;
  std::vector<std::function<void()>> later_;
  std::vector<MhdResponder*> live_;
  bool stopping_ = false;
};

MHD_Result CollectHeader(void* cls, MHD_ValueKind kind, const char* key, const char* value) {
  static_cast<HttpRequest*>(cls)->headers.push_back({key ? key : "", value ? value : ""});
  return MHD_YES;
}

MHD_Result MhdResponder::Access(const char* method, const char* upload, size_t* uploadSize) {
  if (!headersSeen) {
    headersSeen = true;
    request.method = method ? method : "";
    mhd->get_connection_values(c_, MHD_HEADER_KIND, &CollectHeader, &request);
    std::string length = request.Header("Content-Length");
    if (!length.empty() && std::strtoull(length.c_str(), nullptr, 10) > server_->config().maxBody) {
      request.bodyTooLarge = true;
    }
    return MHD_YES;
  }
  if (*uploadSize != 0) {
    if (!request.bodyTooLarge && request.body.size() + *uploadSize <= server_->config().maxBody) {
      request.body.append(upload, *uploadSize);
    } else {
      request.bodyTooLarge = true;
      request.body.clear();
    }
    *uploadSize = 0;
    return MHD_YES;
  }
  if (state_ == State::kReading) {
    state_ = State::kHandling;
    server_->Handle(request, shared_from_this());
    if (answered_) return QueueAnswer();
    state_ = State::kSuspended;
    mhd->suspend_connection(c_);
    return MHD_YES;
  }
  if (state_ == State::kSuspended && answered_) return QueueAnswer();
  return MHD_YES;
}

ssize_t ReadThunk(void* cls, uint64_t pos, char* buf, size_t max) { return static_cast<MhdResponder*>(cls)->Read(buf, max); }

MHD_Result MhdResponder::QueueAnswer() {
  state_ = State::kQueued;
  MHD_Response* r;
  int status = 200;
  const std::vector<HttpHeader>* headers;
  std::string type;
  if (streaming_) {
    r = mhd->create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, &ReadThunk, this, nullptr);
    headers = &answer_.headers;
    type = answer_.contentType;
    // A stream stays open as long as the client wants it.
    mhd->set_connection_option(c_, MHD_CONNECTION_OPTION_TIMEOUT, 0u);
  } else {
    r = mhd->create_response_from_buffer(answer_.body.size(), answer_.body.data(), MHD_RESPMEM_MUST_COPY);
    status = answer_.status;
    headers = &answer_.headers;
    type = answer_.contentType;
  }
  if (!r) return MHD_NO;
  if (!type.empty()) mhd->add_response_header(r, "Content-Type", type.c_str());
  for (const auto& h : *headers) mhd->add_response_header(r, h.name.c_str(), h.value.c_str());
  MHD_Result ok = mhd->queue_response(c_, unsigned(status), r);
  mhd->destroy_response(r);
  return ok;
}

void MhdResponder::Resume() {
  if (state_ == State::kSuspended) {
    mhd->resume_connection(c_);
    server_->Kick();
  }
}

void MhdResponder::Send(const HttpAnswer& answer) {
  if (answered_ || gone_) return;
  answered_ = true;
  answer_ = answer;
  Resume();
}

void MhdResponder::StartStream(const std::string& contentType, const std::vector<HttpHeader>& headers) {
  if (answered_ || gone_) return;
  answered_ = streaming_ = true;
  answer_.contentType = contentType;
  answer_.headers = headers;
  Resume();
}

void MhdResponder::ResumeReader() {
  if (!readerPaused_) return;
  Unwatch();
  readerPaused_ = false;
  mhd->resume_connection(c_);
  server_->Kick();
}

void MhdResponder::Unwatch() {
  if (watch_) server_->loop().RemoveHandle(watch_);
  watch_ = 0;
}

void MhdResponder::Push(const std::string& bytes) {
  if (!streaming_ || gone_ || finished_) return;
  pending_ += bytes;
  ResumeReader();
}

void MhdResponder::Finish() {
  if (!streaming_ || gone_ || finished_) return;
  finished_ = true;
  ResumeReader();
}

ssize_t MhdResponder::Read(char* buf, size_t max) {
  // An event stream's client never sends: readable means it left.
  if (peerLeft_) return MHD_CONTENT_READER_END_WITH_ERROR;
  if (pending_.empty()) {
    if (finished_) return MHD_CONTENT_READER_END_OF_STREAM;
    // Returning 0 alone would make libmicrohttpd ask again at once.
    readerPaused_ = true;
    mhd->suspend_connection(c_);
    const MHD_ConnectionInfo* info = mhd->get_connection_info(c_, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (info && !watch_) {
      watch_ = server_->loop().AddHandle(NativeHandle(info->connect_fd), [this] {
        peerLeft_ = true;
        ResumeReader();
      });
    }
    return 0;
  }
  size_t n = pending_.size() < max ? pending_.size() : max;
  std::memcpy(buf, pending_.data(), n);
  pending_.erase(0, n);
  return ssize_t(n);
}

void MhdResponder::Completed() {
  Unwatch();
  auto fn = MarkGone();
  c_ = nullptr;
  server_->Untrack(this);
  if (fn) server_->Later([keep = shared_from_this(), fn] { fn(); });
}

}  // namespace

std::unique_ptr<HttpServer> HttpServer::Create(EventLoop& loop, const HttpServerConfig& config, HttpHandler handler,
                                               std::string* error) {
  if (!LoadMhd(error)) return nullptr;
  auto server = std::make_unique<MhdServer>(loop, config, std::move(handler));
  if (!server->Start(error)) return nullptr;
  return server;
}

}  // namespace platform
