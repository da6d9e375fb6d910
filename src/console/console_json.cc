// Windows-1252 and UTF-8, and the JSON shapes of the console's answers.
#include "console/console_json.h"

#include <cstdint>

namespace console {
namespace {

// 0x80 to 0x9F; 0 where Windows-1252 has no character (kept as C1 controls).
constexpr uint16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string* out, uint32_t cp) {
  if (cp < 0x80) {
    out->push_back(char(cp));
  } else if (cp < 0x800) {
    out->push_back(char(0xC0 | (cp >> 6)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(char(0xE0 | (cp >> 12)));
    out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

std::string Utf8FromCp1252(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    uint32_t cp = c;
    if (c >= 0x80 && c < 0xA0 && kHigh[c - 0x80]) cp = kHigh[c - 0x80];
    AppendUtf8(&out, cp);
  }
  return out;
}

std::string Cp1252FromUtf8(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = text[i];
    uint32_t cp;
    size_t n;
    if (c < 0x80) {
      cp = c, n = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F, n = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F, n = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07, n = 4;
    } else {
      out.push_back('?');
      ++i;
      continue;
    }
    bool good = i + n <= text.size();
    for (size_t k = 1; good && k < n; ++k) {
      unsigned char d = text[i + k];
      good = (d & 0xC0) == 0x80;
      cp = (cp << 6) | (d & 0x3F);
    }
    if (!good) {
      out.push_back('?');
      ++i;
      continue;
    }
    i += n;
    char b = '?';
    if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) {
      b = char(cp);
    } else {
      for (int k = 0; k < 32; ++k) {
        if (kHigh[k] == cp || (kHigh[k] == 0 && cp == uint32_t(0x80 + k))) b = char(0x80 + k);
      }
    }
    out.push_back(b);
  }
  return out;
}

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c | 0x20);
  return s;
}

std::string Trimmed(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  return b == std::string::npos ? "" : s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool Utf8Declared(const std::string& contentType) {
  const std::string type = Lower(contentType);
  const std::string media = Trimmed(type.substr(0, type.find(';')));
  bool json = media == "application/json" || (media.size() > 5 && media.compare(media.size() - 5, 5, "+json") == 0);
  for (size_t at = type.find(';'); at != std::string::npos;) {
    const size_t next = type.find(';', at + 1);
    const std::string param = Trimmed(type.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1));
    if (param.rfind("charset=", 0) == 0) {
      std::string value = Trimmed(param.substr(8));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
      return value == "utf-8" || value == "utf8";
    }
    at = next;
  }
  return json;
}

// One UTF-8 character at `i` as its Windows-1252 byte; false when broken or
// not in the code page (C1 controls included: their bytes are other letters).
bool NextCp1252(const std::string& text, size_t* i, char* byte) {
  const unsigned char lead = static_cast<unsigned char>(text[*i]);
  uint32_t cp;
  size_t n;
  if (lead < 0x80) {
    cp = lead, n = 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    cp = lead & 0x1Fu, n = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    cp = lead & 0x0Fu, n = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    cp = lead & 0x07u, n = 4;
  } else {
    return false;
  }
  if (*i + n > text.size()) return false;
  for (size_t k = 1; k < n; ++k) {
    const unsigned char c = static_cast<unsigned char>(text[*i + k]);
    if ((c & 0xC0) != 0x80) return false;
    cp = cp << 6 | (c & 0x3Fu);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    return false;
  *i += n;
  if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) {
    *byte = char(cp);
    return true;
  }
  for (int k = 0; k < 32; ++k) {
    if (kHigh[k] && kHigh[k] == cp) {
      *byte = char(0x80 + k);
      return true;
    }
  }
  return false;
}

}  // namespace

bool DocumentBytes(const std::string& contentType, const std::string& body, std::string* out, size_t* badLine) {
  if (!Utf8Declared(contentType)) {
    *out = body;
    return true;
  }
  out->clear();
  out->reserve(body.size());
  size_t line = 1;
  // A byte-order mark some editors put first is no character of the document.
  size_t i = body.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (i < body.size()) {
    char byte = 0;
    if (!NextCp1252(body, &i, &byte)) {
      *badLine = line;
      return false;
    }
    if (byte == '\n') ++line;
    out->push_back(byte);
  }
  return true;
}

nlohmann::json StatusJson(const ConsoleStatus& s) {
  nlohmann::json ports = nlohmann::json::array();
  for (const auto& p : s.ports) {
    ports.push_back({{"port", p.port},
                     {"available", p.available},
                     {"ticked", p.ticked},
                     {"enabled", p.enabled},
                     {"dump", Utf8FromCp1252(p.dumpState)},
                     {"serial", Utf8FromCp1252(p.serial)},
                     {"mode", Utf8FromCp1252(p.mode)}});
  }
  return {{"ports", ports},
          {"detection",
           {{"fast", s.fastDetection},
            {"timerText", Utf8FromCp1252(s.timerText)},
            {"intervalMs", s.intervalMs},
            {"text", Utf8FromCp1252(s.detectionText)}}},
          {"printerMessage", Utf8FromCp1252(s.printerMessage)},
          {"programStatus", Utf8FromCp1252(s.programStatus)},
          {"dataDirectory", Utf8FromCp1252(s.dataDirectory)},
          {"configurationLocked", s.configurationLocked},
          {"testEnabled", s.testEnabled},
          {"unit", {{"port", s.runningPort}, {"running", Utf8FromCp1252(s.runningUnit)}, {"queued", s.queued}}},
          {"version", Utf8FromCp1252(s.version)}};
}

nlohmann::json JobJson(const JobRecord& j) {
  return {{"time", j.time},
          {"port", j.port},
          {"outcome", Utf8FromCp1252(j.outcomeCode)},
          {"text", Utf8FromCp1252(j.outcomeText)},
          // Null, as in a job's answer, when the job closed no receipt.
          {"receipt", j.receiptNumber.empty() ? nlohmann::json() : nlohmann::json(Utf8FromCp1252(j.receiptNumber))},
          {"durationMs", j.durationMs}};
}

nlohmann::json JobsJson(const std::vector<JobRecord>& jobs) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& j : jobs) list.push_back(JobJson(j));
  return {{"jobs", list}};
}

nlohmann::json SubmitJson(const SubmitResult& r) {
  if (!r.ok) {
    return {{"outcome", "error"}, {"code", Utf8FromCp1252(r.code)}, {"message", Utf8FromCp1252(r.message)}};
  }
  // Null when the job closed no receipt of its own.
  nlohmann::json receipt = r.receipt.empty() ? nlohmann::json() : nlohmann::json::object();
  for (const auto& [name, value] : r.receipt) receipt[Utf8FromCp1252(name)] = Utf8FromCp1252(value);
  nlohmann::json out = nlohmann::json::array();
  for (const auto& line : r.out) out.push_back(Utf8FromCp1252(line));
  return {{"outcome", "ok"}, {"receipt", receipt}, {"out", out}};
}

nlohmann::json ActionJson(const ActionResult& r) {
  return {{"outcome", r.ok ? "ok" : "error"}, {"message", Utf8FromCp1252(r.message)}};
}

}  // namespace console
