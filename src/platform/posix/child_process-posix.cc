// Child processes on POSIX: fork and exec, SIGTERM and waitpid at the end.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/child_process.h"

namespace platform {
namespace {

class PosixChild : public ChildProcess {
 public:
  explicit PosixChild(pid_t pid) : pid_(pid) {}
  ~PosixChild() override {
    if (!Running()) return;
    kill(pid_, SIGTERM);
    int status;
    waitpid(pid_, &status, 0);
  }
  long Id() const override { return long(pid_); }
  bool Running() override {
    if (done_) return false;
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) done_ = true;
    return !done_;
  }

 private:
  pid_t pid_;
  bool done_ = false;
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv, const std::string& logPath,
                                                  std::string* error) {
  if (argv.empty()) return nullptr;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int pipefd[2];
  if (pipe(pipefd) != 0) return nullptr;
  fcntl(pipefd[1], F_SETFD, FD_CLOEXEC);
  pid_t pid = fork();
  if (pid < 0) {
    if (error) *error = std::strerror(errno);
    return nullptr;
  }
  if (pid == 0) {
    close(pipefd[0]);
    if (!logPath.empty()) {
      int fd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
      }
    }
    execvp(args[0], args.data());
    // Tell the parent why exec failed, through the pipe that exec would close.
    int e = errno;
    ssize_t r = write(pipefd[1], &e, sizeof e);
    (void)r;
    _exit(127);
  }
  close(pipefd[1]);
  int e = 0;
  ssize_t n = read(pipefd[0], &e, sizeof e);
  close(pipefd[0]);
  if (n == sizeof e) {
    if (error) *error = std::strerror(e);
    int status;
    waitpid(pid, &status, 0);
    return nullptr;
  }
  return std::make_unique<PosixChild>(pid);
}

}  // namespace platform
