// Tests of the job journal: records back from the file, torn and corrupt
// tails, compaction, the start-up decisions, and SHA-256.
#include "service/journal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>

#include "service/sha256.h"
#include "testing/fake_file_system.h"

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
  // An API job's key, claimed when it starts, then with its answer; it
  // moves no job's step.
  JournalRecord key = {.step = JournalStep::kIdempotencyKey, .job = 4, .document_sha256 = Sha256Hex("doc4"),
                       .idempotency_key = "till-7/0042"};
  ASSERT_TRUE(journal.Append(key, &error));
  key.job = 5, key.idempotency_key = "k5", key.key_answered = true, key.answer_code = "E505";
  key.answer_line = "E505: Totale scontrino negativo", key.answer_out = "a\r\nb\r\n";
  ASSERT_TRUE(journal.Append(key, &error));
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
  EXPECT_EQ(c.jobs[0].idempotency_key, "till-7/0042");
  EXPECT_FALSE(c.jobs[0].key_answered);
  EXPECT_EQ(c.jobs[1].step, JournalStep::kClosingAboutToBeSent);
  EXPECT_EQ(c.jobs[1].idempotency_key, "k5");
  EXPECT_TRUE(c.jobs[1].key_answered && !c.jobs[1].answer_ok);
  EXPECT_EQ(c.jobs[1].answer_line, "E505: Totale scontrino negativo");
  EXPECT_EQ(c.jobs[1].answer_out, "a\r\nb\r\n");
  EXPECT_EQ(reopened.NextJobId(), 6u);
}

// Records a host could have planted, each among sound ones: every sound
// record after it still counts, and the next id stays small.
TEST(Journal, ForgedRecordsAreLeftOutAlone) {
  const uint64_t kTop = INT64_MAX;  // 2^63 - 1
  JournalRecord bad_port = Started(3, 1);
  bad_port.port = -1;
  struct Case {
    const char* what;
    std::vector<JournalRecord> records;
    std::vector<uint64_t> jobs;  // the jobs that come back
    size_t rejected;
    uint64_t next;
  } cases[] = {
      {"top id in the middle", {Started(1, 1), Started(kTop, 1), Outcome(kTop, "FINESCO"), Started(2, 1), Outcome(2, "FINESCO")}, {1, 2}, 2, 3},
      {"top id first", {Started(kTop, 1), Started(5, 1), AboutToClose(5, 999)}, {5}, 1, 6},
      {"first id past the bound", {Started(kMaxFirstJobId + 1, 1), Started(kMaxFirstJobId, 2)}, {kMaxFirstJobId}, 1, kMaxFirstJobId + 1},
      {"a job started again", {Started(1, 1), Started(2, 1), Started(2, 2), Started(3, 1)}, {1, 2, 3}, 1, 4},
      {"an id far ahead", {Started(1, 1), Started(5000, 1), Started(2, 1)}, {1, 2}, 1, 3},
      {"a step of a job never started", {Started(1, 1), AboutToClose(2, 999), Outcome(2, "FINESCO"), Started(2, 1)}, {1, 2}, 2, 3},
      {"a field out of range", {Started(1, 1), Started(2, 1), bad_port, Started(3, 2)}, {1, 2, 3}, 1, 4},
  };
  for (const Case& c : cases) {
    MemoryFiles files;
    for (const JournalRecord& r : c.records) files.files[kPath] += EncodeJournalRecord(r);
    Journal journal(files, kPath);
    JournalContents loaded = journal.Load();
    std::vector<uint64_t> jobs;
    for (const JobSummary& j : loaded.jobs) jobs.push_back(j.job);
    EXPECT_EQ(jobs, c.jobs) << c.what;
    EXPECT_EQ(loaded.rejected, c.rejected) << c.what;
    EXPECT_FALSE(loaded.damaged_tail) << c.what;
    EXPECT_EQ(journal.NextJobId(), c.next) << c.what;
    // Our next job is read back, and compaction leaves the forged ones out.
    std::string error;
    ASSERT_TRUE(journal.Append(Started(journal.NextJobId(), 4), &error)) << c.what;
    Journal again(files, kPath);
    loaded = again.Load();
    EXPECT_EQ(loaded.rejected, 0u) << c.what;
    EXPECT_EQ(loaded.jobs.back().port, 4) << c.what;
    EXPECT_EQ(loaded.jobs.back().job, c.next) << c.what;
  }
}

// 10^6 records of real-looking jobs: one pass, records past the cap
// dropped and counted, the last jobs kept by the compaction.
TEST(Journal, HugeJournalLoadsInOnePass) {
  MemoryFiles files;
  std::string& bytes = files.files[kPath];
  const size_t kRecords = 1000000;
  for (uint64_t job = 1, n = 0; n < kRecords; ++job) {
    for (const JournalRecord& r : {Started(job, 1 + static_cast<int>(job % 4)), AboutToClose(job, 10), Answered(job),
                                   Outcome(job, "FINESCO"), JournalRecord{.step = JournalStep::kAnswered, .job = job}}) {
      if (n++ < kRecords) bytes += EncodeJournalRecord(r);
    }
  }
  const auto start = std::chrono::steady_clock::now();
  Journal journal(files, kPath);
  JournalContents loaded = journal.Load();
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("journal of %zu records, %zu bytes: loaded in %.0f ms\n", kRecords, bytes.size(), ms);
  // No bound on the figure here, which a loaded machine would break: the
  // quadratic load took minutes, and the test's time-out stops that.
  EXPECT_EQ(loaded.dropped, kRecords - kMaxJournalRecords);
  EXPECT_EQ(loaded.job_count, kMaxJournalRecords / 5);
  ASSERT_EQ(loaded.jobs.size(), kKeepJobs);
  EXPECT_EQ(loaded.jobs.back().job, kMaxJournalRecords / 5);
  EXPECT_EQ(loaded.jobs.back().step, JournalStep::kAnswered);
  std::string error;
  ASSERT_TRUE(journal.Compact(&error));
  loaded = Journal(files, kPath).Load();
  EXPECT_EQ(loaded.job_count, kKeepJobs);
  EXPECT_EQ(loaded.dropped, 0u);
  // Past the byte cap the file is not read at all: a new journal starts.
  files.files[kPath] = std::string(kMaxJournalBytes + 1, 'Q');
  loaded = journal.Load();
  EXPECT_TRUE(loaded.too_large);
  EXPECT_EQ(files.files[kPath], "");
}

// The old journal in the data directory moves to the program's folder once;
// nothing is followed or overwritten on the way.
TEST(Journal, MovesOutOfTheDataDirectory) {
  const std::string from = "/data/Quilo1.journal", to = "/prog/Quilo1.journal";
  const std::string old = EncodeJournalRecord(Started(1, 1));
  struct Case {
    const char* what;
    std::function<void(testing_support::FakeFileSystem&)> plant;
    bool moved;
    std::string left_at_to;
  } cases[] = {
      {"first start", [&](auto& fs) { fs.AddFile(from, old); }, true, old},
      {"already moved", [&](auto& fs) { fs.AddFile(from, old), fs.AddFile(to, "ours"); }, false, "ours"},
      {"a link at the old place", [&](auto& fs) { fs.AddOther(from); }, false, ""},
      {"a link at the new place", [&](auto& fs) { fs.AddFile(from, old), fs.AddOther(to); }, false, ""},
      {"nothing to move", [](auto&) {}, false, ""},
  };
  for (const Case& c : cases) {
    testing_support::FakeFileSystem fs;
    fs.AddDirectory("/data");
    fs.AddDirectory("/prog");
    c.plant(fs);
    std::string note;
    EXPECT_EQ(MoveJournal(fs, from, to, &note), c.moved) << c.what << ": " << note;
    EXPECT_EQ(fs.Contents(to), c.left_at_to) << c.what;
    EXPECT_EQ(fs.HasFile(from), !c.moved && fs.Count("write", to) == 0 && c.what != std::string("nothing to move") &&
                                    c.what != std::string("a link at the old place"))
        << c.what;
  }
}

// An approved payment stands for its document for 30 minutes, until a
// receipt of it is printed.
TEST(Journal, ApprovedPaymentsAreFoundAgain) {
  MemoryFiles files;
  Journal journal(files, kPath);
  journal.Load();
  const std::string doc = Sha256Hex("doc1");
  JournalRecord approved{.step = JournalStep::kPaymentApproved, .job = 1, .wall_time = "20261208101500",
                         .document_sha256 = doc};
  approved.approval.commandWord = "PAGA";
  approved.approval.AuthorizationCode = "A1B2C3";
  std::string error;
  ASSERT_TRUE(journal.Append(Started(1, 1), &error));
  ASSERT_TRUE(journal.Append(approved, &error));
  ASSERT_TRUE(journal.Append(Outcome(1, "Errore 12 : Documento RT non trovato non modificabile "), &error));
  Journal reloaded(files, kPath);
  reloaded.Load();
  PaymentApproval found;
  for (Journal* j : {&journal, &reloaded}) {
    EXPECT_TRUE(j->FindApproval(doc, "20261208104500", &found));
    EXPECT_EQ(found.data.AuthorizationCode, "A1B2C3");
    EXPECT_EQ(found.approved_at, "20261208101500");
    EXPECT_FALSE(j->FindApproval(doc, "20261208104501", &found)) << "past 30 minutes";
    EXPECT_FALSE(j->FindApproval(doc, "20261208101459", &found)) << "before the approval";
    EXPECT_FALSE(j->FindApproval(Sha256Hex("doc2"), "20261208101600", &found));
  }
  EXPECT_EQ(SecondsBetween("20261231235959", "20270101000000"), 1);
  // The receipt sent again is printed: the payment is spent.
  ASSERT_TRUE(journal.Append(Started(2, 1), &error));
  approved.job = 2;
  ASSERT_TRUE(journal.Append(approved, &error));
  EXPECT_TRUE(journal.FindApproval(doc, "20261208102000", &found));
  ASSERT_TRUE(journal.Append(Outcome(2, "FINESCO"), &error));
  EXPECT_FALSE(journal.FindApproval(doc, "20261208102000", &found));
  Journal last(files, kPath);
  last.Load();
  EXPECT_FALSE(last.FindApproval(doc, "20261208102000", &found));
}

TEST(Journal, StartUpDecisions) {
  JobSummary started{.step = JournalStep::kStarted, .job = 7, .port = 1};
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
    RecoveryCase want;
  };
  const Case cases[] = {
      {nullptr, none, RecoveryCase::kNothing},
      {nullptr, job_files, RecoveryCase::kUnexplained},
      {nullptr, finished, RecoveryCase::kUnexplained},
      {&started, job_files, RecoveryCase::kCancelAndAnswerE510},
      {&started, none, RecoveryCase::kCancelAndAnswerE510},
      {&about, job_files, RecoveryCase::kVerifyWithPrinter},
      {&answered, none, RecoveryCase::kVerifyWithPrinter},
      {&done, finished, RecoveryCase::kKeepAnswer},
      {&done, none, RecoveryCase::kRewriteOutcome},
      {&done, job_files, RecoveryCase::kRewriteOutcome},
      {&done, done_but_start, RecoveryCase::kRewriteOutcome},
      {&done, error_left, RecoveryCase::kRewriteOutcome},
      {&done, new_document, RecoveryCase::kUnexplained},
      {&failed, error_left, RecoveryCase::kKeepAnswer},
      {&failed, error_and_start, RecoveryCase::kRewriteOutcome},
      {&failed, job_files, RecoveryCase::kRewriteOutcome},
      {&failed, new_document, RecoveryCase::kUnexplained},
      {&closed, finished, RecoveryCase::kKeepAnswer},
      {&closed, none, RecoveryCase::kNothing},
      {&closed, job_files, RecoveryCase::kUnexplained},
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
