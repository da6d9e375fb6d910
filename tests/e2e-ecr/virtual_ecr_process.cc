// The virtual printer as a child process.
#include "virtual_ecr_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace e2e {

bool VirtualEcrProcess::Start(const std::string& program, const std::vector<std::string>& args,
                              std::string* error) {
  int out[2];
  if (pipe(out) != 0) {
    *error = std::string("pipe: ") + strerror(errno);
    return false;
  }
  pid_ = fork();
  if (pid_ < 0) {
    *error = std::string("fork: ") + strerror(errno);
    return false;
  }
  if (pid_ == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string line;
  for (;;) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) break;
    char c;
    if (read(out[0], &c, 1) != 1 || c == '\n') break;
    line += c;
  }
  close(out[0]);
  if (line.empty()) {
    *error = "no pseudo-terminal path from " + program;
    Stop();
    return false;
  }
  slave_ = line;
  return true;
}

void VirtualEcrProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

double VirtualEcrProcess::CpuMs() const {
  std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The command name may hold blanks: fields are counted after its ")".
  auto close_paren = text.rfind(')');
  if (close_paren == std::string::npos) return -1;
  std::istringstream fields(text.substr(close_paren + 2));
  std::string f;
  long long utime = 0, stime = 0;
  for (int i = 3; fields >> f; ++i) {
    if (i == 14) utime = std::stoll(f);
    if (i == 15) {
      stime = std::stoll(f);
      break;
    }
  }
  return double(utime + stime) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

}  // namespace e2e
