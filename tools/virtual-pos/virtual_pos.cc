// virtual-pos: a stand-in for the local card-payment service, for tests and
// for trying the program without a terminal. One HTTP server on loopback.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: virtual-pos [options]\n"
    "A local card-payment service that answers every request\n"
    "GET /WebZentarposWS/api/Payment/AMOUNT[/EXTRA] with an XML answer.\n"
    "\n"
    "  --port N                 listen on 127.0.0.1:N (default 8088; 0 picks a free port)\n"
    "  --result CODE            TransactionResult of the answers (default 00, approved);\n"
    "                           any other code is a refusal by the terminal\n"
    "  --ko-description TEXT    KODescription of the answers\n"
    "  --card-type N            CardType of the answers (default 1; 2 asks for a signature)\n"
    "  --terminal ID            TerminalId of the answers (default 00000001)\n"
    "  --error-message TEXT     answer with an /Error/Message service error instead\n"
    "  --exception-message TEXT answer with an /Error/ExceptionMessage service error\n"
    "                           (with --error-message, the answer carries both)\n"
    "  --no-result              answer with a transaction record without TransactionResult\n"
    "  --delay-ms N             answer N milliseconds after the request\n"
    "  --silent                 never answer (the connection stays open)\n"
    "  --log FILE               append each request (request line and headers, then an\n"
    "                           empty line) to FILE\n"
    "  --control FILE           read FILE at every request: one option a line, the value\n"
    "                           after one blank (\"--result 05\", \"--error-message Busy\"),\n"
    "                           applied on top of the command line for that answer\n"
    "  --help                   this text\n"
    "\n"
    "Once listening it prints \"listening on 127.0.0.1:PORT\"; then it prints every\n"
    "request line it gets, one per line.\n";

struct Config {
  int port = 8088;
  std::string result = "00";
  std::string koDescription;
  std::string cardType = "1";
  std::string terminal = "00000001";
  std::string errorMessage;
  std::string exceptionMessage;
  bool noResult = false;
  long delayMs = 0;
  bool silent = false;
  std::string logPath;
  std::string controlPath;
};

struct Client {
  int fd;
  std::string in;
  std::string out;
  long long answerAt = -1;  // ms on the monotonic clock; -1 none pending
  bool requested = false;
};

long long NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (static_cast<unsigned char>(c) < 0x20)
      out += "&#" + std::to_string(int(c)) + ";";  // as a hostile service hides frames in a text
    else
      out += c;
  }
  return out;
}

std::string Element(const std::string& name, const std::string& value) {
  return "  <" + name + ">" + Escaped(value) + "</" + name + ">\r\n";
}

std::string Stamp() {
  time_t t = time(nullptr);
  tm parts;
  localtime_r(&t, &parts);
  char buf[32];
  strftime(buf, sizeof buf, "%d/%m/%Y %H:%M:%S", &parts);
  return buf;
}

// The HTTP response for one request line.
std::string Respond(const Config& cfg, const std::string& requestLine, long long sequence) {
  const std::string prefix = "GET /WebZentarposWS/api/Payment/";
  std::string status = "200 OK";
  std::string body;
  if (requestLine.compare(0, prefix.size(), prefix) != 0) {
    status = "404 Not Found";
  } else if (!cfg.errorMessage.empty() || !cfg.exceptionMessage.empty()) {
    status = "500 Internal Server Error";
    body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Error>\r\n";
    if (!cfg.errorMessage.empty()) body += Element("Message", cfg.errorMessage);
    if (!cfg.exceptionMessage.empty()) body += Element("ExceptionMessage", cfg.exceptionMessage);
    body += "</Error>";
  } else {
    char number[16];
    snprintf(number, sizeof number, "%06lld", sequence % 1000000);
    body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<NativeMethods.POSData>\r\n";
    body += Element("TerminalId", cfg.terminal);
    body += Element("AcquirerId", "00000000001");
    body += Element("TransactionType", "PAGAMENTO");
    if (!cfg.noResult) body += Element("TransactionResult", cfg.result);
    body += Element("KODescription", cfg.koDescription);
    body += Element("CardType", cfg.cardType);
    body += Element("STAN", number);
    body += Element("PAN", "************0119");
    body += Element("AuthorizationCode", cfg.result == "00" ? "A" + std::string(number) : "");
    body += Element("OperationNumber", std::string(number + 2));
    body += Element("DataTrs", Stamp());
    body += "</NativeMethods.POSData>";
  }
  return "HTTP/1.1 " + status +
         "\r\nContent-Type: application/xml; charset=utf-8\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

bool ParseArgs(const std::vector<std::string>& args, Config* cfg) {
  const int argc = int(args.size());
  for (int i = 1; i < argc; ++i) {
    const std::string& a = args[size_t(i)];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = args[size_t(++i)];
      return true;
    };
    std::string v;
    if (a == "--help") {
      fputs(kUsage, stdout);
      exit(0);
    } else if (a == "--port" && value(&v)) {
      cfg->port = atoi(v.c_str());
    } else if (a == "--result" && value(&cfg->result)) {
    } else if (a == "--ko-description" && value(&cfg->koDescription)) {
    } else if (a == "--card-type" && value(&cfg->cardType)) {
    } else if (a == "--terminal" && value(&cfg->terminal)) {
    } else if (a == "--error-message" && value(&cfg->errorMessage)) {
    } else if (a == "--exception-message" && value(&cfg->exceptionMessage)) {
    } else if (a == "--no-result") {
      cfg->noResult = true;
    } else if (a == "--delay-ms" && value(&v)) {
      cfg->delayMs = atol(v.c_str());
    } else if (a == "--silent") {
      cfg->silent = true;
    } else if (a == "--log" && value(&cfg->logPath)) {
    } else if (a == "--control" && value(&cfg->controlPath)) {
    } else {
      fprintf(stderr, "virtual-pos: bad option %s\n%s", a.c_str(), kUsage);
      return false;
    }
  }
  return true;
}

// The command line's behaviour changed by the control file, when there is one.
Config Effective(const Config& base) {
  Config cfg = base;
  if (base.controlPath.empty()) return cfg;
  FILE* f = fopen(base.controlPath.c_str(), "rb");
  if (!f) return cfg;
  std::vector<std::string> args{"virtual-pos"};
  char line[1024];
  while (fgets(line, sizeof line, f)) {
    std::string l = line;
    while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
    if (l.empty()) continue;
    size_t blank = l.find(' ');
    args.push_back(l.substr(0, blank));
    if (blank != std::string::npos) args.push_back(l.substr(blank + 1));
  }
  fclose(f);
  Config changed = base;
  if (ParseArgs(args, &changed)) cfg = changed;
  return cfg;
}

void LogRequest(const Config& cfg, const std::string& head) {
  std::string requestLine = head.substr(0, head.find("\r\n"));
  printf("%s\n", requestLine.c_str());
  fflush(stdout);
  if (cfg.logPath.empty()) return;
  if (FILE* f = fopen(cfg.logPath.c_str(), "ab")) {
    fwrite(head.data(), 1, head.size(), f);
    fwrite("\r\n", 1, 2, f);  // the head ends with one CR LF; one more marks the end
    fclose(f);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Config cfg;
  if (!ParseArgs(std::vector<std::string>(argv, argv + argc), &cfg)) return 2;
  signal(SIGPIPE, SIG_IGN);

  int listener = socket(AF_INET, SOCK_STREAM, 0);
  int yes = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(uint16_t(cfg.port));
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener, 8) != 0) {
    perror("virtual-pos: cannot listen");
    return 1;
  }
  socklen_t len = sizeof addr;
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  printf("listening on 127.0.0.1:%d\n", ntohs(addr.sin_port));
  fflush(stdout);

  std::vector<Client> clients;
  long long sequence = 0;
  for (;;) {
    std::vector<pollfd> fds{{listener, POLLIN, 0}};
    long long now = NowMs();
    int timeout = -1;
    for (const auto& c : clients) {
      short events = c.out.empty() ? POLLIN : POLLOUT;
      fds.push_back({c.fd, events, 0});
      if (c.answerAt >= 0) {
        long long left = c.answerAt - now;
        if (left < 0) left = 0;
        if (timeout < 0 || left < timeout) timeout = int(left);
      }
    }
    if (poll(fds.data(), fds.size(), timeout) < 0) continue;

    if (fds[0].revents & POLLIN) {
      int fd = accept(listener, nullptr, nullptr);
      if (fd >= 0) clients.push_back({fd, "", "", -1, false});
    }
    now = NowMs();
    for (size_t i = 0; i + 1 < fds.size() && i < clients.size(); ++i) {
      Client& c = clients[i];
      if (fds[i + 1].fd != c.fd) continue;
      bool closeIt = false;
      if (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) {
        char buf[4096];
        ssize_t n = read(c.fd, buf, sizeof buf);
        if (n <= 0) {
          closeIt = true;
        } else if (!c.requested) {
          c.in.append(buf, size_t(n));
          size_t end = c.in.find("\r\n\r\n");
          if (end != std::string::npos) {
            c.requested = true;
            LogRequest(cfg, c.in.substr(0, end + 2));
            Config answering = Effective(cfg);
            if (!answering.silent) c.answerAt = now + answering.delayMs;
          }
        }
      }
      if (!closeIt && c.answerAt >= 0 && now >= c.answerAt) {
        c.answerAt = -1;
        c.out = Respond(Effective(cfg), c.in.substr(0, c.in.find("\r\n")), ++sequence);
      }
      if (!closeIt && !c.out.empty() && (fds[i + 1].revents & POLLOUT)) {
        ssize_t n = write(c.fd, c.out.data(), c.out.size());
        if (n < 0) {
          closeIt = true;
        } else {
          c.out.erase(0, size_t(n));
          if (c.out.empty()) closeIt = true;
        }
      }
      if (closeIt) {
        close(c.fd);
        c.fd = -1;
      }
    }
    // Answers that fell due while nothing else happened.
    for (auto& c : clients) {
      if (c.fd >= 0 && c.answerAt >= 0 && now >= c.answerAt) {
        c.answerAt = -1;
        c.out = Respond(Effective(cfg), c.in.substr(0, c.in.find("\r\n")), ++sequence);
      }
    }
    std::vector<Client> open;
    for (auto& c : clients)
      if (c.fd >= 0) open.push_back(std::move(c));
    clients.swap(open);
  }
}
