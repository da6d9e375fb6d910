// quilo1-submit against a fake program: a thread that waits for SR_START and
// answers with FINESCO, with SR_ERR written in two pieces, or not at all.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
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

ToolRun Submit(const ScopedTempDir& dir, const std::string& args) {
  const std::string out = dir.File("stdout"), err = dir.File("stderr");
  const std::string cmd = std::string("'") + QUILO1_SUBMIT_TOOL + "' --data-dir '" + dir.path() + "' " + args + " >'" +
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

}  // namespace
