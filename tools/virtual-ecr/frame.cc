// Frame cutting and checking for the virtual printer.
#include "frame.h"

#include <cctype>
#include <cstdio>

namespace vecr {

std::string Checksum(std::string_view text) {
  unsigned sum = 0;
  for (char c : text) sum += static_cast<unsigned char>(c);
  char out[3];
  std::snprintf(out, sizeof out, "%02u", sum % 100);
  return out;
}

std::string BuildFrame(std::string_view sequence, std::string_view text) {
  std::string body;
  body.append(sequence).append("0").append(text);
  std::string frame(1, kStx);
  frame += body;
  frame += Checksum(body);
  frame += kEtx;
  return frame;
}

static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

FrameReader::Item FrameReader::Check(const std::string& raw) {
  Item item;
  item.raw = raw;
  // STX, two sequence digits, terminal digit, at least one command byte,
  // two checksum digits, ETX.
  if (raw.size() < 8) return item;
  std::string body = raw.substr(1, raw.size() - 4);
  std::string sum = raw.substr(raw.size() - 3, 2);
  if (!IsDigit(body[0]) || !IsDigit(body[1]) || !IsDigit(body[2])) return item;
  if (Checksum(body) != sum) return item;
  item.good = true;
  item.frame.sequence = body.substr(0, 2);
  item.frame.terminal = body[2];
  item.frame.command = body.substr(3);
  return item;
}

std::vector<FrameReader::Item> FrameReader::Feed(std::string_view bytes) {
  std::vector<Item> items;
  for (char c : bytes) {
    if (c == kStx) {
      // A new STX inside a frame means the earlier one was cut short; the
      // program repeats it anyway, so it is dropped without an answer.
      in_frame_ = true;
      buffer_.assign(1, c);
      continue;
    }
    if (!in_frame_) continue;
    buffer_ += c;
    if (c == kEtx) {
      items.push_back(Check(buffer_));
      in_frame_ = false;
      buffer_.clear();
    } else if (buffer_.size() > kMaxFrame) {
      Item bad;
      bad.raw = buffer_;
      items.push_back(bad);
      in_frame_ = false;
      buffer_.clear();
    }
  }
  return items;
}

std::string Printable(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case kStx: out += "<STX>"; break;
      case kEtx: out += "<ETX>"; break;
      case kAck: out += "<ACK>"; break;
      case kNak: out += "<NAK>"; break;
      default:
        if (u < 32 || u == 127) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "<%02X>", u);
          out += hex;
        } else {
          out += c;
        }
    }
  }
  return out;
}

}  // namespace vecr
