#include "manifest_json.h"

#include <cstdlib>
#include <new>
#include <utility>

#include <locale.h>

namespace kelvo {

namespace {

// A host may switch LC_NUMERIC to a locale with a decimal comma; documents
// are always read as in the "C" locale.
double parseDouble(const char* text, char** stop) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (cLocale != static_cast<locale_t>(0)) return strtod_l(text, stop, cLocale);
    return std::strtod(text, stop);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

const JsonValue* JsonValue::find(std::string_view key) const {
    if (tag != Object) return nullptr;
    auto it = map.find(key);
    return it == map.end() ? nullptr : &it->second;
}

std::string JsonValue::str(std::string_view key, std::string_view fallback) const {
    const JsonValue* member = find(key);
    if (member && member->tag == String) return member->text;
    return std::string(fallback);
}

JsonReader::JsonReader(std::string text)
    : text_(std::move(text)), cursor_(text_.c_str()), end_(text_.c_str() + text_.size()) {}

void JsonReader::skipWhitespace() {
    while (cursor_ < end_ &&
           (*cursor_ == ' ' || *cursor_ == '\t' || *cursor_ == '\n' || *cursor_ == '\r'))
        ++cursor_;
}

bool JsonReader::atEnd() {
    skipWhitespace();
    return cursor_ == end_;
}

// Four hex digits at `at`, all inside the text.
bool JsonReader::hexEscape(const char* at, uint32_t& code) const {
    if (end_ - at < 4) return false;
    code = 0;
    for (int i = 0; i < 4; ++i) {
        int digit = hexDigit(at[i]);
        if (digit < 0) return false;
        code = code * 16 + static_cast<uint32_t>(digit);
    }
    return true;
}

bool JsonReader::string(std::string& out) {
    ++cursor_;  // the opening quote
    out.clear();
    if (cursor_ >= end_) return false;
    while (cursor_ < end_) {
        char c = *cursor_++;
        if (c == '"') return true;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (cursor_ >= end_) return false;
        char escaped = *cursor_++;
        switch (escaped) {
            case '"':
            case '\\':
            case '/':
                out += escaped;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                uint32_t code;
                if (!hexEscape(cursor_, code)) return false;
                cursor_ += 4;
                uint32_t low;
                if (code >= 0xD800 && code <= 0xDBFF && end_ - cursor_ >= 6 && cursor_[0] == '\\' &&
                    cursor_[1] == 'u' && hexEscape(cursor_ + 2, low) && low >= 0xDC00 &&
                    low <= 0xDFFF) {
                    code = 0x10000 + (code - 0xD800) * 1024 + (low - 0xDC00);
                    cursor_ += 6;
                }
                appendUtf8(out, code);
                break;
            }
            default:
                return false;
        }
    }
    return false;
}

bool JsonReader::array(JsonValue& out, int depth) {
    ++cursor_;  // "["
    out.tag = JsonValue::Array;
    skipWhitespace();
    if (cursor_ < end_ && *cursor_ == ']') {
        ++cursor_;
        return true;
    }
    for (;;) {
        out.list.emplace_back();
        if (!value(out.list.back(), depth + 1)) return false;
        skipWhitespace();
        if (cursor_ >= end_) return false;
        char separator = *cursor_++;
        if (separator == ']') return true;
        if (separator != ',') return false;
    }
}

bool JsonReader::object(JsonValue& out, int depth) {
    ++cursor_;  // "{"
    out.tag = JsonValue::Object;
    skipWhitespace();
    if (cursor_ < end_ && *cursor_ == '}') {
        ++cursor_;
        return true;
    }
    std::string key;
    for (;;) {
        skipWhitespace();
        if (cursor_ >= end_ || *cursor_ != '"' || !string(key)) return false;
        skipWhitespace();
        if (cursor_ >= end_ || *cursor_ != ':') return false;
        ++cursor_;
        JsonValue member;
        if (!value(member, depth + 1)) return false;
        out.map.insert_or_assign(key, std::move(member));
        skipWhitespace();
        if (cursor_ >= end_) return false;
        char separator = *cursor_++;
        if (separator == '}') return true;
        if (separator != ',') return false;
    }
}

// The byte after a literal is not examined: "truex" reads as true, and the
// caller's separator check then fails on the "x".
bool JsonReader::literal(JsonValue& out) {
    size_t left = static_cast<size_t>(end_ - cursor_);
    if (left >= 4 && std::string_view(cursor_, 4) == "true") {
        out.tag = JsonValue::Boolean;
        out.flag = true;
        cursor_ += 4;
        return true;
    }
    if (left >= 5 && std::string_view(cursor_, 5) == "false") {
        out.tag = JsonValue::Boolean;
        out.flag = false;
        cursor_ += 5;
        return true;
    }
    if (left >= 4 && std::string_view(cursor_, 4) == "null") {
        out.tag = JsonValue::Null;
        cursor_ += 4;
        return true;
    }
    return false;
}

// Whatever strtod accepts is a number (inf, nan and hexadecimal forms
// included); the NUL after the copy stops it at the end of the text.
bool JsonReader::number(JsonValue& out) {
    char* stop = nullptr;
    double parsed = parseDouble(cursor_, &stop);
    if (stop == cursor_ || stop > end_) return false;
    out.tag = JsonValue::Number;
    out.number = parsed;
    cursor_ = stop;
    return true;
}

bool JsonReader::value(JsonValue& out, int depth) {
    if (depth > JSON_DOCUMENT_MAX_DEPTH) return false;
    skipWhitespace();
    if (cursor_ >= end_) return false;
    switch (*cursor_) {
        case '"':
            out.tag = JsonValue::String;
            return string(out.text);
        case '[':
            return array(out, depth);
        case '{':
            return object(out, depth);
        default:
            return literal(out) || number(out);
    }
}

bool parseJsonDocument(std::string_view bytes, JsonValue& out) {
    out = JsonValue{};
    try {
        JsonReader reader{std::string(bytes)};
        if (reader.value(out, 0) && reader.atEnd()) return true;
    } catch (const std::bad_alloc&) {
    }
    out = JsonValue{};
    return false;
}

bool parseJsonDocument(const std::vector<uint8_t>& bytes, JsonValue& out) {
    return parseJsonDocument(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), out);
}

}  // namespace kelvo
