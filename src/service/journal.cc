// The job journal's file format (length-prefixed fields, CRC-32 per record),
// its reading and compaction, and the start-up decision it feeds.
#include "service/journal.h"

#include <algorithm>
#include <set>

namespace service {

namespace {

constexpr std::string_view kMagic = "QJR1";
constexpr size_t kHeaderSize = 8;           // magic, payload length
constexpr size_t kMaxPayload = 64 * 1024;   // far above any real record
constexpr size_t kMaxJournal = 64u << 20;   // compaction keeps it far below

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

bool FromFields(const std::vector<std::string>& f, JournalRecord* r) {
  long long step = 0, job = 0, n = 0;
  if (f.size() < 2 || !ToNumber(f[0], 1, 5, &step) || !ToNumber(f[1], 1, INT64_MAX, &job)) return false;
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
  }
  return false;
}

}  // namespace

uint32_t Crc32(std::string_view bytes) {
  uint32_t crc = 0xffffffff;
  for (char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320 & (0u - (crc & 1)));
  }
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

std::vector<JournalRecord> DecodeJournal(std::string_view bytes, size_t* good_bytes) {
  std::vector<JournalRecord> records;
  size_t at = 0;
  while (bytes.size() - at >= kHeaderSize + 4 && bytes.substr(at, kMagic.size()) == kMagic) {
    size_t length = GetU32(bytes, at + kMagic.size());
    if (length > kMaxPayload || bytes.size() - at < kHeaderSize + length + 4) break;
    std::string_view whole = bytes.substr(at, kHeaderSize + length);
    if (Crc32(whole) != GetU32(bytes, at + whole.size())) break;
    std::vector<std::string> fields;
    size_t p = kHeaderSize;
    while (p + 4 <= whole.size()) {
      size_t n = GetU32(whole, p);
      if (n > whole.size() - p - 4) break;
      fields.emplace_back(whole.substr(p + 4, n));
      p += 4 + n;
    }
    JournalRecord record;
    if (p != whole.size() || !FromFields(fields, &record)) break;
    records.push_back(std::move(record));
    at += whole.size() + 4;
  }
  if (good_bytes) *good_bytes = at;
  return records;
}

bool Journal::Read(std::string* bytes, std::string* error) {
  std::string why;
  switch (files_.ReadFile(path_, kMaxJournal, bytes, &why)) {
    case platform::ReadStatus::kOk:
      return true;
    case platform::ReadStatus::kMissing:
      bytes->clear();
      return true;
    case platform::ReadStatus::kTooLarge:
      *error = path_ + ": too large";
      return false;
    default:
      *error = path_ + ": " + (why.empty() ? "cannot be read" : why);
      return false;
  }
}

JournalContents Journal::Load() {
  JournalContents contents;
  std::string bytes;
  if (!Read(&bytes, &contents.error)) return contents;
  size_t good = 0;
  for (const JournalRecord& r : DecodeJournal(bytes, &good)) {
    last_job_ = std::max(last_job_, r.job);
    auto it = std::find_if(contents.jobs.begin(), contents.jobs.end(),
                           [&](const JobSummary& j) { return j.job == r.job; });
    if (it == contents.jobs.end()) it = contents.jobs.insert(contents.jobs.end(), JobSummary{.job = r.job});
    JobSummary& j = *it;
    j.step = std::max(j.step, r.step);
    switch (r.step) {
      case JournalStep::kStarted:
        j.port = r.port, j.wall_time = r.wall_time, j.document_sha256 = r.document_sha256;
        j.printer_serial = r.printer_serial;
        break;
      case JournalStep::kClosingAboutToBeSent:
        j.receipt_counter_before = r.receipt_counter_before;
        break;
      case JournalStep::kClosingAnswered:
        j.receipt_number = r.receipt_number, j.receipt_time = r.receipt_time, j.receipt_date = r.receipt_date;
        break;
      case JournalStep::kOutcomeWritten:
        j.outcome = r.outcome;
        break;
      case JournalStep::kAnswered:
        break;
    }
  }
  contents.damaged_tail = damaged_ = good != bytes.size();
  return contents;
}

bool Journal::Append(const JournalRecord& record, std::string* error) {
  if (damaged_ && !Compact(error)) return false;
  if (!files_.AppendFile(path_, EncodeJournalRecord(record), true, error)) return false;
  last_job_ = std::max(last_job_, record.job);
  return true;
}

bool Journal::Compact(std::string* error, size_t keep_jobs) {
  std::string bytes;
  if (!Read(&bytes, error)) return false;
  std::vector<JournalRecord> records = DecodeJournal(bytes, nullptr);
  std::vector<uint64_t> order;
  for (const JournalRecord& r : records) {
    if (std::find(order.begin(), order.end(), r.job) == order.end()) order.push_back(r.job);
  }
  std::set<uint64_t> keep(order.end() - static_cast<std::ptrdiff_t>(std::min(keep_jobs, order.size())), order.end());
  std::string kept;
  for (const JournalRecord& r : records) {
    if (keep.count(r.job)) kept += EncodeJournalRecord(r);
  }
  if (!files_.WriteFile(path_, kept, error)) return false;
  damaged_ = false;
  return true;
}

Recovery DecideRecovery(const JobSummary* last, const ExchangeFilesFound& files) {
  bool any = files.start || files.data || files.finesco || files.error;
  if (!last) return any ? Recovery::kUnexplained : Recovery::kNothing;
  switch (last->step) {
    case JournalStep::kStarted:
      return Recovery::kCancelAndAnswerE510;
    case JournalStep::kClosingAboutToBeSent:
    case JournalStep::kClosingAnswered:
      return Recovery::kVerifyWithPrinter;
    case JournalStep::kAnswered:
      // A start file now is a job the host left while the program was down.
      if (files.start) return Recovery::kUnexplained;
      return any ? Recovery::kKeepAnswer : Recovery::kNothing;
    case JournalStep::kOutcomeWritten:
      break;
  }
  // A document the host left after the last job is not that job's.
  if (files.data && !files.data_is_last_job) return Recovery::kUnexplained;
  // Success ends with SR_ERR, SR_DATI and SR_START removed, then FINESCO;
  // failure with SR_ERR written, then SR_START removed.
  if (last->outcome == "FINESCO")
    return files.start || files.data || files.error || !files.finesco ? Recovery::kRewriteOutcome
                                                                      : Recovery::kKeepAnswer;
  return files.start || !files.error ? Recovery::kRewriteOutcome : Recovery::kKeepAnswer;
}

}  // namespace service
