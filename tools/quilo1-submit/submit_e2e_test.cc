// Two quilo1-submit at once against the real quilo1 and the virtual printer:
// each gets the receipt of its own document.
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/child_process.h"
#include "testing/temp_dir.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

bool WaitFor(const std::function<bool()>& done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// The receipt number an SR_OUT names ("SCONTR. N.0001-0007"), empty if none.
std::string ReceiptOf(const std::string& out) {
  const std::string mark = "SCONTR. N.";
  const size_t at = out.find(mark);
  return at == std::string::npos ? "" : out.substr(at + mark.size(), 9);
}

// The paper of the receipt that ends with "DOC.N. <number>".
std::string ReceiptOnPaper(const std::string& paper, const std::string& number) {
  const size_t end = paper.find("DOC.N. " + number);
  if (end == std::string::npos) return "";
  const size_t begin = paper.rfind("DOCUMENTO COMMERCIALE", end);
  return begin == std::string::npos ? "" : paper.substr(begin, end - begin);
}

TEST(SubmitE2E, TwoSubmitsAtOnceEachGetTheirOwnReceipt) {
  testing_support::ScopedTempDir dir;
  const std::string prog = dir.File("prog"), data = dir.File("data"), tty = dir.File("tty1");
  ::mkdir(prog.c_str(), 0755);
  ::mkdir(data.c_str(), 0755);
  WriteFileBytes(prog + "/QLCHKCOM.TXT", "1000\r\n");
  WriteFileBytes(prog + "/QLTIMER1.TXT", "100\r\n");
  std::string error;
  auto printer = platform::ChildProcess::Start({VIRTUAL_ECR_BIN, "--link", tty, "--paper", dir.File("paper")},
                                               dir.File("virtual-ecr.log"), &error);
  ASSERT_TRUE(printer) << error;
  ASSERT_TRUE(WaitFor([&] { return FileExists(tty); }, 5000));
  std::vector<std::string> argv = {QUILO1_BIN, "--program-dir", prog, "--data-dir", data};
  for (int n = 1; n <= 4; ++n) {
    argv.push_back("--com");
    argv.push_back(std::to_string(n) + "=" + (n == 1 ? tty : dir.File("missing" + std::to_string(n))));
  }
  auto quilo1 = platform::ChildProcess::Start(argv, dir.File("quilo1.log"), &error);
  ASSERT_TRUE(quilo1) << error;
  ASSERT_TRUE(WaitFor([&] { return ReadFileBytes(data + "/SR_MATR.001").find("FW: ") != std::string::npos; }, 10000))
      << ReadFileBytes(dir.File("quilo1.log"));

  const struct {
    const char* name;
    const char* item;
  } documents[] = {{"a", "MELA"}, {"b", "PERA"}};
  WriteFileBytes(dir.File("a"), "PLUD,N1,Q1,P111,:MELA;\r\nCASH;\r\n");
  WriteFileBytes(dir.File("b"), "PLUD,N1,Q1,P222,:PERA;\r\nCASH;\r\n");
  for (int round = 0; round < 20; ++round) {
    int status[2] = {-1, -1};
    std::thread submits[2];
    for (int k = 0; k < 2; ++k) {
      submits[k] = std::thread([&, k] {
        const std::string name = documents[k].name;
        const std::string cmd = std::string("'") + QUILO1_SUBMIT_TOOL + "' --data-dir '" + data +
                                "' --timeout 30 '" + dir.File(name) + "' >'" + dir.File("out-" + name) + "' 2>'" +
                                dir.File("err-" + name) + "'";
        const int raw = std::system(cmd.c_str());
        status[k] = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
      });
    }
    for (auto& s : submits) s.join();
    const std::string paper = ReadFileBytes(dir.File("paper"));
    std::string numbers[2];
    for (int k = 0; k < 2; ++k) {
      const std::string name = documents[k].name;
      ASSERT_EQ(status[k], 0) << round << " " << name << ": " << ReadFileBytes(dir.File("err-" + name));
      numbers[k] = ReceiptOf(ReadFileBytes(dir.File("out-" + name)));
      const std::string receipt = ReceiptOnPaper(paper, numbers[k]);
      EXPECT_NE(receipt.find(documents[k].item), std::string::npos)
          << round << " " << name << " got receipt " << numbers[k] << ":\n" << receipt;
    }
    EXPECT_NE(numbers[0], numbers[1]) << round;
  }
}

}  // namespace
