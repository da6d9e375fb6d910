// XonXoff key sequences turned into command lines.
#pragma once

#include <string>

#include "convert/converter.h"

namespace adapters {

// Reads the key sequence in `inputPath` and writes the command lines to
// `outputPath` ("tempSL.txt"). Returns false when the input is missing or
// empty or the output cannot be written.
bool ConvertXonXoff(const std::string& inputPath, const std::string& outputPath,
                    const convert::ConvertContext& ctx);

}  // namespace adapters
