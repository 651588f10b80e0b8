// The MIDI CC binding map: which controller numbers drive which parameters,
// with their shaping (curve, range, value mode, takeover), and its JSON text
// both ways. The map is a fixed-size plain value so that it can be copied
// whole between threads and into state records without allocating.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "json_reader.h"

namespace kelvo {

inline constexpr uint32_t CC_MAP_CAPACITY = 64;

enum CcCurve : uint8_t {
    CC_CURVE_LINEAR = 0,
    CC_CURVE_EXP = 1,
    CC_CURVE_LOG = 2,
    CC_CURVE_S = 3,
};

enum CcValueMode : uint8_t {
    CC_VALUE_ABSOLUTE = 0,
    CC_VALUE_RELATIVE_SIGNED_BIT = 1,
    CC_VALUE_RELATIVE_BINARY_OFFSET = 2,
    CC_VALUE_RELATIVE_TWOS_COMPLEMENT = 3,
    CC_VALUE_TOGGLE = 4,
};

enum CcTakeover : uint8_t {
    CC_TAKEOVER_IMMEDIATE = 0,
    CC_TAKEOVER_PICKUP = 1,
    CC_TAKEOVER_SCALED = 2,
};

struct CcBinding {
    uint32_t paramId = 0;  // target parameter id, 0..17
    uint8_t cc = 0;        // controller number 0..127
    uint8_t channel = 0;   // 0 = any channel, else MIDI channel 1..16
    uint8_t curve = CC_CURVE_LINEAR;
    uint8_t valueMode = CC_VALUE_ABSOLUTE;
    uint8_t takeover = CC_TAKEOVER_IMMEDIATE;
    bool enabled = true;  // a disabled binding is kept but never matches
    bool hasMin = false;
    bool hasMax = false;
    double min = 0.0;  // range ends in plain units of the target
    double max = 0.0;

    friend bool operator==(const CcBinding&, const CcBinding&) = default;
};

// Bindings 0..count-1 are in use, in document order; the other slots keep
// their defaults.
struct CcMap {
    uint32_t count = 0;
    CcBinding bindings[CC_MAP_CAPACITY] = {};
};

// Compares the bindings in use only.
bool operator==(const CcMap& a, const CcMap& b);

// A whole text holding one CC map value (an object or an array) and nothing
// but whitespace after it. True whenever the text is well formed, even when
// it holds no "bindings" array; `map` is then an empty map.
bool parseCcMapJson(const char* text, size_t length, CcMap& map);
// One CC map value at the reader's position (inside a state document or a
// bridge message). Empties `map` first; `valid` tells whether the value was
// an array or an object with a "bindings" array. Any other value is skipped
// and counts as success with `valid` false. Like the other Reader-level
// readers, only std::bad_alloc can escape; the whole-text readers return
// false instead.
bool parseCcMapValue(Reader& reader, CcMap& map, bool& valid);
// One binding value; appended to `map` only when it names a known parameter
// and a controller number and the map has room.
bool parseCcBinding(Reader& reader, CcMap& map);

// {"version":1,"bindings":[...]}, members other than "cc" and "path" only
// when they differ from their defaults. Bindings with an unknown target are
// left out.
void writeCcMapJson(std::string& out, const CcMap& map);
// {"type":"kelvo.ccMapChanged","map":<the map document>}
void writeCcMapChangedJson(std::string& out, const CcMap& map);

}  // namespace kelvo
