// Runs virtual-pos on a free loopback port for the length of a test.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace payment {

// One virtual-pos process for the length of a test.
class VirtualPos {
 public:
  VirtualPos(const std::string& logPath, std::vector<std::string> options) {
    int out[2];
    if (pipe(out) != 0) return;
    options.insert(options.begin(), {VIRTUAL_POS_PATH, "--port", "0", "--log", logPath});
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
      std::vector<char*> argv;
      for (auto& o : options) argv.push_back(o.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    stdout_ = fdopen(out[0], "r");
    char line[128] = {};
    int port = 0;
    if (stdout_ && fgets(line, sizeof line, stdout_) && sscanf(line, "listening on 127.0.0.1:%d", &port) == 1)
      url_ = "http://127.0.0.1:" + std::to_string(port);
  }
  ~VirtualPos() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (stdout_) fclose(stdout_);
  }
  const std::string& url() const { return url_; }

 private:
  pid_t pid_ = -1;
  FILE* stdout_ = nullptr;
  std::string url_;
};

}  // namespace payment
