// Appending JSON fragments to a byte string. Callers write the separators and
// braces themselves; every JSON text the system writes is built this way.
#pragma once

#include <string>

namespace kelvo {

// The shortest decimal text that reads back as the same double (fixed or
// exponent notation, whichever is shorter); "null" for NaN and infinities.
void jsonAppendNumber(std::string& out, double value);
// The NUL-terminated text between double quotes; only '"' and '\' are
// escaped (with a backslash), every other byte is copied as it is.
void jsonAppendQuoted(std::string& out, const char* text);

}  // namespace kelvo
