#include "json_writer.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace kelvo {

void jsonAppendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    // Without a format argument to_chars gives the shortest round-trip text,
    // fixed or exponent (printf style, "1e+21") whichever is shorter, fixed on
    // a tie, and is independent of the C locale.
    char text[32];
    auto [last, error] = std::to_chars(text, text + sizeof text, value);
    if (error != std::errc()) {
        out += "null";  // unreachable: 32 bytes hold any shortest double
        return;
    }
    out.append(text, last);
}

void jsonAppendInteger(std::string& out, int64_t value) {
    char digits[20];  // "-9223372036854775808", the longest, fits
    const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void jsonAppendBool(std::string& out, bool value) {
    out += value ? "true" : "false";
}

void jsonAppendQuoted(std::string& out, const char* text) {
    out.push_back('"');
    if (text) {
        while (*text) {
            size_t run = std::strcspn(text, "\"\\");
            out.append(text, run);
            text += run;
            if (!*text) break;
            out.push_back('\\');
            out.push_back(*text++);
        }
    }
    out.push_back('"');
}

void jsonAppendQuotedEscaped(std::string& out, std::string_view text) {
    static constexpr char HEX[] = "0123456789abcdef";
    out.push_back('"');
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        // JSON's short escapes where it has them (they read back as the same
        // byte); \u00XX for the other control bytes.
        const char* shortEscape = byte == '\n'   ? "\\n"
                                  : byte == '\t' ? "\\t"
                                  : byte == '\r' ? "\\r"
                                  : byte == '\b' ? "\\b"
                                  : byte == '\f' ? "\\f"
                                                 : nullptr;
        if (shortEscape != nullptr) {
            out += shortEscape;
            continue;
        }
        if (byte < 0x20) {
            out += "\\u00";
            out.push_back(HEX[byte >> 4]);
            out.push_back(HEX[byte & 0xF]);
            continue;
        }
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
}

std::string& JsonMembers::next(const char* key) {
    if (written_) out_ += ',';
    written_ = true;
    jsonAppendQuoted(out_, key);
    out_ += ':';
    return out_;
}

}  // namespace kelvo
