// The file layer over the wide-character Win32 calls, names converted from
// the system code page. Opens never follow a reparse point, and a handle
// that is not a plain file on a disk is refused. Below a folder others can
// write, every folder on the way is opened without following a reparse
// point and held, so it cannot be swapped for a link while the file is used.
#include "platform/file_system.h"
#include "platform/win32/wide_text.h"

#include <windows.h>
// The ANSI/wide macro would rename our own CreateFile member.
#undef CreateFile

#include <algorithm>
#include <random>
#include <vector>

namespace platform {
namespace {

void SetError(std::string* error, DWORD code) {
  if (!error) return;
  char buffer[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                           sizeof buffer, nullptr);
  while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == ' ')) --n;
  *error = n > 0 ? std::string(buffer, n) : "system error " + std::to_string(code);
}

bool IsMissing(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

bool IsPlain(DWORD attributes) {
  return !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
}

// A handle to a plain file on a disk: not a pipe, a console, a device, a
// folder or the link itself.
bool IsRegularHandle(HANDLE h, BY_HANDLE_FILE_INFORMATION* info) {
  return GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, info) && IsPlain(info->dwFileAttributes);
}

bool WriteAll(HANDLE h, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(h, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

std::wstring TemporaryName(const std::string& path) {
  static std::mt19937_64 random{std::random_device{}()};
  size_t slash = path.find_last_of("\\/");
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
  return Widen(folder + "~" + base + ".tmp-" + suffix);
}

HANDLE OpenForWrite(const std::wstring& path, DWORD access, DWORD disposition) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Over the file itself, for a folder where the user may not create a file
// (the installer gave users the settings files, never the program folder,
// so no one can plant a DLL beside the program). The bytes are on the disk
// before this returns.
bool WriteInPlace(const std::wstring& path, const std::string& bytes, std::string* error) {
  HANDLE h = OpenForWrite(path, GENERIC_WRITE, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) {
    SetError(error, GetLastError());
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  bool ok = IsRegularHandle(h, &info);
  if (!ok) {
    if (error) *error = "not a regular file";
  } else if (!WriteAll(h, bytes) || !SetEndOfFile(h) || !FlushFileBuffers(h)) {
    SetError(error, GetLastError());
    ok = false;
  }
  CloseHandle(h);
  return ok;
}

// What a read that could not look at or open its file answers: a file held
// by its writer is busy, worth a retry.
ReadStatus ReadFailure(DWORD code, std::string* error) {
  SetError(error, code);
  if (IsMissing(code)) return ReadStatus::kMissing;
  if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED)
    return ReadStatus::kBusy;
  return ReadStatus::kFailed;
}

// The folders between a base and a file below it, each opened as itself
// (never through a reparse point) and held open without delete sharing, so
// none can be renamed, removed or replaced by a junction until this goes.
class HeldFolders {
 public:
  HeldFolders() = default;
  HeldFolders(const HeldFolders&) = delete;
  HeldFolders& operator=(const HeldFolders&) = delete;
  ~HeldFolders() {
    for (HANDLE h : held_) CloseHandle(h);
  }

  // The full path of `name` below `base`; false with the reason when a part
  // is a link, a file, "..", or missing.
  bool Open(const std::string& base, const std::string& name, std::string* path, std::string* error) {
    std::vector<std::string> parts;
    if (!SplitBeneath(name, &parts)) {
      if (error) *error = "not a name below " + base + ": " + name;
      return false;
    }
    std::string joined = base;
    if (!joined.empty() && joined.back() != '\\' && joined.back() != '/') joined += '\\';
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
      joined += parts[i];
      HANDLE h = CreateFileW(Widen(joined).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
      if (h == INVALID_HANDLE_VALUE) {
        SetError(error, GetLastError());
        return false;
      }
      held_.push_back(h);
      BY_HANDLE_FILE_INFORMATION info;
      if (!GetFileInformationByHandle(h, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
          (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (error) *error = "a link or a file in the path: " + name;
        return false;
      }
      joined += '\\';
    }
    *path = joined + parts.back();
    return true;
  }

 private:
  std::vector<HANDLE> held_;
};

class Win32FileSystem : public FileSystem {
 public:
  FileKind Kind(const std::string& path) override {
    DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return IsMissing(GetLastError()) ? FileKind::kMissing : FileKind::kOther;
    if (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) return FileKind::kOther;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::kDirectory;
    return FileKind::kRegular;
  }

  ReadStatus ReadFile(const std::string& path, size_t maxBytes, std::string* contents,
                      std::string* error) override {
    const std::wstring wide = Widen(path);
    // A folder cannot be opened as a file (access denied, which would pass
    // for a lock): look first.
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return ReadFailure(GetLastError(), error);
    if (!IsPlain(attributes)) {
      if (error) *error = "not a regular file";
      return ReadStatus::kNotRegular;
    }
    // Shared for reading only: a writer still holding the file makes this a
    // sharing violation, which is worth a retry, not half a document.
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ReadFailure(GetLastError(), error);
    ReadStatus status = ReadOpen(h, maxBytes, contents, error);
    CloseHandle(h);
    return status;
  }

  bool WriteFile(const std::string& path, const std::string& bytes, std::string* error) override {
    const std::wstring wide = Widen(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !IsPlain(attributes)) {
      if (error) *error = "not a regular file";
      return false;
    }
    std::wstring temporary;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 8 && h == INVALID_HANDLE_VALUE; ++attempt) {
      temporary = TemporaryName(path);
      h = OpenForWrite(temporary, GENERIC_WRITE, CREATE_NEW);
      if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES)
      return WriteInPlace(wide, bytes, error);
    if (h == INVALID_HANDLE_VALUE) {
      SetError(error, GetLastError());
      return false;
    }
    bool ok = WriteAll(h, bytes);
    if (!ok) SetError(error, GetLastError());
    CloseHandle(h);
    if (ok && !MoveFileExW(temporary.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      SetError(error, GetLastError());
      ok = false;
    }
    if (!ok) DeleteFileW(temporary.c_str());
    return ok;
  }

  bool CreateFile(const std::string& path, const std::string& bytes, std::string* error) override {
    const std::wstring wide = Widen(path);
    HANDLE h = OpenForWrite(wide, GENERIC_WRITE, CREATE_NEW);
    if (h == INVALID_HANDLE_VALUE) {
      SetError(error, GetLastError());
      return false;
    }
    bool ok = WriteAll(h, bytes);
    if (!ok) SetError(error, GetLastError());
    CloseHandle(h);
    // Half a file under a new name would pass for a whole one.
    if (!ok) DeleteFileW(wide.c_str());
    return ok;
  }

  bool AppendFile(const std::string& path, const std::string& bytes, bool sync, std::string* error) override {
    HANDLE h = OpenForWrite(Widen(path), FILE_APPEND_DATA, OPEN_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) {
      SetError(error, GetLastError());
      return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = IsRegularHandle(h, &info);
    if (!ok) {
      if (error) *error = "not a regular file";
    } else if (!WriteAll(h, bytes) || (sync && !FlushFileBuffers(h))) {
      SetError(error, GetLastError());
      ok = false;
    }
    CloseHandle(h);
    return ok;
  }

  bool RemoveFile(const std::string& path) override {
    const std::wstring wide = Widen(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return IsMissing(GetLastError());
    // A link to a folder is removed as a folder; the link goes, its target stays.
    bool folderLink = (attributes & FILE_ATTRIBUTE_DIRECTORY) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (folderLink ? RemoveDirectoryW(wide.c_str()) : DeleteFileW(wide.c_str())) return true;
    return IsMissing(GetLastError());
  }

  bool MakeDirectory(const std::string& path) override {
    const std::wstring wide = Widen(path);
    CreateDirectoryW(wide.c_str(), nullptr);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  }

  bool ListDirectory(const std::string& path, std::vector<std::string>* names) override {
    std::string pattern = path;
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(Widen(pattern + "*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return false;
    names->clear();
    do {
      std::string name = Narrow(found.cFileName);
      if (name != "." && name != "..") names->push_back(name);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    std::sort(names->begin(), names->end());
    return true;
  }

  bool WriteBeneath(const std::string& base, const std::string& name, const std::string& bytes,
                    std::string* error) override {
    HeldFolders folders;
    std::string path;
    return folders.Open(base, name, &path, error) && WriteFile(path, bytes, error);
  }

  bool AppendBeneath(const std::string& base, const std::string& name, const std::string& bytes,
                     std::string* error) override {
    HeldFolders folders;
    std::string path;
    return folders.Open(base, name, &path, error) && AppendFile(path, bytes, false, error);
  }

  bool RemoveBeneath(const std::string& base, const std::string& name) override {
    HeldFolders folders;
    std::string path;
    return folders.Open(base, name, &path, nullptr) && RemoveFile(path);
  }

 private:
  static ReadStatus ReadOpen(HANDLE h, size_t maxBytes, std::string* contents, std::string* error) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!IsRegularHandle(h, &info)) {
      if (error) *error = "not a regular file";
      return ReadStatus::kNotRegular;
    }
    unsigned long long size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size > maxBytes) {
      if (error) *error = "file too large";
      return ReadStatus::kTooLarge;
    }
    // Reading up to one byte more than allowed tells a file that grew.
    std::string data(size_t(size) + 1, '\0');
    size_t got = 0;
    for (;;) {
      if (got == data.size()) {
        if (got > maxBytes) break;
        data.resize(std::min(maxBytes + 1, 2 * got));
      }
      DWORD n = 0;
      if (!::ReadFile(h, data.data() + got, DWORD(std::min<size_t>(data.size() - got, 1u << 30)), &n, nullptr)) {
        DWORD code = GetLastError();
        SetError(error, code);
        return code == ERROR_LOCK_VIOLATION ? ReadStatus::kBusy : ReadStatus::kFailed;
      }
      if (n == 0) break;
      got += n;
    }
    if (got > maxBytes) {
      if (error) *error = "file too large";
      return ReadStatus::kTooLarge;
    }
    data.resize(got);
    *contents = std::move(data);
    return ReadStatus::kOk;
  }
};

}  // namespace

std::unique_ptr<FileSystem> FileSystem::CreateReal() { return std::make_unique<Win32FileSystem>(); }

}  // namespace platform
