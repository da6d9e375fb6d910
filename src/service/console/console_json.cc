// Windows-1252 and UTF-8, and the console's answers: JSON, and the
// Prometheus text of /metrics.
#include "service/console/console.h"

#include <cstdint>
#include <cstdio>

#include "language/cp1252.h"
#include "language/text_value.h"

namespace console {
namespace {

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

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c | 0x20);
  return s;
}

bool Utf8Declared(const std::string& contentType) {
  const std::string type = Lower(contentType);
  const std::string_view media = language::Trimmed(std::string_view(type).substr(0, type.find(';')), " \t");
  bool json = media == "application/json" || (media.size() > 5 && media.ends_with("+json"));
  for (size_t at = type.find(';'); at != std::string::npos;) {
    const size_t next = type.find(';', at + 1);
    const std::string_view item = std::string_view(type).substr(at + 1, next == std::string::npos ? next : next - at - 1);
    const std::string_view param = language::Trimmed(item, " \t");
    if (param.starts_with("charset=")) {
      std::string_view value = language::Trimmed(param.substr(8), " \t");
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
      return value == "utf-8" || value == "utf8";
    }
    at = next;
  }
  return json;
}

// A Prometheus label value, escaped.
std::string Label(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

void Head(std::string* out, const char* name, const char* type, const char* help) {
  *out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

std::string Utf8FromCp1252(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    uint32_t cp = c;
    if (c >= 0x80 && c < 0xA0 && language::kWindows1252High[c - 0x80]) cp = language::kWindows1252High[c - 0x80];
    AppendUtf8(&out, cp);
  }
  return out;
}

std::string Cp1252FromUtf8(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    uint32_t cp;
    if (!language::NextUtf8(text, &i, &cp)) {
      out.push_back('?');
      ++i;
      continue;
    }
    // A C1 control whose byte has no letter keeps its byte, so bytes that
    // went out through Utf8FromCp1252 come back whole.
    int b = language::Windows1252Byte(cp);
    if (b < 0 && cp >= 0x80 && cp < 0xA0 && language::kWindows1252High[cp - 0x80] == 0) b = static_cast<int>(cp);
    out.push_back(b < 0 ? '?' : char(b));
  }
  return out;
}

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
    // Broken, or not in the code page (C1 controls included: their bytes are
    // other letters).
    uint32_t cp;
    const int byte = language::NextUtf8(body, &i, &cp) ? language::Windows1252Byte(cp) : -1;
    if (byte < 0) {
      *badLine = line;
      return false;
    }
    if (byte == '\n') ++line;
    out->push_back(static_cast<char>(byte));
  }
  return true;
}

nlohmann::json StatusJson(const service::ServiceState& s) {
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
          {"testEnabled", s.testEnabled()},
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

nlohmann::json ActionJson(const service::ActionResult& r) {
  return {{"outcome", r.ok() ? "ok" : "error"}, {"message", Utf8FromCp1252(r.message)}};
}

void JobMetrics::Add(const JobRecord& job) {
  ++jobs[{job.port, job.outcomeCode.empty() ? "ok" : job.outcomeCode}];
  double s = double(job.durationMs) / 1000.0;
  size_t i = 0;
  while (i < std::size(kDurationBuckets) && s > kDurationBuckets[i]) ++i;
  if (i < std::size(kDurationBuckets)) ++bucketCounts[i];
  ++count;
  sumSeconds += s;
  if (job.time > lastJobTime) lastJobTime = job.time;
}

std::string MetricsText(const JobMetrics& m, const service::ServiceState& status) {
  std::string out;
  Head(&out, "quilo1_jobs_total", "counter", "Jobs ended since start, by port and outcome.");
  for (const auto& [key, n] : m.jobs)
    out += "quilo1_jobs_total{port=\"" + std::to_string(key.first) + "\",outcome=\"" + Label(key.second) + "\"} " +
           std::to_string(n) + "\n";
  Head(&out, "quilo1_job_duration_seconds", "histogram", "Time from taking a job to its outcome.");
  uint64_t cumulative = 0;
  for (size_t i = 0; i < std::size(kDurationBuckets); ++i) {
    cumulative += m.bucketCounts[i];
    out += "quilo1_job_duration_seconds_bucket{le=\"" + Number(kDurationBuckets[i]) + "\"} " +
           std::to_string(cumulative) + "\n";
  }
  out += "quilo1_job_duration_seconds_bucket{le=\"+Inf\"} " + std::to_string(m.count) + "\n";
  out += "quilo1_job_duration_seconds_sum " + Number(m.sumSeconds) + "\n";
  out += "quilo1_job_duration_seconds_count " + std::to_string(m.count) + "\n";
  Head(&out, "quilo1_printer_identified", "gauge", "1 when the printer on the port has been identified.");
  for (const auto& p : status.ports)
    out += "quilo1_printer_identified{port=\"" + std::to_string(p.port) + "\"} " + (p.serial.empty() ? "0" : "1") + "\n";
  Head(&out, "quilo1_port_available", "gauge", "1 when the port can be opened.");
  for (const auto& p : status.ports)
    out += "quilo1_port_available{port=\"" + std::to_string(p.port) + "\"} " + (p.available ? "1" : "0") + "\n";
  Head(&out, "quilo1_paper_end_waits_total", "counter", "Waits for a new paper roll.");
  out += "quilo1_paper_end_waits_total " + std::to_string(status.paperEndWaits) + "\n";
  Head(&out, "quilo1_journal_recoveries_total", "counter", "Jobs recovered from the journal at start.");
  out += "quilo1_journal_recoveries_total " + std::to_string(status.journalRecoveries) + "\n";
  Head(&out, "quilo1_last_job_timestamp_seconds", "gauge", "End of the last job, seconds since 1970.");
  out += "quilo1_last_job_timestamp_seconds " + std::to_string(m.lastJobTime) + "\n";
  return out;
}

}  // namespace console
