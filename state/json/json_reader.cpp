#include "json_reader.h"

#include <clocale>
#include <cstdlib>
#include <cstring>

#include <locale.h>

namespace kelvo {
namespace {

bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool consume(Reader& reader, char expected) {
    if (reader.cursor >= reader.end || *reader.cursor != expected) return false;
    ++reader.cursor;
    return true;
}

// A host may switch LC_NUMERIC to a locale with a decimal comma; documents
// are always read as in the "C" locale.
double convertNumber(const char* text, char** stop) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (cLocale != static_cast<locale_t>(0)) return strtod_l(text, stop, cLocale);
    return std::strtod(text, stop);
}

char unescape(char c) {
    switch (c) {
        case 'b':
            return '\b';
        case 'f':
            return '\f';
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        case 't':
            return '\t';
        default:
            return c;
    }
}

}  // namespace

void skipWhitespace(Reader& reader) {
    while (reader.cursor < reader.end && isWhitespace(*reader.cursor))
        ++reader.cursor;
}

char peek(Reader& reader) {
    skipWhitespace(reader);
    return reader.cursor < reader.end ? *reader.cursor : '\0';
}

bool parseString(Reader& reader, std::string* out) {
    skipWhitespace(reader);
    if (!consume(reader, '"')) return false;
    if (out) out->clear();
    while (reader.cursor < reader.end) {
        // Copy the run up to the next quote or backslash in one go.
        const char* run = reader.cursor;
        while (reader.cursor < reader.end && *reader.cursor != '"' && *reader.cursor != '\\')
            ++reader.cursor;
        if (out) out->append(run, reader.cursor);
        if (reader.cursor >= reader.end) break;
        if (*reader.cursor++ == '"') return true;
        if (reader.cursor >= reader.end) break;
        char escaped = *reader.cursor++;
        if (escaped == 'u') {
            // No code point decoding: the escape and up to four bytes after
            // it, whatever they are, stand for one '?'.
            for (int i = 0; i < 4 && reader.cursor < reader.end; ++i)
                ++reader.cursor;
            escaped = '?';
        } else {
            escaped = unescape(escaped);
        }
        if (out) out->push_back(escaped);
    }
    return false;
}

bool parseNumber(Reader& reader, double* out) {
    skipWhitespace(reader);
    // The NUL at `end` stops the conversion; a stop beyond `end` can only
    // mean the reader was given a window whose end is not NUL-terminated.
    char* stop = nullptr;
    double value = convertNumber(reader.cursor, &stop);
    if (stop == reader.cursor || stop > reader.end) return false;
    reader.cursor = stop;
    if (out) *out = value;
    return true;
}

bool matchLiteral(Reader& reader, std::string_view literal) {
    skipWhitespace(reader);
    if (static_cast<size_t>(reader.end - reader.cursor) < literal.size()) return false;
    if (std::memcmp(reader.cursor, literal.data(), literal.size()) != 0) return false;
    reader.cursor += literal.size();
    return true;
}

bool skipValue(Reader& reader, int depth) {
    skipWhitespace(reader);
    if (depth > JSON_MAX_SKIP_DEPTH || reader.cursor >= reader.end) return false;
    switch (*reader.cursor) {
        case '"':
            return parseString(reader);
        case '[':
            return readArray(reader, [depth](Reader& r) { return skipValue(r, depth + 1); });
        case '{':
            return readObject(
                reader, [depth](Reader& r, std::string_view) { return skipValue(r, depth + 1); });
        default:
            break;
    }
    if (matchLiteral(reader, "true") || matchLiteral(reader, "false") ||
        matchLiteral(reader, "null"))
        return true;
    // Anything else must be a number, so "nan" and "inf" are skipped as such.
    return parseNumber(reader);
}

bool atDocumentEnd(Reader& reader) {
    skipWhitespace(reader);
    return reader.cursor == reader.end;
}

bool readObjectWith(Reader& reader, JsonMemberCallback member, void* context) {
    skipWhitespace(reader);
    if (!consume(reader, '{')) return false;
    skipWhitespace(reader);
    if (consume(reader, '}')) return true;
    std::string key;
    for (;;) {
        if (!parseString(reader, &key)) return false;
        skipWhitespace(reader);
        if (!consume(reader, ':')) return false;
        skipWhitespace(reader);
        const char* value = reader.cursor;
        // A value is never empty: a callback that consumed nothing would let
        // "{"a":}" through.
        if (!member(context, reader, key) || reader.cursor == value) return false;
        skipWhitespace(reader);
        // After "," another member must follow, so a trailing comma fails
        // at the key.
        if (consume(reader, ',')) continue;
        return consume(reader, '}');
    }
}

bool readArrayWith(Reader& reader, JsonElementCallback element, void* context) {
    skipWhitespace(reader);
    if (!consume(reader, '[')) return false;
    skipWhitespace(reader);
    if (consume(reader, ']')) return true;
    for (;;) {
        skipWhitespace(reader);
        const char* value = reader.cursor;
        if (!element(context, reader) || reader.cursor == value) return false;
        skipWhitespace(reader);
        if (consume(reader, ',')) continue;
        return consume(reader, ']');
    }
}

}  // namespace kelvo
