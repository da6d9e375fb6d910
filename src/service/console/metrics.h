// The console's /metrics page in the Prometheus text format 0.0.4: job
// counts by port and outcome, a job duration histogram, and the status gauges.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "service/console/jobs.h"
#include "service/service_state.h"

namespace console {

// Upper bounds of the duration buckets, in seconds (+Inf follows).
inline constexpr double kDurationBuckets[] = {0.5, 1, 2, 5, 10, 30, 60, 120};

// Counted since the program started, from the jobs the service reports.
struct JobMetrics {
  std::map<std::pair<int, std::string>, uint64_t> jobs;  // (port, outcome) -> count
  uint64_t bucketCounts[std::size(kDurationBuckets)] = {};  // not cumulative
  uint64_t count = 0;
  double sumSeconds = 0;
  int64_t lastJobTime = 0;

  void Add(const JobRecord& job);
};

std::string MetricsText(const JobMetrics& jobs, const service::ServiceState& status);

}  // namespace console
