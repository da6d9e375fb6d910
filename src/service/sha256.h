// SHA-256 of a byte string, so the job journal can name a document without
// keeping its text.
#pragma once

#include <string>
#include <string_view>

namespace service {

// The 64 lower-case hexadecimal digits of the digest.
std::string Sha256Hex(std::string_view bytes);

}  // namespace service
