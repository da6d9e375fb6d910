// The console's settings file QLCONSOLE.TXT, in the program directory beside
// the other settings files, and its access token QLTOKEN.TXT, in the folder
// platform::SecretFolder names (on Windows the user's own, not the program's).
#pragma once

#include <string>
#include <vector>

namespace console {

inline constexpr const char* kConsoleSettingsFile = "QLCONSOLE.TXT";
inline constexpr const char* kTokenFile = "QLTOKEN.TXT";
inline constexpr int kDefaultPort = 8731;

// QLCONSOLE.TXT, one value a line, CR LF, leading blanks skipped:
//   1: "1" on, "0" off (missing or anything else: on)
//   2: port, 1 to 65535 (missing or invalid: 8731)
//   3: listen address, dotted IPv4 (missing or empty: 127.0.0.1)
//   4: "1" allows an address outside 127.0.0.0/8 (missing: not allowed, and
//      such an address falls back to 127.0.0.1 with a warning)
struct ConsoleSettings {
  bool enabled = true;
  int port = kDefaultPort;
  std::string address = "127.0.0.1";
  std::string warning;  // why a line was not taken as written
};
ConsoleSettings ParseConsoleSettings(const std::vector<std::string>& lines);

// 32 lower-case hex digits.
bool IsToken(const std::string& text);
// The token from 16 random bytes.
std::string TokenFromBytes(const std::string& bytes);
// Reads the token file kept for `programDir`, or creates it with a fresh
// token (mode 0640 on POSIX; on Windows the user's own folder's permissions).
bool LoadOrCreateToken(const std::string& programDir, std::string* token, std::string* error);

}  // namespace console
