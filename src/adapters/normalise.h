// Clean-up of command lines before they are read: verbs and fields upper-
// cased, numbers tidied, accented letters folded to what the printer prints.
#pragma once

#include <string>

namespace adapters {

// Every command line except "PRNT," lines. Text fields keep at most `width`
// characters.
std::string NormaliseLine(const std::string& line, int width);
// The same into `out`, whose room is used again line after line.
void NormaliseLine(const std::string& line, int width, std::string* out);

// "PRNT," lines: only the text is cut to `width` (-1: not cut) and folded;
// nothing is upper-cased.
std::string NormalisePrintLine(const std::string& line, int width);

}  // namespace adapters
