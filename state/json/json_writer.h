// Appending JSON fragments to a byte string. Callers write the braces and,
// for fixed runs of members, the separators themselves; JsonMembers writes
// them for objects whose members come and go. Every JSON text the system
// writes is built this way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvo {

// The shortest decimal text that reads back as the same double (fixed or
// exponent notation, whichever is shorter); "null" for NaN and infinities.
// Integers written through it keep that form: 100000 is "1e+05".
void jsonAppendNumber(std::string& out, double value);
// The integer's exact decimal digits, never exponent notation, for formats
// that ask for plain integers.
void jsonAppendInteger(std::string& out, int64_t value);
void jsonAppendBool(std::string& out, bool value);
// The NUL-terminated text between double quotes; only '"' and '\' are
// escaped (with a backslash), every other byte is copied as it is.
void jsonAppendQuoted(std::string& out, const char* text);
// The text between double quotes with every byte a JSON string may not hold
// as it is escaped: '"' and '\' get a backslash, bytes below 0x20 (NUL
// included) become \u00XX. For texts from outside: paths, names, messages.
void jsonAppendQuotedEscaped(std::string& out, std::string_view text);

// The members of one object, written after its opening brace: a comma
// before every member but the first.
class JsonMembers {
  public:
    explicit JsonMembers(std::string& out) : out_(out) {}

    // The separator, the quoted key and the colon; returns the string for
    // the caller to append the value to.
    std::string& next(const char* key);
    bool written() const { return written_; }

  private:
    std::string& out_;
    bool written_ = false;
};

}  // namespace kelvo
