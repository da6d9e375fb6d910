// quilo1-submit against a fake program: a thread that waits for SR_START and
// answers with FINESCO, with SR_ERR written in two pieces, or not at all.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "testing/temp_dir.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::ScopedTempDir;
using testing_support::WriteFileBytes;

struct ToolRun {
  int status = -1;
  std::string out, err;
};

// `as` runs the tool as another user ("setpriv --reuid ..."); `tag`
// keeps the outputs of runs at once apart.
ToolRun Submit(const ScopedTempDir& dir, const std::string& args, const std::string& as = "",
               const std::string& tag = "") {
  const std::string out = dir.File("stdout" + tag), err = dir.File("stderr" + tag);
  const std::string cmd = as + " '" + QUILO1_SUBMIT_TOOL + "' --data-dir '" + dir.path() + "' " + args + " >'" +
                          out + "' 2>'" + err + "'";
  int raw = std::system(cmd.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFileBytes(out), ReadFileBytes(err)};
}

// The program's side of one job on port 2; `answer` runs once SR_START is
// there, with the document it found.
std::thread FakeProgram(const ScopedTempDir& dir, std::function<void(const std::string& document)> answer) {
  return std::thread([&dir, answer] {
    for (int i = 0; i < 1000 && !FileExists(dir.File("SR_START.002")); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    answer(ReadFileBytes(dir.File("SR_DATI.002")));
  });
}

TEST(SubmitTool, ExitStatuses) {
  ScopedTempDir dir;
  const std::string doc = "PRNT,prova;\r\n";
  WriteFileBytes(dir.File("doc"), doc);

  // 0: FINESCO, SR_OUT on standard output; a stale FINESCO is not taken.
  WriteFileBytes(dir.File("FINESCO.002"), "finesco");
  std::string seen;
  std::thread ok = FakeProgram(dir, [&](const std::string& d) {
    seen = d;
    WriteFileBytes(dir.File("SR_OUT.002"), "12:00\r\n0042\r\n");
    std::filesystem::remove(dir.File("SR_START.002"));
    WriteFileBytes(dir.File("FINESCO.002"), "finesco");
  });
  ToolRun r = Submit(dir, "--port 2 '" + dir.File("doc") + "'");
  ok.join();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(seen, doc);
  EXPECT_EQ(r.out, "12:00\r\n0042\r\n");
  EXPECT_FALSE(FileExists(dir.File("~SR_DATI.002.tmp")));

  // 1: SR_ERR, taken only once the job is over: a paper-end notice while
  // it goes on is not the answer.
  std::thread err = FakeProgram(dir, [&](const std::string&) {
    std::filesystem::remove(dir.File("FINESCO.002"));
    WriteFileBytes(dir.File("SR_ERR.002"), "E096: Fine carta scontrino, sostituire rotolo\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    WriteFileBytes(dir.File("SR_ERR.002"), "E503: Scontrino aperto, chiudere e riavviare l'esecuzione : ERRORE 16\r\n");
    std::filesystem::remove(dir.File("SR_START.002"));
  });
  r = Submit(dir, "--port 2 -  <'" + dir.File("doc") + "'");
  err.join();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "E503: Scontrino aperto, chiudere e riavviare l'esecuzione : ERRORE 16\n");

  // 2: no answer; the exchange files stay.
  r = Submit(dir, "--port 3 --timeout 1 '" + dir.File("doc") + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(FileExists(dir.File("SR_START.003")));
  EXPECT_EQ(ReadFileBytes(dir.File("SR_DATI.003")), doc);

  // 3: that port's job is still waiting; nothing is touched.
  WriteFileBytes(dir.File("SR_DATI.003"), "older");
  r = Submit(dir, "--port 3 '" + dir.File("doc") + "'");
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(ReadFileBytes(dir.File("SR_DATI.003")), "older");

  // 4: bad usage.
  EXPECT_EQ(Submit(dir, "--port 5 '" + dir.File("doc") + "'").status, 4);
  EXPECT_EQ(Submit(dir, "'" + dir.File("missing") + "'").status, 4);
}

// Names another user of the folder can plant before the tool runs, and
// answers that are not a program's: nothing is written through a link, and
// the tool ends with a clear error well within its time-out.
TEST(SubmitTool, HostileFolder) {
  ScopedTempDir dir, outside;
  const std::string doc = "PRNT,prova;\r\n", victim = outside.File("victim");
  WriteFileBytes(dir.File("doc"), doc);
  WriteFileBytes(victim, "mine");
  namespace fs = std::filesystem;

  // Links planted at the old temporary name, at SR_DATI and at SR_START.
  fs::create_symlink(victim, dir.File("~SR_DATI.002.tmp"));
  fs::create_symlink(outside.File("made-by-dati"), dir.File("SR_DATI.002"));
  std::thread ok = FakeProgram(dir, [&](const std::string&) {
    WriteFileBytes(dir.File("SR_OUT.002"), "0042\r\n");
    fs::remove(dir.File("SR_START.002"));
    WriteFileBytes(dir.File("FINESCO.002"), "finesco");
  });
  ToolRun r = Submit(dir, "--port 2 --timeout 5 '" + dir.File("doc") + "'");
  ok.join();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "0042\r\n");
  EXPECT_EQ(ReadFileBytes(victim), "mine");
  EXPECT_FALSE(FileExists(outside.File("made-by-dati")));
  fs::create_symlink(outside.File("made-by-start"), dir.File("SR_START.003"));
  EXPECT_EQ(Submit(dir, "--port 3 '" + dir.File("doc") + "'").status, 3);
  EXPECT_FALSE(FileExists(outside.File("made-by-start")));
  // A link or a FIFO at the lock's name: refused at once, nothing written.
  fs::create_symlink(outside.File("made-by-lock"), dir.File("SR_LOCK.004"));
  r = Submit(dir, "--port 4 '" + dir.File("doc") + "'");
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("cannot lock"), std::string::npos) << r.err;
  EXPECT_FALSE(FileExists(outside.File("made-by-lock")));
  fs::remove(dir.File("SR_LOCK.004"));
  ASSERT_EQ(::mkfifo(dir.File("SR_LOCK.004").c_str(), 0600), 0);
  r = Submit(dir, "--port 4 '" + dir.File("doc") + "'");
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
  EXPECT_FALSE(FileExists(dir.File("SR_START.004")));

  // Each row: the answer file and how it is planted; a 3 GiB sparse file
  // once made the tool run out of memory, a FIFO made it wait for good.
  struct Row {
    const char* answer;
    std::function<void(const std::string& path)> plant;
    const char* why;
  };
  const Row rows[] = {
      {"SR_OUT.002", [&](const std::string& p) { fs::create_symlink(victim, p); }, "not a regular file"},
      {"SR_OUT.002", [](const std::string& p) { fs::create_symlink("/dev/zero", p); }, "not a regular file"},
      {"SR_OUT.002", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, "not a regular file"},
      {"SR_OUT.002", [](const std::string& p) { ASSERT_EQ(::truncate((WriteFileBytes(p, ""), p).c_str(), 3ll << 30), 0); },
       "larger than 1 MiB"},
      {"SR_ERR.002", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, "not a regular file"},
  };
  for (const Row& row : rows) {
    for (const char* stale : {"SR_OUT.002", "SR_ERR.002", "FINESCO.002", "SR_DATI.002"}) fs::remove(dir.File(stale));
    std::thread program = FakeProgram(dir, [&](const std::string&) {
      row.plant(dir.File(row.answer));
      fs::remove(dir.File("SR_START.002"));
      if (row.answer[3] == 'O') WriteFileBytes(dir.File("FINESCO.002"), "finesco");
    });
    const auto begun = std::chrono::steady_clock::now();
    r = Submit(dir, "--port 2 --timeout 5 '" + dir.File("doc") + "'");
    const auto took = std::chrono::steady_clock::now() - begun;
    program.join();
    EXPECT_EQ(r.status, 4) << row.answer << " " << row.why << ": " << r.err;
    EXPECT_NE(r.err.find(row.why), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_LT(took, std::chrono::seconds(5)) << row.why;
  }
  EXPECT_EQ(ReadFileBytes(victim), "mine");
}

// Two submits at once on one port, twenty times: the second waits for the
// first to read its answer, and each gets the answer to its own document.
TEST(SubmitTool, TwoAtOnce) {
  ScopedTempDir dir;
  WriteFileBytes(dir.File("a"), "PLUD,N1,Q1,P111,:A;\r\n");
  WriteFileBytes(dir.File("b"), "PLUD,N1,Q1,P222,:B;\r\n");
  for (int round = 0; round < 20; ++round) {
    std::atomic<bool> stop{false};
    // The program's side, in its order: old answers gone when the job is
    // taken, SR_OUT, then SR_DATI and SR_START removed, then FINESCO.
    std::thread program([&] {
      while (!stop) {
        if (!FileExists(dir.File("SR_START.001"))) {
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
          continue;
        }
        std::filesystem::remove(dir.File("FINESCO.001"));
        std::filesystem::remove(dir.File("SR_OUT.001"));
        const std::string document = ReadFileBytes(dir.File("SR_DATI.001"));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        WriteFileBytes(dir.File("SR_OUT.001"), "answer to " + document);
        std::filesystem::remove(dir.File("SR_DATI.001"));
        std::filesystem::remove(dir.File("SR_START.001"));
        WriteFileBytes(dir.File("FINESCO.001"), "finesco");
      }
    });
    ToolRun a, b;
    std::thread first([&] { a = Submit(dir, "--port 1 --timeout 10 '" + dir.File("a") + "'", "", "a"); });
    std::thread second([&] { b = Submit(dir, "--port 1 --timeout 10 '" + dir.File("b") + "'", "", "b"); });
    first.join();
    second.join();
    stop = true;
    program.join();
    for (auto [run, doc] : {std::pair{&a, "PLUD,N1,Q1,P111,:A;\r\n"}, std::pair{&b, "PLUD,N1,Q1,P222,:B;\r\n"}}) {
      EXPECT_EQ(run->status, 0) << round << ": " << run->err;
      EXPECT_EQ(run->out, std::string("answer to ") + doc) << round;
    }
  }
}

// A submit that holds the port keeps the next one waiting, up to the next
// one's time-out; once it is gone, killed or not, the port is free.
TEST(SubmitTool, PortHeldByAnotherSubmit) {
  ScopedTempDir dir;
  WriteFileBytes(dir.File("doc"), "PRNT,prova;\r\n");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  if (holder == 0) {
    const int fd = ::open(dir.File("SR_LOCK.002").c_str(), O_RDONLY | O_CREAT, 0644);
    ::flock(fd, LOCK_EX);
    (void)!::write(ready[1], "x", 1);
    ::pause();
    ::_exit(0);
  }
  char c;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  const auto begun = std::chrono::steady_clock::now();
  ToolRun r = Submit(dir, "--port 2 --timeout 1 '" + dir.File("doc") + "'");
  EXPECT_GE(std::chrono::steady_clock::now() - begun, std::chrono::seconds(1));
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("another submit held port 2"), std::string::npos) << r.err;
  EXPECT_FALSE(FileExists(dir.File("SR_DATI.002")));
  EXPECT_FALSE(FileExists(dir.File("SR_START.002")));

  std::thread program = FakeProgram(dir, [&](const std::string&) {
    std::filesystem::remove(dir.File("SR_START.002"));
    WriteFileBytes(dir.File("FINESCO.002"), "finesco");
  });
  std::thread kill([holder] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(holder, SIGKILL);
  });
  r = Submit(dir, "--port 2 --timeout 5 '" + dir.File("doc") + "'");
  kill.join();
  program.join();
  ::waitpid(holder, nullptr, 0);
  EXPECT_EQ(r.status, 0) << r.err;
}

// Another user's document left in the shared folder (sticky bit): the port
// is blocked, and the message says whose file it is and what to do.
TEST(SubmitTool, LeftoverOfAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  ScopedTempDir dir;
  namespace fs = std::filesystem;
  fs::permissions(dir.path(), fs::perms::all | fs::perms::sticky_bit);
  WriteFileBytes(dir.File("SR_DATI.001"), "left");
  WriteFileBytes(dir.File("SR_ERR.001"), "E503: ...\r\n");
  ASSERT_EQ(::chown(dir.File("SR_DATI.001").c_str(), 65533, 65533), 0);
  std::filesystem::last_write_time(dir.File("SR_DATI.001"),
                                   fs::file_time_type::clock::now() - std::chrono::minutes(5));
  ToolRun r = Submit(dir, "- </dev/null", "setpriv --reuid=65534 --regid=65534 --clear-groups");
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_NE(r.err.find("SR_DATI.001 belongs to another user (uid 65533)"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("ask that user or the administrator to remove it"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFileBytes(dir.File("SR_DATI.001")), "left");
  EXPECT_FALSE(FileExists(dir.File("SR_START.001")));
}

}  // namespace
