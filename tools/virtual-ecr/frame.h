// Framing of the printer's native protocol as the printer sees it: frames
// coming from the program are cut out of the byte stream and checked, answers
// are framed back.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vecr {

inline constexpr char kStx = 2;
inline constexpr char kEtx = 3;
inline constexpr char kAck = 6;
inline constexpr char kNak = 21;

// Sum of the byte values modulo 100, as two digits.
std::string Checksum(std::string_view text);

// STX, sequence, terminal digit "0", text, checksum, ETX.
std::string BuildFrame(std::string_view sequence, std::string_view text);

struct Frame {
  std::string sequence;  // two digits
  char terminal = '0';
  std::string command;
};

// Cuts frames out of whatever arrives. Bytes between frames (the program's
// ACK after each answer, line noise) are skipped.
class FrameReader {
 public:
  struct Item {
    bool good = false;  // false: answer NAK
    Frame frame;
    std::string raw;
  };

  std::vector<Item> Feed(std::string_view bytes);

  // Longest frame kept before it is given up as garbage.
  static constexpr size_t kMaxFrame = 512;

 private:
  static Item Check(const std::string& raw);

  bool in_frame_ = false;
  std::string buffer_;
};

// Control characters made visible, for logs.
std::string Printable(std::string_view bytes);

}  // namespace vecr
