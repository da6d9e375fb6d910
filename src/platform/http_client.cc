// The HTTP client the program gets: the system's client, made on the first
// request. An idle program (no card payment yet) then never initialises the
// HTTP and TLS libraries.
#include "platform/http_client.h"

namespace platform {
namespace {

class OnFirstUse : public HttpClient {
 public:
  explicit OnFirstUse(EventLoop& loop) : loop_(loop) {}
  void Get(const std::string& url, const std::vector<HttpHeader>& headers,
           std::function<void(const HttpResponse&)> done) override {
    if (!client_) client_ = CreateSystemHttpClient(loop_);
    client_->Get(url, headers, std::move(done));
  }
  void Cancel() override {
    if (client_) client_->Cancel();
  }

 private:
  EventLoop& loop_;
  std::unique_ptr<HttpClient> client_;
};

}  // namespace

std::unique_ptr<HttpClient> HttpClient::Create(EventLoop& loop) { return std::make_unique<OnFirstUse>(loop); }

}  // namespace platform
