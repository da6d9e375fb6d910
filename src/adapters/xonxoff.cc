// XonXoff adapter. Not built yet: fails cleanly, so the job ends with the
// conversion error instead of printing something wrong.
#include "adapters/xonxoff.h"

namespace adapters {

bool ConvertXonXoff(const std::string&, const std::string&, const convert::ConvertContext&) { return false; }

}  // namespace adapters
