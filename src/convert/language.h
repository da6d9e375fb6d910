// The command language: finding verbs and fields in a line.
#pragma once

#include <string>

namespace convert {

// With `atStart` the marker is a verb, searched in the first five characters
// and counted only in column 1; otherwise it is searched anywhere. Letters
// compare without regard to case. On success `value` receives the field's
// value; when not found it is left as it was.
bool FindField(bool atStart, std::string* value, const std::string& line, const std::string& marker);

}  // namespace convert
