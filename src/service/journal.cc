// The job journal's file format (length-prefixed fields, CRC-32 per record),
// its reading and compaction, and the start-up decision it feeds.
#include "service/journal.h"

#include <algorithm>
#include <array>
#include <climits>
#include <deque>
#include <iterator>
#include <map>

#include "settings/date_time.h"

namespace service {

namespace {

constexpr std::string_view kMagic = "QJR1";
constexpr size_t kHeaderSize = 8;           // magic, payload length
constexpr size_t kMaxPayload = 64 * 1024;   // far above any real record
// A job starts with an id above the last one; a failed append may leave a
// gap, never a wide one.
constexpr uint64_t kMaxIdGap = 1000;
// Approvals kept in memory: one per document, the latest few.
constexpr size_t kMaxApprovals = 32;

// The answer fields an approval keeps, in the order they are written.
constexpr std::string payment::POSData::*kApprovalFields[] = {
    &payment::POSData::commandWord,     &payment::POSData::amount,          &payment::POSData::resultDescription,
    &payment::POSData::transactionDate, &payment::POSData::TerminalId,      &payment::POSData::AcquirerId,
    &payment::POSData::TransactionType, &payment::POSData::TransactionResult, &payment::POSData::KODescription,
    &payment::POSData::CardType,        &payment::POSData::STAN,            &payment::POSData::PAN,
    &payment::POSData::AuthorizationCode, &payment::POSData::OperationNumber, &payment::POSData::DataTrs,
};
constexpr size_t kApprovalFieldCount = std::size(kApprovalFields);

void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}

uint32_t GetU32(std::string_view s, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= uint32_t{static_cast<unsigned char>(s[at + i])} << (8 * i);
  return v;
}

std::vector<std::string> Fields(const JournalRecord& r) {
  std::vector<std::string> f = {std::to_string(static_cast<int>(r.step)), std::to_string(r.job)};
  switch (r.step) {
    case JournalStep::kStarted:
      f.insert(f.end(), {std::to_string(r.port), r.wall_time, r.document_sha256, r.printer_serial});
      break;
    case JournalStep::kClosingAboutToBeSent:
      f.push_back(std::to_string(r.receipt_counter_before));
      break;
    case JournalStep::kClosingAnswered:
      f.insert(f.end(), {r.receipt_number, r.receipt_time, r.receipt_date});
      break;
    case JournalStep::kOutcomeWritten:
      f.push_back(r.outcome);
      break;
    case JournalStep::kAnswered:
      break;
    case JournalStep::kPaymentApproved:
      f.insert(f.end(), {r.wall_time, r.document_sha256});
      for (auto member : kApprovalFields) f.push_back(r.approval.*member);
      break;
    case JournalStep::kIdempotencyKey:
      f.insert(f.end(), {r.idempotency_key, r.document_sha256, r.key_answered ? "1" : "0", r.answer_ok ? "1" : "0",
                         r.answer_closed ? "1" : "0", r.answer_code, r.answer_line, r.answer_out});
      break;
  }
  return f;
}

bool ToNumber(const std::string& s, long long min, long long max, long long* out) {
  size_t i = !s.empty() && s[0] == '-' ? 1 : 0;
  if (s.size() == i || s.size() - i > 19) return false;
  unsigned long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + static_cast<unsigned>(s[i] - '0');
    if (v > static_cast<unsigned long long>(max) + 1) return false;
  }
  long long n = s[0] == '-' ? -static_cast<long long>(v) : static_cast<long long>(v);
  if (n < min || n > max) return false;
  *out = n;
  return true;
}

bool IsStamp(const std::string& s) {
  return s.size() == 14 && s.find_first_not_of("0123456789") == std::string::npos;
}

bool FromFields(const std::vector<std::string>& f, JournalRecord* r) {
  long long step = 0, job = 0, n = 0;
  if (f.size() < 2 || !ToNumber(f[0], 1, 7, &step) || !ToNumber(f[1], 1, INT64_MAX, &job)) return false;
  *r = JournalRecord{};
  r->step = static_cast<JournalStep>(step);
  r->job = static_cast<uint64_t>(job);
  switch (r->step) {
    case JournalStep::kStarted:
      if (f.size() != 6 || !ToNumber(f[2], 0, 9999, &n)) return false;
      r->port = static_cast<int>(n);
      r->wall_time = f[3], r->document_sha256 = f[4], r->printer_serial = f[5];
      return true;
    case JournalStep::kClosingAboutToBeSent:
      if (f.size() != 3 || !ToNumber(f[2], -1, 99999999, &n)) return false;
      r->receipt_counter_before = static_cast<int>(n);
      return true;
    case JournalStep::kClosingAnswered:
      if (f.size() != 5) return false;
      r->receipt_number = f[2], r->receipt_time = f[3], r->receipt_date = f[4];
      return true;
    case JournalStep::kOutcomeWritten:
      if (f.size() != 3) return false;
      r->outcome = f[2];
      return true;
    case JournalStep::kAnswered:
      return f.size() == 2;
    case JournalStep::kPaymentApproved:
      if (f.size() != 4 + kApprovalFieldCount || !IsStamp(f[2]) || f[3].size() != 64) return false;
      r->wall_time = f[2], r->document_sha256 = f[3];
      for (size_t i = 0; i < kApprovalFieldCount; ++i) r->approval.*kApprovalFields[i] = f[4 + i];
      return true;
    case JournalStep::kIdempotencyKey: {
      auto flag = [](const std::string& s) { return s == "0" || s == "1"; };
      if (f.size() != 10 || f[2].empty() || f[2].size() > 64 || f[3].size() != 64 || !flag(f[4]) || !flag(f[5]) ||
          !flag(f[6]))
        return false;
      r->idempotency_key = f[2], r->document_sha256 = f[3];
      r->key_answered = f[4] == "1", r->answer_ok = f[5] == "1", r->answer_closed = f[6] == "1";
      r->answer_code = f[7], r->answer_line = f[8], r->answer_out = f[9];
      return true;
    }
  }
  return false;
}

const uint32_t* CrcTable() {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ (0xedb88320 & (0u - (c & 1)));
      t[n] = c;
    }
    return t;
  }();
  return table.data();
}

// Every well-framed record in file order, `raw` its bytes; a record whose
// fields do not parse is counted in `*bad` and skipped. Past `decode`
// records only the framing is checked and `fn` gets null. Returns where the
// sound part ends (a torn or corrupt record ends it).
template <typename Fn>
size_t Scan(std::string_view bytes, size_t* bad, Fn&& fn, size_t decode = SIZE_MAX) {
  size_t at = 0;
  std::vector<std::string> fields;
  JournalRecord record;
  while (bytes.size() - at >= kHeaderSize + 4 && bytes.substr(at, kMagic.size()) == kMagic) {
    size_t length = GetU32(bytes, at + kMagic.size());
    if (length > kMaxPayload || bytes.size() - at < kHeaderSize + length + 4) break;
    std::string_view whole = bytes.substr(at, kHeaderSize + length);
    if (Crc32(whole) != GetU32(bytes, at + whole.size())) break;
    if (!decode) {
      fn(nullptr, bytes.substr(at, whole.size() + 4));
      at += whole.size() + 4;
      continue;
    }
    --decode;
    fields.clear();
    size_t p = kHeaderSize;
    while (p + 4 <= whole.size()) {
      size_t n = GetU32(whole, p);
      if (n > whole.size() - p - 4) break;
      fields.emplace_back(whole.substr(p + 4, n));
      p += 4 + n;
    }
    if (p != whole.size()) break;
    if (FromFields(fields, &record)) {
      fn(&record, bytes.substr(at, whole.size() + 4));
    } else if (bad) {
      ++*bad;
    }
    at += whole.size() + 4;
  }
  return at;
}

struct Tally {
  size_t good = 0, rejected = 0, dropped = 0, jobs = 0;
  uint64_t first = 0, last = 0;
};

// The records Load and Compact take, in file order: sound, in sequence, and
// no more than kMaxJournalRecords of them. The sequence is the one our own
// appends keep: a job starts with an id a little above the last one, and
// every other record names a job that has started. A record out of that
// order (a forged one) is left out alone, so it cannot spoil the ones after it.
template <typename Fn>
Tally ForEachAccepted(std::string_view bytes, Fn&& fn) {
  Tally t;
  auto inSequence = [&t](const JournalRecord& r) {
    if (r.step != JournalStep::kStarted) return t.first && r.job >= t.first && r.job <= t.last;
    if (t.last ? r.job <= t.last || r.job - t.last > kMaxIdGap : r.job > kMaxFirstJobId) return false;
    if (!t.first) t.first = r.job;
    t.last = r.job;
    ++t.jobs;
    return true;
  };
  t.good = Scan(
      bytes, &t.rejected,
      [&](const JournalRecord* r, std::string_view raw) {
        if (!r) {
          ++t.dropped;
        } else if (!inSequence(*r)) {
          ++t.rejected;
        } else {
          fn(*r, raw);
        }
      },
      kMaxJournalRecords);
  return t;
}

void Apply(const JournalRecord& r, JobSummary& j) {
  if (r.step != JournalStep::kPaymentApproved && r.step != JournalStep::kIdempotencyKey) j.step = std::max(j.step, r.step);
  switch (r.step) {
    case JournalStep::kClosingAboutToBeSent:
      j.receipt_counter_before = r.receipt_counter_before;
      break;
    case JournalStep::kClosingAnswered:
      j.receipt_number = r.receipt_number, j.receipt_time = r.receipt_time, j.receipt_date = r.receipt_date;
      break;
    case JournalStep::kOutcomeWritten:
      j.outcome = r.outcome;
      break;
    case JournalStep::kStarted:
    case JournalStep::kAnswered:
    case JournalStep::kPaymentApproved:
      break;
    case JournalStep::kIdempotencyKey:
      j.idempotency_key = r.idempotency_key;
      if (r.key_answered) {
        j.key_answered = true, j.answer_ok = r.answer_ok, j.answer_closed = r.answer_closed;
        j.answer_code = r.answer_code, j.answer_line = r.answer_line, j.answer_out = r.answer_out;
      }
      break;
  }
}

bool StampSeconds(const std::string& s, int64_t* out) {
  if (!IsStamp(s)) return false;
  auto n = [&](size_t at, size_t len) { return static_cast<int64_t>(std::stoll(s.substr(at, len))); };
  *out = settings::DaysFromCivil(n(0, 4), n(4, 2), n(6, 2)) * 86400 + n(8, 2) * 3600 + n(10, 2) * 60 + n(12, 2);
  return true;
}

}  // namespace

uint32_t Crc32(std::string_view bytes) {
  const uint32_t* table = CrcTable();
  uint32_t crc = 0xffffffff;
  for (char c : bytes) crc = (crc >> 8) ^ table[(crc ^ static_cast<unsigned char>(c)) & 0xff];
  return ~crc;
}

std::string EncodeJournalRecord(const JournalRecord& record) {
  std::string payload;
  for (const std::string& field : Fields(record)) {
    PutU32(payload, static_cast<uint32_t>(field.size()));
    payload += field;
  }
  std::string out(kMagic);
  PutU32(out, static_cast<uint32_t>(payload.size()));
  out += payload;
  PutU32(out, Crc32(out));
  return out;
}

std::vector<JournalRecord> DecodeJournal(std::string_view bytes, size_t* good_bytes, size_t* rejected) {
  std::vector<JournalRecord> records;
  size_t good = Scan(bytes, rejected, [&](const JournalRecord* r, std::string_view) { records.push_back(*r); });
  if (good_bytes) *good_bytes = good;
  return records;
}

int64_t SecondsBetween(const std::string& from, const std::string& to) {
  int64_t a = 0, b = 0;
  if (!StampSeconds(from, &a) || !StampSeconds(to, &b)) return INT64_MIN;
  return b - a;
}

bool MoveJournal(platform::FileSystem& files, const std::string& from, const std::string& to, std::string* note) {
  if (from == to || files.Kind(to) != platform::FileKind::kMissing) return false;
  switch (files.Kind(from)) {
    case platform::FileKind::kMissing:
      return false;
    case platform::FileKind::kRegular:
      break;
    default:
      *note = from + ": non \xE8 un file normale, non spostato";
      return false;
  }
  std::string bytes, error;
  if (files.ReadFile(from, kMaxJournalBytes, &bytes, &error) != platform::ReadStatus::kOk) {
    *note = from + ": non spostato: " + (error.empty() ? "non leggibile" : error);
    return false;
  }
  if (!files.WriteFileMode(to, bytes, 0600, &error)) {
    *note = to + ": non scritto: " + error;
    return false;
  }
  files.RemoveFile(from);
  *note = "spostato da " + from + " a " + to;
  return true;
}

bool Journal::Read(std::string* bytes, std::string* error, bool* too_large) {
  std::string why;
  switch (files_.ReadFile(path_, kMaxJournalBytes, bytes, &why)) {
    case platform::ReadStatus::kOk:
      return true;
    case platform::ReadStatus::kMissing:
      bytes->clear();
      return true;
    case platform::ReadStatus::kTooLarge:
      *error = path_ + ": too large";
      if (too_large) *too_large = true;
      return false;
    default:
      *error = path_ + ": " + (why.empty() ? "cannot be read" : why);
      return false;
  }
}

void Journal::Note(const JournalRecord& r) {
  last_job_ = std::max(last_job_, r.job);
  auto drop = [&](auto&& match) {
    approvals_.erase(std::remove_if(approvals_.begin(), approvals_.end(), match), approvals_.end());
  };
  if (r.step == JournalStep::kPaymentApproved) {
    drop([&](const PaymentApproval& a) { return a.document_sha256 == r.document_sha256; });
    approvals_.push_back({r.job, r.document_sha256, r.wall_time, r.approval});
    if (approvals_.size() > kMaxApprovals) approvals_.erase(approvals_.begin());
  } else if (r.step == JournalStep::kOutcomeWritten && r.outcome == "FINESCO") {
    // The receipt is printed: the payment is spent.
    drop([&](const PaymentApproval& a) { return a.job == r.job; });
  }
}

JournalContents Journal::Load(bool compact) {
  JournalContents contents;
  last_job_ = 0;
  approvals_.clear();
  std::string bytes;
  if (!Read(&bytes, &contents.error, &contents.too_large)) {
    if (contents.too_large) {
      // Not one of ours (compaction keeps it far smaller): a new one starts.
      contents.error.clear();
      std::string error;
      if (!files_.WriteFileMode(path_, "", 0600, &error)) contents.error = error;
    }
    size_ = 0;
    return contents;
  }
  // The last kKeepJobs jobs, in id order; a port's last job pushed out of
  // them is kept aside, since start-up asks for it.
  std::deque<JobSummary> window;
  std::map<int, JobSummary> aside;
  std::map<int, uint64_t> port_last;
  const Tally tally = ForEachAccepted(bytes, [&](const JournalRecord& r, std::string_view) {
    Note(r);
    if (r.step == JournalStep::kStarted) {
      aside.erase(r.port);
      port_last[r.port] = r.job;
      window.push_back(r);
      if (window.size() > kKeepJobs) {
        if (port_last[window.front().port] == window.front().job)
          aside[window.front().port] = std::move(window.front());
        window.pop_front();
      }
      return;
    }
    auto it = std::lower_bound(window.begin(), window.end(), r.job,
                               [](const JobSummary& j, uint64_t id) { return j.job < id; });
    if (it != window.end() && it->job == r.job) {
      Apply(r, *it);
      return;
    }
    for (auto& [port, job] : aside)
      if (job.job == r.job) Apply(r, job);
  });
  for (auto& [port, job] : aside) contents.jobs.push_back(std::move(job));
  std::sort(contents.jobs.begin(), contents.jobs.end(),
            [](const JobSummary& a, const JobSummary& b) { return a.job < b.job; });
  contents.jobs.insert(contents.jobs.end(), std::make_move_iterator(window.begin()),
                       std::make_move_iterator(window.end()));
  contents.rejected = tally.rejected;
  contents.dropped = tally.dropped;
  contents.job_count = tally.jobs;
  contents.damaged_tail = tally.good != bytes.size();
  damaged_ = contents.damaged_tail || tally.rejected || tally.dropped;
  size_ = bytes.size();
  // From the bytes just read: the file is read once.
  if (compact && (damaged_ || contents.job_count > kKeepJobs) && !Rewrite(bytes, &contents.compact_error, kKeepJobs))
    contents.compacted = false;
  return contents;
}

bool Journal::Append(const JournalRecord& record, std::string* error) {
  if (damaged_ && !Compact(error)) return false;
  const std::string bytes = EncodeJournalRecord(record);
  if (!files_.AppendFileMode(path_, bytes, true, 0600, error)) return false;
  size_ += bytes.size();
  Note(record);
  std::string why;
  // A failure here is tried again at the next append.
  if (size_ > kCompactAboveBytes) Compact(&why);
  return true;
}

bool Journal::Compact(std::string* error, size_t keep_jobs) {
  std::string bytes;
  return Read(&bytes, error) && Rewrite(bytes, error, keep_jobs);
}

bool Journal::Rewrite(const std::string& bytes, std::string* error, size_t keep_jobs) {
  // Ids only grow: the last `keep_jobs` jobs are those from the one that
  // started `keep_jobs` jobs before the end.
  std::vector<uint64_t> starts;
  ForEachAccepted(bytes, [&](const JournalRecord& r, std::string_view) {
    if (r.step == JournalStep::kStarted) starts.push_back(r.job);
  });
  const uint64_t from = starts.size() <= keep_jobs ? 0 : starts[starts.size() - keep_jobs];
  std::string kept;
  ForEachAccepted(bytes, [&](const JournalRecord& r, std::string_view raw) {
    if (keep_jobs && r.job >= from) kept.append(raw);
  });
  if (!files_.WriteFileMode(path_, kept, 0600, error)) return false;
  damaged_ = false;
  size_ = kept.size();
  return true;
}

bool Journal::FindApproval(const std::string& sha256, const std::string& now, PaymentApproval* out) const {
  for (auto it = approvals_.rbegin(); it != approvals_.rend(); ++it) {
    if (it->document_sha256 != sha256) continue;
    const int64_t age = SecondsBetween(it->approved_at, now);
    if (age < 0 || age > kPaymentReuseSeconds) return false;
    *out = *it;
    return true;
  }
  return false;
}

RecoveryCase DecideRecovery(const JobSummary* last, const ExchangeFilesFound& files) {
  bool any = files.start || files.data || files.finesco || files.error;
  if (!last) return any ? RecoveryCase::kUnexplained : RecoveryCase::kNothing;
  switch (last->step) {
    case JournalStep::kStarted:
      return RecoveryCase::kCancelAndAnswerE510;
    case JournalStep::kClosingAboutToBeSent:
    case JournalStep::kClosingAnswered:
      return RecoveryCase::kVerifyWithPrinter;
    case JournalStep::kAnswered:
      // A start file now is a job the host left while the program was down.
      if (files.start) return RecoveryCase::kUnexplained;
      return any ? RecoveryCase::kKeepAnswer : RecoveryCase::kNothing;
    case JournalStep::kOutcomeWritten:
    case JournalStep::kPaymentApproved:  // never a summary's step
    case JournalStep::kIdempotencyKey:
      break;
  }
  // A document the host left after the last job is not that job's.
  if (files.data && !files.data_is_last_job) return RecoveryCase::kUnexplained;
  // Success ends with SR_ERR, SR_DATI and SR_START removed, then FINESCO;
  // failure with SR_ERR written, then SR_START removed.
  if (last->outcome == "FINESCO")
    return files.start || files.data || files.error || !files.finesco ? RecoveryCase::kRewriteOutcome
                                                                      : RecoveryCase::kKeepAnswer;
  return files.start || !files.error ? RecoveryCase::kRewriteOutcome : RecoveryCase::kKeepAnswer;
}

}  // namespace service
