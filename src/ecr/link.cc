// The serial link to the printer: one exchange at a time, paced by the
// printer's answers and by the answer timer.
#include "ecr/link.h"

#include <cmath>
#include <cstdio>

#include "ecr/text.h"

namespace ecr {

std::string CurrDateTime(const platform::LocalTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d_%02d%02d%02d", t.year % 10000, t.month % 100, t.day % 100,
                t.hour % 100, t.minute % 100, t.second % 100);
  return std::string(buf) + " <--> ";
}

std::string CurrDateTime() { return CurrDateTime(platform::NowLocal()); }

std::string CalcolaChecksum(const std::string& text) {
  unsigned sum = 0;
  for (unsigned char c : text) sum += c;
  return TwoDigits(int(sum % 100));
}

EcrLink::EcrLink(platform::SerialPort& port, platform::EventLoop& loop, const settings::Options& options)
    : port_(port), loop_(loop), options_(options) {}

int16_t EcrLink::ProgrammaPortaSeriale(int16_t port) { return port_.Configure(port) ? 0 : 1; }

void EcrLink::Vexocx21_OpenPort() {
  if (ProgrammaPortaSeriale(currentPort_) != 0) return;
  if (!port_.IsOpen() && !port_.Open()) port_.Close();
}

void EcrLink::Vexocx21_ClosePort() {
  if (port_.IsOpen()) port_.Close();
}

void EcrLink::RaiseTimedOut() {
  raised_ = true;
  state_.timedOut = true;
  loop_.Wake();
}

bool EcrLink::Tracing() const { return options_.chbTrace && trace_; }

void EcrLink::Trace(const std::string& text) {
  if (Tracing()) trace_(CurrDateTime() + text);
}

void EcrLink::AdvanceSequence() {
  if (!state_.sequenceStarted) {
    state_.sequenceStarted = true;
    state_.sequence = "00";
  } else if (state_.sequence == "99") {
    state_.sequence = "00";
  } else {
    state_.sequence = TwoDigits(int(Val(state_.sequence) + 1) % 100);
  }
}

std::string EcrLink::BuildFrame(const std::string& command, std::string* checksum) {
  std::string body = state_.sequence + std::to_string(state_.terminalId) + command;
  *checksum = CalcolaChecksum(body);
  return std::string(1, STX) + body + *checksum + std::string(1, ETX);
}

void EcrLink::DrainInput() {
  while (!port_.Input().empty()) {
  }
}

std::string EcrLink::WaitAnswer(int64_t timeout_ms) {
  state_.timedOut = raised_;
  state_.extraTicks = 0;
  int timer = loop_.AddTimer(timeout_ms, [this] { state_.timedOut = true; });
  std::string input;
  for (;;) {
    input += port_.Input();
    if (input == std::string(1, NAK) || input.find(ETX) != std::string::npos) break;
    if (state_.timedOut || raised_) break;
    loop_.RunOnce(-1);
  }
  loop_.CancelTimer(timer);
  return input;
}

void EcrLink::WaitForAnyByte(int64_t timeout_ms) {
  state_.timedOut = raised_;
  int timer = loop_.AddTimer(timeout_ms, [this] { state_.timedOut = true; });
  while (port_.InBufferCount() < 1 && !state_.timedOut && !raised_) loop_.RunOnce(-1);
  loop_.CancelTimer(timer);
}

void EcrLink::Attendi(float milliseconds) {
  long rounds = std::lrint(milliseconds) / 50;
  for (long i = 0; i < rounds && !raised_; ++i) {
    bool due = false;
    int timer = loop_.AddTimer(50, [&due] { due = true; });
    while (!due && !raised_) loop_.RunOnce(-1);
    loop_.CancelTimer(timer);
  }
}

int16_t EcrLink::MapErrorCode(const std::string& code, bool* traced) {
  static const struct {
    const char* code;
    int16_t result;
    bool traced;
  } kCodes[] = {
      {"09", -2, true},   {"12", -31, true}, {"16", -4, true},  {"20", -8, true},  {"21", -7, false},
      {"98", -7, false},  {"23", -10, true}, {"30", -11, true}, {"31", -12, true}, {"37", -5, true},
      {"51", -3, true},   {"54", -13, true}, {"99", -99, true}, {"29", -29, true},
  };
  for (const auto& c : kCodes) {
    if (code == c.code) {
      *traced = c.traced;
      return c.result;
    }
  }
  *traced = true;
  return -1;
}

// The body of an answer, by the printer's three framings.
static std::string CutAnswer(const std::string& raw) {
  const long len = long(raw.size());
  if (raw.find(':') != std::string::npos) return Mid(raw, 3, len - 5);
  auto stx = raw.find(STX);
  if (stx != std::string::npos) return Mid(raw, long(stx) + 1 + 4);
  return Mid(raw, 6, len - 8);
}

int16_t EcrLink::TrasmettiStringa(const std::string& command) {
  // Once the program is closing no frame goes out: a resend after a cut-short
  // wait could make the printer print the same line again.
  if (raised_) return 1;
  if (!port_.IsOpen()) {
    Vexocx21_OpenPort();
    if (!port_.IsOpen()) return -8;
  }
  state_.lastErrorCode.clear();
  int nakBudget = 5;
  int retries = 0;

  if (state_.checkStatusFirst) {
    const std::string status = VerificaStato();
    if (status == "1") return -8;
    if (status == "10") return -5;
    if (status == "01") return -4;
    if (status == "11") return -9;
    if (status == "12") return -5;
    if (status == "54") return -13;
    if (status == "99") return -99;
    if (status != "00") return -1;
  }

  const int64_t timeout = (command == "1003" || command == "1004") ? 8000 : 5000;
  const std::string nak(1, NAK), ack(1, ACK);
  int16_t result = 0;
  for (;;) {  // a new sequence number
    AdvanceSequence();
    for (;;) {  // the same frame again
      std::string checksum;
      const std::string frame = BuildFrame(command, &checksum);
      if (raised_) return 1;
      DrainInput();
      port_.Output(frame);

      std::string input;
      for (;;) {  // waits until something other than a refusal or a lone ACK
        input = WaitAnswer(timeout);
        if (input == nak) {
          if (--nakBudget > 0 && !raised_) {
            port_.Output(frame);
            continue;
          }
          return 1;
        }
        port_.Output(ack);
        if (input == ack) {
          WaitForAnyByte(15000);
          continue;
        }
        break;
      }

      const std::string sent = " --> " + state_.sequence + std::to_string(state_.terminalId) + command + checksum;
      if (!input.empty()) {
        state_.lastAnswer = CutAnswer(input);
        const std::string& body = state_.lastAnswer;
        auto q = body.find("7101");
        if (q != std::string::npos && command.find("7101") != std::string::npos && Mid(body, long(q) + 5, 1) == "2") {
          Trace(" --> " + command);
          Trace(" <-- " + body);
          return -30;
        }
        auto e = body.find("ERR");
        if (e != std::string::npos) {
          state_.lastErrorCode = Mid(body, long(e) + 4, 2);
          bool traced = true;
          result = MapErrorCode(state_.lastErrorCode, &traced);
          if (traced) {
            Trace(sent);
            if (!state_.lastAnswer.empty()) Trace(" <-- " + input + "|" + state_.lastErrorCode);
          }
          return result;
        }
        result = 0;
      } else {
        Trace(" <-- InputBuffer vuoto");
        if (retries <= 5) {
          ++retries;
          state_.lastAnswer.clear();
          break;  // new sequence number
        }
        result = 1;
      }

      Trace(sent);
      if (!state_.lastAnswer.empty()) Trace(" <-- " + input);

      if (state_.lastAnswer.size() < 4 || state_.lastAnswer.compare(0, 4, Mid(command, 1, 4)) != 0) {
        Attendi(options_.chbDelayCompatibilita ? 200.0f : 100.0f);
        if (retries <= 5) {
          ++retries;
          continue;  // same sequence number
        }
        return 1;
      }
      return result;
    }
  }
}

std::string EcrLink::VerificaStato() {
  const std::string nak(1, NAK), ack(1, ACK);
  AdvanceSequence();
  for (int sends = 1;; ++sends) {
    if (raised_) return "1";
    std::string checksum;
    const std::string frame = BuildFrame("1009", &checksum);
    DrainInput();
    port_.Output(frame);
    const std::string input = WaitAnswer(5000);
    port_.Output(ack);
    std::string status;
    auto q = input.find("1009");
    if (q != std::string::npos) status = Mid(input, long(q) + 5, 2);
    Trace(" --> " + state_.sequence + std::to_string(state_.terminalId) + "1009" + checksum);
    if (!input.empty()) Trace(" <-- " + input + "|" + state_.lastErrorCode);
    if (!input.empty() && input != nak) return status;
    if (input == nak) state_.sequenceStarted = false;
    if (sends >= 7) return "1";
  }
}

}  // namespace ecr
