// XonXoff key sequences turned into command lines.
#pragma once

#include <string>
#include <vector>

namespace adapters {

// The command lines, each with its ";", of the key sequence held in the
// document's `lines` (joined without separator). Values typed after the
// last command are dropped.
std::vector<std::string> ConvertXonXoff(const std::vector<std::string>& lines);

}  // namespace adapters
