// Text files as ordered lists of lines, byte for byte (Windows-1252 is never
// decoded). Writing ends every line with CR LF; reading accepts CR LF and LF.
#pragma once

#include <string>
#include <vector>

namespace settings {

// An error passed on from a file routine: the run-time error number, its
// text and its source, extended by every routine it passed through.
struct FileError {
  int number = 0;
  std::string description;
  std::string source;
};

// Fails with -1 and "FileInput: <path> Not Exists!" when the file is
// missing. A busy or unreachable file is read again up to ten more times.
bool ReadDocument(const std::string& path, std::vector<std::string>* lines, FileError* error);

// Creates or replaces the file, or appends to it with `append`.
bool WriteDocument(const std::string& path, const std::vector<std::string>& lines, bool append,
                   FileError* error);

// The run-time error numbers a file operation reports.
enum FileErrorNumber {
  kErrFileAlreadyOpen = 55,
  kErrPermissionDenied = 70,
  kErrPathFileAccess = 75,
  kErrPathNotFound = 76,
  kErrFileNotFound = 53,
  kErrDeviceIo = 57,
};

}  // namespace settings
