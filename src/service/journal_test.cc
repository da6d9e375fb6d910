// Tests of the job journal: records back from the file, torn and corrupt
// tails, compaction, the start-up decisions, and SHA-256.
#include "service/journal.h"

#include <gtest/gtest.h>

#include <map>

#include "service/sha256.h"

namespace service {
namespace {

// Files in memory; counts synced appends. (To be replaced by the shared fake.)
class MemoryFiles : public platform::FileSystem {
 public:
  std::map<std::string, std::string> files;
  int synced_appends = 0;

  platform::FileKind Kind(const std::string& p) override {
    return files.count(p) ? platform::FileKind::kRegular : platform::FileKind::kMissing;
  }
  platform::ReadStatus ReadFile(const std::string& p, size_t max, std::string* out, std::string*) override {
    if (!files.count(p)) return platform::ReadStatus::kMissing;
    if (files[p].size() > max) return platform::ReadStatus::kTooLarge;
    *out = files[p];
    return platform::ReadStatus::kOk;
  }
  bool WriteFile(const std::string& p, const std::string& bytes, std::string*) override {
    files[p] = bytes;
    return true;
  }
  bool CreateFile(const std::string& p, const std::string& bytes, std::string*) override {
    return files.emplace(p, bytes).second;
  }
  bool AppendFile(const std::string& p, const std::string& bytes, bool sync, std::string*) override {
    files[p] += bytes;
    synced_appends += sync;
    return true;
  }
  bool RemoveFile(const std::string& p) override { return files.erase(p), true; }
  bool MakeDirectory(const std::string&) override { return true; }
  bool ListDirectory(const std::string&, std::vector<std::string>*) override { return false; }
};

const std::string kPath = "/data/Quilo1.journal";

JournalRecord Started(uint64_t job, int port) {
  return {.step = JournalStep::kStarted, .job = job, .port = port, .wall_time = "20260307101500",
          .document_sha256 = Sha256Hex("doc" + std::to_string(job)), .printer_serial = "99MEY012345"};
}
JournalRecord AboutToClose(uint64_t job, int counter) {
  return {.step = JournalStep::kClosingAboutToBeSent, .job = job, .receipt_counter_before = counter};
}
JournalRecord Answered(uint64_t job) {
  return {.step = JournalStep::kClosingAnswered, .job = job, .receipt_number = "0018-0012",
          .receipt_time = "10:15", .receipt_date = "07/03/26"};
}
JournalRecord Outcome(uint64_t job, const std::string& text) {
  return {.step = JournalStep::kOutcomeWritten, .job = job, .outcome = text};
}

// Job 1 done, job 2 (port 2) answered, job 3 only started: every kind of
// record and field comes back, and a damaged end loses only what it touches.
TEST(Journal, RecordsComeBackAndADamagedTailIsLeftOut) {
  const std::vector<JournalRecord> records = {
      Started(1, 1), AboutToClose(1, -1), Answered(1), Outcome(1, "FINESCO"),
      Started(2, 2), AboutToClose(2, 11), Answered(2), Started(3, 1), Outcome(3, "E510: \xe8 \t\r\n ERRORE 16")};
  std::string bytes;
  for (const JournalRecord& r : records) bytes += EncodeJournalRecord(r);
  const size_t last_size = EncodeJournalRecord(records.back()).size();
  struct Case {
    const char* what;
    std::string bytes;
    size_t records;
    bool damaged;
  };
  std::string flipped = bytes;
  flipped[bytes.size() - last_size + 12] ^= 0x01;  // inside the last payload
  std::string bad_middle = bytes;
  bad_middle[EncodeJournalRecord(records[0]).size() + 2] = 'X';  // the second magic
  for (const Case& c : std::vector<Case>{{"whole", bytes, 9, false},
                                         {"torn in the CRC", bytes.substr(0, bytes.size() - 1), 8, true},
                                         {"torn in the header", bytes.substr(0, bytes.size() - last_size + 5), 8, true},
                                         {"flipped bit", flipped, 8, true},
                                         {"bad record in the middle", bad_middle, 1, true},
                                         {"zeros after", bytes + std::string(16, '\0'), 9, true},
                                         {"empty", "", 0, false}}) {
    size_t good = 0;
    std::vector<JournalRecord> back = DecodeJournal(c.bytes, &good);
    ASSERT_EQ(back.size(), c.records) << c.what;
    for (size_t i = 0; i < back.size(); ++i) {
      EXPECT_EQ(EncodeJournalRecord(back[i]), EncodeJournalRecord(records[i])) << c.what << " " << i;
    }
    EXPECT_EQ(good != c.bytes.size(), c.damaged) << c.what;

    MemoryFiles files;
    files.files[kPath] = c.bytes;
    Journal journal(files, kPath);
    JournalContents loaded = journal.Load();
    EXPECT_EQ(loaded.damaged_tail, c.damaged) << c.what;
    // After a damaged tail the next record still comes back.
    std::string error;
    ASSERT_TRUE(journal.Append(Started(journal.NextJobId(), 4), &error)) << c.what;
    JournalContents again = Journal(files, kPath).Load();
    EXPECT_FALSE(again.damaged_tail) << c.what;
    ASSERT_FALSE(again.jobs.empty());
    EXPECT_EQ(again.jobs.back().port, 4) << c.what;
  }
  EXPECT_EQ(Crc32("123456789"), 0xcbf43926u);
}

TEST(Journal, SummariesCompactionAndNextId) {
  MemoryFiles files;
  Journal journal(files, kPath);
  std::string error;
  EXPECT_TRUE(journal.Load().jobs.empty());
  EXPECT_EQ(journal.NextJobId(), 1u);
  for (uint64_t job = 1; job <= 5; ++job) {
    ASSERT_TRUE(journal.Append(Started(job, static_cast<int>(job % 2 + 1)), &error));
    ASSERT_TRUE(journal.Append(AboutToClose(job, 40 + static_cast<int>(job)), &error));
    if (job < 5) {
      ASSERT_TRUE(journal.Append(Answered(job), &error));
    }
    if (job < 4) {
      ASSERT_TRUE(journal.Append(Outcome(job, "FINESCO"), &error));
    }
  }
  EXPECT_EQ(files.synced_appends, 17);
  JournalContents c = journal.Load();
  ASSERT_EQ(c.jobs.size(), 5u);
  EXPECT_EQ(c.jobs[2].step, JournalStep::kOutcomeWritten);
  EXPECT_EQ(c.jobs[3].step, JournalStep::kClosingAnswered);
  EXPECT_EQ(c.jobs[3].receipt_number, "0018-0012");
  EXPECT_EQ(c.jobs[4].step, JournalStep::kClosingAboutToBeSent);
  EXPECT_EQ(c.jobs[4].receipt_counter_before, 45);
  EXPECT_EQ(c.jobs[4].port, 2);
  EXPECT_EQ(c.jobs[4].document_sha256, Sha256Hex("doc5"));
  ASSERT_TRUE(journal.Compact(&error, 2));
  Journal reopened(files, kPath);
  c = reopened.Load();
  ASSERT_EQ(c.jobs.size(), 2u);
  EXPECT_EQ(c.jobs[0].job, 4u);
  EXPECT_EQ(c.jobs[0].step, JournalStep::kClosingAnswered);
  EXPECT_EQ(c.jobs[0].wall_time, "20260307101500");
  EXPECT_EQ(reopened.NextJobId(), 6u);
}

TEST(Journal, StartUpDecisions) {
  JobSummary started{.job = 7, .step = JournalStep::kStarted, .port = 1};
  JobSummary about = started, answered = started, done = started, failed = started, closed = started;
  about.step = JournalStep::kClosingAboutToBeSent;
  answered.step = JournalStep::kClosingAnswered;
  done.step = failed.step = JournalStep::kOutcomeWritten;
  done.outcome = "FINESCO";
  failed.outcome = "E503: Scontrino aperto : ERRORE 16";
  closed.step = JournalStep::kAnswered;
  // start, data, finesco, error, data_is_last_job
  const ExchangeFilesFound none{}, job_files{true, true, false, false, true}, finished{false, false, true, false, false},
      done_but_start{true, false, false, false, false}, error_left{false, true, false, true, true},
      error_and_start{true, true, false, true, true}, new_document{true, true, false, false, false};
  struct Case {
    const JobSummary* last;
    ExchangeFilesFound files;
    Recovery want;
  };
  const Case cases[] = {
      {nullptr, none, Recovery::kNothing},
      {nullptr, job_files, Recovery::kUnexplained},
      {nullptr, finished, Recovery::kUnexplained},
      {&started, job_files, Recovery::kCancelAndAnswerE510},
      {&started, none, Recovery::kCancelAndAnswerE510},
      {&about, job_files, Recovery::kVerifyWithPrinter},
      {&answered, none, Recovery::kVerifyWithPrinter},
      {&done, finished, Recovery::kKeepAnswer},
      {&done, none, Recovery::kRewriteOutcome},
      {&done, job_files, Recovery::kRewriteOutcome},
      {&done, done_but_start, Recovery::kRewriteOutcome},
      {&done, error_left, Recovery::kRewriteOutcome},
      {&done, new_document, Recovery::kUnexplained},
      {&failed, error_left, Recovery::kKeepAnswer},
      {&failed, error_and_start, Recovery::kRewriteOutcome},
      {&failed, job_files, Recovery::kRewriteOutcome},
      {&failed, new_document, Recovery::kUnexplained},
      {&closed, finished, Recovery::kKeepAnswer},
      {&closed, none, Recovery::kNothing},
      {&closed, job_files, Recovery::kUnexplained},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(DecideRecovery(cases[i].last, cases[i].files), cases[i].want) << "case " << i;
  }
}

TEST(Sha256, StandardVectors) {
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace service
