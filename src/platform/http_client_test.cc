// Tests of the HTTP client on the real event loop: a refused connection, a
// cancelled request and, when QUILO1_HTTP_TEST_URL names a running
// virtual-pos, a real answer.
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
