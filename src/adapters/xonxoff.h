// XonXoff key sequences turned into command lines.
#pragma once

#include <string>
#include <vector>

#include "convert/converter.h"

namespace adapters {

// Reads the key sequence in `inputPath` (its lines joined without
// separator) and writes the command lines to `outputPath` ("tempSL.txt"),
// each ended by CR LF. Returns false when the input is missing or empty;
// otherwise whether the output file exists afterwards.
bool ConvertXonXoff(const std::string& inputPath, const std::string& outputPath,
                    const convert::ConvertContext& ctx);

// The command lines, each with its ";", for one whole key string. Values
// typed after the last command are dropped.
std::vector<std::string> ParseXonXoffKeys(const std::string& keys);

}  // namespace adapters
