// The job journal: an append-only file in which every step of a job that
// cannot be undone is announced before it is taken, so that start-up after a
// crash knows how far the job went. It holds no card data and no document
// text, only the document's SHA-256.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
};

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
};

// The last state of one job: its Started fields and the latest of the rest.
struct JobSummary {
  uint64_t job = 0;
  JournalStep step = JournalStep::kStarted;
  int port = 0;
  std::string wall_time{}, document_sha256{}, printer_serial{};
  int receipt_counter_before = -1;
  std::string receipt_number{}, receipt_time{}, receipt_date{};
  std::string outcome{};
};

struct JournalContents {
  std::vector<JobSummary> jobs;  // in the order the jobs started
  // A torn or corrupt record was found; it and everything after it were
  // left out.
  bool damaged_tail = false;
  std::string error;  // the file could not be read (a missing file is no error)
};

// Header (magic, payload length), payload, CRC-32 of both.
std::string EncodeJournalRecord(const JournalRecord& record);
// The records of `bytes` up to the first one that is torn or corrupt;
// `*good_bytes` gets the length of the sound part.
std::vector<JournalRecord> DecodeJournal(std::string_view bytes, size_t* good_bytes);

// CRC-32 (IEEE 802.3, reflected, as in zip and PNG).
uint32_t Crc32(std::string_view bytes);

class Journal {
 public:
  // `path` is the journal file, usually the data directory + kJournalFileName.
  Journal(platform::FileSystem& files, std::string path) : files_(files), path_(std::move(path)) {}

  // Reads every record. Call it once at start-up, before the first Append:
  // a damaged tail is rewritten away by the next Append, otherwise records
  // appended after it could never be read back.
  JournalContents Load();
  // Appends one record and syncs it to the disk; false with `*error` when
  // it failed (the step it announces should not be taken then).
  bool Append(const JournalRecord& record, std::string* error);
  // Rewrites the file (whole, atomically) with the records of the last
  // `keep_jobs` jobs.
  bool Compact(std::string* error, size_t keep_jobs = 1000);

  // A job id greater than every id in the journal.
  uint64_t NextJobId() const { return last_job_ + 1; }

 private:
  bool Read(std::string* bytes, std::string* error);

  platform::FileSystem& files_;
  std::string path_;
  uint64_t last_job_ = 0;
  bool damaged_ = false;
};

// What start-up does about a port, from the port's last job in the journal
// and the exchange files it finds.
enum class Recovery {
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
Recovery DecideRecovery(const JobSummary* last, const ExchangeFilesFound& files);

}  // namespace service
