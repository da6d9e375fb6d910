// Text files as ordered lists of lines, byte for byte (Windows-1252 is never
// decoded). Writing ends every line with CR LF; reading accepts CR LF and LF.
#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace settings {

// An error passed on from a file routine: the run-time error number, its
// text and its source, extended by every routine it passed through.
struct FileError {
  int number = 0;
  std::string description;
  std::string source;
};

// Fails with -1 and "FileInput: <path> Not Exists!" when the file is
// missing. A busy or unreachable file is read again up to ten more times,
// at once. Links, folders and devices are refused; at most
// platform::kMaxDocumentBytes are read.
bool ReadDocument(platform::FileSystem& files, const std::string& path, std::vector<std::string>* lines,
                  FileError* error);

// Creates or replaces the file (atomically), or appends to it with
// `append`; every line ends with CR LF. A file it creates gets `mode`
// (FileSystem::WriteFileMode), one it replaces keeps its own.
bool WriteDocument(platform::FileSystem& files, const std::string& path, const std::vector<std::string>& lines,
                   bool append, FileError* error, unsigned mode = platform::kDefaultMode);
// Creates or replaces the file `name` below `base`, a folder others can
// write, never through a link (FileSystem::WriteBeneath).
bool WriteDocumentBeneath(platform::FileSystem& files, const std::string& base, const std::string& name,
                          const std::vector<std::string>& lines, FileError* error);

// The run-time error numbers a file operation reports.
enum FileErrorNumber {
  kErrPermissionDenied = 70,
  kErrPathFileAccess = 75,
  kErrPathNotFound = 76,
  kErrDeviceIo = 57,
};

}  // namespace settings
