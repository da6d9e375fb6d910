// The file layer over POSIX calls: every open refuses links (O_NOFOLLOW) and
// never waits on a FIFO (O_NONBLOCK), and what was opened is checked with
// fstat, so a name swapped after a look still cannot make us read a device.
// Below a folder others can write, every folder on the way is opened from
// the base down (openat2 where the kernel has it, else one part at a time)
// and the file is reached from that folder's descriptor alone.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#if __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#endif

#include "platform/file_system.h"

namespace platform {

// Set by the tests to take the walk that kernels without openat2 take.
bool gBeneathWalkOnly = false;

namespace {

std::string SystemError(int err) { return std::strerror(err); }

void SetError(std::string* error, int err) {
  if (error) *error = SystemError(err);
}

// A file to act on: a name in a folder we opened (or, for a plain path, the
// current one). The folder is closed with it.
struct At {
  int dir = AT_FDCWD;
  std::string name;
  At() = default;
  explicit At(std::string path) : name(std::move(path)) {}
  At(const At&) = delete;
  At& operator=(const At&) = delete;
  ~At() {
    if (dir >= 0) ::close(dir);
  }
};

int OpenAt(int dir, const std::string& name, int flags, mode_t mode = 0666) {
  int fd;
  do {
    fd = ::openat(dir, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// The folder `folders` names below `base`, through no link: openat2 when the
// kernel has it, else each part opened on its own with O_NOFOLLOW. A
// seccomp filter that does not know openat2 answers ENOSYS or EPERM; the
// walk is as strict, so either answer falls back to it.
int OpenFolderBeneath(int base, const std::vector<std::string>& folders) {
  if (folders.empty()) return ::fcntl(base, F_DUPFD_CLOEXEC, 0);
  std::string joined;
  for (const std::string& f : folders) joined += (joined.empty() ? "" : "/") + f;
#if defined(SYS_openat2) && defined(RESOLVE_BENEATH)
  if (!gBeneathWalkOnly) {
    struct open_how how {};
    how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd;
    do {
      fd = ::syscall(SYS_openat2, base, joined.c_str(), &how, sizeof how);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return int(fd);
  }
#endif
  int dir = base;
  for (const std::string& f : folders) {
    int next = OpenAt(dir, f, O_RDONLY | O_DIRECTORY);
    const int err = errno;
    if (dir != base) ::close(dir);
    if (next < 0) {
      errno = err;
      return -1;
    }
    dir = next;
  }
  return dir;
}

// `name` below `base` as a folder descriptor and the last part; false with
// the reason when a part is a link, "..", or missing.
bool Beneath(const std::string& base, const std::string& name, At* at, std::string* error) {
  std::vector<std::string> parts;
  if (!SplitBeneath(name, &parts)) {
    if (error) *error = "not a name below " + base + ": " + name;
    return false;
  }
  at->name = parts.back();
  parts.pop_back();
  int baseFd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (baseFd < 0) {
    SetError(error, errno);
    return false;
  }
  at->dir = OpenFolderBeneath(baseFd, parts);
  const int err = errno;
  ::close(baseFd);
  if (at->dir >= 0) return true;
  if (error) *error = err == ELOOP || err == ENOTDIR || err == EXDEV ? "a link or a file in the path: " + name
                                                                    : SystemError(err);
  return false;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

// Closes and reports a failed close as the failure it is (NFS, full disk).
bool Close(int fd, bool ok, std::string* error) {
  if (::close(fd) != 0 && ok) {
    SetError(error, errno);
    return false;
  }
  return ok;
}

std::string TemporaryName(const std::string& path) {
  static std::mt19937_64 random{std::random_device{}()};
  size_t slash = path.find_last_of('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
  return folder + "." + base + ".tmp-" + suffix;
}

ReadStatus ReadOpen(int fd, size_t maxBytes, std::string* contents, std::string* error) {
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    SetError(error, errno);
    return ReadStatus::kFailed;
  }
  if (!S_ISREG(st.st_mode)) {
    if (error) *error = "not a regular file";
    return ReadStatus::kNotRegular;
  }
  if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > maxBytes) {
    if (error) *error = "file too large";
    return ReadStatus::kTooLarge;
  }
  // Reading up to one byte more than allowed tells a file that grew
  // since fstat.
  std::string data;
  size_t got = 0;
  for (;;) {
    if (got == data.size()) {
      if (got > maxBytes) break;
      data.resize(std::min(maxBytes + 1, std::max<size_t>(2 * got, size_t(st.st_size) + 1)));
    }
    ssize_t n = ::read(fd, data.data() + got, data.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetError(error, errno);
      // A mandatory lock answers EAGAIN to a non-blocking read.
      return errno == EAGAIN ? ReadStatus::kBusy : ReadStatus::kFailed;
    }
    if (n == 0) break;
    got += size_t(n);
  }
  if (got > maxBytes) {
    if (error) *error = "file too large";
    return ReadStatus::kTooLarge;
  }
  data.resize(got);
  *contents = std::move(data);
  return ReadStatus::kOk;
}

ReadStatus Read(const At& at, size_t maxBytes, std::string* contents, std::string* error) {
  // A look first, so a serial device named like a document is not even
  // opened (opening one raises its control lines).
  struct stat st;
  if (::fstatat(at.dir, at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) {
    if (error) *error = "not a regular file";
    return ReadStatus::kNotRegular;
  }
  int fd = OpenAt(at.dir, at.name, O_RDONLY | O_NONBLOCK);
  if (fd < 0) {
    int err = errno;
    SetError(error, err);
    switch (err) {
      case ENOENT:
      case ENOTDIR:
        return ReadStatus::kMissing;
      case ELOOP:
      case EISDIR:
      case ENXIO:
      case ENODEV:
        return ReadStatus::kNotRegular;
      case EACCES:
      case EPERM:
      case EBUSY:
      case ETXTBSY:
      case EAGAIN:
        return ReadStatus::kBusy;
      default:
        return ReadStatus::kFailed;
    }
  }
  ReadStatus status = ReadOpen(fd, maxBytes, contents, error);
  ::close(fd);
  return status;
}

// Over the file itself, for a folder where no temporary file may be
// created: the file keeps its owner and bits (whoever gave it to us chose
// them), and the bytes are on the disk before this returns.
bool WriteInPlace(const At& at, const std::string& bytes, std::string* error) {
  int fd = OpenAt(at.dir, at.name, O_WRONLY | O_NONBLOCK);
  if (fd < 0) {
    SetError(error, errno);
    return false;
  }
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!ok) {
    if (error) *error = "not a regular file";
  } else if (!WriteAll(fd, bytes) || ::ftruncate(fd, off_t(bytes.size())) != 0 || ::fsync(fd) != 0) {
    SetError(error, errno);
    ok = false;
  }
  return Close(fd, ok, error);
}

// The temporary file and the rename both go through `at.dir`, so the file
// lands in the folder that was looked at. The new file gets the replaced
// one's permission bits (narrowed to an explicit `mode` they exceed), or
// `mode`, set with fchmod so no umask cuts them.
bool Write(const At& at, const std::string& bytes, unsigned mode, std::string* error) {
  bool exact = mode != kDefaultMode;
  struct stat st;
  const bool existed = ::fstatat(at.dir, at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (existed) {
    if (!S_ISREG(st.st_mode)) {
      if (error) *error = "not a regular file";
      return false;
    }
    const unsigned kept = st.st_mode & 0777;
    if (!exact || (kept & ~mode) == 0) mode = kept;
    exact = true;
  }
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
    temporary = TemporaryName(at.name);
    fd = OpenAt(at.dir, temporary, O_WRONLY | O_CREAT | O_EXCL, exact ? 0600 : 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0 && (errno == EACCES || errno == EPERM) && existed) return WriteInPlace(at, bytes, error);
  if (fd < 0) {
    SetError(error, errno);
    return false;
  }
  bool ok = (!exact || ::fchmod(fd, mode) == 0) && WriteAll(fd, bytes);
  if (!ok) SetError(error, errno);
  ok = Close(fd, ok, error);
  if (ok && ::renameat(at.dir, temporary.c_str(), at.dir, at.name.c_str()) != 0) {
    SetError(error, errno);
    ok = false;
  }
  if (!ok) ::unlinkat(at.dir, temporary.c_str(), 0);
  return ok;
}

bool Append(const At& at, const std::string& bytes, bool sync, unsigned mode, std::string* error) {
  const int flags = O_WRONLY | O_APPEND | O_NONBLOCK;
  int fd = OpenAt(at.dir, at.name, flags);
  // A file this call creates gets `mode`; one that is there keeps its own
  // bits unless they exceed an explicit `mode`.
  if (fd < 0 && errno == ENOENT) {
    fd = OpenAt(at.dir, at.name, flags | O_CREAT | O_EXCL, mode == kDefaultMode ? 0666 : mode);
    if (fd >= 0 && mode != kDefaultMode && ::fchmod(fd, mode) != 0) {
      SetError(error, errno);
      return Close(fd, false, error);
    }
    if (fd < 0 && errno == EEXIST) fd = OpenAt(at.dir, at.name, flags);
  }
  if (fd < 0) {
    SetError(error, errno);
    return false;
  }
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (!ok) {
    if (error) *error = "not a regular file";
  } else if (mode != kDefaultMode && (st.st_mode & 0777 & ~mode) && ::fchmod(fd, mode) != 0) {
    SetError(error, errno);
    ok = false;
  } else if (!WriteAll(fd, bytes) || (sync && ::fsync(fd) != 0)) {
    SetError(error, errno);
    ok = false;
  }
  return Close(fd, ok, error);
}

bool Remove(const At& at) { return ::unlinkat(at.dir, at.name.c_str(), 0) == 0 || errno == ENOENT; }

class PosixFileSystem : public FileSystem {
 public:
  FileKind Kind(const std::string& path) override {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
      return errno == ENOENT || errno == ENOTDIR ? FileKind::kMissing : FileKind::kOther;
    if (S_ISREG(st.st_mode)) return FileKind::kRegular;
    if (S_ISDIR(st.st_mode)) return FileKind::kDirectory;
    return FileKind::kOther;
  }

  ReadStatus ReadFile(const std::string& path, size_t maxBytes, std::string* contents,
                      std::string* error) override {
    return Read(At(path), maxBytes, contents, error);
  }

  bool WriteFile(const std::string& path, const std::string& bytes, std::string* error) override {
    return Write(At(path), bytes, kDefaultMode, error);
  }

  bool WriteFileMode(const std::string& path, const std::string& bytes, unsigned mode, std::string* error) override {
    return Write(At(path), bytes, mode, error);
  }

  bool CreateFile(const std::string& path, const std::string& bytes, std::string* error) override {
    int fd = OpenAt(AT_FDCWD, path, O_WRONLY | O_CREAT | O_EXCL);
    if (fd < 0) {
      SetError(error, errno);
      return false;
    }
    bool ok = WriteAll(fd, bytes);
    if (!ok) SetError(error, errno);
    ok = Close(fd, ok, error);
    // Half a file under a new name would pass for a whole one.
    if (!ok) ::unlink(path.c_str());
    return ok;
  }

  bool AppendFile(const std::string& path, const std::string& bytes, bool sync, std::string* error) override {
    return Append(At(path), bytes, sync, kDefaultMode, error);
  }

  bool AppendFileMode(const std::string& path, const std::string& bytes, bool sync, unsigned mode,
                      std::string* error) override {
    return Append(At(path), bytes, sync, mode, error);
  }

  bool RemoveFile(const std::string& path) override { return Remove(At(path)); }

  bool MakeDirectory(const std::string& path) override {
    ::mkdir(path.c_str(), 0777);
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  bool ListDirectory(const std::string& path, std::vector<std::string>* names) override {
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return false;
    names->clear();
    while (struct dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names->push_back(name);
    }
    ::closedir(dir);
    std::sort(names->begin(), names->end());
    return true;
  }

  bool WriteBeneath(const std::string& base, const std::string& name, const std::string& bytes,
                    std::string* error) override {
    At at;
    return Beneath(base, name, &at, error) && Write(at, bytes, kDefaultMode, error);
  }

  bool AppendBeneath(const std::string& base, const std::string& name, const std::string& bytes,
                     std::string* error) override {
    At at;
    return Beneath(base, name, &at, error) && Append(at, bytes, false, kDefaultMode, error);
  }

  bool RemoveBeneath(const std::string& base, const std::string& name) override {
    At at;
    return Beneath(base, name, &at, nullptr) && Remove(at);
  }
};

}  // namespace

std::unique_ptr<FileSystem> FileSystem::CreateReal() { return std::make_unique<PosixFileSystem>(); }

}  // namespace platform
