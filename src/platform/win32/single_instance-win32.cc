// Single instance on Win32: one named mutex per machine (Global\, so that a
// copy in another session ends too), dropped by the system with the process.
// The mutex is made with a DACL that lets only its owner, SYSTEM and the
// Administrators use it, and others only see it and read its owner. A mutex
// of that name found already made counts only when its owner is this user,
// SYSTEM or the Administrators: a name that another ordinary user made
// first could be a squatter keeping every Quilo1 from starting, so this copy
// then takes a name of its own user instead and says so in the log. A
// Quilo1 of another user logged on at the same time then runs too; it
// finds the serial ports taken, which Windows opens for one process only.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "platform/single_instance.h"

namespace platform {
namespace {

const wchar_t kName[] = L"Global\\Quilo1.SingleInstance";

class MutexInstance : public InstanceLock {
 public:
  explicit MutexInstance(HANDLE h) : h_(h) {}
  ~MutexInstance() override {
    if (h_) CloseHandle(h_);
  }

 private:
  HANDLE h_;
};

std::string Narrow(const std::wstring& wide) {
  std::string s;
  for (wchar_t c : wide) s += c < 0x80 ? char(c) : '?';
  return s;
}

// A SID of this process's token as a string ("S-1-5-21-..."): its user
// (TokenUser) or the owner it gives the objects it makes (TokenOwner: the
// user, or the Administrators when elevated). Empty on failure.
std::wstring TokenSid(TOKEN_INFORMATION_CLASS which) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::wstring();
  DWORD size = 0;
  GetTokenInformation(token, which, nullptr, 0, &size);
  std::vector<BYTE> buffer(size ? size : 1);
  std::wstring text;
  LPWSTR sid = nullptr;
  if (GetTokenInformation(token, which, buffer.data(), size, &size)) {
    PSID found = which == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid
                                    : reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
    if (ConvertSidToStringSidW(found, &sid)) {
      text = sid;
      LocalFree(sid);
    }
  }
  CloseHandle(token);
  return text;
}

enum class Outcome { kOurs, kHeld, kForeign };

// Creates or finds the mutex `name`. kOurs: made now (`*h` set); kHeld:
// already made by this user, SYSTEM or the Administrators; kForeign: made by
// someone else, or unreadable. `*owner` receives the owner found.
Outcome Take(const std::wstring& name, HANDLE* h, std::wstring* owner) {
  *h = nullptr;
  SECURITY_ATTRIBUTES sa{};
  sa.nLength = sizeof sa;
  PSECURITY_DESCRIPTOR sd = nullptr;
  // Owner, SYSTEM, Administrators: everything; everyone: see it, read its owner.
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;GA;;;OW)(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x120000;;;WD)",
                                                           SDDL_REVISION_1, &sd, nullptr))
    sa.lpSecurityDescriptor = sd;
  HANDLE made = CreateMutexW(&sa, FALSE, name.c_str());
  DWORD error = GetLastError();
  if (sd) LocalFree(sd);
  if (made && error != ERROR_ALREADY_EXISTS) {
    *h = made;
    return Outcome::kOurs;
  }
  HANDLE found = made ? made : OpenMutexW(READ_CONTROL | SYNCHRONIZE, FALSE, name.c_str());
  if (!found) return Outcome::kForeign;
  PSID ownerSid = nullptr;
  PSECURITY_DESCRIPTOR foundSd = nullptr;
  Outcome outcome = Outcome::kForeign;
  if (GetSecurityInfo(found, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &ownerSid, nullptr, nullptr, nullptr,
                      &foundSd) == ERROR_SUCCESS &&
      ownerSid) {
    LPWSTR text = nullptr;
    if (ConvertSidToStringSidW(ownerSid, &text)) {
      *owner = text;
      LocalFree(text);
    }
    if (*owner == TokenSid(TokenUser) || *owner == TokenSid(TokenOwner) || *owner == L"S-1-5-18" ||
        *owner == L"S-1-5-32-544")
      outcome = Outcome::kHeld;
  }
  if (foundSd) LocalFree(foundSd);
  CloseHandle(found);
  return outcome;
}

}  // namespace

std::unique_ptr<InstanceLock> InstanceLock::Acquire(const std::string&, std::string* name, std::string* note) {
  if (note) note->clear();
  std::wstring tried = kName;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (name) *name = Narrow(tried);
    HANDLE h = nullptr;
    std::wstring owner;
    switch (Take(tried, &h, &owner)) {
      case Outcome::kOurs:
        return std::make_unique<MutexInstance>(h);
      case Outcome::kHeld:
        return nullptr;
      case Outcome::kForeign:
        break;
    }
    std::wstring next = tried + L"." + TokenSid(TokenUser);
    if (note)
      *note += std::string(attempt ? " " : "") + "Mutex " + Narrow(tried) + " di un altro utente (" +
               (owner.empty() ? "?" : Narrow(owner)) + "); " +
               (attempt == 0 ? "uso " + Narrow(next) : "nessun controllo di istanza") + ".";
    tried = next;
  }
  if (name) name->clear();
  return std::make_unique<MutexInstance>(nullptr);
}

}  // namespace platform
