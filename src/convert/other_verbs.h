// The file name rule of READ lines, kept apart so that it can be checked
// with either kind of path separator.
#pragma once

#include <string>

#include "convert/state.h"

namespace convert {

// The file a READ line names: `text` is the ",:" value (empty when absent),
// `separators` the characters that make it a path rather than a bare name.
std::string ReadTarget(const ConvertContext& ctx, const std::string& text, const std::string& separators);

}  // namespace convert
