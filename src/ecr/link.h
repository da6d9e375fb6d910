// The serial link to the printer: framing, checksum, acknowledgement,
// repeats and the mapping of the printer's error answers to result codes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/event_loop.h"
#include "platform/serial_port.h"
#include "platform/system.h"
#include "settings/options.h"

namespace platform {
class Clock;
}  // namespace platform

namespace ecr {

inline constexpr char STX = 2;
inline constexpr char ETX = 3;
inline constexpr char ACK = 6;
inline constexpr char NAK = 21;

// Receives one text line at a time (trace file, SR_OUT, dump trace).
using LineSink = std::function<void(const std::string& line)>;

// Results of one exchange (TrasmettiStringa): success, no usable answer, or
// what the printer's error answer or status means.
enum LinkResult : int16_t {
  kLinkOk = 0,
  kLinkNoAnswer = 1,
  kPrinterError = -1,           // any other "ERR" code; a status other than "00"
  kPrintBufferFull = -2,        // ERR09: the receipt must be closed by hand
  kFiscalMemoryFull = -3,       // ERR51
  kPaperEnd = -4,               // ERR16; status "01"
  kCoverOpen = -5,              // ERR37; status "10" or "12"
  kReceiptOpen = -7,            // ERR21, ERR98
  kPrinterNotReady = -8,        // ERR20; the port cannot be opened; no status answer
  kCoverOpenPaperEnd = -9,      // status "11"
  kNegativeTotal = -10,         // ERR23
  kJournalFull = -11,           // ERR30
  kJournalNearlyFull = -12,     // ERR31
  kFiscalClosingNeeded = -13,   // ERR54; status "54"
  kNegativeVat = -29,           // ERR29: the RT document was cancelled
  kRtDocumentRefused = -30,     // "7101" answered with "2"
  kRtDocumentNotFound = -31,    // ERR12
  kControlByteInCommand = -32,  // a byte below 0x20 in the command: nothing sent
  kPrinterError99 = -99,        // ERR99; status "99"
};

struct EcrLinkState {
  std::string sequence = "00";
  bool sequenceStarted = false;
  int16_t terminalId = 0;
  std::string lastAnswer;
  std::string lastErrorCode;
  bool timedOut = false;
  bool checkStatusFirst = false;
};

// "YYYYMMDD_hhmmss <--> ", the stamp of every trace line.
std::string CurrDateTime(const platform::LocalTime& t);

// Sum of the byte values modulo 100, two digits.
std::string CalcolaChecksum(const std::string& text);

// The one link of the program. It owns the link state and uses, without
// owning them, the port, the loop, the operator's options and the clock of
// the trace stamps.
class EcrLink {
 public:
  EcrLink(platform::SerialPort& port, platform::EventLoop& loop, const settings::Options& options,
          platform::Clock& clock);

  // The port index (1 to 4) the link opens; the job service sets it.
  void SetCurrentPort(int16_t port) { currentPort_ = port; }
  int16_t currentPort() const { return currentPort_; }

  // Trace lines go to `sink` while chbTrace is ticked; pass an empty sink
  // when the trace file is closed.
  void SetTraceSink(LineSink sink) { trace_ = std::move(sink); }

  // 0, or 1 when the port cannot be programmed (absent device, another
  // port open).
  int16_t ProgrammaPortaSeriale(int16_t port);
  // Failures are swallowed; test IsPortOpen() afterwards.
  void Vexocx21_OpenPort();
  void Vexocx21_ClosePort();
  bool IsPortOpen() const { return port_.IsOpen(); }

  // One exchange: 0, 1 (no usable answer) or a negative printer error.
  // A command holding a byte below 0x20 is never framed: an STX or ETX in
  // it would end the frame early and start one the document never asked
  // for. It gives kControlByteInCommand and nothing goes out.
  int16_t TrasmettiStringa(const std::string& command);
  // Between the two calls (one document) a refused command also refuses
  // every later one, so that no part of the document follows it.
  void BeginDocument() { documentOpen_ = true, refusedInDocument_ = false; }
  void EndDocument() { documentOpen_ = false, refusedInDocument_ = false; }
  bool controlByteRefused() const { return refusedInDocument_; }
  // Whether TrasmettiStringa would frame `command`: no control byte in it and
  // no command refused earlier in the document.
  bool Accepts(const std::string& command) const;
  // The two status characters of "1009", "" when the answer lacked them,
  // "1" when the printer never answered.
  std::string VerificaStato();
  // Pauses in 50 ms rounds, running the event loop; below 50 no pause.
  void Attendi(float milliseconds);

  // The receive buffer, for callers that empty it or complete an answer.
  std::string Input() { return port_.Input(); }

  // Ends the current wait and every later one (shutdown). Safe to call
  // from an event-loop callback.
  void RaiseTimedOut();
  bool timedOutRaised() const { return raised_; }

  EcrLinkState& state() { return state_; }
  const EcrLinkState& state() const { return state_; }
  const std::string& lastAnswer() const { return state_.lastAnswer; }
  const std::string& lastErrorCode() const { return state_.lastErrorCode; }
  void SetLastAnswer(std::string text) { state_.lastAnswer = std::move(text); }
  const settings::Options& options() const { return options_; }
  platform::Clock& clock() { return clock_; }

 private:
  // What the check of an answer decides: the result stands, or the same
  // frame goes out again.
  enum class Next { kDone, kResend };
  struct Exchange {
    int nakBudget;     // refusals still accepted
    int retries = 0;   // empty or wrong answers so far
    int16_t result = kLinkOk;
  };

  void AdvanceSequence();
  std::string BuildFrame(const std::string& command, std::string* checksum);
  void DrainInput();
  // The frame goes out on an emptied receive buffer.
  void SendFrame(const std::string& frame);
  // Waits for an answer that is neither a refusal (the frame goes again
  // while the budget lasts) nor a lone ACK; false when the refusals used up
  // the budget.
  bool ReceiveAnswer(const std::string& frame, int64_t timeoutMs, Exchange& ex, std::string* input);
  // Reads the answer: error codes, an empty answer, an answer that does not
  // echo the command.
  Next CheckAnswer(const std::string& command, const std::string& checksum, const std::string& input,
                   Exchange& ex);
  // Runs the loop until `done()`, the time-out or the shutdown.
  template <typename Done>
  void WaitFor(int64_t timeout_ms, Done done);
  // Collects bytes until exactly one NAK, an ETX, or the time-out.
  std::string WaitAnswer(int64_t timeout_ms);
  void Trace(const std::string& text);

  int16_t Transmit(const std::string& command);

  platform::SerialPort& port_;
  platform::EventLoop& loop_;
  const settings::Options& options_;
  platform::Clock& clock_;
  EcrLinkState state_;
  int16_t currentPort_ = 1;
  bool raised_ = false;
  bool documentOpen_ = false, refusedInDocument_ = false;
  LineSink trace_;
};

}  // namespace ecr
