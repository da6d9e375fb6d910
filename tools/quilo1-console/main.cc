// quilo1-console: prints the web console's login link, or opens it in the
// browser, for a user who may read the program's token file (group quilo1).
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "service/console/console_settings.h"
#include "language/language.h"
#include "settings/document.h"

namespace {

const char kUsage[] =
    "quilo1-console [--program-dir DIR] [--open]\n"
    "  Prints the login link of Quilo1's web console: opened in a browser, it\n"
    "  gives that browser the console's actions (test receipt, ports, detection).\n"
    "  It is made from the token in DIR/QLTOKEN.TXT, which only the group quilo1\n"
    "  may read, and the port and address in DIR/QLCONSOLE.TXT.\n"
    "  --program-dir DIR  Quilo1's program directory (default /var/lib/quilo1)\n"
    "  --open             opens the link with xdg-open instead of printing it\n"
    "  Exit status: 0 done; 1 the token cannot be read or the console is off;\n"
    "  2 bad usage; 3 the browser could not be started.\n";

int Fail(const std::string& text, int status) {
  std::fprintf(stderr, "quilo1-console: %s\n", text.c_str());
  return status;
}

// At most 4 KiB of a regular file, never through a link; errno kept on failure.
bool ReadSmall(const std::string& path, std::string* out) {
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = EINVAL;
    return false;
  }
  char buf[4096];
  ssize_t n = read(fd, buf, sizeof buf);
  close(fd);
  if (n < 0) return false;
  out->assign(buf, size_t(n));
  return true;
}

// The link goes through a page only this user can read: on the browser's
// command line any local user could see the token.
int Open(const std::string& url) {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  std::string page = dir && *dir ? std::string(dir) + "/quilo1-console.html"
                                 : std::string(std::getenv("HOME") ? std::getenv("HOME") : ".") + "/.quilo1-console.html";
  unlink(page.c_str());
  int fd = open(page.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return Fail(page + ": " + std::strerror(errno), 3);
  std::string html = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><meta http-equiv=\"refresh\" content=\"0;url=" +
                     url + "\"><title>Quilo1</title></head><body><a href=\"" + url + "\">Quilo1</a></body></html>\n";
  bool ok = write(fd, html.data(), html.size()) == ssize_t(html.size());
  close(fd);
  if (!ok) return Fail(page + ": cannot write", 3);
  pid_t pid = fork();
  if (pid == 0) {
    execlp("xdg-open", "xdg-open", page.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return Fail("xdg-open could not open the browser; the link is in " + page, 3);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string programDir = "/var/lib/quilo1";
  bool openIt = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--program-dir" && i + 1 < argc) {
      programDir = argv[++i];
    } else if (a == "--open") {
      openIt = true;
    } else if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  std::string settingsText;
  ReadSmall(programDir + "/" + console::kConsoleSettingsFile, &settingsText);  // missing: the defaults
  console::ConsoleSettings settings = console::ParseConsoleSettings(language::SplitLines(settingsText));
  if (!settings.enabled) return Fail(std::string("the console is off in ") + console::kConsoleSettingsFile, 1);

  std::string tokenPath = programDir + "/" + console::kTokenFile;
  std::string text;
  if (!ReadSmall(tokenPath, &text)) {
    if (errno == EACCES || errno == EPERM) {
      return Fail("cannot read " + tokenPath +
                      ": permission denied. Only members of group quilo1 may use the console's actions: "
                      "ask the administrator to add you (adduser USER quilo1), then log in again.",
                  1);
    }
    if (errno == ENOENT) return Fail(tokenPath + " does not exist yet: Quilo1 makes it when its console starts.", 1);
    return Fail("cannot read " + tokenPath + ": " + std::strerror(errno), 1);
  }
  std::string token = text.substr(0, text.find_first_of("\r\n"));
  if (!console::IsToken(token)) return Fail(tokenPath + " holds no valid token; restarting Quilo1 makes a new one.", 1);

  // The server takes its own address, or 127.0.0.1 for one on every interface.
  std::string host = settings.address == "0.0.0.0" ? "127.0.0.1" : settings.address;
  std::string url = "http://" + host + ":" + std::to_string(settings.port) + "/login?token=" + token;
  if (openIt) return Open(url);
  std::printf("%s\n", url.c_str());
  return 0;
}
