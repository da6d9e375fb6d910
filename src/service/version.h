// The program's own version, as SR_MATR and the receipt data lines show it.
#pragma once

#include <string>

namespace service {

constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 0;
constexpr int kVersionRevision = 1;

// major "." minor ".0." revision, for example 1.0.0.1.
inline std::string VersionText() {
  return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + ".0." +
         std::to_string(kVersionRevision);
}

}  // namespace service
