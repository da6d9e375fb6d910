// The console's JSON: the program's Windows-1252 texts turned into UTF-8 for
// the browser and back, and the shapes of the status, the jobs and a result.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "service/console/jobs.h"
#include "service/operator_actions.h"
#include "service/service_state.h"

namespace console {

std::string Utf8FromCp1252(const std::string& bytes);
// Characters that Windows-1252 cannot hold become "?"; broken UTF-8 too.
std::string Cp1252FromUtf8(const std::string& text);
// A document's body as the printer's Windows-1252 bytes, by its
// Content-Type: with "charset=utf-8" (any case), or a JSON type (UTF-8 by
// definition), it is converted; otherwise taken as it is. False, with the
// 1-based line in `*badLine`, at broken UTF-8 or a character Windows-1252
// cannot hold: nothing is guessed on a fiscal document.
bool DocumentBytes(const std::string& contentType, const std::string& body, std::string* out, size_t* badLine);

nlohmann::json StatusJson(const service::ServiceState& status);
nlohmann::json JobJson(const JobRecord& job);
nlohmann::json JobsJson(const std::vector<JobRecord>& jobs);
// {"outcome":"ok","receipt":{...},"out":[...]} or
// {"outcome":"error","code":"E503","message":"..."}.
nlohmann::json SubmitJson(const SubmitResult& result);
nlohmann::json ActionJson(const service::ActionResult& result);

}  // namespace console
