#include "cc_map.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string_view>

#include "json_writer.h"
#include "kelvo_params.h"

namespace kelvo {
namespace {

const char* const CURVE_NAMES[] = {nullptr, "exp", "log", "s-curve"};
const char* const VALUE_MODE_NAMES[] = {nullptr, "relative-signed-bit", "relative-binary-offset",
                                        "relative-twos-complement", "toggle"};
const char* const TAKEOVER_NAMES[] = {nullptr, "pickup", "scaled"};

// Index of `text` among the names, 0 (the default) for any other text.
template <size_t N>
uint8_t nameIndex(const char* const (&names)[N], std::string_view text) {
    for (size_t i = 1; i < N; ++i)
        if (text == names[i]) return uint8_t(i);
    return 0;
}

template <size_t N>
const char* nameOf(const char* const (&names)[N], uint8_t index) {
    return index < N ? names[index] : nullptr;
}

// floor(x + 0.5) clamped to lo..hi; x is finite.
uint8_t roundClamped(double x, int lo, int hi) {
    return uint8_t(std::clamp(std::floor(x + 0.5), double(lo), double(hi)));
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
                if (hasTarget) binding.paramId = uint32_t(id);
            } else if (key == "curve") {
                binding.curve = nameIndex(CURVE_NAMES, text);
            } else if (key == "valueMode") {
                binding.valueMode = nameIndex(VALUE_MODE_NAMES, text);
            } else {
                binding.takeover = nameIndex(TAKEOVER_NAMES, text);
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
        out += "{\"cc\":";
        jsonAppendNumber(out, binding.cc);
        out += ",\"path\":";
        jsonAppendQuoted(out, KELVO_PARAMS[binding.paramId].path);
        if (binding.channel != 0) {
            out += ",\"channel\":";
            jsonAppendNumber(out, binding.channel);
        }
        if (binding.hasMin) {
            out += ",\"min\":";
            jsonAppendNumber(out, binding.min);
        }
        if (binding.hasMax) {
            out += ",\"max\":";
            jsonAppendNumber(out, binding.max);
        }
        if (const char* name = nameOf(CURVE_NAMES, binding.curve)) {
            out += ",\"curve\":";
            jsonAppendQuoted(out, name);
        }
        if (const char* name = nameOf(VALUE_MODE_NAMES, binding.valueMode)) {
            out += ",\"valueMode\":";
            jsonAppendQuoted(out, name);
        }
        if (const char* name = nameOf(TAKEOVER_NAMES, binding.takeover)) {
            out += ",\"takeover\":";
            jsonAppendQuoted(out, name);
        }
        if (!binding.enabled) out += ",\"enabled\":false";
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
