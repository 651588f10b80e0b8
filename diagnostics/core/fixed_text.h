// Fixed-width, NUL-terminated texts inside diagnostic records. The binary
// records may arrive from another component, so readers never assume the
// terminating NUL is there.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

#include "json_writer.h"

namespace kelvo {

// Copies `text` cut to N - 1 bytes, terminates it and zeroes the rest of the
// field, so records compare and travel byte for byte. Null counts as empty.
template <size_t N>
void copyFixedText(char (&field)[N], const char* text) {
    static_assert(N > 0);
    const size_t length = text ? strnlen(text, N - 1) : 0;
    if (length > 0) std::memcpy(field, text, length);
    std::memset(field + length, 0, N - length);
}

template <size_t N>
size_t fixedTextLength(const char (&field)[N]) {
    return strnlen(field, N);
}

template <size_t N>
bool fixedTextEquals(const char (&a)[N], const char (&b)[N]) {
    const size_t length = fixedTextLength(a);
    return length == fixedTextLength(b) && std::memcmp(a, b, length) == 0;
}

// jsonAppendQuoted for a field that may lack its NUL.
template <size_t N>
void jsonAppendFixedText(std::string& out, const char (&field)[N]) {
    char text[N + 1];
    const size_t length = fixedTextLength(field);
    std::memcpy(text, field, length);
    text[length] = '\0';
    jsonAppendQuoted(out, text);
}

}  // namespace kelvo
