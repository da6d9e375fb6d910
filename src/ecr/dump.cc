// The configuration dump: serial number, identification, model digit and
// firmware release, each exchange written into the dump trace.
#include "ecr/dump.h"

#include <functional>
#include <regex>

#include "ecr/registers.h"
#include "ecr/text.h"
#include "platform/clock.h"

namespace ecr {

namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

std::string FirmwareFromAnswer(const std::string& answer) {
  // "^[^\s]*\s+(\d{2}\.\d{2}\.\d{2})\s+.*$|^.*Rel\.\s+(.*)\s+$", with "." written out as
  // [^\n]: this engine's "." would also stop at a carriage return.
  static const std::regex kRelease(
      R"(^[^\s]*\s+(\d{2}\.\d{2}\.\d{2})\s+[^\n]*$|^[^\n]*Rel\.\s+([^\n]*)\s+$)");
  // The kept answer ends with the frame's checksum and ETX; the release text
  // ends before them ("Rel. 5.1A " must still end in its blank).
  std::string text = answer;
  if (text.size() >= 3 && text.back() == '\x03' && IsDigit(text[text.size() - 2]) &&
      IsDigit(text[text.size() - 3]))
    text.resize(text.size() - 3);
  auto first = std::sregex_iterator(text.cbegin(), text.cend(), kRelease);
  if (first == std::sregex_iterator() || std::next(first) != std::sregex_iterator()) return "";
  const std::smatch& m = *first;
  return m[1].length() > 0 ? m[1].str() : m[2].str();
}

std::string DumpFailureMessage(int16_t result) {
  static const struct {
    int16_t result;
    const char* text;
  } kMessages[] = {{kCoverOpenPaperEnd, "E509: Coperchio stampante aperto e fine carta stampante"},
                   {kPrinterNotReady, "E501: Dump non eseguito, verificare se Ecr in errore o non connesso"},
                   {kCoverOpen, "E509: Coperchio stampante aperto"},
                   {kPaperEnd, "E096: Fine carta scontrino, sostituire rotolo"}};
  for (const auto& m : kMessages)
    if (m.result == result) return m.text;
  return "Errore generico sull'Ecr, verificare sul manuale del registratore";
}

std::string DumpFailureField(int16_t result) {
  return (result == -10 ? std::string("NO RICEZIONE") : std::to_string(result)) + " : " + "DUMP NON ESEGUITO";
}

void ReadIdentification(const std::string& answer, PrinterIdentity* printer) {
  printer->identification = answer;
  if (answer.size() == 8) {
    printer->serialField = answer;
    printer->status = "MF";
    printer->printerSerial = answer;
    return;
  }
  printer->serialField = answer.substr(std::min<size_t>(1, answer.size()), 11);
  // A missing character 26 is not "0" either.
  if (answer.size() < 26 || answer[25] != '0') {
    printer->printerSerial = printer->serialField;
    printer->status = "Status: RT";
    printer->rtMode = true;
  } else {
    printer->status = "Status: MF";
    printer->printerSerial = (answer.size() >= 4 && answer[3] == 'M')
                                 ? answer.substr(std::min<size_t>(14, answer.size()), 8)
                                 : printer->serialField;
  }
}

namespace {

// The model (which tax code it takes) and the firmware; a printer that does
// not know the model's request is no failure.
int16_t ReadModelAndFirmware(EcrLink& link, PrinterIdentity& printer,
                             const std::function<void(const std::string&)>& Trace) {
  const bool modelRead = link.TrasmettiStringa("1214") == 0;
  std::string model;
  if (modelRead && link.lastAnswer().compare(0, 4, "1214") == 0) {
    model = Mid(link.lastAnswer(), 5, 1);
    printer.taxCodeKind = int16_t(Val(model));
  }
  Trace(" --> 1214");
  Trace(" <-- " + link.lastAnswer() + " -/- " + model);
  if (!modelRead) return 0;
  printer.firmwareVersion.clear();
  const int16_t result = link.TrasmettiStringa("1013");
  if (result == 0 && link.lastAnswer().compare(0, 4, "1013") == 0)
    printer.firmwareVersion = FirmwareFromAnswer(link.lastAnswer());
  Trace(" --> 1013");
  Trace(" <-- " + link.lastAnswer() + " -/- " + model);
  return result;
}

}  // namespace

int16_t Vexocx21_DoDumpConf(EcrLink& link, platform::FileSystem& fs, const std::string& dataDir,
                            PrinterIdentity& printer) {
  printer.taxCodeKind = 0;
  link.state().checkStatusFirst = true;
  std::string trace;
  auto Trace = [&trace, &link](const std::string& text) { trace += CurrDateTime(link.clock().Now()) + text + "\r\n"; };
  int16_t result = -1;
  std::string serial, identification;

  if (link.IsPortOpen()) {
    result = link.TrasmettiStringa("1008");
    const bool serialRead = result == 0;
    if (serialRead) serial = Mid(link.lastAnswer(), 7, 8);
    Trace(" --> Dump di configurazione Custom ");
    Trace(" --> 1008");
    Trace(" <-- " + link.lastAnswer() + " -/- " + serial);

    if (result == 0) {
      // An MF printer may not know "1511": its serial number identifies it.
      if (link.TrasmettiStringa("1511") != 0)
        identification = serial;
      else if (link.lastAnswer().compare(0, 4, "1511") == 0)
        identification = link.lastAnswer().substr(4);
      result = 0;
      Trace(" --> 1511");
      Trace(" <-- " + link.lastAnswer() + " -/- " + identification);
    }

    if (serialRead) result = ReadModelAndFirmware(link, printer, Trace);

    link.TrasmettiStringa("1109");
    Trace(" --> 1109");
    Trace(" <-- " + link.lastAnswer());
  }

  printer.identification = identification;
  if (result == 0) ReadIdentification(identification, &printer);
  link.state().checkStatusFirst = false;
  // The trace is a help for the technician; a dump does not fail for it.
  std::string error;
  fs.WriteFile(dataDir + platform::PathSeparator() + "tracedump.txt", trace, &error);
  return result;
}

bool ScriviTotaliGiornalieri(EcrLink& link, platform::FileSystem& fs, const std::string& folder,
                             const std::string& name, char decimalSeparator, bool* written, int* receiptCounter) {
  // A refused request leaves an error text, not counters: write zeros.
  const bool told = link.TrasmettiStringa("1004") == 0;
  const std::string kept = told ? link.lastAnswer() : std::string();
  if (told && receiptCounter) *receiptCounter = ReceiptCounterOf(kept);
  std::string file;
  auto Row = [&file](const std::string& text) { file += text + "\r\n"; };
  auto Field = [&kept](long pos, long len) { return Val(Mid(kept, pos, len)); };
  auto Number = [](int64_t v) { return std::to_string(v); };
  auto Amount = [decimalSeparator](int64_t cents) { return FormatCents(cents, decimalSeparator); };

  Row("DataCode|DataDescription|Value|Index");
  const struct {
    const char* code;
    const char* description;
    long pos, len;
    bool amount;
  } kRows[] = {
      {"80", "NUM.SCONTR.FISCALI", 5, 4, false}, {"1", "TOT.SCONTR.FISCALI", 9, 9, true},
      {"86", "NUM.FATTURE", 18, 4, false},       {"15", "TOT.FATTURE", 22, 9, true},
      {"87", "NUM.RICEVUTE FISC.", 31, 4, false}, {"16", "TOT.RICEVUTE FISC.", 35, 9, true},
      {"82", "NUM.SCONTR.LETT.MF", 44, 4, false}, {"9", "TOT.MAGGIORAZIONI", 48, 9, true},
      {"7", "TOT.SCONTI", 57, 9, true},           {"12", "TOT.ANNULLI", 66, 9, true},
      {"11", "TOT.RESI", 75, 9, true},            {"28", "TOT.CORR. NON PAG.", 84, 9, true},
  };
  for (const auto& r : kRows) {
    const int64_t v = Field(r.pos, r.len);
    Row(std::string(r.code) + "|" + r.description + "|" + (r.amount ? Amount(v) : Number(v)));
  }
  Row(std::string("18|TOT.LORDO GIORN.|") + Amount(Field(9, 9) + Field(48, 9) - Field(57, 9)));

  const bool failed = link.TrasmettiStringa("1104") != 0;
  if (!failed && link.lastAnswer().size() > 7) Row("83|NUM.AZZ.FISC.|" + Number(Val(Mid(link.lastAnswer(), 5, 4))));
  std::string error;
  const bool ok = fs.WriteBeneath(folder, name, file, &error);
  if (written) *written = ok;
  return failed;
}

}  // namespace ecr
