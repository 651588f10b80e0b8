// Per-pad adjustments of a loaded sound bank (tuning, level, window,
// envelope, filter, groups, velocity response) and their JSON map text:
// {"<pad id>":{"gain":0.5,...},...}. The same map travels from the editor,
// to the processor and inside the state document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "json_reader.h"

namespace kelvo {

inline constexpr size_t SAMPLER_PAD_OVERRIDES_MAX = 256;
inline constexpr size_t SAMPLER_PAD_ID_MAX_BYTES = 160;
inline constexpr size_t SAMPLER_PAD_FIELD_COUNT = 15;

// One flag per field, in field order.
enum SamplerPadField : uint32_t {
    PAD_TRANSPOSE = 1u << 0,
    PAD_FINE_TUNE = 1u << 1,
    PAD_GAIN = 1u << 2,
    PAD_PAN = 1u << 3,
    PAD_START = 1u << 4,
    PAD_END = 1u << 5,
    PAD_ATTACK = 1u << 6,
    PAD_RELEASE = 1u << 7,
    PAD_FILTER_HZ = 1u << 8,
    PAD_RESONANCE = 1u << 9,
    PAD_REVERSE = 1u << 10,
    PAD_MUTED = 1u << 11,
    PAD_CHOKE_GROUP = 1u << 12,
    PAD_ROUND_ROBIN_GROUP = 1u << 13,
    PAD_VELOCITY_SENSITIVITY = 1u << 14,
};

// Only fields whose flag is set in `mask` are overrides; the others hold
// their defaults and are ignored. Booleans and group numbers are doubles
// like every other field.
struct SamplerPadOverride {
    std::string pad;
    uint32_t mask = 0;
    double transpose = 0.0;  // semitones, -24..24, whole
    double fineTune = 0.0;   // cents, -100..100
    double gain = 1.0;       // 0..4
    double pan = 0.0;        // -1..1
    double start = 0.0;      // 0..1 of the sample
    double end = 1.0;        // 0..1 of the sample
    double attack = 0.0;     // seconds, 0..2
    double release = 0.025;  // seconds, 0.001..4
    double filterHz = 20000.0;
    double resonance = 0.7;
    double reverse = 0.0;  // exactly 0 or 1
    double muted = 0.0;    // exactly 0 or 1
    double chokeGroup = 0.0;
    double roundRobinGroup = 0.0;
    double velocitySensitivity = 1.0;

    friend bool operator==(const SamplerPadOverride&, const SamplerPadOverride&) = default;
};

// Ordered, at most SAMPLER_PAD_OVERRIDES_MAX entries, pad ids unique.
using SamplerPadOverrides = std::vector<SamplerPadOverride>;

// The JSON key of field i (0..14, flag 1 << i) and its value; "" and 0 for
// any other index.
const char* samplerPadFieldKey(size_t field);
double samplerPadFieldValue(const SamplerPadOverride& entry, size_t field);
// Whether `value` is an acceptable value of field i: finite, in range, and
// whole (or exactly 0 or 1) where the field asks for it.
bool samplerPadFieldAccepts(size_t field, double value);

// Appends the map; entries with an empty pad id or a mask of 0 are left out.
void writeSamplerPadOverridesJson(std::string& out, const SamplerPadOverrides& overrides);
// A standalone map document. On success `overrides` is replaced by what the
// text holds; on failure it is left as it was.
bool parseSamplerPadOverridesJson(const char* text, size_t length, SamplerPadOverrides& overrides);
// The map value at the reader's position: each usable member replaces the
// entry with the same pad id in place or is appended while there is room.
// A map of 257 members or more empties the list (the read still succeeds).
// Only std::bad_alloc can escape.
bool parsePadOverrideMap(Reader& reader, SamplerPadOverrides& overrides);

}  // namespace kelvo
