// Prometheus text for the console.
#include "service/console/console.h"

#include <cstdio>

namespace console {
namespace {

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
