// QLCONSOLE.TXT and QLTOKEN.TXT.
#include "service/console/console_settings.h"

#include <cstdlib>

#include "language/text_value.h"
#include "platform/secret_file.h"

namespace console {
namespace {

std::string Field(const std::vector<std::string>& lines, size_t i) {
  return i < lines.size() ? std::string(language::Trimmed(lines[i], " \t\r\n")) : std::string();
}

bool IsDottedIpv4(const std::string& s) {
  int parts = 0;
  size_t i = 0;
  while (i <= s.size()) {
    size_t j = s.find('.', i);
    if (j == std::string::npos) j = s.size();
    std::string part = s.substr(i, j - i);
    if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos ||
        std::atoi(part.c_str()) > 255) {
      return false;
    }
    ++parts;
    i = j + 1;
  }
  return parts == 4;
}

bool IsLoopbackAddress(const std::string& address) { return IsDottedIpv4(address) && address.rfind("127.", 0) == 0; }

}  // namespace

ConsoleSettings ParseConsoleSettings(const std::vector<std::string>& lines) {
  ConsoleSettings s;
  s.enabled = Field(lines, 0) != "0";
  std::string port = Field(lines, 1);
  if (!port.empty()) {
    bool digits = port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos;
    int n = digits ? std::atoi(port.c_str()) : 0;
    if (n >= 1 && n <= 65535) {
      s.port = n;
    } else {
      s.warning = "porta non valida: " + port;
    }
  }
  std::string address = Field(lines, 2);
  if (!address.empty()) {
    if (!IsDottedIpv4(address)) {
      s.warning = "indirizzo non valido: " + address;
    } else if (!IsLoopbackAddress(address) && Field(lines, 3) != "1") {
      s.warning = "indirizzo " + address + " non consentito senza la riga 4 uguale a 1";
    } else {
      s.address = address;
    }
  }
  return s;
}

bool IsToken(const std::string& text) {
  return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::string TokenFromBytes(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

bool LoadOrCreateToken(const std::string& programDir, std::string* token, std::string* error) {
  const std::string folder = platform::SecretFolder(programDir);
  std::string path = folder.empty() ? kTokenFile : folder + platform::kPathSeparator + kTokenFile;
  std::string existing;
  if (platform::ReadSecretFile(path, &existing)) {
    std::string line = existing.substr(0, existing.find_first_of("\r\n"));
    if (IsToken(line)) {
      *token = line;
      return true;
    }
  }
  std::string bytes;
  if (!platform::RandomBytes(16, &bytes)) {
    *error = "nessuna sorgente casuale per il token";
    return false;
  }
  std::string fresh = TokenFromBytes(bytes);
  if (!platform::WriteSecretFile(path, fresh + "\r\n", error)) return false;
  *token = fresh;
  return true;
}

}  // namespace console
