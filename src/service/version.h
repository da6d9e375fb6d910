// The program's own version, as SR_MATR and the receipt data lines show it;
// Quilo1.exe's VERSIONINFO takes it from here too.
#pragma once

#define QUILO1_VERSION_MAJOR 1
#define QUILO1_VERSION_MINOR 0
#define QUILO1_VERSION_REVISION 1
#define QUILO1_VERSION_STRING(x) #x
#define QUILO1_VERSION_SPELL(x) QUILO1_VERSION_STRING(x)
// "1.0.0.1", as VersionText() spells it.
#define QUILO1_VERSION_TEXT                                                                   \
  QUILO1_VERSION_SPELL(QUILO1_VERSION_MAJOR) "." QUILO1_VERSION_SPELL(QUILO1_VERSION_MINOR) ".0." \
  QUILO1_VERSION_SPELL(QUILO1_VERSION_REVISION)

#ifndef RC_INVOKED
#include <string>

namespace service {

constexpr int kVersionMajor = QUILO1_VERSION_MAJOR;
constexpr int kVersionMinor = QUILO1_VERSION_MINOR;
constexpr int kVersionRevision = QUILO1_VERSION_REVISION;

// major "." minor ".0." revision, for example 1.0.0.1.
inline std::string VersionText() {
  return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + ".0." +
         std::to_string(kVersionRevision);
}

}  // namespace service
#endif
