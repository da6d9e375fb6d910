// One job from the start file to FINESCO or SR_ERR.
#include "service/job_runner.h"

#include <algorithm>
#include <cctype>

#include "ecr/transmission.h"
#include "language/language.h"
#include "payment/slip.h"
#include "service/outcome.h"
#include "service/sha256.h"
#include "service/test_stop.h"
#include "settings/document.h"

namespace service {

namespace {
const char kE506[] = "E506: Trasmissione non avvenuta: file di input non presente";
const char kE506Folder[] = "E506: Trasmissione non avvenuta: il file di input \xE8 una cartella";
const char kE506NotFile[] = "E506: Trasmissione non avvenuta: il file di input non \xE8 un file normale";
const char kE506TooLarge[] = "E506: Trasmissione non avvenuta: documento troppo grande";
const char kE506Unreadable[] = "E506: Trasmissione non avvenuta: file di input non leggibile: ";
const char kE506Link[] = "E506: Trasmissione non avvenuta: collegamento rifiutato: ";
const char kChargedAdvice[] = "; lo stesso documento inviato entro 30 minuti non chiede un nuovo pagamento";

// An approval for the log: amount, approval code, when.
std::string ApprovalText(const payment::POSData& approval, const std::string& approvedAt) {
  std::string amount = payment::SlipAmount(approval.amount);
  amount.erase(0, amount.find_first_not_of(' '));
  std::string text = "EUR " + amount + ", autorizzazione " + approval.AuthorizationCode;
  if (approvedAt.size() == 14)
    text += " del " + approvedAt.substr(6, 2) + "/" + approvedAt.substr(4, 2) + "/" + approvedAt.substr(0, 4) + " " +
            approvedAt.substr(8, 2) + ":" + approvedAt.substr(10, 2);
  return text;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ReceiptFields(const std::vector<std::string>& outLines) {
  std::vector<std::pair<std::string, std::string>> fields;
  auto trim = [](std::string s) {
    s.erase(0, std::min(s.find_first_not_of(' '), s.size()));
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
  };
  for (const std::string& line : outLines) {
    // "TIME,CASS. 1 10:15 CASSA   1 ,E,A1;" and "DATE,07/12/26  SCONTR. N.0042,E,A1;"
    const size_t end = line.find(',', 5);
    const std::string body = line.size() > 5 ? line.substr(5, end == std::string::npos ? end : end - 5) : "";
    if (line.rfind("TIME,", 0) == 0) {
      const size_t colon = body.find(':');
      if (colon != std::string::npos && colon >= 2) fields.push_back({"time", body.substr(colon - 2, 5)});
    } else if (line.rfind("DATE,", 0) == 0) {
      const size_t number = body.find("N.");
      fields.push_back({"date", trim(body.substr(0, body.find(' ')))});
      if (number != std::string::npos) fields.push_back({"number", trim(body.substr(number + 2))});
    }
  }
  return fields;
}

std::string OutcomeCode(int16_t outcome, const std::string& message) {
  size_t digits = 0;
  if (message.rfind("Errore ", 0) == 0) {
    while (7 + digits < message.size() && std::isdigit(static_cast<unsigned char>(message[7 + digits]))) ++digits;
    if (digits) return "E" + message.substr(7, digits);
  } else if (!message.empty() && message[0] == 'E') {
    while (1 + digits < message.size() && std::isdigit(static_cast<unsigned char>(message[1 + digits]))) ++digits;
    if (digits) return message.substr(0, 1 + digits);
  }
  return "E" + std::to_string(outcome < 0 ? -outcome : outcome);
}

bool JobRunner::ReadDocument(int16_t port, JobDocument* doc) {
  const std::string path = files_.PathOf(kDati, port);
  // A link where an exchange file goes would make the answer land outside
  // the data directory.
  const std::string planted = files_.RemovePlantedLinks(port);
  std::string error, message;
  platform::ReadStatus status = platform::ReadStatus::kFailed;
  // A writer may still hold the file: read again, as many times as ever.
  for (int attempt = 0; planted.empty() && attempt <= 10; ++attempt) {
    status = fs_.ReadFile(path, platform::kMaxDocumentBytes, &doc->bytes, &error);
    if (status != platform::ReadStatus::kBusy) break;
  }
  switch (status) {
    case platform::ReadStatus::kOk:
      doc->lines = language::SplitLines(doc->bytes);
      return true;
    case platform::ReadStatus::kMissing:
      message = kE506;
      break;
    case platform::ReadStatus::kNotRegular:
      message = fs_.Kind(path) == platform::FileKind::kDirectory ? kE506Folder : kE506NotFile;
      break;
    case platform::ReadStatus::kTooLarge:
      message = kE506TooLarge;
      break;
    default:
      message = planted.empty() ? kE506Unreadable + error : kE506Link + planted;
      break;
  }
  files_.WriteErrFile(message, port);
  files_.SubKillStartFile();
  // A missing file shows no job on screen: the host took its file back.
  if (status != platform::ReadStatus::kMissing) view_.ProgramStatus(port, message);
  return false;
}

bool JobRunner::OpenTrace() {
  const std::string stamp = platform::DateTimeStamp(clock_.Now(), '_');
  // The month's folder is a host's to replace with a link: the trace is
  // written below the data directory, never through one.
  const std::string folder = "TRACE_" + stamp.substr(0, 6);
  traceName_ = "TRACE_" + stamp + ".TXT";
  if (fs_.MakeDirectory(files_.PathOf(folder))) traceName_ = folder + files_.separator() + traceName_;
  traceBase_ = files_.dataDir();
  std::string error;
  if (!fs_.WriteBeneath(traceBase_, traceName_, "", &error)) {
    traceBase_.clear();
    return false;
  }
  printer_.SetTraceSink([this](const std::string& line) {
    std::string error;
    fs_.AppendBeneath(traceBase_, traceName_, line + "\r\n", &error);
  });
  return true;
}

void JobRunner::CloseTrace() {
  if (traceBase_.empty()) return;
  printer_.SetTraceSink(nullptr);
  traceBase_.clear();
}

void JobRunner::Record(JournalRecord record) {
  if (!journal_) return;
  if (!record.job) record.job = job_;
  std::string error;
  if (journal_->Append(record, &error)) return;
  if (!journalFailed_) view_.Log("Giornale dei lavori non scritto: " + error);
  journalFailed_ = true;
}

bool JobRunner::ClosedAfterAll(int16_t port, const ClosingWatch& closing, ExchangeFiles& files) {
  if (closing.counterBefore < 0) return false;
  const int counter = printer_.ReadReceiptCounter(port);
  if (counter < 0 || counter == closing.counterBefore) return false;
  view_.Log("Risposta alla chiusura persa: lo scontrino risulta chiuso (contatore " +
            std::to_string(closing.counterBefore) + " -> " + std::to_string(counter) + ")");
  printer_.AppendReceiptStamp(port, files);
  return true;
}

bool JobRunner::CancelOwnReceipt(int16_t port) {
  const bool done = printer_.CancelReceipt(port);
  receiptLeftOpen_ = done ? 0 : port;
  if (done) {
    cancelled_ = true;
    view_.Log("Scontrino lasciato aperto dal lavoro: scontrino annullato");
  } else {
    view_.Log("Scontrino lasciato aperto dal lavoro: annullamento non riuscito, ritentato prima del prossimo documento");
  }
  return done;
}

void JobRunner::RecordStart(int16_t port, const JobDocument& doc, const std::string& sha256, const std::string& now) {
  job_ = journal_->NextJobId();
  Record({.port = port, .wall_time = now, .document_sha256 = sha256,
          .printer_serial = printer_.identity().printerSerial});
  if (!doc.idempotencyKey.empty())
    Record({.step = JournalStep::kIdempotencyKey, .document_sha256 = sha256, .idempotency_key = doc.idempotencyKey});
}

void JobRunner::RecordClosingAnswered(int16_t port, ExchangeFiles& files) {
  JournalRecord r{.step = JournalStep::kClosingAnswered};
  const int counter = printer_.LastKnownReceiptCounter();
  if (counter >= 0) r.receipt_number = std::to_string(counter);
  // The number as the stamp prints it ("0001-0028"), so the job list
  // and the API's answer tell the same.
  std::string out, why;
  fs_.ReadFile(files.PathOf(kOut, port), platform::kMaxDocumentBytes, &out, &why);
  for (const auto& [name, value] : ReceiptFields(language::SplitLines(out))) {
    if (name == "number" && !value.empty()) r.receipt_number = value;
    if (name == "date") r.receipt_date = value;
    if (name == "time") r.receipt_time = value;
  }
  receiptNumber_ = r.receipt_number, receiptDate_ = r.receipt_date, receiptTime_ = r.receipt_time;
  receiptClosed_ = true;
  Record(r);
  TestStopPoint("closing-answered");
}

int16_t JobRunner::Execute(int16_t port, const JobDocument& doc, bool asIs, ExchangeFiles* answerFiles) {
  ExchangeFiles& files = answerFiles ? *answerFiles : files_;
  errorDetail_.clear();
  reachedPrinter_ = false;
  startMs_ = clock_.MonotonicMs();
  receiptNumber_.clear(), receiptDate_.clear(), receiptTime_.clear();
  receiptClosed_ = false;
  charged_.clear();
  cancelled_ = false;
  int16_t outcome = kOutcomeTimedOut;
  std::string now = platform::DateTimeStamp(clock_.Now(), '-');
  now.erase(8, 1);
  const std::string sha256 = Sha256Hex(doc.bytes);
  if (journal_) RecordStart(port, doc, sha256, now);
  if (settings_.options.chbTrace) OpenTrace();
  int16_t paid = Pay(doc, sha256, now);
  if (paid != 0) {
    outcome = paid;
  } else {
    reachedPrinter_ = true;
    // The next customer's lines would join it.
    if (receiptLeftOpen_ == port) CancelOwnReceipt(port);
    cancelled_ = false;
    ClosingWatch closing;
    closing.refuseNothingToPrint = doc.fromApi;
    closing.aboutToClose = [this](int counterBefore) {
      Record({.step = JournalStep::kClosingAboutToBeSent, .receipt_counter_before = counterBefore});
    };
    int16_t status = printer_.SendDocument(port, files, doc.lines, doc.bytes, asIs, closing, &errorDetail_);
    // Verified before a failure is reported: a receipt printed twice is a
    // second fiscal registration.
    if (status != 0 && closing.sent && !printer_.Closing() && ClosedAfterAll(port, closing, files)) {
      status = 0;
      errorDetail_.clear();
      closing.answered = true;
    }
    // Left open, the receipt would take the next document's lines (and the
    // host sends this one again whole). Cut short by the closing, it is the
    // next start's to cancel.
    if (status != 0 && closing.printed && !closing.answered) {
      receiptLeftOpen_ = port;
      if (!printer_.Closing()) CancelOwnReceipt(port);
    }
    if (status == 0 && closing.sent) RecordClosingAnswered(port, files);
    outcome = OutcomeOfTransmission(status);
    CloseTrace();
    if (status != ecr::kDocumentNothingToPrint) printer_.Send("1109");
    // No early return on a failed document: a customer who has paid by card
    // gets the approval slip whatever happened to the receipt.
  }
  // After a refused payment the trace is still open here.
  CloseTrace();
  if (payment_) payment_->PrintSlip();
  return outcome;
}

int16_t JobRunner::Pay(const JobDocument& doc, const std::string& sha256, const std::string& now) {
  if (!payment_) return 0;
  JournalRecord approved{.step = JournalStep::kPaymentApproved, .document_sha256 = sha256};
  PaymentApproval earlier;
  // The same document after a receipt that failed: its card was charged
  // already, and a second charge is what the host least expects.
  if (journal_ && journal_->FindApproval(sha256, now, &earlier)) {
    payment_->UseEarlierApproval(earlier.data);
    approved.wall_time = earlier.approved_at;
    approved.approval = earlier.data;
    Record(approved);
    charged_ = ApprovalText(earlier.data, earlier.approved_at);
    view_.Log("Pagamento con carta gi\xE0 ottenuto per questo documento: terminale non interpellato, ricevuta in copia (" +
              charged_ + ")");
    return 0;
  }
  const int16_t paid = payment_->Request(doc.lines);
  if (paid == 0 && payment_->Approval(&approved.approval)) {
    approved.wall_time = now;
    Record(approved);
    charged_ = ApprovalText(approved.approval, now);
  }
  return paid;
}

FinishedJob JobRunner::ShowOutcome(int16_t port, int16_t outcome, bool exchangeFiles) {
  FinishedJob end;
  end.port = port;
  end.ok = outcome == 0;
  end.text = OutcomeDisplayText(outcome, errorDetail_);
  end.receiptNumber = receiptNumber_;
  end.receiptClosed = receiptClosed_;
  end.receiptDate = receiptDate_, end.receiptTime = receiptTime_;
  end.durationMs = clock_.MonotonicMs() - startMs_;
  view_.ProgramStatus(port, "QUILO1 TERMINATO : " + end.text + (cancelled_ ? ", scontrino annullato" : ""));
  files_.currentPort = port;
  JournalRecord written{.step = JournalStep::kOutcomeWritten};
  if (outcome == 0) {
    end.code = "ok";
    written.outcome = "FINESCO";
    Record(written);
    view_.PrinterMessage("");
    if (exchangeFiles) {
      files_.SubKillErrFile();
      files_.SubKillDatiFile();
      files_.SubKillStartFile();
    }
  } else {
    const std::string message = OutcomeErrorMessage(outcome, errorDetail_);
    end.code = OutcomeCode(outcome, message);
    written.outcome = end.errorLine = files_.ErrorLine(message);
    Record(written);
    if (!charged_.empty()) {
      // SR_ERR keeps its one line; the shop reads this in the logs.
      const std::string line = std::string(kChargedNotice) + charged_ + kChargedAdvice;
      view_.Log(line);
      if (payment_) payment_->NoteCharged(line);
    }
    if (exchangeFiles) {
      files_.WriteErrText(written.outcome, port);
      files_.SubKillStartFile();
    }
  }
  Record({.step = JournalStep::kAnswered});
  if (finished_) finished_(end);
  return end;
}

}  // namespace service
