// Secret files and random bytes on POSIX: O_NOFOLLOW, mode 0640, getrandom.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/secret_file.h"

namespace platform {

bool ReadSecretFile(const std::string& path, std::string* contents) {
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= 4096;
  contents->clear();
  char buf[4096];
  ssize_t n;
  while (ok && (n = read(fd, buf, sizeof buf)) > 0) contents->append(buf, size_t(n));
  close(fd);
  return ok;
}

std::string SecretFolder(const std::string& programDir) { return programDir; }

namespace {

// The file itself, for a folder where no temporary file may be made: only
// when it is the caller's own (so its bits can be held to 0640).
bool WriteInPlace(const std::string& path, const std::string& bytes, std::string* error) {
  int fd = open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st;
  errno = 0;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && fchmod(fd, 0640) == 0 &&
            write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()) &&
            ftruncate(fd, off_t(bytes.size())) == 0 && fsync(fd) == 0;
  if (!ok) *error = path + ": " + (errno ? std::strerror(errno) : "not a regular file");
  close(fd);
  return ok;
}

}  // namespace

bool WriteSecretFile(const std::string& path, const std::string& bytes, std::string* error) {
  std::string temp = path + ".tmp";
  unlink(temp.c_str());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0640);
  if (fd < 0 && (errno == EACCES || errno == EPERM)) return WriteInPlace(path, bytes, error);
  if (fd < 0) {
    *error = temp + ": " + std::strerror(errno);
    return false;
  }
  // The umask must not widen nor narrow what the group may read.
  fchmod(fd, 0640);
  bool ok = write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()) && fsync(fd) == 0;
  int saved = errno;
  close(fd);
  if (ok && rename(temp.c_str(), path.c_str()) == 0) return true;
  if (ok) saved = errno;
  unlink(temp.c_str());
  *error = path + ": " + std::strerror(saved);
  return false;
}

bool RandomBytes(size_t n, std::string* out) {
  out->assign(n, '\0');
  size_t got = 0;
  while (got < n) {
    ssize_t r = getrandom(out->data() + got, n - got, 0);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    got += size_t(r);
  }
  return true;
}

}  // namespace platform
