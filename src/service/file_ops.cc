// The real file operations, on the C runtime so paths stay bytes.
#include "service/file_ops.h"

#include <sys/stat.h>

#ifdef _WIN32
#include <direct.h>
#endif

#include <cerrno>
#include <cstdio>

namespace service {
namespace {

class RealFileOps : public FileOps {
 public:
  bool Exists(const std::string& path, bool* exists) override {
    *exists = false;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
      *exists = (st.st_mode & S_IFMT) != S_IFDIR;
      return true;
    }
    // A missing file or folder is an answer; anything else is a failed check.
    return errno == ENOENT || errno == ENOTDIR;
  }
  bool Remove(const std::string& path) override { return std::remove(path.c_str()) == 0; }
  bool Write(const std::string& path, const std::string& bytes) override { return Put(path, bytes, "wb"); }
  bool Append(const std::string& path, const std::string& bytes) override { return Put(path, bytes, "ab"); }
  bool MakeDirectory(const std::string& path) override {
#ifdef _WIN32
    _mkdir(path.c_str());
#else
    mkdir(path.c_str(), 0777);
#endif
    struct stat st;
    return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == S_IFDIR;
  }

 private:
  static bool Put(const std::string& path, const std::string& bytes, const char* mode) {
    FILE* f = std::fopen(path.c_str(), mode);
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0) ok = false;
    return ok;
  }
};

}  // namespace

bool FileOps::Copy(const std::string& from, const std::string& to) {
  // Never over a file that is already there.
  struct stat st;
  if (stat(to.c_str(), &st) == 0) return false;
  FILE* in = std::fopen(from.c_str(), "rb");
  if (!in) return false;
  FILE* out = std::fopen(to.c_str(), "wb");
  bool ok = out != nullptr;
  char buf[65536];
  size_t n;
  while (ok && (n = std::fread(buf, 1, sizeof buf, in)) > 0) ok = std::fwrite(buf, 1, n, out) == n;
  if (std::ferror(in)) ok = false;
  std::fclose(in);
  if (out && std::fclose(out) != 0) ok = false;
  if (!ok && out) std::remove(to.c_str());
  return ok;
}

std::unique_ptr<FileOps> FileOps::CreateReal() { return std::make_unique<RealFileOps>(); }

}  // namespace service
