// The command language: a document's lines, and the verbs and fields in a
// line. The bottom of the converter, the adapters and the card payment.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace language {

// A document's bytes as lines: CR LF, LF and a lone CR each end a line, and
// a last line without its end still counts. No line holds CR or LF.
std::vector<std::string> SplitLines(std::string_view bytes);

// With `atStart` the marker is a verb, searched in the first five characters
// and counted only in column 1; otherwise it is searched anywhere. Letters
// compare without regard to case. On success `value` receives the field's
// value; when not found it is left as it was.
bool FindField(bool atStart, std::string* value, const std::string& line, std::string_view marker);

// Whether `line` begins with the verb `verb` (FindField with atStart).
inline bool HasVerb(const std::string& line, std::string_view verb) { return FindField(true, nullptr, line, verb); }

// The payment synonyms: a line beginning "TEND,N" (with case) whose tender
// number is exactly `tender` ("TEND,N31" is not tender 3).
bool IsTenderSynonym(const std::string& line, char tender);

}  // namespace language
