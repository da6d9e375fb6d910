// HTTP GET with libcurl's multi interface. Curl's sockets sit in an epoll set
// whose own descriptor is registered with the event loop (which waits for
// readable descriptors only), so connects and writes wake the loop as well.
// libcurl, and with it the TLS libraries, is loaded when the first client is
// made: a daemon that never takes a card payment never maps them.
#include <curl/curl.h>
#include <dlfcn.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <type_traits>

#include "platform/http_client.h"

namespace platform {
namespace {

// The libcurl functions this client calls.
#define CURL_FUNCTIONS(X) \
  X(global_init)          \
  X(easy_init)            \
  X(easy_setopt)          \
  X(easy_getinfo)         \
  X(easy_cleanup)         \
  X(easy_strerror)        \
  X(multi_init)           \
  X(multi_setopt)         \
  X(multi_add_handle)     \
  X(multi_remove_handle)  \
  X(multi_socket_action)  \
  X(multi_info_read)      \
  X(multi_cleanup)        \
  X(multi_strerror)       \
  X(slist_append)         \
  X(slist_free_all)

struct CurlApi {
#define CURL_FIELD(name) decltype(&curl_##name) name;
  CURL_FUNCTIONS(CURL_FIELD)
#undef CURL_FIELD
};

// Loaded and initialised once, on first use; null, with `error` set, when
// the library cannot be loaded. Never unloaded.
const CurlApi* LoadCurl(std::string* error) {
  static std::string loadError;
  static const CurlApi* api = []() -> const CurlApi* {
    void* lib = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
      const char* why = dlerror();
      loadError = why ? why : "libcurl.so.4 cannot be loaded";
      return nullptr;
    }
    static CurlApi a;
    bool ok = true;
    auto get = [&](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, name));
      if (!fn) {
        ok = false;
        loadError = std::string(name) + " missing from libcurl.so.4";
      }
    };
#define CURL_GET(name) get(a.name, "curl_" #name);
    CURL_FUNCTIONS(CURL_GET)
#undef CURL_GET
    if (!ok) return nullptr;
    if (a.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      loadError = "curl_global_init failed";
      return nullptr;
    }
    return &a;
  }();
  if (!api && error) *error = loadError;
  return api;
}

class CurlHttpClient : public HttpClient {
 public:
  CurlHttpClient(EventLoop& loop, const HttpLimits& limits) : loop_(loop), limits_(limits) {}

  ~CurlHttpClient() override {
    Cancel();
    if (epollHandle_) loop_.RemoveHandle(epollHandle_);
    if (epoll_ >= 0) close(epoll_);
    if (multi_) curl_->multi_cleanup(multi_);
  }

  void Get(const std::string& url, const std::vector<HttpHeader>& headers,
           std::function<void(const HttpResponse&)> done) override {
    Cancel();
    done_ = std::move(done);
    headers_ = headers;
    redirects_ = 0;
    if (!multi_ && !Load()) return FinishLater(Failure(0, loadError_));
    Start(url);
  }

  void Cancel() override {
    if (lateTimer_) loop_.CancelTimer(lateTimer_);
    lateTimer_ = 0;
    EndTransfer();
    done_ = nullptr;
  }

 private:
  // libcurl and its multi handle, on the first Get.
  bool Load() {
    curl_ = LoadCurl(&loadError_);
    if (!curl_) return false;
    multi_ = curl_->multi_init();
    curl_->multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &CurlHttpClient::OnSocket);
    curl_->multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
    curl_->multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &CurlHttpClient::OnTimerChange);
    curl_->multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ >= 0) epollHandle_ = loop_.AddHandle(epoll_, [this] { OnReady(); });
    return true;
  }

  static HttpResponse Failure(long number, const std::string& text) {
    HttpResponse failed;
    failed.errorNumber = number;
    failed.errorText = text;
    return failed;
  }

  void Start(const std::string& url) {
    EndTransfer();
    url_ = url;
    body_.clear();
    tooLong_ = false;
    errorBuffer_[0] = 0;
    easy_ = curl_->easy_init();
    for (const auto& h : headers_) headerList_ = curl_->slist_append(headerList_, (h.name + ": " + h.value).c_str());
    curl_->easy_setopt(easy_, CURLOPT_URL, url.c_str());
    curl_->easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
    curl_->easy_setopt(easy_, CURLOPT_HTTPHEADER, headerList_);
    // No CURLOPT_ACCEPT_ENCODING: the body stays as sent, and its size limit
    // is the size on the wire, with no decompression bomb behind it.
    // Redirects are followed here, one hop at a time, to check each target.
    curl_->easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
    if (curl_->easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https") != CURLE_OK)
      curl_->easy_setopt(easy_, CURLoption(181) /* CURLOPT_PROTOCOLS before 7.85 */,
                         long(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    curl_->easy_setopt(easy_, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2));
    // The service runs on this computer: no proxy from the environment.
    curl_->easy_setopt(easy_, CURLOPT_PROXY, "");
    // One exchange per payment; a cached connection would only hold a socket.
    curl_->easy_setopt(easy_, CURLOPT_FORBID_REUSE, 1L);
    curl_->easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    // No overall limit: the service answers once the customer has paid.
    curl_->easy_setopt(easy_, CURLOPT_TIMEOUT_MS, 0L);
    curl_->easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, long(limits_.connectTimeoutMs));
    curl_->easy_setopt(easy_, CURLOPT_MAXFILESIZE, long(limits_.maxAnswerBytes));
    curl_->easy_setopt(easy_, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_->easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlHttpClient::OnBody);
    curl_->easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    curl_->easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlHttpClient::OnHeader);
    curl_->easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    CURLMcode added = curl_->multi_add_handle(multi_, easy_);
    if (added != CURLM_OK) return FinishLater(Failure(long(added), curl_->multi_strerror(added)));
    if (epoll_ < 0) FinishLater(Failure(long(errno), "epoll_create1 failed"));
  }

  void EndTransfer() {
    if (answerTimer_) loop_.CancelTimer(answerTimer_);
    answerTimer_ = 0;
    if (easy_) {
      curl_->multi_remove_handle(multi_, easy_);
      curl_->easy_cleanup(easy_);
      easy_ = nullptr;
    }
    if (headerList_) curl_->slist_free_all(headerList_);
    headerList_ = nullptr;
    if (curlTimer_) loop_.CancelTimer(curlTimer_);
    curlTimer_ = 0;
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    auto* client = static_cast<CurlHttpClient*>(self);
    if (client->body_.size() + size * count > client->limits_.maxAnswerBytes) {
      client->tooLong_ = true;
      return 0;  // ends the transfer with CURLE_WRITE_ERROR
    }
    client->body_.append(data, size * count);
    return size * count;
  }

  // The first line of the answer starts its clock.
  static size_t OnHeader(char*, size_t size, size_t count, void* self) {
    auto* client = static_cast<CurlHttpClient*>(self);
    if (!client->answerTimer_)
      client->answerTimer_ = client->loop_.AddTimer(client->limits_.answerTimeMs, [client] {
        client->answerTimer_ = 0;
        client->Finish(Failure(long(CURLE_OPERATION_TIMEDOUT),
                               "answer not complete " + std::to_string(client->limits_.answerTimeMs / 1000) +
                                   " s after it began"));
      });
    return size * count;
  }

  static int OnSocket(CURL*, curl_socket_t fd, int what, void* self, void*) {
    auto* client = static_cast<CurlHttpClient*>(self);
    if (what == CURL_POLL_REMOVE) {
      epoll_ctl(client->epoll_, EPOLL_CTL_DEL, fd, nullptr);
      return 0;
    }
    epoll_event ev{};
    ev.events = ((what & CURL_POLL_IN) ? EPOLLIN : 0u) | ((what & CURL_POLL_OUT) ? EPOLLOUT : 0u);
    ev.data.fd = fd;
    if (epoll_ctl(client->epoll_, EPOLL_CTL_MOD, fd, &ev) != 0 && errno == ENOENT)
      epoll_ctl(client->epoll_, EPOLL_CTL_ADD, fd, &ev);
    return 0;
  }

  static int OnTimerChange(CURLM*, long timeout_ms, void* self) {
    auto* client = static_cast<CurlHttpClient*>(self);
    if (client->curlTimer_) client->loop_.CancelTimer(client->curlTimer_);
    client->curlTimer_ = 0;
    if (timeout_ms >= 0) {
      client->curlTimer_ = client->loop_.AddTimer(timeout_ms, [client] {
        client->curlTimer_ = 0;
        int running = 0;
        client->curl_->multi_socket_action(client->multi_, CURL_SOCKET_TIMEOUT, 0, &running);
        client->CheckDone();
      });
    }
    return 0;
  }

  void OnReady() {
    epoll_event events[8];
    int n = epoll_wait(epoll_, events, 8, 0);
    for (int i = 0; i < n; ++i) {
      int flags = 0;
      if (events[i].events & EPOLLIN) flags |= CURL_CSELECT_IN;
      if (events[i].events & EPOLLOUT) flags |= CURL_CSELECT_OUT;
      if (events[i].events & (EPOLLERR | EPOLLHUP)) flags |= CURL_CSELECT_ERR;
      int running = 0;
      curl_->multi_socket_action(multi_, events[i].data.fd, flags, &running);
    }
    CheckDone();
  }

  void CheckDone() {
    int left = 0;
    while (CURLMsg* msg = curl_->multi_info_read(multi_, &left)) {
      if (msg->msg != CURLMSG_DONE || msg->easy_handle != easy_) continue;
      CURLcode code = msg->data.result;
      if (code != CURLE_OK) {
        HttpResponse failed = Failure(long(code), errorBuffer_[0] ? errorBuffer_ : curl_->easy_strerror(code));
        if (code == CURLE_COULDNT_CONNECT) failed.status = HttpResponse::Status::kCannotConnect;
        if (tooLong_ || code == CURLE_FILESIZE_EXCEEDED)
          failed.errorText = "answer longer than " + std::to_string(limits_.maxAnswerBytes) + " bytes";
        return Finish(failed);
      }
      long status = 0;
      curl_->easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
      char* location = nullptr;
      curl_->easy_getinfo(easy_, CURLINFO_REDIRECT_URL, &location);
      if (IsRedirect(int(status)) && location) {
        std::string target = RedirectTarget(url_, location);
        if (target.empty()) return Finish(Failure(long(status), std::string("redirect refused: ") + location));
        if (++redirects_ > limits_.maxRedirects)
          return Finish(Failure(long(status), "more than " + std::to_string(limits_.maxRedirects) + " redirects"));
        return Start(target);
      }
      HttpResponse response;
      response.status = HttpResponse::Status::kAnswered;
      response.httpStatus = int(status);
      response.body = std::move(body_);
      return Finish(response);
    }
  }

  void Finish(const HttpResponse& response) {
    auto done = std::move(done_);
    Cancel();
    // `done` may start the next request at once.
    if (done) done(response);
  }

  // Failures found inside Get still reach the caller from the loop.
  void FinishLater(const HttpResponse& response) {
    lateTimer_ = loop_.AddTimer(0, [this, response] {
      lateTimer_ = 0;
      Finish(response);
    });
  }

  EventLoop& loop_;
  HttpLimits limits_;
  std::string loadError_;
  const CurlApi* curl_ = nullptr;
  CURLM* multi_ = nullptr;
  CURL* easy_ = nullptr;
  curl_slist* headerList_ = nullptr;
  std::vector<HttpHeader> headers_;
  std::string url_;
  int redirects_ = 0;
  int epoll_ = -1;
  int epollHandle_ = 0;
  int curlTimer_ = 0;
  int lateTimer_ = 0;
  int answerTimer_ = 0;
  bool tooLong_ = false;
  std::string body_;
  char errorBuffer_[CURL_ERROR_SIZE] = {};
  std::function<void(const HttpResponse&)> done_;
};

}  // namespace

std::unique_ptr<HttpClient> HttpClient::Create(EventLoop& loop, const HttpLimits& limits) {
  return std::make_unique<CurlHttpClient>(loop, limits);
}

}  // namespace platform
