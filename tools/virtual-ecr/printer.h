// The virtual printer's command interpreter: runs one native command against
// the fiscal state, prints paper lines and returns the answer text (the frame
// around it is the device's business).
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "fiscal_state.h"

namespace vecr {

struct PrinterConfig {
  bool mf = false;          // MF printer: refuses the identification request
  std::string serial;       // empty: a default for RT or MF
  char model_digit = '2';   // answer to the model request
  std::string firmware = "05.01.02";
  std::string header = "NEGOZIO DI PROVA";
  std::string error99_text = "ERRORE GENERICO STAMPANTE";
  bool refuse_date = false;  // setting the clock answers ERR54
};

// Error codes of our own, for commands that the printer cannot run.
inline constexpr const char* kErrSyntax = "02";      // malformed fields
inline constexpr const char* kErrState = "03";       // not allowed now
inline constexpr const char* kErrReceiptOpen = "21";
inline constexpr const char* kErrDocumentOpen = "98";
inline constexpr const char* kErrNegative = "23";
inline constexpr const char* kErrUnsupported = "04";  // not on this model

inline constexpr int kPaperWidth = 40;

class Printer {
 public:
  // `clock` gives the real time in seconds since the epoch.
  Printer(PrinterConfig config, std::function<std::time_t()> clock);

  // Runs `command` and returns the answer text: the echoed code followed by
  // data, or "ERR" and two digits.
  std::string Execute(const std::string& command);
  // The same, typed on the printer's own keys: a receipt it opens is the
  // keys', and the line's printing commands get "receipt open" until it closes.
  std::string ExecuteFromKeys(const std::string& command);

  FiscalState& state() { return state_; }
  const PrinterConfig& config() const { return config_; }

  // Paper printed since the last call, one entry per line.
  std::vector<std::string> TakePaper();
  // True once after every change of the fiscal state.
  bool TakeChanged();

  // Two status characters as the status request reports them.
  std::string Status() const;
  // Forces the status ("00" clears it). Cover open, fiscal closing required
  // and error 99 also refuse the printing commands.
  void SetStatus(const std::string& status) { status_ = status; }
  // Paper ends after `lines` more printed lines (0: now).
  void PaperOutAfter(int lines);
  void PaperIn();
  bool paper_out() const { return paper_out_; }
  void set_refuse_date(bool on) { config_.refuse_date = on; }

  const std::string& display() const { return display_; }
  int drawer_openings() const { return drawer_openings_; }

  // Printer time: real clock plus the offset set by the date command.
  std::time_t Now() const;

 private:
  std::string Run(const std::string& command);
  std::string Block(const std::string& code, const std::string& command) const;

  std::string Item(const std::string& command);
  std::string Adjustment(const std::string& command);
  std::string Payment(const std::string& command);
  std::string Close(const std::string& code);
  std::string Reference(const std::string& command);
  std::string Report(const std::string& command);
  std::string NonFiscal(const std::string& command);
  std::string CashMovement(const std::string& command);
  std::string SetDate(const std::string& command);
  std::string Layout1003() const;
  std::string Layout1004() const;
  std::string Identification() const;
  std::string Serial8() const;

  // Receipt handling.
  bool ReceiptBusy() const;  // items or payments, not yet closed
  void FinishPending();      // prints the footer of a closed receipt
  void OpenReceipt(ReceiptKind kind);
  void Finalize();
  void Cancel();
  int64_t Due() const;

  void Print(const std::string& line);
  void PrintRow(const std::string& left, const std::string& right);
  void PrintCentered(const std::string& text);
  void PrintFooter(const std::string& title, int number);

  PrinterConfig config_;
  std::function<std::time_t()> clock_;
  FiscalState state_;
  std::vector<std::string> paper_;
  std::vector<std::string> receipt_lines_;       // the receipt being printed
  std::vector<std::string> last_receipt_lines_;  // for a reprint
  bool recording_ = false;
  bool changed_ = false;
  std::string status_ = "00";
  int paper_left_ = -1;
  bool paper_out_ = false;
  std::string display_ = std::string(40, ' ');
  int drawer_openings_ = 0;
};

// Amount in cents as currency text with a decimal comma: 1250 -> "12,50".
std::string Money(int64_t cents);

}  // namespace vecr
