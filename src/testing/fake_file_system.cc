// The in-memory file layer of the tests.
#include "testing/fake_file_system.h"

#include <algorithm>

#include "platform/system.h"

namespace testing_support {

using platform::FileKind;
using platform::ReadStatus;

namespace {

void SetError(std::string* error, const char* text) {
  if (error) *error = text;
}

}  // namespace

std::string FakeFileSystem::Contents(const std::string& path) const {
  auto it = files_.find(path);
  return it == files_.end() ? std::string() : it->second;
}

int FakeFileSystem::Count(const std::string& op, const std::string& path) const {
  int n = 0;
  for (const Call& c : calls_)
    if (c.op == op && c.path == path) ++n;
  return n;
}

bool FakeFileSystem::Record(const std::string& op, const std::string& path) {
  calls_.push_back({op, path});
  auto it = failures_.find({op, path});
  if (it == failures_.end() || it->second <= 0) return false;
  --it->second;
  return true;
}

FileKind FakeFileSystem::KindOf(const std::string& path) const {
  if (files_.count(path)) return FileKind::kRegular;
  if (directories_.count(path)) return FileKind::kDirectory;
  if (others_.count(path)) return FileKind::kOther;
  return FileKind::kMissing;
}

bool FakeFileSystem::FolderExists(const std::string& path) const {
  size_t sep = path.find_last_of("/\\");
  return sep == std::string::npos || KindOf(path.substr(0, sep)) == FileKind::kDirectory;
}

bool FakeFileSystem::FolderRefuses(const std::string& path) const {
  size_t sep = path.find_last_of("/\\");
  return closedFolders_.count(sep == std::string::npos ? std::string() : path.substr(0, sep)) != 0;
}

FileKind FakeFileSystem::Kind(const std::string& path) {
  calls_.push_back({"kind", path});
  return KindOf(path);
}

ReadStatus FakeFileSystem::ReadFile(const std::string& path, size_t maxBytes, std::string* contents,
                                    std::string* error) {
  if (Record("read", path)) {
    SetError(error, "busy");
    return ReadStatus::kBusy;
  }
  switch (KindOf(path)) {
    case FileKind::kMissing:
      SetError(error, "missing");
      return ReadStatus::kMissing;
    case FileKind::kRegular:
      break;
    default:
      SetError(error, "not a regular file");
      return ReadStatus::kNotRegular;
  }
  const std::string& bytes = files_[path];
  if (bytes.size() > maxBytes) {
    SetError(error, "file too large");
    return ReadStatus::kTooLarge;
  }
  *contents = bytes;
  return ReadStatus::kOk;
}

bool FakeFileSystem::MayWrite(const char* op, const std::string& path, bool mustBeNew, std::string* error) {
  if (Record(op, path)) {
    SetError(error, "busy");
    return false;
  }
  const FileKind kind = KindOf(path);
  if (mustBeNew && kind != FileKind::kMissing) {
    SetError(error, "exists");
    return false;
  }
  if (kind != FileKind::kMissing && kind != FileKind::kRegular) {
    SetError(error, "not a regular file");
    return false;
  }
  if (!FolderExists(path)) {
    SetError(error, "no such folder");
    return false;
  }
  if (kind == FileKind::kMissing && FolderRefuses(path)) {
    SetError(error, "access denied");
    return false;
  }
  return true;
}

unsigned FakeFileSystem::Mode(const std::string& path) const {
  auto it = modes_.find(path);
  return it == modes_.end() ? platform::kDefaultMode : it->second;
}

bool FakeFileSystem::Write(const char* op, const std::string& path, const std::string& bytes, unsigned mode,
                           std::string* error) {
  if (!MayWrite(op, path, false, error)) return false;
  if (!files_.count(path)) modes_[path] = mode;
  files_[path] = bytes;
  return true;
}

bool FakeFileSystem::Append(const char* op, const std::string& path, const std::string& bytes, unsigned mode,
                            std::string* error) {
  if (!MayWrite(op, path, false, error)) return false;
  if (!files_.count(path)) modes_[path] = mode;
  files_[path] += bytes;
  return true;
}

bool FakeFileSystem::WriteFile(const std::string& path, const std::string& bytes, std::string* error) {
  return Write("write", path, bytes, platform::kDefaultMode, error);
}

bool FakeFileSystem::WriteFileMode(const std::string& path, const std::string& bytes, unsigned mode,
                                   std::string* error) {
  return Write("write", path, bytes, mode, error);
}

bool FakeFileSystem::CreateFile(const std::string& path, const std::string& bytes, std::string* error) {
  if (!MayWrite("create", path, true, error)) return false;
  files_[path] = bytes;
  return true;
}

bool FakeFileSystem::AppendFile(const std::string& path, const std::string& bytes, bool sync, std::string* error) {
  return Append("append", path, bytes, platform::kDefaultMode, error);
}

bool FakeFileSystem::AppendFileMode(const std::string& path, const std::string& bytes, bool sync, unsigned mode,
                                    std::string* error) {
  return Append("append", path, bytes, mode, error);
}

bool FakeFileSystem::Beneath(const char* op, const std::string& base, const std::string& name, std::string* path,
                             std::string* error) {
  std::vector<std::string> parts;
  const bool plain = platform::SplitBeneath(name, &parts);
  // Joined with the separator the test wrote, as its paths are compared by letters.
  char separator = platform::PathSeparator();
  for (const std::string* s : {&base, &name})
    if (s->find_first_of("/\\") != std::string::npos) separator = (*s)[s->find_first_of("/\\")];
  std::string joined = base;
  for (size_t i = 0; i < parts.size(); ++i) {
    joined += separator + parts[i];
    if (i + 1 < parts.size() && KindOf(joined) != FileKind::kDirectory) {
      calls_.push_back({std::string(op) + " refused", base + separator + name});
      SetError(error, KindOf(joined) == FileKind::kMissing ? "no such folder" : "a link in the path");
      return false;
    }
  }
  if (!plain) {
    calls_.push_back({std::string(op) + " refused", base + separator + name});
    SetError(error, "not a name below the folder");
    return false;
  }
  *path = joined;
  return true;
}

bool FakeFileSystem::WriteBeneath(const std::string& base, const std::string& name, const std::string& bytes,
                                  std::string* error) {
  std::string path;
  return Beneath("write", base, name, &path, error) &&
         Write("write", path, bytes, platform::kDefaultMode, error);
}

bool FakeFileSystem::AppendBeneath(const std::string& base, const std::string& name, const std::string& bytes,
                                   std::string* error) {
  std::string path;
  return Beneath("append", base, name, &path, error) &&
         Append("append", path, bytes, platform::kDefaultMode, error);
}

bool FakeFileSystem::RemoveBeneath(const std::string& base, const std::string& name) {
  std::string path;
  if (!Beneath("remove", base, name, &path, nullptr)) return false;
  return RemoveFile(path);
}

bool FakeFileSystem::RemoveFile(const std::string& path) {
  if (Record("remove", path)) return false;
  if (directories_.count(path)) return false;
  if (KindOf(path) != FileKind::kMissing && FolderRefuses(path)) return false;
  files_.erase(path);
  others_.erase(path);
  return true;
}

bool FakeFileSystem::MakeDirectory(const std::string& path) {
  if (Record("mkdir", path)) return false;
  if (KindOf(path) == FileKind::kMissing && FolderExists(path) && !FolderRefuses(path)) directories_.insert(path);
  return KindOf(path) == FileKind::kDirectory;
}

bool FakeFileSystem::ListDirectory(const std::string& path, std::vector<std::string>* names) {
  if (Record("list", path) || KindOf(path) != FileKind::kDirectory) return false;
  names->clear();
  // Either separator, as paths are joined with the system's.
  auto add = [&](const std::string& entry) {
    if (entry.size() <= path.size() + 1 || entry.compare(0, path.size(), path) != 0) return;
    if (entry[path.size()] != '/' && entry[path.size()] != '\\') return;
    std::string name = entry.substr(path.size() + 1);
    if (name.find_first_of("/\\") == std::string::npos) names->push_back(name);
  };
  for (const auto& f : files_) add(f.first);
  for (const auto& d : directories_) add(d);
  for (const auto& o : others_) add(o);
  std::sort(names->begin(), names->end());
  return true;
}

}  // namespace testing_support
