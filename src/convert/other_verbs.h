// Pieces of the text, display and read verbs that need more than the line
// itself; ConvertDisplay and ConvertRead use them with the document and the
// platform at hand, the tests call them directly.
#pragma once

#include <string>

#include "convert/state.h"

namespace convert {

// The DISP line given the document's next line (null at the end of the
// document). Sets *consumed when that line became the display's second row
// and must not be converted again.
bool ConvertDisplayWithNext(LineContext& c, const std::string* next, bool* consumed);

// The file a READ line names: `text` is the ",:" value (empty when absent),
// `separators` the characters that make it a path rather than a bare name.
std::string ReadTarget(const ConvertContext& ctx, const std::string& text, const std::string& separators);

}  // namespace convert
