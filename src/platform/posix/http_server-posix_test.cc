// The real HTTP server on a loopback port, spoken to by a plain socket client
// on another thread while the event loop runs here.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/http_server.h"

namespace platform {
namespace {

// A connected socket that gives up reading after 4 s, or -1.
int Connect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  timeval limit{4, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Sends `request` and reads until the server closes or `until` appears.
std::string Exchange(int port, const std::string& request, const std::string& until = "") {
  int fd = Connect(port);
  std::string got;
  if (fd >= 0 && write(fd, request.data(), request.size()) == ssize_t(request.size())) {
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

// Slots come back: event streams whose pages left, and clients that send
// half a request and then nothing, never keep others out for longer than the
// idle time. Seconds a plain request waited are printed.
TEST(HttpServerTest, LeftStreamsAndSlowClientsFreeTheirSlots) {
  auto loop = EventLoop::Create();
  HttpServerConfig config{"127.0.0.1", 0, 16, 64};
  config.idleSeconds = 2;  // the console's 10 s, shortened for the test
  int streamsGone = 0;
  std::string error;
  auto server = HttpServer::Create(
      *loop, config,
      [&](const HttpRequest& req, std::shared_ptr<HttpResponder> r) {
        if (req.path == "/events") {
          r->StartStream("text/event-stream", {});
          r->Push("retry: 1000\n\n");
          r->OnGone([&] { ++streamsGone; });
        } else {
          r->Send({200, "text/plain", {}, "ok"});
        }
      },
      &error);
  ASSERT_TRUE(server) << error;
  int port = server->Port();
  using Clock = std::chrono::steady_clock;
  auto seconds = [](Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); };
  const std::string get = "GET /ok HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n";

  std::atomic<int> done{0};
  std::string afterStreams, afterSlow;
  double afterStreamsWait = -1, afterSlowWait = -1;
  std::thread client([&] {
    for (int i = 0; i < 32; ++i) {
      int fd = Connect(port);
      std::string head = "GET /events HTTP/1.1\r\nHost: h\r\n\r\n";
      char buf[512];
      if (fd >= 0 && write(fd, head.data(), head.size()) > 0) (void)!read(fd, buf, sizeof buf);
      if (fd >= 0) close(fd);
    }
    auto start = Clock::now();
    afterStreams = Exchange(port, get);
    afterStreamsWait = seconds(start);
    std::vector<int> slow;
    for (int i = 0; i < 16; ++i) {
      int fd = Connect(port);
      const std::string half = "GET /ok HTTP/1.1\r\nHost: h\r\n";
      if (fd >= 0 && write(fd, half.data(), half.size()) > 0) slow.push_back(fd);
    }
    // A client refused at the limit tries again, as a browser would.
    start = Clock::now();
    do {
      afterSlow = Exchange(port, get);
    } while (afterSlow.rfind("HTTP/1.1 200", 0) != 0 && seconds(start) < config.idleSeconds + 5 &&
             (std::this_thread::sleep_for(std::chrono::milliseconds(50)), true));
    afterSlowWait = seconds(start);
    for (int fd : slow) close(fd);
    done = 1;
    loop->Wake();
  });
  RunUntil(*loop, [&] { return done == 1; }, 60000);
  client.join();
  std::printf("after 32 streams: answered in %.3f s; behind 16 slow clients: %.3f s (idle limit %d s)\n",
              afterStreamsWait, afterSlowWait, config.idleSeconds);
  EXPECT_EQ(afterStreams.rfind("HTTP/1.1 200", 0), 0u) << afterStreams;
  EXPECT_LT(afterStreamsWait, 1.0);
  EXPECT_EQ(streamsGone, 32);
  EXPECT_EQ(afterSlow.rfind("HTTP/1.1 200", 0), 0u) << afterSlow;
  EXPECT_LT(afterSlowWait, config.idleSeconds + 1.0);
}

// The idle limit is for clients that send nothing: a request whose answer
// comes later than that (a receipt printing) still gets it.
TEST(HttpServerTest, AnAnswerLaterThanTheIdleLimitStillArrives) {
  auto loop = EventLoop::Create();
  HttpServerConfig config{"127.0.0.1", 0, 16, 64};
  config.idleSeconds = 1;
  std::string error;
  auto server = HttpServer::Create(
      *loop, config,
      [&](const HttpRequest&, std::shared_ptr<HttpResponder> r) {
        loop->AddTimer(1500, [r] { r->Send({200, "text/plain", {}, "stampato"}); });
      },
      &error);
  ASSERT_TRUE(server) << error;
  std::atomic<int> done{0};
  std::string got;
  std::thread client([&] {
    got = Exchange(server->Port(), "POST /api/jobs HTTP/1.1\r\nHost: h\r\nConnection: close\r\nContent-Length: 1\r\n\r\nx");
    done = 1;
    loop->Wake();
  });
  RunUntil(*loop, [&] { return done == 1; }, 10000);
  client.join();
  EXPECT_NE(got.find("stampato"), std::string::npos) << got;
}

TEST(HttpServerTest, RefusesAnAddressItCannotHave) {
  auto loop = EventLoop::Create();
  std::string error;
  EXPECT_FALSE(HttpServer::Create(*loop, HttpServerConfig{"not an address", 0}, nullptr, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace platform
