// The streaming reader behind every small JSON document the system reads
// (state document, pad overrides, CC map, bridge messages). It walks the
// bytes once and never builds a tree; document readers are written as
// callbacks over readObject / readArray, which own the separator rules.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace kelvo {

// A position in text the Reader does not own. The byte at `end` must be a
// NUL (as in a std::string): the number recogniser relies on it to stop.
struct Reader {
    const char* cursor;
    const char* end;
};

// Deepest nesting skipValue accepts; the top-level object is depth 0.
constexpr int JSON_MAX_SKIP_DEPTH = 32;

// The primitives return true on success with `cursor` after what they
// consumed; after a false the caller abandons the document. Nothing throws
// but std::bad_alloc from growing a returned string or a key.

// Skips space, tab, line feed and carriage return.
void skipWhitespace(Reader& reader);
// Skips whitespace and returns the next byte without consuming it, or NUL at
// the end. Lets a reader branch on the kind of value that follows.
char peek(Reader& reader);
// One string value after whitespace; `out` (replaced) may be null to skip.
// When the next byte is not a double quote nothing is consumed but the
// whitespace.
bool parseString(Reader& reader, std::string* out = nullptr);
// Whether a decoded string keeps all of its bytes as a C string. Texts end
// up in C strings and fixed-size fields, which a NUL byte would cut short:
// a string holding one is invalid for whatever field it was read for.
inline bool isCText(std::string_view text) {
    return text.find('\0') == std::string_view::npos;
}
// One number after whitespace, with exactly the acceptance of strtod in the
// "C" locale (leading "+", leading zeros, inf, nan and hexadecimal forms
// included). On failure the cursor stays at the value, so a caller may fall
// back to skipValue.
bool parseNumber(Reader& reader, double* out = nullptr);
// After whitespace, consumes `literal` ("true", "false", "null") when the
// next bytes spell it and returns true; otherwise consumes nothing. The byte
// after the literal is left to the caller's separator check.
bool matchLiteral(Reader& reader, std::string_view literal);
// Any one value after whitespace, discarded. Fails above JSON_MAX_SKIP_DEPTH;
// nested values are skipped at depth + 1.
bool skipValue(Reader& reader, int depth);
// True when only whitespace is left: the check after a top-level value.
bool atDocumentEnd(Reader& reader);

// The non-template cores of readObject and readArray below.
using JsonMemberCallback = bool (*)(void* context, Reader& reader, std::string_view key);
using JsonElementCallback = bool (*)(void* context, Reader& reader);

bool readObjectWith(Reader& reader, JsonMemberCallback member, void* context);
bool readArrayWith(Reader& reader, JsonElementCallback element, void* context);

// Reads one object: whitespace, "{", then "}" or members separated by ","
// and closed by "}". For each member `onMember(reader, key)` is called with
// the cursor at its value and must consume exactly that value, returning
// false to fail the read. Keys are delivered in document order, repeats
// included. A callback that consumes nothing, or leaves part of its value,
// fails the read.
template <typename OnMember>
bool readObject(Reader& reader, OnMember&& onMember) {
    using Fn = std::remove_reference_t<OnMember>;
    return readObjectWith(
        reader,
        [](void* context, Reader& r, std::string_view key) -> bool {
            return (*static_cast<Fn*>(context))(r, key);
        },
        const_cast<void*>(static_cast<const void*>(std::addressof(onMember))));
}

// Reads one array: whitespace, "[", then "]" or elements separated by ","
// and closed by "]". `onElement(reader)` must consume exactly one value,
// with the same checks as readObject's callback.
template <typename OnElement>
bool readArray(Reader& reader, OnElement&& onElement) {
    using Fn = std::remove_reference_t<OnElement>;
    return readArrayWith(
        reader, [](void* context, Reader& r) -> bool { return (*static_cast<Fn*>(context))(r); },
        const_cast<void*>(static_cast<const void*>(std::addressof(onElement))));
}

}  // namespace kelvo
