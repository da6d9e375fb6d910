// Stand-ins for the file layer and the clock in the printer link's tests:
// files in a map, a clock that shows one fixed time.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"

namespace ecr_test {

class MemoryFileSystem : public platform::FileSystem {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> unwritable;  // WriteFile fails for these paths
  std::vector<std::string> writes;   // every WriteFile's path, in order

  platform::FileKind Kind(const std::string& path) override {
    return files.count(path) ? platform::FileKind::kRegular : platform::FileKind::kMissing;
  }
  platform::ReadStatus ReadFile(const std::string& path, size_t maxBytes, std::string* contents,
                                std::string*) override {
    auto it = files.find(path);
    if (it == files.end()) return platform::ReadStatus::kMissing;
    if (it->second.size() > maxBytes) return platform::ReadStatus::kTooLarge;
    *contents = it->second;
    return platform::ReadStatus::kOk;
  }
  bool WriteFile(const std::string& path, const std::string& bytes, std::string* error) override {
    writes.push_back(path);
    if (unwritable.count(path)) {
      *error = "refused";
      return false;
    }
    files[path] = bytes;
    return true;
  }
  bool CreateFile(const std::string& path, const std::string& bytes, std::string* error) override {
    if (files.count(path)) return false;
    return WriteFile(path, bytes, error);
  }
  bool AppendFile(const std::string& path, const std::string& bytes, bool, std::string*) override {
    files[path] += bytes;
    return true;
  }
  bool RemoveFile(const std::string& path) override {
    files.erase(path);
    return true;
  }
  bool MakeDirectory(const std::string&) override { return true; }
  bool ListDirectory(const std::string&, std::vector<std::string>*) override { return false; }
};

class FixedClock : public platform::Clock {
 public:
  platform::LocalTime now{2024, 5, 3, 14, 5, 9, 0};
  platform::LocalTime Now() override { return now; }
  int64_t MonotonicMs() override { return 0; }
};

}  // namespace ecr_test
