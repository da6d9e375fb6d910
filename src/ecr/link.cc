// The serial link to the printer: one exchange at a time, paced by the
// printer's answers and by the answer timer.
#include "ecr/link.h"

#include <cmath>
#include <cstdio>

#include "ecr/text.h"
#include "platform/clock.h"

namespace ecr {

std::string CurrDateTime(const platform::LocalTime& t) { return platform::DateTimeStamp(t, '_') + " <--> "; }

std::string CalcolaChecksum(const std::string& text) {
  unsigned sum = 0;
  for (unsigned char c : text) sum += c;
  return TwoDigits(int(sum % 100));
}

EcrLink::EcrLink(platform::SerialPort& port, platform::EventLoop& loop, const settings::Options& options,
                 platform::Clock& clock)
    : port_(port), loop_(loop), options_(options), clock_(clock) {}

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

void EcrLink::Trace(const std::string& text) {
  if (options_.chbTrace && trace_) trace_(CurrDateTime(clock_.Now()) + text);
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

template <typename Done>
void EcrLink::WaitFor(int64_t timeout_ms, Done done) {
  state_.timedOut = raised_;
  int timer = loop_.AddTimer(timeout_ms, [this] { state_.timedOut = true; });
  while (!done() && !state_.timedOut && !raised_) loop_.RunOnce(-1);
  loop_.CancelTimer(timer);
}

std::string EcrLink::WaitAnswer(int64_t timeout_ms) {
  std::string input;
  WaitFor(timeout_ms, [&] {
    input += port_.Input();
    return input == std::string(1, NAK) || input.find(ETX) != std::string::npos;
  });
  return input;
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

namespace {

// Answer time-outs: most commands, the two total reports, and the wait for
// any byte after a lone ACK.
constexpr int64_t kAnswerTimeoutMs = 5000;
constexpr int64_t kTotalsAnswerTimeoutMs = 8000;
constexpr int64_t kAfterLoneAckTimeoutMs = 15000;
// Refusals accepted for one exchange, and empty or wrong answers retried.
constexpr int kNakBudget = 5;
constexpr int kAnswerRetries = 5;

const struct {
  const char* code;
  int16_t result;
  bool traced;
} kErrorCodes[] = {
    {"09", kPrintBufferFull, true},     {"12", kRtDocumentNotFound, true}, {"16", kPaperEnd, true},
    {"20", kPrinterNotReady, true},     {"21", kReceiptOpen, false},       {"98", kReceiptOpen, false},
    {"23", kNegativeTotal, true},       {"30", kJournalFull, true},        {"31", kJournalNearlyFull, true},
    {"37", kCoverOpen, true},           {"51", kFiscalMemoryFull, true},   {"54", kFiscalClosingNeeded, true},
    {"99", kPrinterError99, true},      {"29", kNegativeVat, true},
};

// The printer status read before each command of a dump.
const struct {
  const char* status;
  int16_t result;
} kStatusResults[] = {
    {"00", kLinkOk},     {"1", kPrinterNotReady},       {"10", kCoverOpen},       {"01", kPaperEnd},
    {"11", kCoverOpenPaperEnd}, {"12", kCoverOpen}, {"54", kFiscalClosingNeeded}, {"99", kPrinterError99},
};

int16_t StatusResult(const std::string& status) {
  for (const auto& s : kStatusResults)
    if (status == s.status) return s.result;
  return kPrinterError;
}

int16_t MapErrorCode(const std::string& code, bool* traced) {
  for (const auto& c : kErrorCodes) {
    if (code == c.code) {
      *traced = c.traced;
      return c.result;
    }
  }
  *traced = true;
  return kPrinterError;
}

}  // namespace

// The body of an answer, by the printer's three framings.
static std::string CutAnswer(const std::string& raw) {
  const long len = long(raw.size());
  if (raw.find(':') != std::string::npos) return Mid(raw, 3, len - 5);
  auto stx = raw.find(STX);
  if (stx != std::string::npos) return Mid(raw, long(stx) + 1 + 4);
  return Mid(raw, 6, len - 8);
}

void EcrLink::SendFrame(const std::string& frame) {
  DrainInput();
  port_.Output(frame);
}

bool EcrLink::ReceiveAnswer(const std::string& frame, int64_t timeoutMs, Exchange& ex, std::string* input) {
  const std::string nak(1, NAK), ack(1, ACK);
  for (;;) {
    *input = WaitAnswer(timeoutMs);
    if (*input == nak) {
      if (--ex.nakBudget > 0 && !raised_) {
        port_.Output(frame);
        continue;
      }
      return false;
    }
    port_.Output(ack);
    if (*input == ack) {
      WaitFor(kAfterLoneAckTimeoutMs, [this] { return port_.InBufferCount() >= 1; });
      continue;
    }
    return true;
  }
}

EcrLink::Next EcrLink::CheckAnswer(const std::string& command, const std::string& checksum,
                                   const std::string& input, Exchange& ex) {
  const std::string sent = " --> " + state_.sequence + std::to_string(state_.terminalId) + command + checksum;
  if (!input.empty()) {
    state_.lastAnswer = CutAnswer(input);
    const std::string& body = state_.lastAnswer;
    auto q = body.find("7101");
    if (q != std::string::npos && command.find("7101") != std::string::npos && Mid(body, long(q) + 5, 1) == "2") {
      Trace(" --> " + command);
      Trace(" <-- " + body);
      ex.result = kRtDocumentRefused;
      return Next::kDone;
    }
    auto e = body.find("ERR");
    if (e != std::string::npos) {
      state_.lastErrorCode = Mid(body, long(e) + 4, 2);
      bool traced = true;
      ex.result = MapErrorCode(state_.lastErrorCode, &traced);
      if (traced) {
        Trace(sent);
        if (!state_.lastAnswer.empty()) Trace(" <-- " + input + "|" + state_.lastErrorCode);
      }
      return Next::kDone;
    }
    ex.result = kLinkOk;
  } else {
    Trace(" <-- InputBuffer vuoto");
    // The same number again: a printer that ran the command and only lost
    // its answer knows the frame as a repeat and does not run it twice.
    if (ex.retries <= kAnswerRetries) {
      ++ex.retries;
      state_.lastAnswer.clear();
      return Next::kResend;
    }
    ex.result = kLinkNoAnswer;
  }

  Trace(sent);
  if (!state_.lastAnswer.empty()) Trace(" <-- " + input);

  // An answer that does not echo the command is asked for again.
  if (state_.lastAnswer.size() < 4 || state_.lastAnswer.compare(0, 4, Mid(command, 1, 4)) != 0) {
    Attendi(options_.chbDelayCompatibilita ? 200.0f : 100.0f);
    if (ex.retries <= kAnswerRetries) {
      ++ex.retries;
      return Next::kResend;
    }
    ex.result = kLinkNoAnswer;
  }
  return Next::kDone;
}

namespace {

bool HoldsControlByte(const std::string& text) {
  for (unsigned char c : text)
    if (c < 0x20) return true;
  return false;
}

// The command as a trace line can hold it: control bytes as "<02>".
std::string Shown(const std::string& text) {
  std::string shown;
  for (unsigned char c : text) {
    if (c >= 0x20) {
      shown += char(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<%02X>", c);
      shown += hex;
    }
  }
  return shown;
}

}  // namespace

int16_t EcrLink::TrasmettiStringa(const std::string& command) {
  if (refusedInDocument_) return kControlByteInCommand;
  if (HoldsControlByte(command)) {
    Trace(" --> rifiutato, carattere di controllo nel comando: " + Shown(command));
    // The printer never saw it: no error code of an earlier command goes with it.
    state_.lastErrorCode.clear();
    refusedInDocument_ = documentOpen_;
    return kControlByteInCommand;
  }
  return Transmit(command);
}

bool EcrLink::Accepts(const std::string& command) const { return !refusedInDocument_ && !HoldsControlByte(command); }

int16_t EcrLink::Transmit(const std::string& command) {
  // Once the program is closing no frame goes out: a resend after a cut-short
  // wait could make the printer print the same line again.
  if (raised_) return kLinkNoAnswer;
  if (!port_.IsOpen()) {
    Vexocx21_OpenPort();
    if (!port_.IsOpen()) return kPrinterNotReady;
  }
  state_.lastErrorCode.clear();
  if (state_.checkStatusFirst) {
    const int16_t status = StatusResult(VerificaStato());
    if (status != kLinkOk) return status;
  }

  const int64_t timeout = (command == "1003" || command == "1004") ? kTotalsAnswerTimeoutMs : kAnswerTimeoutMs;
  Exchange ex{kNakBudget};
  AdvanceSequence();
  std::string checksum;
  const std::string frame = BuildFrame(command, &checksum);
  for (;;) {
    if (raised_) return kLinkNoAnswer;
    SendFrame(frame);
    std::string input;
    if (!ReceiveAnswer(frame, timeout, ex, &input)) return kLinkNoAnswer;
    if (CheckAnswer(command, checksum, input, ex) == Next::kDone) return ex.result;
  }
}

std::string EcrLink::VerificaStato() {
  const std::string nak(1, NAK), ack(1, ACK);
  AdvanceSequence();
  for (int sends = 1;; ++sends) {
    if (raised_) return "1";
    std::string checksum;
    SendFrame(BuildFrame("1009", &checksum));
    const std::string input = WaitAnswer(kAnswerTimeoutMs);
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
