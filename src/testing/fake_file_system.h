// An in-memory file layer for tests: files, folders and "other" names (a
// link, a FIFO), every call recorded, and failures on demand so the retries
// of the callers can be seen at work.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace testing_support {

class FakeFileSystem : public platform::FileSystem {
 public:
  struct Call {
    // "kind", "read", "write", "create", "append", "remove", "mkdir", "list".
    // A call below a base is recorded as the plain call on the joined path,
    // or, refused, as "write refused" (the op and " refused") on base/name.
    std::string op;
    std::string path;
  };

  // Set-up; not recorded, and no folder is needed first. The calls below
  // create a name only in a folder that exists, as the disk does.
  void AddFile(const std::string& path, const std::string& bytes) { files_[path] = bytes; }
  void AddDirectory(const std::string& path) { directories_.insert(path); }
  // A name that is neither a file nor a folder: a link, a FIFO, a device.
  void AddOther(const std::string& path) { others_.insert(path); }

  // A folder the program may not create files in (nor remove them from),
  // as a Windows install folder for its users: a write over a file that is
  // there still works, as the real layer writes it in place.
  void RefuseNewFiles(const std::string& folder) { closedFolders_.insert(folder); }

  // The next `times` calls of `op` on `path` fail: a read is kBusy, the
  // others return false.
  void FailNext(const std::string& op, const std::string& path, int times = 1) { failures_[{op, path}] = times; }

  bool HasFile(const std::string& path) const { return files_.count(path) != 0; }
  // The bytes of a file; empty when there is none.
  std::string Contents(const std::string& path) const;
  const std::map<std::string, std::string>& files() const { return files_; }
  // The permission bits a file was created with; kDefaultMode when no call
  // asked for any. A replaced file keeps its own, as on the disk.
  unsigned Mode(const std::string& path) const;

  const std::vector<Call>& calls() const { return calls_; }
  int Count(const std::string& op, const std::string& path) const;
  void ClearCalls() { calls_.clear(); }

  platform::FileKind Kind(const std::string& path) override;
  platform::ReadStatus ReadFile(const std::string& path, size_t maxBytes, std::string* contents,
                                std::string* error) override;
  bool WriteFile(const std::string& path, const std::string& bytes, std::string* error) override;
  bool CreateFile(const std::string& path, const std::string& bytes, std::string* error) override;
  bool AppendFile(const std::string& path, const std::string& bytes, bool sync, std::string* error) override;
  bool RemoveFile(const std::string& path) override;
  bool MakeDirectory(const std::string& path) override;
  bool ListDirectory(const std::string& path, std::vector<std::string>* names) override;
  bool WriteFileMode(const std::string& path, const std::string& bytes, unsigned mode, std::string* error) override;
  bool AppendFileMode(const std::string& path, const std::string& bytes, bool sync, unsigned mode,
                      std::string* error) override;
  // Below a base: every folder on the way must be a folder of the fake; an
  // "other" name there (a link) refuses the call, as ".." does.
  bool WriteBeneath(const std::string& base, const std::string& name, const std::string& bytes,
                    std::string* error) override;
  bool AppendBeneath(const std::string& base, const std::string& name, const std::string& bytes,
                     std::string* error) override;
  bool RemoveBeneath(const std::string& base, const std::string& name) override;

 private:
  // Records the call; true when it is to fail.
  bool Record(const std::string& op, const std::string& path);
  // The checks of a write, create (`mustBeNew`) or append before it changes
  // anything: the failure asked for, what stands there, its folder.
  bool MayWrite(const char* op, const std::string& path, bool mustBeNew, std::string* error);
  platform::FileKind KindOf(const std::string& path) const;
  // False when the name has a folder part that is not a folder.
  bool FolderExists(const std::string& path) const;
  bool FolderRefuses(const std::string& path) const;
  // `name` joined to `base` when every folder on the way is a folder; the
  // call is recorded as `op` + " beneath" either way.
  bool Beneath(const char* op, const std::string& base, const std::string& name, std::string* path,
               std::string* error);
  bool Write(const char* op, const std::string& path, const std::string& bytes, unsigned mode, std::string* error);
  bool Append(const char* op, const std::string& path, const std::string& bytes, unsigned mode, std::string* error);

  std::map<std::string, std::string> files_;
  std::set<std::string> directories_;
  std::set<std::string> others_;
  std::set<std::string> closedFolders_;
  std::map<std::string, unsigned> modes_;
  std::map<std::pair<std::string, std::string>, int> failures_;
  std::vector<Call> calls_;
};

}  // namespace testing_support
