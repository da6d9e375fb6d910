// HTTP GET with WinHTTP. The synchronous calls run on a worker thread that
// signals an event registered with the event loop, so the loop thread never
// blocks; the answer is handed over on the loop thread.
#include <windows.h>
#include <winhttp.h>

#include "platform/clock.h"
#include "platform/http_client.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

std::string ErrorText(DWORD code) {
  char buffer[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                           GetModuleHandleA("winhttp.dll"), code, 0, buffer, sizeof buffer, nullptr);
  if (n == 0)
    n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                       sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text.empty() ? "WinHTTP error " + std::to_string(code) : text;
}

// Shared by the loop thread and the worker; the last of the two frees it.
struct Exchange {
  std::wstring headers;
  std::string url;
  HttpLimits limits;
  HANDLE finished = nullptr;
  // Either side may close the request to end it; the exchange makes sure
  // only one does.
  HINTERNET volatile request = nullptr;
  HttpResponse response;
  LONG volatile references = 2;

  void Release() {
    if (InterlockedDecrement(&references) == 0) {
      if (finished) CloseHandle(finished);
      delete this;
    }
  }
  void CloseRequest() {
    HINTERNET r = HINTERNET(InterlockedExchangePointer((PVOID volatile*)&request, nullptr));
    if (r) WinHttpCloseHandle(r);
  }
};

void Fail(Exchange* x, DWORD code) {
  x->response.status = code == ERROR_WINHTTP_CANNOT_CONNECT ? HttpResponse::Status::kCannotConnect
                                                           : HttpResponse::Status::kFailed;
  x->response.errorNumber = long(code);
  x->response.errorText = ErrorText(code);
}

void Fail(Exchange* x, long number, const std::string& text) {
  x->response.status = HttpResponse::Status::kFailed;
  x->response.errorNumber = number;
  x->response.errorText = text;
}

// One hop: the request to `url`, its status and body into x->response; the
// Location of a redirect into `*location`. False when the exchange has failed.
bool RunHop(Exchange* x, HINTERNET session, const std::string& url, std::string* location) {
  std::wstring wideUrl = Widen(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = DWORD(-1);
  parts.dwUrlPathLength = DWORD(-1);
  parts.dwExtraInfoLength = DWORD(-1);
  if (!WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts)) return Fail(x, GetLastError()), false;
  std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo) path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";
  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

  HINTERNET connection = WinHttpConnect(session, host.c_str(), parts.nPort, 0);
  if (!connection) return Fail(x, GetLastError()), false;
  HINTERNET request = WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                         WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0);
  if (!request) {
    Fail(x, GetLastError());
    WinHttpCloseHandle(connection);
    return false;
  }
  x->request = request;
  // Redirects are followed by the caller, one hop at a time, to check each
  // target; and no decompression: the body stays as sent and its limit is
  // the size on the wire.
  DWORD disable = WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable);
  DWORD decompression = 0;
  WinHttpSetOption(request, 118 /* WINHTTP_OPTION_DECOMPRESSION */, &decompression, sizeof decompression);
  bool ok = WinHttpAddRequestHeaders(request, x->headers.c_str(), DWORD(-1L),
                                     WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE) &&
            WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
            WinHttpReceiveResponse(request, nullptr);
  DWORD error = ok ? 0 : GetLastError();
  x->response.body.clear();
  bool tooLong = false, late = false;
  if (ok) {
    DWORD status = 0, size = sizeof status;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                        &status, &size, WINHTTP_NO_HEADER_INDEX);
    x->response.httpStatus = int(status);
    wchar_t where[2048];
    size = sizeof where;
    if (IsRedirect(int(status)) &&
        WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, where, &size,
                            WINHTTP_NO_HEADER_INDEX))
      *location = Narrow(std::wstring(where, size / sizeof(wchar_t)));
    // The headers are in: the rest of the answer must come within its time.
    const int64_t deadline = Clock::Real().MonotonicMs() + x->limits.answerTimeMs;
    for (;;) {
      const int64_t now = Clock::Real().MonotonicMs();
      if (now >= deadline) {
        late = true;
        break;
      }
      DWORD remaining = DWORD(deadline - now);
      WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_TIMEOUT, &remaining, sizeof remaining);
      char buffer[4096];
      DWORD got = 0;
      if (!WinHttpReadData(request, buffer, sizeof buffer, &got)) {
        error = GetLastError();
        late = error == ERROR_WINHTTP_TIMEOUT;
        ok = late;
        break;
      }
      if (got == 0) break;
      if (x->response.body.size() + got > x->limits.maxAnswerBytes) {
        tooLong = true;
        break;
      }
      x->response.body.append(buffer, got);
    }
  }
  if (tooLong)
    Fail(x, long(ERROR_WINHTTP_INVALID_SERVER_RESPONSE),
         "answer longer than " + std::to_string(x->limits.maxAnswerBytes) + " bytes");
  else if (late)
    Fail(x, long(ERROR_WINHTTP_TIMEOUT),
         "answer not complete " + std::to_string(x->limits.answerTimeMs / 1000) + " s after it began");
  else if (!ok)
    Fail(x, error);
  x->CloseRequest();
  WinHttpCloseHandle(connection);
  return ok && !tooLong && !late;
}

void RunExchange(Exchange* x) {
  // The service runs on this computer: no proxy.
  HINTERNET session = WinHttpOpen(L"Quilo1", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0);
  if (!session) return Fail(x, GetLastError());
  // Connecting is bounded; the wait for the answer is not: the service
  // answers once the customer has paid.
  WinHttpSetTimeouts(session, 0, x->limits.connectTimeoutMs, 0, 0);
  // TLS 1.2 and 1.3 where the system knows 1.3, else TLS 1.2 alone.
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | 0x00002000;
  if (!WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
    protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
    WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
  }
  std::string url = x->url;
  for (int hop = 0;; ++hop) {
    std::string location;
    if (!RunHop(x, session, url, &location)) break;
    if (location.empty()) {
      x->response.status = HttpResponse::Status::kAnswered;
      break;
    }
    std::string target = RedirectTarget(url, location);
    if (target.empty()) {
      Fail(x, x->response.httpStatus, "redirect refused: " + location);
      break;
    }
    if (hop >= x->limits.maxRedirects) {
      Fail(x, x->response.httpStatus, "more than " + std::to_string(x->limits.maxRedirects) + " redirects");
      break;
    }
    url = target;
  }
  WinHttpCloseHandle(session);
}

DWORD WINAPI Worker(LPVOID param) {
  auto* x = static_cast<Exchange*>(param);
  RunExchange(x);
  SetEvent(x->finished);
  x->Release();
  return 0;
}

class WinHttpClient : public HttpClient {
 public:
  WinHttpClient(EventLoop& loop, const HttpLimits& limits) : loop_(loop), limits_(limits) {}
  ~WinHttpClient() override { Cancel(); }

  void Get(const std::string& url, const std::vector<HttpHeader>& headers,
           std::function<void(const HttpResponse&)> done) override {
    Cancel();
    done_ = std::move(done);
    auto* x = new Exchange;
    x->url = url;
    x->limits = limits_;
    for (const auto& h : headers) x->headers += Widen(h.name + ": " + h.value + "\r\n");
    x->finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = x->finished ? CreateThread(nullptr, 0, &Worker, x, 0, nullptr) : nullptr;
    if (!thread) {
      HttpResponse failed;
      failed.errorNumber = long(GetLastError());
      failed.errorText = ErrorText(DWORD(failed.errorNumber));
      x->references = 1;
      x->Release();
      late_ = loop_.AddTimer(0, [this, failed] {
        late_ = 0;
        auto done = std::move(done_);
        done_ = nullptr;
        if (done) done(failed);
      });
      return;
    }
    CloseHandle(thread);
    exchange_ = x;
    handle_ = loop_.AddHandle(NativeHandle(x->finished), [this] { OnFinished(); });
  }

  void Cancel() override {
    if (late_) loop_.CancelTimer(late_);
    late_ = 0;
    if (exchange_) {
      loop_.RemoveHandle(handle_);
      handle_ = 0;
      // Closing the request makes a blocked WinHTTP call on the worker return.
      exchange_->CloseRequest();
      exchange_->Release();
      exchange_ = nullptr;
    }
    done_ = nullptr;
  }

 private:
  void OnFinished() {
    loop_.RemoveHandle(handle_);
    handle_ = 0;
    HttpResponse response = std::move(exchange_->response);
    exchange_->Release();
    exchange_ = nullptr;
    auto done = std::move(done_);
    done_ = nullptr;
    if (done) done(response);
  }

  EventLoop& loop_;
  HttpLimits limits_;
  Exchange* exchange_ = nullptr;
  int handle_ = 0;
  int late_ = 0;
  std::function<void(const HttpResponse&)> done_;
};

}  // namespace

std::unique_ptr<HttpClient> HttpClient::Create(EventLoop& loop, const HttpLimits& limits) {
  return std::make_unique<WinHttpClient>(loop, limits);
}

}  // namespace platform
