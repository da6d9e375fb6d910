// Tests of the HTTP client on the real event loop: a refused connection, a
// cancelled request, the limits against a hostile loopback server and, when
// QUILO1_HTTP_TEST_URL names a running virtual-pos, a real answer.
#include "platform/http_client.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#ifdef _WIN32
#include <winsock2.h>
using AddressLength = int;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>
using AddressLength = socklen_t;
#endif

namespace platform {
namespace {

// A loopback port that takes connections and requests but never answers:
// the kernel completes the handshake of a listening socket by itself.
class SilentServer {
 public:
  SilentServer() {
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    AddressLength len = sizeof addr;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && listen(fd_, 4) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
      port_ = ntohs(addr.sin_port);
  }
  ~SilentServer() {
#ifdef _WIN32
    closesocket(fd_);
    WSACleanup();
#else
    close(fd_);
#endif
  }
  int port() const { return port_; }

 private:
#ifdef _WIN32
  SOCKET fd_;
#else
  int fd_;
#endif
  int port_ = 0;
};

// Nothing listens on port 1 of the loopback address.
const char kClosedUrl[] = "http://127.0.0.1:1/WebZentarposWS/api/Payment/100";

TEST(HttpClientTest, RefusedConnectionComesBackThroughTheLoop) {
  auto loop = EventLoop::Create();
  auto http = HttpClient::Create(*loop);
  std::optional<HttpResponse> got;
  http->Get(kClosedUrl, {{"Accept", "*/*"}}, [&](const HttpResponse& r) { got = r; });
  EXPECT_FALSE(got.has_value());
  ASSERT_TRUE(RunUntil(*loop, [&] { return got.has_value(); }, 30000));
  EXPECT_EQ(HttpResponse::Status::kCannotConnect, got->status) << got->errorNumber << " " << got->errorText;
}

TEST(HttpClientTest, CancelledRequestNeverAnswers) {
  auto loop = EventLoop::Create();
  auto http = HttpClient::Create(*loop);
  int calls = 0;
  http->Get(kClosedUrl, {}, [&](const HttpResponse&) { ++calls; });
  http->Cancel();
  RunUntil(*loop, [] { return false; }, 300);
  EXPECT_EQ(0, calls);

  // The client takes the next request after a cancel.
  std::optional<HttpResponse> got;
  http->Get(kClosedUrl, {}, [&](const HttpResponse& r) { got = r; });
  ASSERT_TRUE(RunUntil(*loop, [&] { return got.has_value(); }, 30000));
  EXPECT_EQ(HttpResponse::Status::kCannotConnect, got->status);
}

TEST(HttpClientTest, CancelWhileWaitingForTheAnswer) {
  SilentServer server;
  ASSERT_NE(0, server.port());
  auto loop = EventLoop::Create();
  auto http = HttpClient::Create(*loop);
  int calls = 0;
  http->Get("http://127.0.0.1:" + std::to_string(server.port()) + "/WebZentarposWS/api/Payment/100", {},
            [&](const HttpResponse&) { ++calls; });
  // The loop runs its timers while the request waits.
  int ticks = 0;
  loop->AddTimer(50, [&] { ++ticks; });
  RunUntil(*loop, [] { return false; }, 400);
  EXPECT_EQ(1, ticks);
  EXPECT_EQ(0, calls);
  http->Cancel();
  RunUntil(*loop, [] { return false; }, 200);
  EXPECT_EQ(0, calls);
}

#ifndef _WIN32
// The idle daemon's footprint: libcurl (and the TLS libraries behind it) is
// mapped by the first request, not by making the client. In a child process,
// since an earlier test of this program may have loaded it already.
TEST(HttpClientTest, LibcurlIsLoadedByTheFirstRequestOnly) {
  auto mapped = [] {
    std::ifstream maps("/proc/self/maps");
    std::string all((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
    return all.find("libcurl") != std::string::npos;
  };
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int code = mapped() ? 1 : 0;
    auto loop = EventLoop::Create();
    auto http = HttpClient::Create(*loop);
    if (mapped()) code |= 2;
    bool done = false;
    http->Get(kClosedUrl, {}, [&](const HttpResponse&) { done = true; });
    RunUntil(*loop, [&] { return done; }, 30000);
    if (!mapped()) code |= 4;
    _exit(code);
  }
  int status = -1;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  // 1: loaded at start, 2: loaded by the client, 4: not loaded by the request.
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

TEST(HttpClientTest, MalformedAddressFails) {
  auto loop = EventLoop::Create();
  auto http = HttpClient::Create(*loop);
  std::optional<HttpResponse> got;
  http->Get("nonsense://", {}, [&](const HttpResponse& r) { got = r; });
  EXPECT_FALSE(got.has_value());
  ASSERT_TRUE(RunUntil(*loop, [&] { return got.has_value(); }, 30000));
  EXPECT_EQ(HttpResponse::Status::kFailed, got->status);
  EXPECT_FALSE(got->errorText.empty());
}

TEST(HttpClientTest, RedirectTargets) {
  const std::string from = "http://127.0.0.1:8088/WebZentarposWS/api/Payment/100?x=1";
  struct Case {
    const char* location;
    const char* target;  // "" refused
  } cases[] = {
      {"/ok", "http://127.0.0.1:8088/ok"},
      {"ok", "http://127.0.0.1:8088/WebZentarposWS/api/Payment/ok"},
      {"https://127.0.0.1:8443/x", "https://127.0.0.1:8443/x"},
      {"HTTP://user@127.0.0.1/x", "HTTP://user@127.0.0.1/x"},
      {"//127.0.0.1:9/x", "http://127.0.0.1:9/x"},
      {"http://127.0.0.2:8088/ok", ""},
      {"http://127.0.0.1.evil.example/ok", ""},
      {"http://evil.example@127.0.0.1:8088/ok", "http://evil.example@127.0.0.1:8088/ok"},
      {"http://127.0.0.1@evil.example/ok", ""},
      {"//evil.example/ok", ""},
      {"ftp://127.0.0.1/ok", ""},
      {"file:///etc/passwd", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.target, RedirectTarget(from, c.location)) << c.location;
}

#ifndef _WIN32
// A loopback server in a child process that answers each request by its
// path: the hostile answers a payment service must not get through with.
class HostileServer {
 public:
  HostileServer() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
      return;
    port_ = ntohs(addr.sin_port);
    pid_ = fork();
    if (pid_ == 0) {
      signal(SIGPIPE, SIG_IGN);
      alarm(60);  // never outlives the test
      for (;;) {
        int c = accept(fd, nullptr, nullptr);
        if (c >= 0) Serve(c);
        close(c);
      }
    }
    close(fd);
  }
  ~HostileServer() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  void Serve(int c) {
    std::string request;
    char buf[1024];
    ssize_t n;
    while (request.find("\r\n\r\n") == std::string::npos && (n = read(c, buf, sizeof buf)) > 0)
      request.append(buf, size_t(n));
    std::string path = request.substr(4, request.find(' ', 4) - 4);
    auto send = [&](const std::string& bytes) { return ::send(c, bytes.data(), bytes.size(), MSG_NOSIGNAL) > 0; };
    const std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
    if (path == "/big") {
      // No length given: only the client's own count stops it.
      send(head + "\r\n");
      std::string block(64 * 1024, '<');
      for (int i = 0; i < 16 && send(block); ++i) {
      }
    } else if (path == "/away") {
      send("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.2:" + std::to_string(port_) + "/ok\r\n\r\n");
    } else if (path == "/scheme") {
      send("HTTP/1.1 301 Moved\r\nLocation: file:///etc/passwd\r\n\r\n");
    } else if (path == "/loop" || path == "/near") {
      send("HTTP/1.1 302 Found\r\nLocation: " + std::string(path == "/loop" ? "/loop" : "/ok") + "\r\n\r\n");
    } else if (path == "/ok") {
      send(head + "Content-Length: 5\r\n\r\n<ok/>");
    } else if (path == "/gzip") {
      send(head + "Content-Encoding: gzip\r\nContent-Length: 5\r\n\r\n\x1f\x8b" "ZZZ");
    } else if (path == "/500") {
      send("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\n\r\n<ok/>");
    } else if (path == "/trickle") {
      send(head + "Content-Length: 1000\r\n\r\n");
      for (int i = 0; i < 100 && send("<"); ++i) usleep(100 * 1000);
    }
  }

  int port_ = 0;
  pid_t pid_ = -1;
};

TEST(HttpClientTest, LimitsAgainstAHostileServer) {
  HostileServer server;
  auto loop = EventLoop::Create();
  HttpLimits limits;
  limits.answerTimeMs = 1000;  // the trickle below would take 10 s
  auto http = HttpClient::Create(*loop, limits);
  struct Case {
    const char* path;
    HttpResponse::Status status;
    int httpStatus;
    const char* body;   // when answered
    const char* error;  // part of errorText when failed
  } cases[] = {
      {"/big", HttpResponse::Status::kFailed, 0, "", "longer than 65536 bytes"},
      {"/away", HttpResponse::Status::kFailed, 0, "", "redirect refused: http://127.0.0.2:"},
      {"/scheme", HttpResponse::Status::kFailed, 0, "", "redirect refused: file:"},
      {"/loop", HttpResponse::Status::kFailed, 0, "", "more than 3 redirects"},
      {"/near", HttpResponse::Status::kAnswered, 200, "<ok/>", ""},
      {"/gzip", HttpResponse::Status::kAnswered, 200, "\x1f\x8b" "ZZZ", ""},
      {"/500", HttpResponse::Status::kAnswered, 500, "<ok/>", ""},
      {"/trickle", HttpResponse::Status::kFailed, 0, "", "answer not complete 1 s after it began"},
  };
  for (const auto& c : cases) {
    std::optional<HttpResponse> got;
    http->Get(server.Url(c.path), {{"Accept-Encoding", "gzip,deflate"}}, [&](const HttpResponse& r) { got = r; });
    ASSERT_TRUE(RunUntil(*loop, [&] { return got.has_value(); }, 30000)) << c.path;
    EXPECT_EQ(c.status, got->status) << c.path << ": " << got->errorText;
    if (c.status == HttpResponse::Status::kAnswered) {
      EXPECT_EQ(c.httpStatus, got->httpStatus) << c.path;
      EXPECT_EQ(c.body, got->body) << c.path;
    } else {
      EXPECT_NE(std::string::npos, got->errorText.find(c.error)) << c.path << ": " << got->errorText;
    }
  }
}
#endif

TEST(HttpClientTest, AnswerOfARunningService) {
  const char* url = std::getenv("QUILO1_HTTP_TEST_URL");
  if (!url || !*url) GTEST_SKIP() << "QUILO1_HTTP_TEST_URL is not set";
  auto loop = EventLoop::Create();
  auto http = HttpClient::Create(*loop);
  std::optional<HttpResponse> got;
  http->Get(std::string(url) + "/WebZentarposWS/api/Payment/1250/3",
            {{"Accept", "application/xml"}, {"Accept-Encoding", "gzip,deflate"}, {"Connection", "Keep-Alive"}},
            [&](const HttpResponse& r) { got = r; });
  ASSERT_TRUE(RunUntil(*loop, [&] { return got.has_value(); }, 30000));
  ASSERT_EQ(HttpResponse::Status::kAnswered, got->status) << got->errorNumber << " " << got->errorText;
  EXPECT_EQ(200, got->httpStatus);
  EXPECT_NE(std::string::npos, got->body.find("<TransactionResult>00</TransactionResult>")) << got->body;
}

}  // namespace
}  // namespace platform
