// The job journal: an append-only file in which every step of a job that
// cannot be undone is announced before it is taken, so that start-up after a
// crash knows how far the job went. It holds no document text, only the
// document's SHA-256, and of a card payment only what its slip prints. It
// lives in the program's own folder, out of the hosts' reach.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "payment/payment.h"
#include "platform/file_system.h"

namespace service {

inline constexpr const char* kJournalFileName = "Quilo1.journal";

// In the order a job goes through them.
enum class JournalStep : uint8_t {
  kStarted = 1,
  kClosingAboutToBeSent = 2,
  kClosingAnswered = 3,
  kOutcomeWritten = 4,
  // The answer files are all there: start-up leaves them to the host.
  kAnswered = 5,
  // Beside the order: the card payment approved for the job's document, so
  // the same document sent again after a failed receipt is not charged twice.
  kPaymentApproved = 6,
  // Beside the order: the Idempotency-Key of a document that came over HTTP,
  // when its job starts, and again with the answer it got.
  kIdempotencyKey = 7,
};

// Ids the journal takes: a forged id near the top of the range would leave
// no room for the next one.
inline constexpr uint64_t kMaxFirstJobId = uint64_t{1} << 62;
// Records read at start-up; those past it are dropped (a journal that only
// grew through our own appends stays far below: see kCompactAboveBytes).
inline constexpr size_t kMaxJournalRecords = 200000;
// The whole file is read at once; a larger one is set aside.
inline constexpr size_t kMaxJournalBytes = 64u << 20;
// The journal is compacted when it grows past this while the program runs.
inline constexpr size_t kCompactAboveBytes = 4u << 20;
// The jobs compaction keeps.
inline constexpr size_t kKeepJobs = 1000;
// How long an approved payment stands for the same document sent again.
inline constexpr int64_t kPaymentReuseSeconds = 30 * 60;

// One record; the fields that do not belong to `step` stay empty.
struct JournalRecord {
  JournalStep step = JournalStep::kStarted;
  uint64_t job = 0;
  // kStarted
  int port = 0;
  std::string wall_time{};        // "YYYYMMDDhhmmss"
  std::string document_sha256{};  // 64 hex digits of the SR_DATI bytes
  std::string printer_serial{};
  // kClosingAboutToBeSent: the printer's receipt counter before, -1 unknown.
  int receipt_counter_before = -1;
  // kClosingAnswered, from the receipt stamp written to SR_OUT.
  std::string receipt_number{};
  std::string receipt_time{};
  std::string receipt_date{};
  // kOutcomeWritten: "FINESCO", or the text written to SR_ERR.
  std::string outcome{};
  // kPaymentApproved: wall_time is the approval's, document_sha256 the
  // document's, and the answer as the slip prints it.
  payment::POSData approval{};
  // kIdempotencyKey: the key with document_sha256; key_answered once the
  // answer is known, with its fields (as FinishedJob has them).
  std::string idempotency_key{};
  bool key_answered = false, answer_ok = false, answer_closed = false;
  std::string answer_code{}, answer_line{}, answer_out{};
};

// The last state of one job: its Started fields and the latest of the rest;
// `step` is the furthest of the ordered steps, `approval` stays empty.
using JobSummary = JournalRecord;

struct JournalContents {
  // In the order the jobs started: the last kKeepJobs, and before them the
  // last job of any port that has none among those.
  std::vector<JobSummary> jobs;
  // A torn or corrupt record was found; it and everything after it were
  // left out.
  bool damaged_tail = false;
  // Whole records left out: out of sequence or out of range (rejected), or
  // past kMaxJournalRecords (dropped).
  size_t rejected = 0, dropped = 0;
  // Jobs found, kept or not: more than kKeepJobs asks for a compaction.
  size_t job_count = 0;
  // The file was past kMaxJournalBytes and was set aside.
  bool too_large = false;
  std::string error;  // the file could not be read (a missing file is no error)
  bool compacted = true;      // false when the compaction of Load(true) failed
  std::string compact_error;  // why
};

// Header (magic, payload length), payload, CRC-32 of both.
std::string EncodeJournalRecord(const JournalRecord& record);
// The records of `bytes` up to the first one that is torn or corrupt;
// `*good_bytes` gets the length of the sound part. Whole records whose
// fields are out of range are skipped (counted in `*rejected`).
std::vector<JournalRecord> DecodeJournal(std::string_view bytes, size_t* good_bytes, size_t* rejected = nullptr);

// CRC-32 (IEEE 802.3, reflected, as in zip and PNG).
uint32_t Crc32(std::string_view bytes);

// An approved card payment that may stand for its document sent again.
struct PaymentApproval {
  uint64_t job = 0;
  std::string document_sha256, approved_at;  // approved_at: "YYYYMMDDhhmmss"
  payment::POSData data;
};

// Seconds from a "YYYYMMDDhhmmss" stamp to another, or INT64_MIN when
// either is not a stamp.
int64_t SecondsBetween(const std::string& from, const std::string& to);

// Moves the journal of an older version from `from` (the data directory) to
// `to`, only when nothing at all stands at `to`; a link or anything but a
// regular file at `from` is not followed. True when it was moved; `*note`
// says what happened when something did.
bool MoveJournal(platform::FileSystem& files, const std::string& from, const std::string& to, std::string* note);

class Journal {
 public:
  // `path` is the journal file: the program's own folder + kJournalFileName.
  Journal(platform::FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}

  // Reads the records in one pass. Call it once at start-up, before the
  // first Append: a damaged tail is rewritten away by the next Append,
  // otherwise records appended after it could never be read back. With
  // `compact`, a damaged journal or one of more than kKeepJobs jobs is
  // compacted from what was read.
  JournalContents Load(bool compact = false);
  // Appends one record and syncs it to the disk; false with `*error` when
  // it failed (the step it announces should not be taken then). A journal
  // grown past kCompactAboveBytes is compacted afterwards.
  bool Append(const JournalRecord& record, std::string* error);
  // Rewrites the file (whole, atomically) with the sound records of the
  // last `keep_jobs` jobs.
  bool Compact(std::string* error, size_t keep_jobs = kKeepJobs);

  // A job id greater than every id in the journal.
  uint64_t NextJobId() const { return last_job_ + 1; }

  // The payment approved for the document `sha256` at most
  // kPaymentReuseSeconds before `now` ("YYYYMMDDhhmmss") whose receipt was
  // never printed: false when there is none.
  bool FindApproval(const std::string& sha256, const std::string& now, PaymentApproval* out) const;

 private:
  bool Read(std::string* bytes, std::string* error, bool* too_large = nullptr);
  // Writes the sound records of the last `keep_jobs` jobs of `bytes`.
  bool Rewrite(const std::string& bytes, std::string* error, size_t keep_jobs);
  // What an accepted record changes in memory: the last id, the approvals.
  void Note(const JournalRecord& record);

  platform::FileSystem& files_;
  std::string path_;
  uint64_t last_job_ = 0;
  bool damaged_ = false;
  size_t size_ = 0;
  std::vector<PaymentApproval> approvals_;
};

// What start-up does about a port, from the port's last job in the journal
// and the exchange files it finds.
enum class RecoveryCase {
  kNothing,
  kCancelAndAnswerE510,  // the closing was never about to be sent
  kVerifyWithPrinter,    // closing sent or answered: compare the receipt counter
  kRewriteOutcome,       // the outcome is recorded, the files do not show it all
  kUnexplained,          // files the journal knows nothing of: copy, remove, no cancel
  kKeepAnswer,           // the job was answered: its answer files stay for the host
};

struct ExchangeFilesFound {
  bool start = false;  // SR_START
  bool data = false;   // SR_DATI
  bool finesco = false;
  bool error = false;  // SR_ERR
  // SR_DATI holds the last job's document (same SHA-256): tells the job's
  // own files from a later document the host left while we were down.
  bool data_is_last_job = false;
};

// `last` is null when the journal has no job for the port.
RecoveryCase DecideRecovery(const JobSummary* last, const ExchangeFilesFound& files);

}  // namespace service
