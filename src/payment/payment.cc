// The card payment request: EseguiPaga looks at the PAGA line, Pagame asks the
// local service and waits for its XML answer on the event loop.
#include "payment/payment.h"

#include <limits>
#include <string_view>
#include <memory>

#include "language/language.h"
#include "language/text_value.h"
#include "platform/xml_query.h"
#include "settings/document.h"

namespace payment {
namespace {

const char kPosDataRoot[] = "/NativeMethods.POSData/";

// The number at the start of a field value, as the host writes it: blanks,
// an optional sign, digits, an optional decimal part. Anything else ends it;
// no digits at all give 0. False when the whole part does not fit 32 bits.
bool LeadingNumber(const std::string& text, int32_t* value) {
  size_t i = text.find_first_not_of(" \t");
  if (i == std::string::npos) {
    *value = 0;
    return true;
  }
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
  long long whole = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    whole = whole * 10 + (text[i] - '0');
    if (whole > std::numeric_limits<int32_t>::max()) return false;
  }
  // The decimals are dropped: the value is truncated to a whole number.
  *value = int32_t(negative ? -whole : whole);
  return true;
}

std::string TwoDigits(int n) { return std::string(1, char('0' + n / 10 % 10)) + char('0' + n % 10); }

std::string Join(const std::string& directory, const std::string& name) {
  return directory + platform::PathSeparator() + name;
}

// The terminal id goes into a file name: characters no file name may hold
// become "_", so a strange id cannot lose the log.
std::string FileNamePart(const std::string& text) {
  std::string part = text;
  for (char& c : part)
    if (static_cast<unsigned char>(c) < 32 || std::string("\\/:*?\"<>|").find(c) != std::string::npos) c = '_';
  return part;
}

// The answer as text in the program's code page. Services send UTF-8, with
// or without a byte-order mark; a body that is not UTF-8 is taken as bytes.
std::string AnswerText(const std::string& body) {
  std::string_view text = body;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::string bytes;
  return platform::Utf8ToWindows1252(text, &bytes) ? bytes : body;
}

// The answer's fields the slip prints, each control byte in them a blank
// from here on (an STX and ETX round a command of the service's own).
void CopyAnswerFields(platform::XmlQuery& xml, POSData* d) {
  struct Field {
    const char* name;
    std::string POSData::*member;
  };
  static const Field kFields[] = {
      {"TerminalId", &POSData::TerminalId},           {"AcquirerId", &POSData::AcquirerId},
      {"TransactionType", &POSData::TransactionType}, {"KODescription", &POSData::KODescription},
      {"CardType", &POSData::CardType},               {"STAN", &POSData::STAN},
      {"PAN", &POSData::PAN},                         {"AuthorizationCode", &POSData::AuthorizationCode},
      {"OperationNumber", &POSData::OperationNumber}, {"DataTrs", &POSData::DataTrs},
  };
  for (const Field& f : kFields) {
    std::string value;
    xml.SelectText(kPosDataRoot + std::string(f.name), &value);
    d->*f.member = value;
  }
  d->controlBytesBlanked = language::BlankControlBytes(d->TransactionResult);
  language::BlankControlBytes(d->resultDescription);  // the same text again
  for (const Field& f : kFields) d->controlBytesBlanked += language::BlankControlBytes(d->*f.member);
  d->transactionDate = d->DataTrs;
}

}  // namespace

void PaymentRequest::ShowMessage(const std::string& text) {
  if (setup_.showMessage) setup_.showMessage(text);
}

void PaymentRequest::WriteLog(const std::string& answer) {
  platform::LocalTime t = setup_.now ? setup_.now() : platform::NowLocal();
  std::string year = std::to_string(t.year);
  std::string folder = Join(setup_.dataDirectory, "LOG-PAGAME-" + year + TwoDigits(t.month));
  if (!setup_.files || !setup_.files->MakeDirectory(folder)) {
    ShowMessage("ERRORE-CHIAMATA-POS = Path not found - 76 - 9.");
    return;
  }
  // The month's folder is in the hosts' data directory: the log goes below
  // it, never through a link a host put in its place.
  std::string file = Join("LOG-PAGAME-" + year + TwoDigits(t.month),
                          "POSDATA-" + year + TwoDigits(t.month) + TwoDigits(t.day) + TwoDigits(t.hour) +
                              TwoDigits(t.minute) + TwoDigits(t.second) + "-" + FileNamePart(posData_.TerminalId) + ".txt");
  std::vector<std::string> lines{answer};
  if (posData_.controlBytesBlanked > 0)
    lines.push_back("Caratteri di controllo sostituiti da spazi: " + std::to_string(posData_.controlBytesBlanked));
  settings::FileError error;
  if (!settings::WriteDocumentBeneath(*setup_.files, setup_.dataDirectory, file, lines, &error))
    ShowMessage("ERRORE-CHIAMATA-POS = " + error.description + " - " + std::to_string(error.number) + " - 9.");
  else
    lastLog_ = file;
}

void PaymentRequest::UseEarlier(const POSData& earlier) {
  posData_ = earlier;
  lastLog_.clear();
}

void PaymentRequest::NoteInLog(const std::string& line) {
  if (!setup_.options || !setup_.options->CheckLogPagamento) return;
  settings::FileError error;
  if (lastLog_.empty() || !settings::WriteDocument(*setup_.files, lastLog_, {line}, true, &error)) WriteLog(line);
}

std::string PaymentPath(int32_t amount, int32_t extra) {
  std::string path = "/WebZentarposWS/api/Payment/" + std::to_string(amount);
  if (extra != 0) path += "/" + std::to_string(extra);
  return path;
}

std::vector<platform::HttpHeader> PaymentHeaders() {
  return {
      {"Accept", "text/html, application/xhtml+xml, application/xml; q=0.9, */*; q=0.8"},
      {"Accept-Encoding", "gzip,deflate"},
      {"Accept-Language", "it-IT, it; q=0.8, en-US; q=0.5, en; q=0.3"},
      {"Connection", "Keep-Alive"},
  };
}

std::string ReadServiceUrl(platform::FileSystem& files, const std::string& programDirectory) {
  std::vector<std::string> lines;
  settings::FileError error;
  std::string url;
  if (settings::ReadDocument(files, Join(programDirectory, kServiceUrlFile), &lines, &error) && !lines.empty())
    url = language::Trimmed(lines[0], " \t");
  while (!url.empty() && url.back() == '/') url.pop_back();
  if (url.empty()) return kDefaultServiceUrl;
  // WinHTTP refuses an address without its scheme where curl assumes http.
  if (url.find("://") == std::string::npos) url.insert(0, "http://");
  return url;
}

bool PaymentRequest::Pagame(int32_t amount, int32_t extra, std::string* answer) {
  if (!setup_.loop || !setup_.http) {
    ShowMessage("Errore 91: Object variable not set in ModulePagame.Pagame:1.");
    return false;
  }
  std::string base = setup_.serviceUrl;
  while (!base.empty() && base.back() == '/') base.pop_back();

  bool finished = false;
  platform::HttpResponse response;
  setup_.http->Get(base + PaymentPath(amount, extra), PaymentHeaders(),
                    [&](const platform::HttpResponse& r) {
                      response = r;
                      finished = true;
                    });
  // No limit: the customer is at the terminal. Only closing the program
  // ends the wait early.
  platform::RunUntil(
      *setup_.loop, [&] { return finished || (setup_.closing && setup_.closing()); }, -1);
  if (!finished) {
    setup_.http->Cancel();
    *answer = kTimedOut;
    return false;
  }
  switch (response.status) {
    case platform::HttpResponse::Status::kCannotConnect:
      *answer = kNoConnection;
      return false;
    case platform::HttpResponse::Status::kFailed:
      ShowMessage("Errore " + std::to_string(response.errorNumber) + ": " + response.errorText +
                  " in ModulePagame.Pagame:6.");
      return false;
    case platform::HttpResponse::Status::kAnswered:
      break;
  }
  *answer = AnswerText(response.body);
  auto xml = platform::XmlQuery::Create();
  xml->Load(*answer);
  std::string text;
  if (xml->SelectText("/Error/Message", &text)) return false;
  // The service sends its Error answers with a failure status; any other
  // answer counts only with 200, whatever it says.
  if (response.httpStatus != 200) {
    if (!xml->SelectText("/Error", &text)) {
      ShowMessage("Errore " + std::to_string(response.httpStatus) + ": HTTP " + std::to_string(response.httpStatus) +
                  " in ModulePagame.Pagame:7.");
      answer->clear();
    }
    return false;
  }
  if (!xml->SelectText("/NativeMethods.POSData/TransactionResult", &text)) return false;
  return text == "00";
}

int16_t PaymentRequest::EseguiPaga(const std::vector<std::string>& documentLines) {
  posData_ = POSData();
  lastLog_.clear();
  int32_t amount = 0, extra = 0;
  if (documentLines.empty() || !ReadPagaLine(documentLines[0], &amount, &extra)) return 0;

  std::string answer;
  bool approved = Pagame(amount, extra, &answer);
  if (!approved && (answer == kTimedOut || answer == kNoConnection)) {
    posData_.errorText = answer;
    return answer == kTimedOut ? kPosTimedOut : kPosNoConnection;
  }
  return ReadAnswer(answer, approved);
}

bool PaymentRequest::ReadPagaLine(const std::string& line, int32_t* amount, int32_t* extra) {
  std::string verb;
  if (language::Trimmed(line, " \t").size() <= 4 || !language::FindField(true, &verb, line, "PAGA")) return false;

  posData_.commandWord = "PAGA";
  std::string amountText, extraText;
  bool hasAmount = language::FindField(false, &amountText, line, ",V");
  bool hasExtra = language::FindField(false, &extraText, line, ",P");
  if (hasAmount) posData_.amount = amountText;
  if ((hasAmount && !LeadingNumber(amountText, amount)) || (hasExtra && !LeadingNumber(extraText, extra))) {
    posData_.commandWord.clear();
    ShowMessage("ERRORE-CHIAMATA-POS = Overflow - 6 - 3.");
    return false;
  }
  if (!hasAmount || !hasExtra || *amount == 0) {
    // Nothing was requested: the slip must not print a payment either.
    posData_.commandWord.clear();
    return false;
  }
  return true;
}

int16_t PaymentRequest::ReadAnswer(const std::string& answer, bool approved) {
  auto xml = platform::XmlQuery::Create();
  xml->Load(answer);
  std::string text;
  posData_.TransactionResult = "KO";
  posData_.resultDescription = "TRANSAZIONE ANNULLATA";
  if (xml->SelectText("/Error/ExceptionMessage", &text)) return kPosServiceError;
  int16_t outcome = kPosServiceError;
  if (xml->SelectText("/NativeMethods.POSData/TransactionResult", &text)) {
    posData_.TransactionResult = text;
    posData_.resultDescription = text;
    outcome = approved ? 0 : kPosRefused;
  }
  CopyAnswerFields(*xml, &posData_);
  if (setup_.options && setup_.options->CheckLogPagamento) WriteLog(answer);
  return outcome;
}

}  // namespace payment
