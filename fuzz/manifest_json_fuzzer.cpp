// The sound pack manifest reader on arbitrary bytes: no crash, no overread,
// no runaway recursion, and every document it accepts writes back to a text
// that reads to the same tree (compared as written again).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "json_writer.h"
#include "manifest_json.h"

namespace {

using kelvo::JsonValue;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

// Strings go through the escaping writer, so the escapes are read back too.
void write(std::string& out, const JsonValue& value) {
    const char open = value.isArray() ? '[' : '{';
    switch (value.tag) {
        case JsonValue::Null:
            return void(out += "null");
        case JsonValue::Boolean:
            return kelvo::jsonAppendBool(out, value.flag);
        case JsonValue::Number:
            return kelvo::jsonAppendNumber(out, value.number);  // "null" when not finite
        case JsonValue::String:
            return kelvo::jsonAppendQuotedEscaped(out, value.text);
        case JsonValue::Array:
        case JsonValue::Object:
            out += open;
            for (const JsonValue& item : value.list) {
                if (&item != &value.list.front()) out += ',';
                write(out, item);
            }
            for (const auto& [key, member] : value.map) {
                if (&key != &value.map.begin()->first) out += ',';
                kelvo::jsonAppendQuotedEscaped(out, key);
                out += ':';
                write(out, member);
            }
            out += open + 2;  // ']' or '}'
    }
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

    std::string written, again;
    write(written, value);
    JsonValue reread;
    check(kelvo::parseJsonDocument(written, reread));
    write(again, reread);
    check(again == written);
    return 0;
}
