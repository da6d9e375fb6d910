// HTTP server on the Windows HTTP Server API (http.sys): one request queue
// whose overlapped receive signals an event in the event loop. Answers are
// sent synchronously: they are small and go to a client on this machine.
// http.sys hands over complete requests only, so a slow client holds no slot
// of ours; an event stream's slot is freed when its client disconnects.
#include <windows.h>
#include <http.h>

#include <vector>

#include "platform/http_server.h"

namespace platform {
namespace {

// Request header names by HTTP_HEADER_ID.
const char* const kKnown[] = {"Cache-Control", "Connection", "Date", "Keep-Alive", "Pragma", "Trailer",
                              "Transfer-Encoding", "Upgrade", "Via", "Warning", "Allow", "Content-Length",
                              "Content-Type", "Content-Encoding", "Content-Language", "Content-Location",
                              "Content-MD5", "Content-Range", "Expires", "Last-Modified", "Accept",
                              "Accept-Charset", "Accept-Encoding", "Accept-Language", "Authorization", "Cookie",
                              "Expect", "From", "Host", "If-Match", "If-Modified-Since", "If-None-Match",
                              "If-Range", "If-Unmodified-Since", "Max-Forwards", "Proxy-Authorization", "Referer",
                              "Range", "TE", "Translate", "User-Agent"};

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 303: return "See Other";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 422: return "Unprocessable Entity";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "";
  }
}

class SysServer;

// Wine 8's httpapi has no HttpSendResponseEntityBody (calling it raises an
// exception), so there an event stream becomes one complete answer per
// request, and the page's EventSource asks again after its retry time.
bool CanStream() {
  static const bool can = !GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
  return can;
}

class SysResponder : public HttpResponder, public std::enable_shared_from_this<SysResponder> {
 public:
  SysResponder(SysServer* server, HTTP_REQUEST_ID id, HTTP_CONNECTION_ID connection)
      : server_(server), id_(id), connection_(connection) {}
  ~SysResponder() override { StopWatching(); }
  void Send(const HttpAnswer& answer) override;
  void StartStream(const std::string& contentType, const std::vector<HttpHeader>& headers) override;
  void Push(const std::string& bytes) override;
  void Finish() override;
  void Detach() {
    StopWatching();
    server_ = nullptr;
    MarkGone();
  }

 private:
  bool SendHead(int status, const std::string& type, const std::vector<HttpHeader>& headers, const std::string* body,
                ULONG flags);
  void Left();
  void WatchDisconnect();
  void StopWatching();

  SysServer* server_;
  HTTP_REQUEST_ID id_;
  HTTP_CONNECTION_ID connection_;
  // The wait for a streaming client's disconnection, while it is pending.
  OVERLAPPED disconnect_{};
  HANDLE disconnectEvent_ = nullptr;
  int watch_ = 0;
  // Without streaming: the head waits for the first Push.
  std::string streamType_;
  std::vector<HttpHeader> streamHeaders_;
};

class SysServer : public HttpServer {
 public:
  SysServer(EventLoop& loop, const HttpServerConfig& config, HttpHandler handler)
      : loop_(loop), config_(config), handler_(std::move(handler)), buffer_(16384) {}
  ~SysServer() override {
    if (handle_) loop_.RemoveHandle(handle_);
    for (auto& weak : live_) {
      if (auto r = weak.lock()) r->Detach();
    }
    if (queue_) {
      CancelIoEx(queue_, nullptr);
      CloseHandle(queue_);
    }
    if (event_) CloseHandle(event_);
    if (initialized_) HttpTerminate(HTTP_INITIALIZE_SERVER, nullptr);
  }

  bool Start(std::string* error) {
    HTTPAPI_VERSION version = HTTPAPI_VERSION_1;
    ULONG r = HttpInitialize(version, HTTP_INITIALIZE_SERVER, nullptr);
    if (r != NO_ERROR) return Failed("HttpInitialize", r, error);
    initialized_ = true;
    r = HttpCreateHttpHandle(&queue_, 0);
    if (r != NO_ERROR) return Failed("HttpCreateHttpHandle", r, error);
    std::string url = "http://" + config_.address + ":" + std::to_string(config_.port) + "/";
    r = HttpAddUrl(queue_, std::wstring(url.begin(), url.end()).c_str(), nullptr);
    // Without a reservation http.sys lets only an administrator listen: the
    // installer reserves 8731 and the port it found configured, not one
    // chosen later.
    if (r == ERROR_ACCESS_DENIED) {
      *error = "HttpAddUrl " + url + ": accesso negato, indirizzo non riservato. Da amministratore eseguire: " +
               "netsh http add urlacl url=" + url + " sddl=D:(A;;GX;;;BU)";
      return false;
    }
    if (r != NO_ERROR) return Failed("HttpAddUrl " + url, r, error);
    // http.sys routes by the Host header: a page opened as localhost needs
    // its own registration. Without it only 127.0.0.1 works.
    if (config_.address == "127.0.0.1") {
      std::wstring local = L"http://localhost:" + std::to_wstring(config_.port) + L"/";
      HttpAddUrl(queue_, local.c_str(), nullptr);
    }
    event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    handle_ = loop_.AddHandle(NativeHandle(event_), [this] { Received(); });
    return Receive();
  }

  int Port() const override { return config_.port; }
  HANDLE queue() const { return queue_; }
  int Watch(HANDLE h, std::function<void()> fn) { return loop_.AddHandle(NativeHandle(h), std::move(fn)); }
  void Unwatch(int id) { loop_.RemoveHandle(id); }
  void Later(std::function<void()> fn) { loop_.AddTimer(0, std::move(fn)); }

 private:
  static bool Failed(const std::string& what, ULONG code, std::string* error) {
    *error = what + ": errore " + std::to_string(code);
    return false;
  }

  bool Receive() {
    for (;;) {
      ResetEvent(event_);
      overlapped_ = {};
      overlapped_.hEvent = event_;
      ULONG r = HttpReceiveHttpRequest(queue_, HTTP_NULL_ID, HTTP_RECEIVE_REQUEST_FLAG_COPY_BODY, Request(),
                                       ULONG(buffer_.size()), nullptr, &overlapped_);
      if (r == ERROR_IO_PENDING) return true;
      if (r != NO_ERROR && r != ERROR_MORE_DATA) return false;
      // Done at once: take it now, and leave the event for the next one.
      Completed(r);
    }
  }

  void Received() {
    DWORD bytes = 0;
    ULONG r = GetOverlappedResult(queue_, &overlapped_, &bytes, FALSE) ? NO_ERROR : GetLastError();
    if (r == ERROR_IO_INCOMPLETE) return;
    Completed(r);
    Receive();
  }

  HTTP_REQUEST* Request() { return reinterpret_cast<HTTP_REQUEST*>(buffer_.data()); }

  void Completed(ULONG r) {
    if (r == ERROR_MORE_DATA) {
      // Headers longer than the buffer: fetch this request again, whole.
      HTTP_REQUEST_ID id = Request()->RequestId;
      ULONG need = 0;
      buffer_.resize(buffer_.size() * 4);
      r = HttpReceiveHttpRequest(queue_, id, HTTP_RECEIVE_REQUEST_FLAG_COPY_BODY, Request(), ULONG(buffer_.size()),
                                 &need, nullptr);
      if (r != NO_ERROR) return;
    } else if (r != NO_ERROR) {
      return;
    }
    const HTTP_REQUEST* q = Request();
    HttpRequest req;
    static const char* const kVerbs[] = {"", "", "", "OPTIONS", "GET", "HEAD", "POST", "PUT", "DELETE", "TRACE"};
    req.method = q->Verb < HttpVerbCONNECT ? kVerbs[q->Verb] : "";
    if (q->Verb == HttpVerbUnknown && q->pUnknownVerb) req.method.assign(q->pUnknownVerb, q->UnknownVerbLength);
    std::string raw(q->pRawUrl ? q->pRawUrl : "", q->RawUrlLength);
    size_t mark = raw.find('?');
    req.path = raw.substr(0, mark);
    if (mark != std::string::npos) req.query = raw.substr(mark + 1);
    for (int i = 0; i < int(std::size(kKnown)) && i < HttpHeaderRequestMaximum; ++i) {
      const auto& h = q->Headers.KnownHeaders[i];
      if (h.RawValueLength) req.headers.push_back({kKnown[i], std::string(h.pRawValue, h.RawValueLength)});
    }
    for (USHORT i = 0; i < q->Headers.UnknownHeaderCount; ++i) {
      const auto& h = q->Headers.pUnknownHeaders[i];
      req.headers.push_back({std::string(h.pName, h.NameLength), std::string(h.pRawValue, h.RawValueLength)});
    }
    std::string length = req.Header("Content-Length");
    if (!length.empty() && std::strtoull(length.c_str(), nullptr, 10) > config_.maxBody) {
      req.bodyTooLarge = true;
    } else {
      for (USHORT i = 0; i < q->EntityChunkCount; ++i) {
        const auto& c = q->pEntityChunks[i];
        if (c.DataChunkType == HttpDataChunkFromMemory) {
          req.body.append(static_cast<const char*>(c.FromMemory.pBuffer), c.FromMemory.BufferLength);
        }
      }
      if (q->Flags & HTTP_REQUEST_FLAG_MORE_ENTITY_BODY_EXISTS) {
        char chunk[8192];
        for (;;) {
          ULONG got = 0;
          ULONG rr = HttpReceiveRequestEntityBody(queue_, q->RequestId, 0, chunk, sizeof chunk, &got, nullptr);
          if (rr == NO_ERROR || rr == ERROR_HANDLE_EOF) req.body.append(chunk, got);
          if (rr != NO_ERROR) break;
          if (req.body.size() > config_.maxBody) break;
        }
      }
      if (req.body.size() > config_.maxBody) {
        req.bodyTooLarge = true;
        req.body.clear();
      }
    }
    auto responder = std::make_shared<SysResponder>(this, q->RequestId, q->ConnectionId);
    std::erase_if(live_, [](const auto& w) { return w.expired(); });
    size_t open = 0;
    for (auto& w : live_) {
      if (auto r2 = w.lock(); r2 && !r2->Gone()) ++open;
    }
    live_.push_back(responder);
    if (open >= size_t(config_.maxConnections)) {
      responder->Send({503, "text/plain", {}, "occupato"});
      return;
    }
    handler_(req, responder);
  }

  EventLoop& loop_;
  HttpServerConfig config_;
  HttpHandler handler_;
  std::vector<char> buffer_;
  bool initialized_ = false;
  HANDLE queue_ = nullptr;
  HANDLE event_ = nullptr;
  OVERLAPPED overlapped_{};
  int handle_ = 0;
  // Requests not yet answered or streams still open, for the limit.
  std::vector<std::weak_ptr<SysResponder>> live_;
};

bool SysResponder::SendHead(int status, const std::string& type, const std::vector<HttpHeader>& headers,
                            const std::string* body, ULONG flags) {
  HTTP_RESPONSE r{};
  r.StatusCode = USHORT(status);
  r.pReason = Reason(status);
  r.ReasonLength = USHORT(strlen(r.pReason));
  r.Headers.KnownHeaders[HttpHeaderContentType].pRawValue = type.c_str();
  r.Headers.KnownHeaders[HttpHeaderContentType].RawValueLength = USHORT(type.size());
  std::vector<HTTP_UNKNOWN_HEADER> extra;
  for (const auto& h : headers) {
    // http.sys takes these response headers from their own slots only.
    int known = h.name == "Location" ? HttpHeaderLocation : h.name == "Set-Cookie" ? HttpHeaderSetCookie : -1;
    if (known >= 0) {
      r.Headers.KnownHeaders[known].pRawValue = h.value.c_str();
      r.Headers.KnownHeaders[known].RawValueLength = USHORT(h.value.size());
      continue;
    }
    extra.push_back({USHORT(h.name.size()), USHORT(h.value.size()), h.name.c_str(), h.value.c_str()});
  }
  r.Headers.UnknownHeaderCount = USHORT(extra.size());
  r.Headers.pUnknownHeaders = extra.data();
  HTTP_DATA_CHUNK chunk{};
  if (body && !body->empty()) {
    chunk.DataChunkType = HttpDataChunkFromMemory;
    chunk.FromMemory.pBuffer = const_cast<char*>(body->data());
    chunk.FromMemory.BufferLength = ULONG(body->size());
    r.EntityChunkCount = 1;
    r.pEntityChunks = &chunk;
  }
  ULONG sent = 0;
  return HttpSendHttpResponse(server_->queue(), id_, flags, &r, nullptr, &sent, nullptr, 0, nullptr, nullptr) ==
         NO_ERROR;
}

void SysResponder::Send(const HttpAnswer& answer) {
  if (answered_ || gone_) return;
  answered_ = true;
  SendHead(answer.status, answer.contentType, answer.headers, &answer.body, 0);
  Left();
}

void SysResponder::StartStream(const std::string& contentType, const std::vector<HttpHeader>& headers) {
  if (answered_ || gone_) return;
  answered_ = streaming_ = true;
  if (!CanStream()) {
    streamType_ = contentType;
    streamHeaders_ = headers;
  } else if (!SendHead(200, contentType, headers, nullptr, HTTP_SEND_RESPONSE_FLAG_MORE_DATA)) {
    Left();
  } else {
    WatchDisconnect();
  }
}

// Without the wait a page that left would be noticed only by the next send.
void SysResponder::WatchDisconnect() {
  disconnectEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!disconnectEvent_) return;
  disconnect_ = {};
  disconnect_.hEvent = disconnectEvent_;
  ULONG r = HttpWaitForDisconnect(server_->queue(), connection_, &disconnect_);
  if (r == ERROR_IO_PENDING) {
    watch_ = server_->Watch(disconnectEvent_, [this] {
      server_->Unwatch(watch_);
      watch_ = 0;
      Left();
    });
  } else {
    CloseHandle(disconnectEvent_);
    disconnectEvent_ = nullptr;
    if (r == NO_ERROR) Left();
  }
}

void SysResponder::StopWatching() {
  if (!disconnectEvent_) return;
  if (watch_ && server_) {
    server_->Unwatch(watch_);
    watch_ = 0;
    // The wait owns the OVERLAPPED until it ends.
    CancelIoEx(server_->queue(), &disconnect_);
  }
  DWORD bytes = 0;
  if (server_) GetOverlappedResult(server_->queue(), &disconnect_, &bytes, TRUE);
  CloseHandle(disconnectEvent_);
  disconnectEvent_ = nullptr;
}

void SysResponder::Push(const std::string& bytes) {
  if (!streaming_ || gone_ || bytes.empty()) return;
  if (!CanStream()) {
    SendHead(200, streamType_, streamHeaders_, &bytes, 0);
    Left();
    return;
  }
  HTTP_DATA_CHUNK chunk{};
  chunk.DataChunkType = HttpDataChunkFromMemory;
  chunk.FromMemory.pBuffer = const_cast<char*>(bytes.data());
  chunk.FromMemory.BufferLength = ULONG(bytes.size());
  ULONG sent = 0;
  // A failed send is how a page that went away shows itself.
  if (HttpSendResponseEntityBody(server_->queue(), id_, HTTP_SEND_RESPONSE_FLAG_MORE_DATA, 1, &chunk, &sent, nullptr,
                                 0, nullptr, nullptr) != NO_ERROR) {
    Left();
  }
}

void SysResponder::Finish() {
  if (!streaming_ || gone_) return;
  if (!CanStream()) {
    std::string none;
    SendHead(200, streamType_, streamHeaders_, &none, 0);
    Left();
    return;
  }
  ULONG sent = 0;
  HttpSendResponseEntityBody(server_->queue(), id_, 0, 0, nullptr, &sent, nullptr, 0, nullptr, nullptr);
  Left();
}

void SysResponder::Left() {
  StopWatching();
  auto fn = MarkGone();
  if (fn && server_) server_->Later([keep = shared_from_this(), fn] { fn(); });
}

}  // namespace

std::unique_ptr<HttpServer> HttpServer::Create(EventLoop& loop, const HttpServerConfig& config, HttpHandler handler,
                                               std::string* error) {
  auto server = std::make_unique<SysServer>(loop, config, std::move(handler));
  if (!server->Start(error)) return nullptr;
  return server;
}

}  // namespace platform
