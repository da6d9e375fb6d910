// The file layer over POSIX calls: every open refuses links (O_NOFOLLOW) and
// never waits on a FIFO (O_NONBLOCK), and what was opened is checked with
// fstat, so a name swapped after a look still cannot make us read a device.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include "platform/file_system.h"

namespace platform {
namespace {

std::string SystemError(int err) { return std::strerror(err); }

void SetError(std::string* error, int err) {
  if (error) *error = SystemError(err);
}

int Open(const std::string& path, int flags, mode_t mode = 0666) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
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
    // A look first, so a serial device named like a document is not even
    // opened (opening one raises its control lines).
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      if (error) *error = "not a regular file";
      return ReadStatus::kNotRegular;
    }
    int fd = Open(path, O_RDONLY | O_NONBLOCK);
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

  bool WriteFile(const std::string& path, const std::string& bytes, std::string* error) override {
    return Write(path, bytes, 0666, error);
  }
  bool WritePrivateFile(const std::string& path, const std::string& bytes, std::string* error) override {
    return Write(path, bytes, 0600, error);
  }
  bool AppendFile(const std::string& path, const std::string& bytes, bool sync, std::string* error) override {
    return Append(path, bytes, sync, 0666, error);
  }
  bool AppendPrivateFile(const std::string& path, const std::string& bytes, bool sync, std::string* error) override {
    return Append(path, bytes, sync, 0600, error);
  }

  bool Write(const std::string& path, const std::string& bytes, mode_t mode, std::string* error) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      if (error) *error = "not a regular file";
      return false;
    }
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
      temporary = TemporaryName(path);
      fd = Open(temporary, O_WRONLY | O_CREAT | O_EXCL, mode);
      if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
      SetError(error, errno);
      return false;
    }
    bool ok = WriteAll(fd, bytes);
    if (!ok) SetError(error, errno);
    ok = Close(fd, ok, error);
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
      SetError(error, errno);
      ok = false;
    }
    if (!ok) ::unlink(temporary.c_str());
    return ok;
  }

  bool CreateFile(const std::string& path, const std::string& bytes, std::string* error) override {
    int fd = Open(path, O_WRONLY | O_CREAT | O_EXCL);
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

  bool Append(const std::string& path, const std::string& bytes, bool sync, mode_t mode, std::string* error) {
    int fd = Open(path, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK, mode);
    if (fd < 0) {
      SetError(error, errno);
      return false;
    }
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!ok) {
      if (error) *error = "not a regular file";
    } else if (mode != 0666 && (st.st_mode & 0777 & ~mode) && ::fchmod(fd, mode) != 0) {
      // A file made by an older version keeps no wider rights than asked.
      SetError(error, errno);
      ok = false;
    } else if (!WriteAll(fd, bytes) || (sync && ::fsync(fd) != 0)) {
      SetError(error, errno);
      ok = false;
    }
    return Close(fd, ok, error);
  }

  bool RemoveFile(const std::string& path) override {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
  }

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

 private:
  static ReadStatus ReadOpen(int fd, size_t maxBytes, std::string* contents, std::string* error) {
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
};

}  // namespace

std::unique_ptr<FileSystem> FileSystem::CreateReal() { return std::make_unique<PosixFileSystem>(); }

}  // namespace platform
