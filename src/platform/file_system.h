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

// The permission bits of a file a write creates: 0666 less the umask.
// Windows has no such bits and ignores every mode.
inline constexpr unsigned kDefaultMode = 0;

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
  // A link or a non-regular file in the way is refused, not followed. A
  // replaced file keeps its permission bits; a new one gets kDefaultMode.
  // A folder that refuses new files (the user was given the file, not its
  // folder) gets the bytes written over the file that is there, flushed to
  // the disk: not atomic, but the only write such a user can make.
  virtual bool WriteFile(const std::string& path, const std::string& bytes, std::string* error) = 0;
  // Creates a new file; fails when the name is taken in any form (O_EXCL).
  virtual bool CreateFile(const std::string& path, const std::string& bytes, std::string* error) = 0;
  // Appends, creating a regular file when missing; with `sync` the bytes are
  // on the disk (fsync) before it returns.
  virtual bool AppendFile(const std::string& path, const std::string& bytes, bool sync, std::string* error) = 0;
  // Removes a file, or a link itself. True when the name is gone afterwards.
  virtual bool RemoveFile(const std::string& path) = 0;
  // True when a real directory (not a link) is there afterwards.
  virtual bool MakeDirectory(const std::string& path) = 0;
  // The names in a directory, without "." and "..".
  virtual bool ListDirectory(const std::string& path, std::vector<std::string>* names) = 0;

  // WriteFile and AppendFile giving a file they create exactly `mode`
  // (0644, 0600), whatever the umask; a file that is there keeps its own
  // bits unless they give more than `mode`, and then gets `mode` (a journal
  // or settings file left wider by an older version is narrowed; one
  // written in place keeps its bits, which its owner chose). A fake that
  // does not keep modes may leave them to the calls above.
  virtual bool WriteFileMode(const std::string& path, const std::string& bytes, unsigned mode, std::string* error) {
    (void)mode;
    return WriteFile(path, bytes, error);
  }
  virtual bool AppendFileMode(const std::string& path, const std::string& bytes, bool sync, unsigned mode,
                              std::string* error) {
    (void)mode;
    return AppendFile(path, bytes, sync, error);
  }

  // A file below a folder that others can write (the hosts' data
  // directory). `name` is relative to `base` and is looked up from `base`
  // down, one folder at a time, so no link can take the call elsewhere: a
  // link as a folder on the way, a "..", an absolute or empty `name`, or a
  // folder that is missing fails the call (false) and nothing is
  // written or removed. `base` itself is trusted. The last part is
  // treated as the calls above treat a name (a link there is refused, or
  // removed itself), and a replace stays in the folder that was checked.
  // A test double that does not model this refuses every name.
  virtual bool WriteBeneath(const std::string& base, const std::string& name, const std::string& bytes,
                            std::string* error);
  virtual bool AppendBeneath(const std::string& base, const std::string& name, const std::string& bytes,
                             std::string* error);
  virtual bool RemoveBeneath(const std::string& base, const std::string& name);

  static std::unique_ptr<FileSystem> CreateReal();
};

// The parts of a name below a base folder, split at '/' (and '\\' on
// Windows), "." and empty parts left out. False for an absolute or empty
// name and for one with a ".." part: nothing below the base has those.
bool SplitBeneath(const std::string& name, std::vector<std::string>* parts);

}  // namespace platform
