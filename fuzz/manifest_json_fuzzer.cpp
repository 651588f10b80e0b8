// The sound pack manifest reader on arbitrary bytes: no crash, no overread,
// no runaway recursion, and every document it accepts writes back to a text
// that reads to the same tree.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "manifest_json.h"

namespace {

using kelvo::JsonValue;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

void writeString(std::string& out, const std::string& text) {
    out += '"';
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
}

void write(std::string& out, const JsonValue& value) {
    switch (value.tag) {
        case JsonValue::Null:
            out += "null";
            break;
        case JsonValue::Boolean:
            out += value.flag ? "true" : "false";
            break;
        case JsonValue::Number: {
            char text[64];
            std::snprintf(text, sizeof text, "%.17g", value.number);
            out += text;
            break;
        }
        case JsonValue::String:
            writeString(out, value.text);
            break;
        case JsonValue::Array:
            out += '[';
            for (size_t i = 0; i < value.list.size(); ++i) {
                if (i) out += ',';
                write(out, value.list[i]);
            }
            out += ']';
            break;
        case JsonValue::Object: {
            out += '{';
            bool first = true;
            for (const auto& [key, member] : value.map) {
                if (!first) out += ',';
                first = false;
                writeString(out, key);
                out += ':';
                write(out, member);
            }
            out += '}';
            break;
        }
    }
}

bool same(const JsonValue& a, const JsonValue& b) {
    if (a.tag != b.tag) return false;
    switch (a.tag) {
        case JsonValue::Null:
            return true;
        case JsonValue::Boolean:
            return a.flag == b.flag;
        case JsonValue::Number:
            return std::isnan(a.number) ? std::isnan(b.number) : a.number == b.number;
        case JsonValue::String:
            return a.text == b.text;
        case JsonValue::Array:
            if (a.list.size() != b.list.size()) return false;
            for (size_t i = 0; i < a.list.size(); ++i)
                if (!same(a.list[i], b.list[i])) return false;
            return true;
        case JsonValue::Object: {
            if (a.map.size() != b.map.size()) return false;
            for (auto x = a.map.begin(), y = b.map.begin(); x != a.map.end(); ++x, ++y)
                if (x->first != y->first || !same(x->second, y->second)) return false;
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    JsonValue value;
    if (!kelvo::parseJsonDocument(text, value)) {
        check(value.isNull());
        return 0;
    }
    // Lookups never fail on any kind of value.
    (void)value.find("id");
    (void)value.str("format", "x");

    std::string written;
    write(written, value);
    JsonValue again;
    check(kelvo::parseJsonDocument(written, again));
    check(same(value, again));
    return 0;
}
