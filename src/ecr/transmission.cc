// DoSendFile: one document from the converter's native commands to the
// printer, and the receipt data the host reads back in SR_OUT.
#include "ecr/transmission.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "ecr/dump.h"
#include "ecr/paths.h"
#include "ecr/text.h"
#include "language/text_value.h"

namespace ecr {
namespace {

// The document status of a line's result; `stops` ends the document. The
// results with more to do (error 99, negative VAT, paper end) are handled
// where the line is sent.
const struct {
  int16_t result;
  DocumentStatus status;
  bool stops;
} kLineResults[] = {
    {kPrintBufferFull, kDocumentBufferFull, true},
    {kPrinterNotReady, kDocumentPrinterNotReady, true},
    {kNegativeTotal, kDocumentNegativeTotal, true},
    {kCoverOpen, kDocumentCoverOpen, true},
    {kFiscalMemoryFull, kDocumentFiscalMemoryFull, true},
    {kPrinterError, kDocumentPrinterError, true},
    {kCoverOpenPaperEnd, kDocumentPrinterError, true},  // only a status request gives it
    {kReceiptOpen, kDocumentReceiptOpen, true},
    {kLinkNoAnswer, kDocumentNoAnswer, true},
    {kRtDocumentNotFound, kDocumentRtRefused, true},
    {kRtDocumentRefused, kDocumentRtRefused, true},
    {kFiscalClosingNeeded, kDocumentFiscalClosingNeeded, true},
    {kControlByteInCommand, kDocumentControlByte, true},
    {kJournalFull, kDocumentJournalFull, false},
    {kJournalNearlyFull, kDocumentJournalNearlyFull, false},
};


bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t pos = s.find(sep, start);
    out.push_back(s.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
    if (pos == std::string::npos) return out;
    start = pos + 1;
  }
}

// VB's idea of a number: blanks, a sign, digits with one "." or ","; false
// when `text` is none.
bool ParseSigned(const std::string& text, double* value) {
  const size_t b = text.find_first_not_of(' ');
  if (b == std::string::npos) return false;
  std::string t = text.substr(b, text.find_last_not_of(' ') - b + 1);
  const bool negative = t[0] == '-';
  if (t[0] == '+' || t[0] == '-') t.erase(0, 1);
  if (t.empty() || !language::ParseNumber(t, value)) return false;
  if (negative) *value = -*value;
  return true;
}

std::string Percent2(double value) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.2f", value);
  return buf;
}

// A "MOST" (surcharge) or "DOST" (discount) line on the subtotal: 0, or -1
// when the percentage is not a number or an exchange failed. `sent` gets
// the result of the adjustment's own command when it went out.
int16_t SubtotalAdjustment(EcrLink& link, const std::string& line, int16_t* sent) {
  std::string rest = line, description;
  size_t comma = rest.find(',');
  if (comma != std::string::npos) {
    description = rest.substr(comma + 1);
    rest = rest.substr(0, comma);
  }
  std::vector<std::string> fields = Split(rest, '%');
  const std::string& word = fields[0];
  std::string percentText = fields.size() > 1 ? fields[1] : "";
  double percent = 0;
  if (!ParseSigned(percentText, &percent)) return -1;
  if (link.TrasmettiStringa("1003") != 0) return -1;
  int64_t subtotal = Val(Mid(link.lastAnswer(), 42, 9));
  double cents = double(subtotal) * percent / 100.0;
  bool discount = StartsWith(line, "DOST");
  std::string text = description.empty() ? std::string(discount ? "SCONTO SBTL " : "MAGG. SBTL ") + Percent2(percent) + "%"
                                          : description + " " + Percent2(percent) + "%";
  for (char& c : text)
    if (c == ',') c = '.';
  std::string command = std::string(word == "DOST" ? "30013" : "30012") + language::Len2(text) + text +
                        language::Amount9(cents);
  *sent = link.TrasmettiStringa(command);
  return *sent == 0 ? 0 : -1;
}

// One document on its way: what the steps below share.
struct Transmission {
  Transmission(EcrLink& l, platform::FileSystem& f, const NativeDocument& d, const TransmissionContext& c,
               TransmissionEvents& e)
      : link(l), fs(f), doc(d), ctx(c), events(e) {
    r.receiptCounter = c.receiptCounter;
  }

  EcrLink& link;
  platform::FileSystem& fs;
  const NativeDocument& doc;
  const TransmissionContext& ctx;
  TransmissionEvents& events;
  TransmissionResult r;
  HeaderContext header;
  int linesSent = 0;
  std::string lastLine, storedRedt;
  int64_t change = 0;
  bool commandSent = false, headerWritten = false, outputWritten = false;

  void OutLine(const std::string& line) { r.out += line + "\r\n"; }
  LineSink OutSink() {
    return [this](const std::string& line) { OutLine(line); };
  }
};

// What a step leaves to do with the current line.
enum class Next { kGoOn, kStop, kSendAgain };

// The daily totals of "READ,1,path" or "READ,2,path"; a target outside the
// permitted folders, or one reached through a link, ends the document as a
// conversion error would.
Next DailyTotals(Transmission& t, const std::string& target) {
  std::string folder, name;
  const std::string path = AllowedReadTarget(target, t.ctx.dataDir, t.ctx.readAllowedDirs, platform::PathSeparator(),
                                             kPathsIgnoreCase, &folder, &name);
  bool written = false;
  if (!path.empty())
    ScriviTotaliGiornalieri(t.link, t.fs, folder, name, t.ctx.decimalSeparator, &written, &t.r.receiptCounter);
  if (!written) {
    t.r.status = kDocumentNotSent;
    return Next::kStop;
  }
  t.change = 0;
  return Next::kGoOn;
}

// "READ", "SEDT" and "REDT" are carried out here, not sent; kSendAgain
// means the line is no pseudo-command and goes to the printer.
Next PseudoCommand(Transmission& t, const std::string& line) {
  if (StartsWith(line, "READ")) {
    std::vector<std::string> f = Split(line, ',');
    if (f.size() >= 3 && (Val(f[1]) == 1 || Val(f[1]) == 2)) return DailyTotals(t, f[2]);
  } else if (StartsWith(line, "SEDT")) {
    std::vector<std::string> f = Split(line, ',');
    if (f.size() >= 3) {
      if (!WriteDataOra(t.link, f[1] + f[2])) t.r.status = kDocumentFiscalClosingNeeded;
      return Next::kGoOn;
    }
  } else if (StartsWith(line, "REDT")) {
    t.storedRedt = ReadDataOra(t.link);
    return Next::kGoOn;
  }
  return Next::kSendAgain;
}

// An answer with ":" carries the receipt's time, date and number.
void WriteReceiptStamp(Transmission& t) {
  const std::string& answer = t.link.lastAnswer();
  if (answer.find(':') == std::string::npos) return;
  t.OutLine("TIME,CASS. 1 " + Mid(answer, 12, 5) + " CASSA   1 ,E,A1;");
  t.OutLine("DATE," + Mid(answer, 1, 2) + "/" + Mid(answer, 4, 2) + "/" + Mid(answer, 9, 2) + "  SCONTR. N." +
            Mid(answer, 21, 4) + ",E,A1;");
  t.outputWritten = true;
  t.link.SetLastAnswer("");
}

// Asks for the paper status every second until the roll is back; kStop when
// the program closes first.
Next WaitOutPaperEnd(Transmission& t) {
  t.r.status = kDocumentNotSent;
  t.events.PaperEndWait();
  std::string paper;
  while (paper != "00") {
    // Closing abandons the document as if the printer had gone silent.
    if (t.link.timedOutRaised()) break;
    t.link.Attendi(1000);
    if (t.link.TrasmettiStringa("1009") == 0) {
      size_t q = t.link.lastAnswer().find("1009");
      if (q != std::string::npos) paper = t.link.lastAnswer().substr(q + 4, 2);
    }
  }
  if (paper == "00") return Next::kSendAgain;
  t.r.status = kDocumentNoAnswer;
  return Next::kStop;
}

// The document status of a line's result, and whether the document goes on.
Next MapLineResult(Transmission& t, int16_t result) {
  Next next = Next::kGoOn;
  for (const auto& e : kLineResults) {
    if (result == e.result) {
      t.r.status = e.status;
      if (e.stops) next = Next::kStop;
    }
  }
  switch (result) {
    case kPrinterError99: {
      t.r.status = kDocumentError99;
      t.link.Attendi(500);
      t.link.TrasmettiStringa("1015");
      const std::string& a = t.link.lastAnswer();
      size_t q = a.find("1015");
      if (!a.empty() && q != std::string::npos) t.r.errorDetail = a.substr(q + 4);
      return Next::kStop;
    }
    case kNegativeVat:
      t.r.status = kDocumentNegativeVat;
      t.link.Attendi(500);
      t.link.TrasmettiStringa("3001818Annull.transazione000000000");
      return Next::kStop;
    case kPaperEnd:
      return WaitOutPaperEnd(t);
    default:
      return next;
  }
}

// The lines that print inside a receipt (and may open one); the end of the
// document, the logo, the subtotal request and the cancelling do not.
bool PrintsInReceipt(const std::string& command) {
  if (StartsWith(command, "7101") || StartsWith(command, "7102") || StartsWith(command, "7114")) return true;
  return !command.empty() && command[0] == '3' && !StartsWith(command, "3013") && !StartsWith(command, "3017") &&
         !StartsWith(command, "3003") && !StartsWith(command, "30018");
}

// One line of the document to the printer, and what its exchange tells:
// the closing, a line printed, the receipt counter no longer known.
int16_t Exchange(Transmission& t, size_t index, const std::string& line) {
  const bool closing = std::find(t.doc.closings.begin(), t.doc.closings.end(), index) != t.doc.closings.end();
  if (closing && !t.r.closingSent && t.link.Accepts(line)) {
    t.r.closingSent = true;
    t.events.ClosingAboutToBeSent(t.r.receiptCounter);
  }
  // The result of the command that prints in the receipt, when one went.
  int16_t result, printing = kControlByteInCommand;
  if (StartsWith(line, "MOST") || StartsWith(line, "DOST")) {
    result = SubtotalAdjustment(t.link, line, &printing);
  } else {
    result = t.link.TrasmettiStringa(line);
    if (PrintsInReceipt(line)) printing = result;
  }
  // A refused line did nothing; a lost answer may hide a line carried out.
  if (printing == kLinkOk || printing == kLinkNoAnswer) t.r.printed = true;
  if (closing && result == kLinkOk) t.r.closingAnswered = true;
  // A receipt closed or the day's counters reset.
  if (closing || StartsWith(line, "2002")) t.r.receiptCounter = -1;
  return result;
}

// Sends one line, again after a paper end; false when the document stops.
bool SendLine(Transmission& t, size_t index, const std::string& line) {
  for (;;) {
    int16_t result = Exchange(t, index, line);
    t.r.status = result;
    t.commandSent = true;
    WriteReceiptStamp(t);
    if (t.link.lastAnswer().find(t.header.rtMode ? "3007" : "3004") != std::string::npos)
      t.change = Val(Mid(t.link.lastAnswer(), 6, 9));
    Next next = MapLineResult(t, result);
    if (next != Next::kSendAgain) return next == Next::kGoOn;
  }
}

// After the closing line, the payment lines of the kinds paid without an amount.
void PrintPaymentSummary(Transmission& t, const std::string& line) {
  const language::ReceiptFacts& f = t.doc.facts;
  if (!(StartsWith(line, "3007") || StartsWith(line, "3004"))) return;
  if (!(f.cashDue || f.chequeDue || f.cardDue || f.otherDue)) return;
  t.link.TrasmettiStringa("1003");
  std::string amount = FormatCents(Val(Mid(t.link.lastAnswer(), 42, 9)), t.ctx.decimalSeparator);
  if (f.cashDue) t.link.TrasmettiStringa("7007" + PaymentLine("CONTANTI", amount));
  if (f.chequeDue) t.link.TrasmettiStringa("7007" + PaymentLine("ASSEGNI", amount));
  if (f.cardDue) t.link.TrasmettiStringa("7007" + PaymentLine("CARTA DI CREDITO", amount));
  if (f.otherDue) t.link.TrasmettiStringa("7007" + PaymentLine(f.paymentText, amount));
}

// Every line of the document, until the end or a line that stops it.
void SendLines(Transmission& t) {
  for (size_t i = 0; i < t.doc.commands.size(); ++i) {
    const std::string& line = t.doc.commands[i];
    Next pseudo = PseudoCommand(t, line);
    if (pseudo == Next::kStop) return;
    if (pseudo == Next::kGoOn) continue;
    if (!t.commandSent && line.find("Annulla") != std::string::npos) {
      Exchange(t, i, line);
      continue;
    }
    ++t.linesSent;
    t.lastLine = line;
    if (line == "2002" && !t.headerWritten) {
      bool written = WriteHeaderLines(t.link, t.OutSink(), t.header);
      t.headerWritten = t.outputWritten = written;
    }
    if (!SendLine(t, i, line)) return;
    PrintPaymentSummary(t, line);
    // A refused payment line ends the document as a refused command does.
    if (t.link.controlByteRefused()) {
      t.r.status = kDocumentControlByte;
      return;
    }
  }
}

// The change, the receipt data when nothing wrote them, the drawer and the
// end command of a paid receipt.
void CloseReceipt(Transmission& t) {
  if (t.r.status != kDocumentDone) return;
  if (t.change != 0) t.link.TrasmettiStringa("7007" + PaymentLine("RESTO", FormatCents(t.change, t.ctx.decimalSeparator)));
  if (!t.outputWritten && !t.headerWritten) WriteHeaderLines(t.link, t.OutSink(), t.header);
  if (t.doc.facts.functionDocument || t.doc.facts.invoiceMode) return;
  t.link.Input();
  t.link.SetLastAnswer("");
  bool endsWithPayment = StartsWith(t.lastLine, "7008") || StartsWith(t.lastLine, "7007");
  if ((!endsWithPayment || t.linesSent > 3) && t.doc.facts.paymentSeen) {
    if (!t.link.options().chbNoInviaApCassetto) t.link.TrasmettiStringa("70081");
    if (t.link.TrasmettiStringa("3013") != 0) t.link.TrasmettiStringa("3013");
  }
}

}  // namespace

std::string PaymentLine(const std::string& name, const std::string& amountText) {
  std::string line = language::PadRight(name, 20);
  std::string tail = std::string(1, char(127)) + " " + amountText;
  if (tail.size() < 20) line += std::string(20 - tail.size(), ' ');
  return line + tail;
}

TransmissionResult DoSendFile(EcrLink& link, platform::FileSystem& fs, const NativeDocument& doc,
                              const TransmissionContext& ctx, TransmissionEvents& events) {
  Transmission t(link, fs, doc, ctx, events);
  if (!link.IsPortOpen()) link.Vexocx21_OpenPort();
  t.header.rtMode = ctx.rtMode;
  t.header.version = ctx.version;
  t.header.storedRedtLine = &t.storedRedt;
  t.header.receiptCounter = &t.r.receiptCounter;
  link.BeginDocument();
  SendLines(t);
  CloseReceipt(t);
  if (link.controlByteRefused()) t.r.status = kDocumentControlByte;
  link.EndDocument();
  link.Vexocx21_ClosePort();
  return t.r;
}

}  // namespace ecr
