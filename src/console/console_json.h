// The console's JSON: the program's Windows-1252 texts turned into UTF-8 for
// the browser and back, and the shapes of the status, the jobs and a result.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "console/console_backend.h"

namespace console {

std::string Utf8FromCp1252(const std::string& bytes);
// Characters that Windows-1252 cannot hold become "?"; broken UTF-8 too.
std::string Cp1252FromUtf8(const std::string& text);

nlohmann::json StatusJson(const ConsoleStatus& status);
nlohmann::json JobJson(const JobRecord& job);
nlohmann::json JobsJson(const std::vector<JobRecord>& jobs);
// {"outcome":"ok","receipt":{...},"out":[...]} or
// {"outcome":"error","code":"E503","message":"..."}.
nlohmann::json SubmitJson(const SubmitResult& result);
nlohmann::json ActionJson(const ActionResult& result);

}  // namespace console
