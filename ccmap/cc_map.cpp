#include "cc_map.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <new>
#include <string_view>

#include "json_writer.h"
#include "kelvo_params.h"
#include "name_table.h"

namespace kelvo {
namespace {

constexpr const char* CURVE_NAMES[] = {nullptr, "exp", "log", "s-curve"};
static_assert(std::size(CURVE_NAMES) == CC_CURVE_S + 1);
constexpr const char* VALUE_MODE_NAMES[] = {
    nullptr, "relative-signed-bit", "relative-binary-offset", "relative-twos-complement", "toggle"};
static_assert(std::size(VALUE_MODE_NAMES) == CC_VALUE_TOGGLE + 1);
constexpr const char* TAKEOVER_NAMES[] = {nullptr, "pickup", "scaled"};
static_assert(std::size(TAKEOVER_NAMES) == CC_TAKEOVER_SCALED + 1);

// The code of a shaping name; 0, the default, which has no name, for any
// other text.
template <size_t N>
uint8_t shapingCode(const char* const (&names)[N], std::string_view text) {
    return static_cast<uint8_t>(nameIndex(names, text).value_or(0));
}

// floor(x + 0.5) clamped to lo..hi; x is finite.
uint8_t roundClamped(double x, int lo, int hi) {
    return static_cast<uint8_t>(
        std::clamp(std::floor(x + 0.5), static_cast<double>(lo), static_cast<double>(hi)));
}

bool readBindings(Reader& reader, CcMap& map) {
    return readArray(reader, [&map](Reader& r) { return parseCcBinding(r, map); });
}

}  // namespace

bool operator==(const CcMap& a, const CcMap& b) {
    if (a.count != b.count) return false;
    uint32_t count = std::min(a.count, CC_MAP_CAPACITY);
    return std::equal(a.bindings, a.bindings + count, b.bindings);
}

bool parseCcBinding(Reader& reader, CcMap& map) {
    if (peek(reader) != '{') return skipValue(reader, 1);
    CcBinding binding;
    bool hasTarget = false;
    bool hasCc = false;
    std::string text;
    bool ok = readObject(reader, [&](Reader& r, std::string_view key) {
        if (key == "cc" || key == "channel" || key == "min" || key == "max") {
            double x = 0.0;
            if (!parseNumber(r, &x)) return skipValue(r, 1);
            // A non-finite number has no JSON form (it would be written as
            // null and read back as absent) and no meaningful controller,
            // channel or range end.
            if (!std::isfinite(x)) return true;
            if (key == "cc") {
                binding.cc = roundClamped(x, 0, 127);
                hasCc = true;
            } else if (key == "channel") {
                binding.channel = roundClamped(x, 1, 16);
            } else {
                (key == "min" ? binding.min : binding.max) = x;
                (key == "min" ? binding.hasMin : binding.hasMax) = true;
            }
            return true;
        }
        if (key == "path" || key == "curve" || key == "valueMode" || key == "takeover") {
            if (peek(r) != '"') return skipValue(r, 1);
            if (!parseString(r, &text)) return false;
            if (key == "path") {
                int id = paramIndexForPath(text);
                hasTarget = id >= 0;
                if (hasTarget) binding.paramId = static_cast<uint32_t>(id);
            } else if (key == "curve") {
                binding.curve = shapingCode(CURVE_NAMES, text);
            } else if (key == "valueMode") {
                binding.valueMode = shapingCode(VALUE_MODE_NAMES, text);
            } else {
                binding.takeover = shapingCode(TAKEOVER_NAMES, text);
            }
            return true;
        }
        if (key == "enabled") {
            if (matchLiteral(r, "true")) {
                binding.enabled = true;
                return true;
            }
            if (matchLiteral(r, "false")) {
                binding.enabled = false;
                return true;
            }
        }
        return skipValue(r, 1);
    });
    if (!ok) return false;
    if (hasTarget && hasCc && map.count < CC_MAP_CAPACITY) map.bindings[map.count++] = binding;
    return true;
}

bool parseCcMapValue(Reader& reader, CcMap& map, bool& valid) {
    map = CcMap{};
    valid = false;
    switch (peek(reader)) {
        case '[':
            valid = true;
            return readBindings(reader, map);
        case '{':
            // Every "bindings" array is read, in order, into the one map.
            return readObject(reader, [&](Reader& r, std::string_view key) {
                if (key != "bindings" || peek(r) != '[') return skipValue(r, 1);
                valid = true;
                return readBindings(r, map);
            });
        default:
            return skipValue(reader, 1);
    }
}

bool parseCcMapJson(const char* text, size_t length, CcMap& map) {
    if (!text && length) return false;
    try {
        // The reader needs a NUL after the last byte; host and page buffers
        // carry none.
        std::string owned(text ? text : "", length);
        Reader reader{owned.data(), owned.data() + owned.size()};
        char first = peek(reader);
        if (first != '{' && first != '[') return false;
        bool valid = false;
        return parseCcMapValue(reader, map, valid) && atDocumentEnd(reader);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void writeCcMapJson(std::string& out, const CcMap& map) {
    out += "{\"version\":1,\"bindings\":[";
    bool first = true;
    uint32_t count = std::min(map.count, CC_MAP_CAPACITY);
    for (uint32_t i = 0; i < count; ++i) {
        const CcBinding& binding = map.bindings[i];
        if (binding.paramId >= KELVO_PARAM_COUNT) continue;
        if (!first) out += ',';
        first = false;
        out += '{';
        JsonMembers members(out);
        jsonAppendNumber(members.next("cc"), binding.cc);
        jsonAppendQuoted(members.next("path"), KELVO_PARAMS[binding.paramId].path);
        if (binding.channel != 0) jsonAppendNumber(members.next("channel"), binding.channel);
        if (binding.hasMin) jsonAppendNumber(members.next("min"), binding.min);
        if (binding.hasMax) jsonAppendNumber(members.next("max"), binding.max);
        if (const char* name = nameAt(CURVE_NAMES, binding.curve, nullptr))
            jsonAppendQuoted(members.next("curve"), name);
        if (const char* name = nameAt(VALUE_MODE_NAMES, binding.valueMode, nullptr))
            jsonAppendQuoted(members.next("valueMode"), name);
        if (const char* name = nameAt(TAKEOVER_NAMES, binding.takeover, nullptr))
            jsonAppendQuoted(members.next("takeover"), name);
        if (!binding.enabled) jsonAppendBool(members.next("enabled"), false);
        out += '}';
    }
    out += "]}";
}

void writeCcMapChangedJson(std::string& out, const CcMap& map) {
    out += "{\"type\":\"kelvo.ccMapChanged\",\"map\":";
    writeCcMapJson(out, map);
    out += '}';
}

}  // namespace kelvo
