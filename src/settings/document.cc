// ReadDocument and WriteDocument over the file layer, byte for byte: no
// layer between us and the disk translates line ends or characters.
#include "settings/document.h"

#include "language/language.h"
#include "platform/system.h"

namespace settings {
namespace {

const char kRuntimeSource[] = "Quilo1";

FileError Error(int number, const char* description) {
  FileError e;
  e.number = number;
  e.description = description;
  e.source = kRuntimeSource;
  return e;
}

FileError FromReadStatus(platform::ReadStatus status) {
  switch (status) {
    case platform::ReadStatus::kBusy:
      return Error(kErrPermissionDenied, "Permission denied");
    case platform::ReadStatus::kMissing:
      return Error(kErrPathNotFound, "Path not found");
    case platform::ReadStatus::kNotRegular:
      return Error(kErrPathFileAccess, "Path/File access error");
    default:
      return Error(kErrDeviceIo, "Device I/O error");
  }
}

bool Retryable(int number) {
  return number == kErrPermissionDenied || number == kErrPathFileAccess || number == kErrPathNotFound;
}

std::string FolderOf(const std::string& path) {
  size_t sep = path.find_last_of("/\\");
  return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

}  // namespace

bool ReadDocument(platform::FileSystem& files, const std::string& path, std::vector<std::string>* lines,
                  FileError* error) {
  if (files.Kind(path) == platform::FileKind::kMissing) {
    error->number = -1;
    error->description = "FileInput: " + path + " Not Exists!";
    error->source = "Tools.ReadDocument in Tools.ReadDocument:1";
    return false;
  }
  FileError last;
  for (int attempt = 0; attempt <= 10; ++attempt) {
    std::string bytes, text;
    platform::ReadStatus status = files.ReadFile(path, platform::kMaxDocumentBytes, &bytes, &text);
    if (status == platform::ReadStatus::kOk) {
      *lines = language::SplitLines(bytes);
      return true;
    }
    last = FromReadStatus(status);
    if (!Retryable(last.number)) break;
  }
  last.source += " in Tools.ReadDocument:2";
  *error = last;
  return false;
}

namespace {

std::string Lines(const std::vector<std::string>& lines) {
  std::string data;
  for (const auto& line : lines) {
    data += line;
    data += "\r\n";
  }
  return data;
}

// The layer gives a text, not a number: the name tells which failure the
// program has always reported. ":1" the name is unusable, ":2" the write.
void WriteFailure(platform::FileSystem& files, const std::string& path, FileError* error) {
  const std::string folder = FolderOf(path);
  const platform::FileKind kind = files.Kind(path);
  if (!folder.empty() && files.Kind(folder) != platform::FileKind::kDirectory) {
    *error = Error(kErrPathNotFound, "Path not found");
    error->source += " in Tools.WriteDocument:1";
  } else if (kind != platform::FileKind::kMissing && kind != platform::FileKind::kRegular) {
    *error = Error(kErrPathFileAccess, "Path/File access error");
    error->source += " in Tools.WriteDocument:1";
  } else {
    *error = Error(kErrPermissionDenied, "Permission denied");
    error->source += " in Tools.WriteDocument:2";
  }
}

}  // namespace

bool WriteDocument(platform::FileSystem& files, const std::string& path, const std::vector<std::string>& lines,
                   bool append, FileError* error, unsigned mode) {
  const std::string data = Lines(lines);
  std::string text;
  bool ok;
  if (mode == platform::kDefaultMode)
    ok = append ? files.AppendFile(path, data, false, &text) : files.WriteFile(path, data, &text);
  else
    ok = append ? files.AppendFileMode(path, data, false, mode, &text) : files.WriteFileMode(path, data, mode, &text);
  if (ok) return true;
  WriteFailure(files, path, error);
  return false;
}

bool WriteDocumentBeneath(platform::FileSystem& files, const std::string& base, const std::string& name,
                          const std::vector<std::string>& lines, FileError* error) {
  std::string text;
  if (files.WriteBeneath(base, name, Lines(lines), &text)) return true;
  WriteFailure(files, base + platform::PathSeparator() + name, error);
  return false;
}

}  // namespace settings
