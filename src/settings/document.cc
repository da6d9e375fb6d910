// ReadDocument and WriteDocument over C stdio in binary mode, so no layer
// between us and the disk translates line ends or characters.
#include "settings/document.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace settings {
namespace {

const char kRuntimeSource[] = "Quilo1";

FileError FromErrno(int err) {
  FileError e;
  e.source = kRuntimeSource;
  switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
      e.number = kErrPermissionDenied;
      e.description = "Permission denied";
      break;
    case ENOENT:
    case ENOTDIR:
      e.number = kErrPathNotFound;
      e.description = "Path not found";
      break;
    case EBUSY:
    case ETXTBSY:
      e.number = kErrFileAlreadyOpen;
      e.description = "File already open";
      break;
    case EISDIR:
      e.number = kErrPathFileAccess;
      e.description = "Path/File access error";
      break;
    default:
      e.number = kErrDeviceIo;
      e.description = "Device I/O error";
      break;
  }
  return e;
}

bool Retryable(int number) {
  return number == kErrFileAlreadyOpen || number == kErrPermissionDenied ||
         number == kErrPathFileAccess || number == kErrPathNotFound;
}

// One attempt: the whole file split into lines at LF, one CR before each LF
// dropped. A last line without a line end still counts.
bool ReadOnce(const std::string& path, std::vector<std::string>* lines, FileError* error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *error = FromErrno(errno);
    return false;
  }
  std::string data;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
  bool failed = std::ferror(f) != 0;
  int err = errno;
  std::fclose(f);
  if (failed) {
    *error = FromErrno(err);
    return false;
  }
  // CR LF, LF and a lone CR all end a line, as Windows text readers take
  // them; a CR must never reach the printer inside a text.
  lines->clear();
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines->push_back(data.substr(start));
      break;
    }
    lines->push_back(data.substr(start, end - start));
    start = end + 1;
    if (data[end] == '\r' && start < data.size() && data[start] == '\n') ++start;
  }
  return true;
}

}  // namespace

bool ReadDocument(const std::string& path, std::vector<std::string>* lines, FileError* error) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    error->number = -1;
    error->description = "FileInput: " + path + " Not Exists!";
    error->source = "Tools.ReadDocument in Tools.ReadDocument:1";
    return false;
  }
  FileError last;
  for (int attempt = 0; attempt <= 10; ++attempt) {
    std::vector<std::string> fresh;
    if (ReadOnce(path, &fresh, &last)) {
      *lines = std::move(fresh);
      return true;
    }
    if (!Retryable(last.number)) break;
  }
  last.source += " in Tools.ReadDocument:2";
  *error = last;
  return false;
}

bool WriteDocument(const std::string& path, const std::vector<std::string>& lines, bool append,
                   FileError* error) {
  std::FILE* f = std::fopen(path.c_str(), append ? "ab" : "wb");
  if (!f) {
    *error = FromErrno(errno);
    error->source += " in Tools.WriteDocument:1";
    return false;
  }
  std::string data;
  for (const auto& line : lines) {
    data += line;
    data += "\r\n";
  }
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  int err = errno;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) {
    *error = FromErrno(err);
    error->source += " in Tools.WriteDocument:2";
    return false;
  }
  return true;
}

}  // namespace settings
