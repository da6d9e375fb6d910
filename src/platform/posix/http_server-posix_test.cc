// The real HTTP server on a loopback port, spoken to by a plain socket client
// on another thread while the event loop runs here.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/http_server.h"

namespace platform {
namespace {

// Sends `request` and reads until the server closes or `until` appears.
std::string Exchange(int port, const std::string& request, const std::string& until = "") {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string got;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      write(fd, request.data(), request.size()) == ssize_t(request.size())) {
    char buf[4096];
    ssize_t n;
    while ((until.empty() || got.find(until) == std::string::npos) && (n = read(fd, buf, sizeof buf)) > 0) {
      got.append(buf, size_t(n));
    }
  }
  close(fd);
  return got;
}

TEST(HttpServerTest, AnswersLaterAndStreams) {
  auto loop = EventLoop::Create();
  std::vector<HttpRequest> seen;
  std::shared_ptr<HttpResponder> stream;
  bool streamGone = false;
  std::string error;
  auto server = HttpServer::Create(
      *loop, HttpServerConfig{"127.0.0.1", 0, 16, 64},
      [&](const HttpRequest& req, std::shared_ptr<HttpResponder> r) {
        seen.push_back(req);
        if (req.path == "/events") {
          r->StartStream("text/event-stream", {});
          r->Push("retry: 1000\n\n");
          stream = r;
          r->OnGone([&] { streamGone = true; });
          // The event comes from the loop later, as the service's would.
          loop->AddTimer(20, [&] { stream->Push("event: status\ndata: {}\n\n"); });
        } else {
          // An answer given later, from the loop: the connection waits.
          loop->AddTimer(20, [r, req] { r->Send({req.bodyTooLarge ? 413 : 200, "text/plain", {{"X-A", "1"}}, "ciao " + req.body}); });
        }
      },
      &error);
  ASSERT_TRUE(server) << error;
  int port = server->Port();
  ASSERT_GT(port, 0);

  std::atomic<int> done{0};
  std::string get, post, big, events;
  std::thread client([&] {
    get = Exchange(port, "GET /api/status?x=1 HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    post = Exchange(port, "POST /p HTTP/1.1\r\nHost: h\r\nContent-Length: 5\r\nConnection: close\r\n\r\nabcde");
    big = Exchange(port, "POST /p HTTP/1.1\r\nHost: h\r\nContent-Length: 100\r\nConnection: close\r\n\r\n" +
                             std::string(100, 'x'));
    events = Exchange(port, "GET /events HTTP/1.1\r\nHost: h\r\n\r\n", "data: {}\n\n");
    done = 1;
    loop->Wake();
  });
  RunUntil(*loop, [&] { return done == 1; }, 20000);
  client.join();
  // The client closed the stream: the next push notices.
  RunUntil(*loop, [&] {
    if (stream) stream->Push(": \n\n");
    return streamGone;
  }, 5000);

  EXPECT_EQ(get.rfind("HTTP/1.1 200", 0), 0u) << get;
  EXPECT_NE(get.find("X-A: 1"), std::string::npos);
  EXPECT_NE(get.find("\r\n\r\nciao "), std::string::npos);
  EXPECT_NE(post.find("ciao abcde"), std::string::npos) << post;
  EXPECT_EQ(big.rfind("HTTP/1.1 413", 0), 0u) << big;
  EXPECT_NE(events.find("text/event-stream"), std::string::npos) << events;
  EXPECT_NE(events.find("retry: 1000"), std::string::npos);
  EXPECT_NE(events.find("event: status\ndata: {}"), std::string::npos);
  EXPECT_TRUE(streamGone);
  ASSERT_GE(seen.size(), 4u);
  EXPECT_EQ(seen[0].path, "/api/status");
  EXPECT_EQ(seen[0].query, "x=1");
  EXPECT_EQ(seen[0].Header("host"), "127.0.0.1");
  EXPECT_EQ(seen[1].method, "POST");
}

TEST(HttpServerTest, RefusesAnAddressItCannotHave) {
  auto loop = EventLoop::Create();
  std::string error;
  EXPECT_FALSE(HttpServer::Create(*loop, HttpServerConfig{"not an address", 0}, nullptr, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace platform
