// Starts the built virtual-ecr on a pseudo-terminal and talks to it through
// the slave side as the program does.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "frame.h"
#include "testing/temp_dir.h"

namespace vecr {
namespace {

class VirtualEcrProcess {
 public:
  explicit VirtualEcrProcess(std::vector<std::string> args) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      close(out[0]);
      std::vector<char*> argv;
      std::string exe = VIRTUAL_ECR_PATH;
      argv.push_back(exe.data());
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(exe.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    // The first line of its output is the slave path.
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (poll(&p, 1, 5000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') path_ += c;
    close(out[0]);
  }
  ~VirtualEcrProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status;
      waitpid(pid_, &status, 0);
    }
  }
  const std::string& path() const { return path_; }
  // Waits for the program to end by itself; returns its exit status.
  int Wait() {
    int status = -1;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }
  // Waits for the program to end after SIGTERM; returns its exit status.
  int Stop() {
    kill(pid_, SIGTERM);
    int status = -1;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

int OpenRaw(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return fd;
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

// Reads until one NAK, an ETX, or `ms` pass.
std::string ReadAnswer(int fd, int ms = 3000) {
  std::string got;
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count());
    if (poll(&p, 1, left > 0 ? left : 0) <= 0) break;
    char buf[256];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
    if (got == std::string(1, kNak) || got.find(kEtx) != std::string::npos) break;
  }
  return got;
}

std::string Exchange(int fd, const std::string& seq, const std::string& command) {
  std::string frame = BuildFrame(seq, command);
  if (write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) return "write failed";
  std::string answer = ReadAnswer(fd);
  char ack = kAck;
  if (write(fd, &ack, 1) != 1) return "write failed";
  return answer;
}

TEST(VirtualEcrEndToEnd, AnswersFramesOnThePseudoTerminal) {
  testing_support::ScopedTempDir dir;
  std::string paper = dir.File("paper.txt");
  std::string state = dir.File("state.txt");
  std::string link = dir.File("ecr");
  VirtualEcrProcess ecr({"--paper", paper, "--state", state, "--link", link});
  ASSERT_FALSE(ecr.path().empty());

  int fd = OpenRaw(link);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Exchange(fd, "00", "1009"), BuildFrame("00", "100900"));
  std::string item = "310110122" + std::string("PANE").append(18, ' ') + "000000250";
  EXPECT_EQ(Exchange(fd, "01", item), BuildFrame("01", "3101"));
  // A frame with a bad checksum is refused with one NAK.
  std::string bad = BuildFrame("02", "1009");
  bad[bad.size() - 2] ^= 1;
  ASSERT_EQ(write(fd, bad.data(), bad.size()), static_cast<ssize_t>(bad.size()));
  EXPECT_EQ(ReadAnswer(fd), std::string(1, kNak));
  std::string change = Exchange(fd, "02", "300408CONTANTI000001000");
  ASSERT_GE(change.size(), 15u);
  EXPECT_EQ(change.substr(4, 4), "3004");
  EXPECT_EQ(change.substr(9, 9), "000000750");
  EXPECT_EQ(Exchange(fd, "03", "3011"), BuildFrame("03", "3011"));
  close(fd);

  // The client may go away and come back.
  fd = OpenRaw(ecr.path());
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Exchange(fd, "04", "3013"), BuildFrame("04", "3013"));
  std::string totals = Exchange(fd, "05", "1004");
  ASSERT_GE(totals.size(), 4u + 92u);
  EXPECT_EQ(totals.substr(4, 17), "10040001000000250");
  close(fd);

  EXPECT_EQ(ecr.Stop(), 0);
  std::string printed = testing_support::ReadFileBytes(paper);
  EXPECT_NE(printed.find("PANE"), std::string::npos);
  EXPECT_NE(printed.find("RESTO"), std::string::npos);
  EXPECT_NE(testing_support::ReadFileBytes(state).find("receipt_number=1"), std::string::npos);
  EXPECT_FALSE(testing_support::FileExists(link));
}

// A receipt opened and not closed stays open when the program goes away and
// comes back, and when the printer itself is restarted on its saved state:
// the next sale line is added to it, other documents are refused.
TEST(VirtualEcrEndToEnd, AnOpenReceiptSurvivesTheLinkAndARestart) {
  testing_support::ScopedTempDir dir;
  const std::string state = dir.File("state.txt"), paper = dir.File("paper.txt");
  auto item = [](const std::string& text, int cents) {
    std::string amount = std::to_string(cents);
    return "310110122" + text + std::string(22 - text.size(), ' ') + std::string(9 - amount.size(), '0') + amount;
  };
  {
    VirtualEcrProcess ecr({"--state", state, "--paper", paper});
    int fd = OpenRaw(ecr.path());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Exchange(fd, "00", item("PRIMO", 100)), BuildFrame("00", "3101"));
    close(fd);
    fd = OpenRaw(ecr.path());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Exchange(fd, "01", item("SECONDO", 200)), BuildFrame("01", "3101"));
    close(fd);
    EXPECT_EQ(ecr.Stop(), 0);
  }
  VirtualEcrProcess ecr({"--state", state, "--paper", paper});
  int fd = OpenRaw(ecr.path());
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Exchange(fd, "02", "2002"), BuildFrame("02", "ERR21"));
  EXPECT_EQ(Exchange(fd, "03", item("TERZO", 400)), BuildFrame("03", "3101"));
  const std::string amounts = Exchange(fd, "04", "1003");
  ASSERT_GE(amounts.size(), 4u + 50u);
  EXPECT_EQ(amounts.substr(4 + 41, 9), "000000700");
  EXPECT_EQ(Exchange(fd, "05", "3011"), BuildFrame("05", "3011"));
  EXPECT_EQ(Exchange(fd, "06", "3013"), BuildFrame("06", "3013"));
  close(fd);
  EXPECT_EQ(ecr.Stop(), 0);
  const std::string printed = testing_support::ReadFileBytes(paper);
  EXPECT_EQ(printed.find("DOCUMENTO COMMERCIALE"), printed.rfind("DOCUMENTO COMMERCIALE"));
  EXPECT_NE(printed.find("TERZO"), std::string::npos);
  EXPECT_NE(testing_support::ReadFileBytes(state).find("grand_total=700"), std::string::npos);
}

// The power goes when the closing arrives: before it, the receipt is still
// open after a restart; after it, the receipt is closed and counted, though
// its answer never came.
TEST(VirtualEcrEndToEnd, PowerCutAtTheClosingKeepsWhatThePrinterHadDone) {
  const std::string item = "310110122" + std::string("PANE").append(18, ' ') + "000000250";
  for (const std::string when : {"die-before", "die-after"}) {
    testing_support::ScopedTempDir dir;
    const std::string state = dir.File("state.txt"), log = dir.File("log.txt");
    {
      VirtualEcrProcess ecr({"--state", state, "--log", log, "--fault", when + " 3011", "--fault",
                             "pause-before 3101 10"});
      int fd = OpenRaw(ecr.path());
      ASSERT_GE(fd, 0);
      EXPECT_EQ(Exchange(fd, "00", item), BuildFrame("00", "3101"));
      EXPECT_EQ(Exchange(fd, "01", "3011").find(kEtx), std::string::npos) << when;
      close(fd);
      EXPECT_EQ(ecr.Wait(), 0);
    }
    const std::string logged = testing_support::ReadFileBytes(log);
    EXPECT_NE(logged.find(" PAUSE 3101\n"), std::string::npos);
    EXPECT_NE(logged.find(when == "die-after" ? " DIE-AFTER 3011\n" : " DIE-BEFORE 3011\n"), std::string::npos);
    VirtualEcrProcess ecr({"--state", state});
    int fd = OpenRaw(ecr.path());
    ASSERT_GE(fd, 0);
    const std::string amounts = Exchange(fd, "00", "1003"), totals = Exchange(fd, "01", "1004");
    ASSERT_GE(amounts.size(), 4u + 50u);
    ASSERT_GE(totals.size(), 4u + 92u);
    EXPECT_EQ(amounts[4 + 8], when == "die-after" ? '0' : '1') << when;  // receipt open
    EXPECT_EQ(totals.substr(4, 17), when == "die-after" ? "10040001000000250" : "10040000000000000") << when;
    close(fd);
  }
}

TEST(VirtualEcrEndToEnd, ControlFileSwitchesFaultsWhileRunning) {
  testing_support::ScopedTempDir dir;
  std::string control = dir.File("control");
  testing_support::WriteFileBytes(control, "");
  VirtualEcrProcess ecr({"--control", control});
  int fd = OpenRaw(ecr.path());
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Exchange(fd, "00", "1009"), BuildFrame("00", "100900"));
  testing_support::WriteFileBytes(control, "status 01\nnak 1\n");
  // The file is looked at a few times a second.
  std::string answer, seq;
  for (int i = 1; i < 60; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    seq = (i < 10 ? "0" : "") + std::to_string(i);
    answer = Exchange(fd, seq, "1009");
    if (answer != BuildFrame(seq, "100900")) break;
  }
  EXPECT_EQ(answer, std::string(1, kNak));
  // The refused frame goes again with the same number and is now run.
  EXPECT_EQ(Exchange(fd, seq, "1009"), BuildFrame(seq, "100901"));
  close(fd);
}

}  // namespace
}  // namespace vecr
