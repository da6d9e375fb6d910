// DoSendFile: one document from the converter's native command file to the
// printer, and the receipt data the host reads back in SR_OUT.
#include "ecr/transmission.h"

#include <cstdio>
#include <vector>

#include "ecr/dump.h"
#include "ecr/text.h"
#include "settings/text_value.h"

namespace ecr {
namespace {

const char kPaperEndNotice[] = "E096: Fine carta scontrino, sostituire rotolo";

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

// Lines as the file holds them, ended by CR LF, LF or CR.
bool ReadLines(const std::string& path, std::vector<std::string>* lines) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string bytes;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
  std::fclose(f);
  std::string line;
  for (size_t i = 0; i < bytes.size(); ++i) {
    char c = bytes[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      lines->push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines->push_back(line);
  return true;
}

class OutputFile {
 public:
  bool Open(const std::string& path) {
    f_ = std::fopen(path.c_str(), "wb");
    return f_ != nullptr;
  }
  ~OutputFile() { Close(); }
  void Close() {
    if (f_) std::fclose(f_);
    f_ = nullptr;
  }
  void Line(const std::string& text) {
    if (!f_) return;
    std::fwrite(text.data(), 1, text.size(), f_);
    std::fwrite("\r\n", 1, 2, f_);
    std::fflush(f_);
  }

 private:
  FILE* f_ = nullptr;
};

// VB's idea of a number: blanks, a sign, digits with one "." or ",".
bool IsNumeric(const std::string& text) {
  double value;
  size_t b = text.find_first_not_of(' ');
  if (b == std::string::npos) return false;
  size_t e = text.find_last_not_of(' ');
  std::string t = text.substr(b, e - b + 1);
  if (!t.empty() && (t[0] == '+' || t[0] == '-')) t.erase(0, 1);
  return !t.empty() && settings::ParseNumber(t, &value);
}

std::string Percent2(double value) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.2f", value);
  return buf;
}

}  // namespace

std::string PaymentLine(const std::string& name, const std::string& amountText) {
  std::string line = settings::PadRight(name, 20);
  std::string tail = std::string(1, char(127)) + " " + amountText;
  if (tail.size() < 20) line += std::string(20 - tail.size(), ' ');
  return line + tail;
}

int16_t SubtotalAdjustment(EcrLink& link, const std::string& line) {
  std::string rest = line, description;
  size_t comma = rest.find(',');
  if (comma != std::string::npos) {
    description = rest.substr(comma + 1);
    rest = rest.substr(0, comma);
  }
  std::vector<std::string> fields = Split(rest, '%');
  const std::string& word = fields[0];
  std::string percentText = fields.size() > 1 ? fields[1] : "";
  if (!IsNumeric(percentText)) return -1;
  if (link.TrasmettiStringa("1003") != 0) return -1;
  int64_t subtotal = Val(Mid(link.lastAnswer(), 42, 9));
  double percent = 0;
  std::string digits = percentText;
  digits.erase(0, digits.find_first_not_of(' '));
  digits.erase(digits.find_last_not_of(' ') + 1);
  bool negative = !digits.empty() && digits[0] == '-';
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) digits.erase(0, 1);
  settings::ParseNumber(digits, &percent);
  if (negative) percent = -percent;
  double cents = double(subtotal) * percent / 100.0;
  bool discount = StartsWith(line, "DOST");
  std::string text = description.empty() ? std::string(discount ? "SCONTO SBTL " : "MAGG. SBTL ") + Percent2(percent) + "%"
                                          : description + " " + Percent2(percent) + "%";
  for (char& c : text)
    if (c == ',') c = '.';
  std::string command = std::string(word == "DOST" ? "30013" : "30012") + settings::Len2(text) + text +
                        settings::Amount9(cents);
  return link.TrasmettiStringa(command) == 0 ? 0 : -1;
}

int16_t DoSendFile(EcrLink& link, DocumentSource& source, const TransmissionContext& ctx,
                   std::string* errorDetail) {
  NativeDocument doc;
  const char sep = ctx.decimalSeparator;
  int16_t status = kDocumentDone;
  int linesSent = 0;
  std::string lastLine, storedRedt;
  int64_t change = 0;
  bool commandSent = false, headerWritten = false, outputWritten = false;
  if (!link.IsPortOpen()) link.Vexocx21_OpenPort();

  // A converted file that cannot be read or an output file that cannot be
  // created is tried again from the conversion, twice, 100 ms apart.
  std::vector<std::string> lines;
  OutputFile out;
  for (int attempt = 1;; ++attempt) {
    if (!source.Prepare(&doc)) {
      link.Vexocx21_ClosePort();
      return kDocumentNotSent;
    }
    const std::string& path = doc.commandFile;
    lines.clear();
    std::string failed = !ReadLines(path, &lines) ? path : !out.Open(ctx.outPath) ? ctx.outPath : "";
    if (failed.empty()) break;
    if (attempt == 3) {
      if (ctx.message) ctx.message("ERRORE3 = Path/File access error: " + failed + " - 75riga 3");
      link.Vexocx21_ClosePort();
      return kDocumentNotSent;
    }
    link.Attendi(100);
  }
  LineSink outSink = [&out](const std::string& l) { out.Line(l); };
  HeaderContext header;
  header.rtMode = ctx.rtMode;
  header.version = ctx.version;
  header.storedRedtLine = &storedRedt;

  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (StartsWith(line, "READ")) {
      std::vector<std::string> f = Split(line, ',');
      if (f.size() >= 3 && (Val(f[1]) == 1 || Val(f[1]) == 2)) {
        ScriviTotaliGiornalieri(link, f[2], sep);
        change = 0;
        continue;
      }
    } else if (StartsWith(line, "SEDT")) {
      std::vector<std::string> f = Split(line, ',');
      if (f.size() >= 3) {
        if (!WriteDataOra(link, f[1] + f[2])) status = kDocumentFiscalClosingNeeded;
        continue;
      }
    } else if (StartsWith(line, "REDT")) {
      storedRedt.clear();
      storedRedt = ReadDataOra(link);
      continue;
    }
    if (!commandSent && line.find("Annulla") != std::string::npos) {
      link.TrasmettiStringa(line);
      continue;
    }
    ++linesSent;
    lastLine = line;
    if (line == "2002" && !headerWritten) {
      bool written = WriteHeaderLines(link, outSink, header);
      headerWritten = outputWritten = written;
    }
    bool stop = false;
    for (;;) {  // a line refused for paper end is sent again from here
      int16_t result = (StartsWith(line, "MOST") || StartsWith(line, "DOST"))
                           ? SubtotalAdjustment(link, line)
                           : link.TrasmettiStringa(line);
      status = result;
      commandSent = true;
      const std::string& answer = link.lastAnswer();
      if (answer.find(':') != std::string::npos) {
        out.Line("TIME,CASS. 1 " + Mid(answer, 12, 5) + " CASSA   1 ,E,A1;");
        out.Line("DATE," + Mid(answer, 1, 2) + "/" + Mid(answer, 4, 2) + "/" + Mid(answer, 9, 2) +
                 "  SCONTR. N." + Mid(answer, 21, 4) + ",E,A1;");
        outputWritten = true;
        link.SetLastAnswer("");
      }
      if (link.lastAnswer().find(header.rtMode ? "3007" : "3004") != std::string::npos)
        change = Val(Mid(link.lastAnswer(), 6, 9));
      for (const auto& r : kLineResults) {
        if (result == r.result) {
          status = r.status;
          stop = r.stops;
        }
      }
      switch (result) {
        case kPrinterError99: {
          status = kDocumentError99;
          link.Attendi(500);
          link.TrasmettiStringa("1015");
          const std::string& a = link.lastAnswer();
          size_t q = a.find("1015");
          if (!a.empty() && q != std::string::npos && errorDetail) *errorDetail = a.substr(q + 4);
          stop = true;
          break;
        }
        case kNegativeVat:
          status = kDocumentNegativeVat;
          link.Attendi(500);
          link.TrasmettiStringa("3001818Annull.transazione000000000");
          stop = true;
          break;
        case kPaperEnd: {
          status = kDocumentNotSent;
          if (ctx.writeErrFile) ctx.writeErrFile(kPaperEndNotice);
          std::string paper;
          while (paper != "00") {
            // Closing abandons the document as if the printer had gone silent.
            if (link.timedOutRaised()) break;
            link.Attendi(1000);
            if (link.TrasmettiStringa("1009") == 0) {
              size_t q = link.lastAnswer().find("1009");
              if (q != std::string::npos) paper = link.lastAnswer().substr(q + 4, 2);
            }
          }
          if (paper != "00") {
            status = kDocumentNoAnswer;
            stop = true;
            break;
          }
          continue;
        }
        default: break;
      }
      break;
    }
    if (stop) break;
    if ((StartsWith(line, "3007") || StartsWith(line, "3004")) &&
        (doc.cashDue || doc.chequeDue || doc.cardDue || doc.otherDue)) {
      link.TrasmettiStringa("1003");
      std::string amount = FormatCents(Val(Mid(link.lastAnswer(), 42, 9)), sep);
      if (doc.cashDue) link.TrasmettiStringa("7007" + PaymentLine("CONTANTI", amount));
      if (doc.chequeDue) link.TrasmettiStringa("7007" + PaymentLine("ASSEGNI", amount));
      if (doc.cardDue) link.TrasmettiStringa("7007" + PaymentLine("CARTA DI CREDITO", amount));
      if (doc.otherDue) link.TrasmettiStringa("7007" + PaymentLine(doc.paymentText, amount));
    }
  }

  if (change != 0 && status == 0) link.TrasmettiStringa("7007" + PaymentLine("RESTO", FormatCents(change, sep)));
  if (status == 0 && !outputWritten && !headerWritten) WriteHeaderLines(link, outSink, header);
  if (status == 0 && !doc.functionDocument && !doc.invoiceMode) {
    link.Input();
    link.SetLastAnswer("");
    bool endsWithPayment = StartsWith(lastLine, "7008") || StartsWith(lastLine, "7007");
    if ((!endsWithPayment || linesSent > 3) && doc.paymentSeen) {
      if (!link.options().chbNoInviaApCassetto) link.TrasmettiStringa("70081");
      if (link.TrasmettiStringa("3013") != 0) link.TrasmettiStringa("3013");
    }
  }
  out.Close();
  link.Vexocx21_ClosePort();
  return status;
}

}  // namespace ecr
