// Windows-1252, the program's code page, against UTF-8: one decoder and one
// table for every place that takes UTF-8 from outside (the payment service,
// the console's bodies and settings).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace language {

// The characters of bytes 0x80 to 0x9F; 0 where the code page has none.
inline constexpr uint16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The UTF-8 character at `*i` into `*cp`, `*i` moved past it; false, both
// untouched, when the bytes there are not UTF-8 (overlong forms and
// surrogates included).
inline bool NextUtf8(std::string_view text, size_t* i, uint32_t* cp) {
  const unsigned char lead = static_cast<unsigned char>(text[*i]);
  uint32_t c;
  size_t n;
  if (lead < 0x80) {
    c = lead, n = 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    c = lead & 0x1Fu, n = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    c = lead & 0x0Fu, n = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    c = lead & 0x07u, n = 4;
  } else {
    return false;
  }
  if (*i + n > text.size()) return false;
  for (size_t k = 1; k < n; ++k) {
    const unsigned char b = static_cast<unsigned char>(text[*i + k]);
    if ((b & 0xC0) != 0x80) return false;
    c = c << 6 | (b & 0x3Fu);
  }
  if ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF))
    return false;
  *i += n;
  *cp = c;
  return true;
}

// The code page's byte for `cp`, or -1 when it has none; the C1 controls
// U+0080 to U+009F have none (their bytes are other letters), and each
// caller decides what they become.
inline int Windows1252Byte(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) return static_cast<int>(cp);
  for (int k = 0; k < 32; ++k)
    if (kWindows1252High[k] != 0 && kWindows1252High[k] == cp) return 0x80 + k;
  return -1;
}

}  // namespace language
