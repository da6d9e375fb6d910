// Every file the program reads or writes, behind one interface. The real one
// never follows a link, never blocks on a FIFO or a device, and replaces
// files atomically; the in-memory fake (testing/fake_file_system.h) records
// every call, so logic is tested without a disk.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// What a name is, the name itself looked at (a link is kOther, never its target).
enum class FileKind { kMissing, kRegular, kDirectory, kOther };

enum class ReadStatus {
  kOk,
  kMissing,
  kNotRegular,  // a folder, a link, a FIFO, a device or a socket
  kTooLarge,    // more than the caller's limit
  kBusy,        // locked or refused for now (a writer still holds it); worth a retry
  kFailed,
};

// The most a host's document may weigh.
inline constexpr size_t kMaxDocumentBytes = 1u << 20;

// Abstract so it can be faked for tests.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual FileKind Kind(const std::string& path) = 0;
  // The whole of a regular file of at most `maxBytes`. On failure `*error`
  // gets the system's description.
  virtual ReadStatus ReadFile(const std::string& path, size_t maxBytes, std::string* contents,
                              std::string* error) = 0;
  // Creates or replaces the file as a whole: a temporary file in the same
  // folder, then a rename, so a reader sees the old bytes or the new ones.
  // A link or a non-regular file in the way is refused, not followed.
  virtual bool WriteFile(const std::string& path, const std::string& bytes, std::string* error) = 0;
  // Creates a new file; fails when the name is taken in any form (O_EXCL).
  virtual bool CreateFile(const std::string& path, const std::string& bytes, std::string* error) = 0;
  // Appends, creating a regular file when missing; with `sync` the bytes are
  // on the disk (fsync) before it returns.
  virtual bool AppendFile(const std::string& path, const std::string& bytes, bool sync, std::string* error) = 0;
  // WriteFile and AppendFile for the program's own files (the job journal):
  // what they create or replace is its owner's alone (0600) whatever the
  // umask. On Windows the folder's permissions decide, as for every file.
  virtual bool WritePrivateFile(const std::string& path, const std::string& bytes, std::string* error) {
    return WriteFile(path, bytes, error);
  }
  virtual bool AppendPrivateFile(const std::string& path, const std::string& bytes, bool sync, std::string* error) {
    return AppendFile(path, bytes, sync, error);
  }
  // Removes a file, or a link itself. True when the name is gone afterwards.
  virtual bool RemoveFile(const std::string& path) = 0;
  // True when a real directory (not a link) is there afterwards.
  virtual bool MakeDirectory(const std::string& path) = 0;
  // The names in a directory, without "." and "..".
  virtual bool ListDirectory(const std::string& path, std::vector<std::string>* names) = 0;

  static std::unique_ptr<FileSystem> CreateReal();
};

}  // namespace platform
