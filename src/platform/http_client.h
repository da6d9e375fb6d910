// One HTTP GET at a time, carried by the event loop: the request never blocks
// the loop, and its answer is delivered from the loop.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/event_loop.h"

namespace platform {

struct HttpHeader {
  std::string name;
  std::string value;
};

struct HttpResponse {
  enum class Status {
    kAnswered,       // a response came, whatever its HTTP status
    kCannotConnect,  // nobody accepted the connection
    kFailed,         // any other failure; see errorNumber and errorText
  };
  Status status = Status::kFailed;
  int httpStatus = 0;
  // The body as received, bytes untouched: no content decoding.
  std::string body;
  // The HTTP component's own error number and text, for kFailed.
  long errorNumber = 0;
  std::string errorText;
};

// The bounds of every request. The payment service is local and its answers
// are small; the wait for the answer itself has no limit, since the service
// holds the request open while the customer pays.
struct HttpLimits {
  // A longer answer fails the request.
  size_t maxAnswerBytes = 64 * 1024;
  // Followed only to the same host, over http or https.
  int maxRedirects = 3;
  int connectTimeoutMs = 10000;
  // Once the first line of the answer has come, all of it must come within
  // this time: a trickle cannot hold the program, a silent wait for the card can.
  int answerTimeMs = 60000;
};

// Abstract so the card payment can be tested without a network.
class HttpClient {
 public:
  virtual ~HttpClient() = default;

  // Starts a GET of `url` with these request headers, in this order, within
  // HttpLimits. Redirects are followed; an https address uses the platform's
  // secure defaults, TLS 1.2 or newer. `done` runs exactly once, from the
  // event loop and never from inside Get, unless Cancel comes first. A second
  // Get cancels the first.
  virtual void Get(const std::string& url, const std::vector<HttpHeader>& headers,
                   std::function<void(const HttpResponse&)> done) = 0;

  // Drops the request in flight, if any; its `done` is never called.
  virtual void Cancel() = 0;

  // The system's client (libcurl or WinHTTP). It loads its libraries on the
  // first Get, so that a program that never asks for a payment never loads
  // the HTTP and TLS libraries.
  static std::unique_ptr<HttpClient> Create(EventLoop& loop, const HttpLimits& limits = {});
};

// Where a redirect from `from` with this Location header leads, as an
// absolute address; empty when it may not be followed: another host, or a
// scheme other than http and https.
std::string RedirectTarget(const std::string& from, const std::string& location);

// True for the statuses whose Location a GET follows.
inline bool IsRedirect(int httpStatus) {
  return httpStatus == 301 || httpStatus == 302 || httpStatus == 303 || httpStatus == 307 || httpStatus == 308;
}

}  // namespace platform
