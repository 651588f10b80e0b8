// The tree reader for sound pack manifests and instrument documents. Unlike
// the streaming Reader of state/json it keeps every value, because the loader
// looks members up by name in any order, and it is strict about strings:
// escapes must be valid and \u escapes are decoded to UTF-8.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kelvo {

// A value of any kind owning its children. Every slot exists whatever the
// tag; only the one the tag names is meaningful.
struct JsonValue {
    enum Tag : uint8_t { Null = 0, Boolean = 1, Number = 2, String = 3, Array = 4, Object = 5 };

    Tag tag = Null;
    bool flag = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> list;
    // Ordered by byte-wise key comparison; a repeated key keeps its last value.
    std::map<std::string, JsonValue, std::less<>> map;

    bool isNull() const { return tag == Null; }
    bool isBoolean() const { return tag == Boolean; }
    bool isNumber() const { return tag == Number; }
    bool isString() const { return tag == String; }
    bool isArray() const { return tag == Array; }
    bool isObject() const { return tag == Object; }

    // The member with exactly this key of an object; null for a missing key
    // and for every other kind of value.
    const JsonValue* find(std::string_view key) const;
    // The member's text when it exists and is a string, else `fallback`.
    std::string str(std::string_view key, std::string_view fallback = {}) const;
};

// Deepest nesting a document may use; the top-level value is depth 0.
inline constexpr int JSON_DOCUMENT_MAX_DEPTH = 32;

// A cursor over a private NUL-terminated copy of a document.
class JsonReader {
  public:
    explicit JsonReader(std::string text);

    // One value of any kind at `depth`; false on any syntax error or when
    // nesting goes deeper than JSON_DOCUMENT_MAX_DEPTH.
    bool value(JsonValue& out, int depth);
    // One string; the cursor must be at its opening double quote.
    bool string(std::string& out);
    // True when only whitespace is left.
    bool atEnd();

  private:
    void skipWhitespace();
    bool hexEscape(const char* at, uint32_t& code) const;
    bool array(JsonValue& out, int depth);
    bool object(JsonValue& out, int depth);
    bool literal(JsonValue& out);
    bool number(JsonValue& out);

    std::string text_;
    const char* cursor_;
    const char* end_;
};

// Reads one value of any kind followed only by whitespace. False, with `out`
// reset to null, on any error; never throws but std::bad_alloc.
bool parseJsonDocument(const std::vector<uint8_t>& bytes, JsonValue& out);
bool parseJsonDocument(std::string_view bytes, JsonValue& out);

}  // namespace kelvo
