// A small HTTP server carried by the event loop, for the local console: every
// request reaches the handler on the loop's thread, and an answer may be given
// later (a job waits for its printer) or streamed (Server-Sent Events).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/event_loop.h"
#include "platform/http_client.h"

namespace platform {

struct HttpServerConfig {
  std::string address = "127.0.0.1";  // dotted IPv4 address to listen on
  int port = 8731;                    // 0: any free port (see HttpServer::Port)
  int maxConnections = 16;
  size_t maxBody = 1u << 20;
  // A client that sends nothing for this long is dropped, so that slow
  // clients cannot keep the slots (an event stream waits for events, not
  // for its client). POSIX only: http.sys keeps its own time-outs.
  int idleSeconds = 10;
};

struct HttpRequest {
  std::string method;  // "GET", "POST", ...
  std::string path;    // as sent, without the query: "/api/jobs"
  std::string query;   // as sent, after "?": "limit=5"
  std::vector<HttpHeader> headers;
  std::string body;
  // The body was longer than the configured limit; `body` is then empty.
  bool bodyTooLarge = false;

  // The first header of that name, whatever its case; empty when absent.
  std::string Header(const std::string& name) const {
    for (const auto& h : headers) {
      if (h.name.size() != name.size()) continue;
      bool same = true;
      for (size_t i = 0; i < name.size() && same; ++i) {
        same = (h.name[i] | 0x20) == (name[i] | 0x20);
      }
      if (same) return h.value;
    }
    return {};
  }
};

struct HttpAnswer {
  int status = 200;
  std::string contentType = "text/plain; charset=windows-1252";
  std::vector<HttpHeader> headers;
  std::string body;
};

// The answer side of one request. The server keeps it until the client leaves;
// whoever answers later keeps a shared_ptr. All calls from the loop's thread.
class HttpResponder {
 public:
  virtual ~HttpResponder() = default;
  // Answers the request; only the first Send or StartStream counts, and
  // nothing happens once the client is gone.
  virtual void Send(const HttpAnswer& answer) = 0;
  // Starts an answer of status 200 whose body has no end: each Push sends
  // its bytes at once, Finish closes it.
  virtual void StartStream(const std::string& contentType, const std::vector<HttpHeader>& headers) = 0;
  virtual void Push(const std::string& bytes) = 0;
  virtual void Finish() = 0;
  // The client left, or the answer is complete.
  virtual bool Gone() const { return gone_; }
  // Runs once from the loop when Gone becomes true (at once if it is).
  virtual void OnGone(std::function<void()> fn) {
    if (gone_) {
      fn();
    } else {
      onGone_ = std::move(fn);
    }
  }

 protected:
  // Marks the answer gone and hands over the notice still to run, if any.
  std::function<void()> MarkGone() {
    gone_ = true;
    return std::exchange(onGone_, nullptr);
  }

  bool answered_ = false;
  bool streaming_ = false;
  bool gone_ = false;
  std::function<void()> onGone_;
};

using HttpHandler = std::function<void(const HttpRequest& request, std::shared_ptr<HttpResponder> responder)>;

// Listening lasts as long as the object. Nothing wakes the loop while no
// client is connected.
class HttpServer {
 public:
  virtual ~HttpServer() = default;
  // The port actually listened on.
  virtual int Port() const = 0;

  // Null with `*error` filled when the address cannot be listened on.
  static std::unique_ptr<HttpServer> Create(EventLoop& loop, const HttpServerConfig& config, HttpHandler handler,
                                            std::string* error);
};

}  // namespace platform
