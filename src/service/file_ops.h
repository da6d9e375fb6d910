// The few file operations of the exchange files, behind an interface so that
// tests can make a deletion or a write fail on purpose.
#pragma once

#include <memory>
#include <string>

namespace service {

class FileOps {
 public:
  virtual ~FileOps() = default;
  // False when the check itself failed; `*exists` is then left false.
  virtual bool Exists(const std::string& path, bool* exists) = 0;
  virtual bool Remove(const std::string& path) = 0;
  // Creates the file anew with exactly these bytes.
  virtual bool Write(const std::string& path, const std::string& bytes) = 0;
  virtual bool Append(const std::string& path, const std::string& bytes) = 0;
  // True when the directory exists afterwards.
  virtual bool MakeDirectory(const std::string& path) = 0;
  // Copies the file byte for byte; fails when `to` exists already.
  virtual bool Copy(const std::string& from, const std::string& to);

  // The real file system. Paths are bytes in the system code page.
  static std::unique_ptr<FileOps> CreateReal();
};

}  // namespace service
