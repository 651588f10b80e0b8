// The fixed tables of the drum kit: the ten pieces with their trigger notes,
// choke groups and levels, and the kernel's view of the 18 parameters.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kelvo::kernel {

inline constexpr int DRUM_PIECE_COUNT = 10;
inline constexpr int DRUM_PARAM_COUNT = 18;

inline constexpr int DRUM_PIECE_KICK = 0;
inline constexpr int DRUM_PIECE_SNARE = 1;
inline constexpr int DRUM_PIECE_RIM = 2;
inline constexpr int DRUM_PIECE_CLAP = 3;
inline constexpr int DRUM_PIECE_TOM_LOW = 4;
inline constexpr int DRUM_PIECE_TOM_MID = 5;
inline constexpr int DRUM_PIECE_HAT_CLOSED = 6;
inline constexpr int DRUM_PIECE_HAT_OPEN = 7;
inline constexpr int DRUM_PIECE_CYMBAL = 8;
inline constexpr int DRUM_PIECE_COWBELL = 9;

// The tables below take their length from their entries, so a missing or
// extra entry fails the static_asserts instead of reading as a zero.
inline constexpr auto PIECE_LABEL =
    std::to_array<std::string_view>({"kick", "snare", "rim", "clap", "tomLow", "tomMid",
                                     "hatClosed", "hatOpen", "cymbal", "cowbell"});
inline constexpr auto PIECE_NOTE = std::to_array<int32_t>({36, 38, 40, 39, 41, 45, 42, 46, 49, 56});
// -1: no choke group; the two hi-hats share group 0.
inline constexpr auto PIECE_CHOKE_GROUP =
    std::to_array<int32_t>({-1, -1, -1, -1, -1, -1, 0, 0, -1, -1});
inline constexpr auto PIECE_LEVEL =
    std::to_array<double>({1.0, 0.82, 0.6, 0.68, 0.78, 0.74, 0.5, 0.5, 0.46, 0.44});
static_assert(DRUM_PIECE_COWBELL == DRUM_PIECE_COUNT - 1);
static_assert(PIECE_LABEL.size() == DRUM_PIECE_COUNT && PIECE_NOTE.size() == DRUM_PIECE_COUNT &&
              PIECE_CHOKE_GROUP.size() == DRUM_PIECE_COUNT &&
              PIECE_LEVEL.size() == DRUM_PIECE_COUNT);

inline constexpr int DRUM_PARAM_KICK_TUNE = 0;
inline constexpr int DRUM_PARAM_KICK_DECAY = 1;
inline constexpr int DRUM_PARAM_KICK_CLICK = 2;
inline constexpr int DRUM_PARAM_SNARE_TUNE = 3;
inline constexpr int DRUM_PARAM_SNARE_DECAY = 4;
inline constexpr int DRUM_PARAM_SNARE_SNAP = 5;
inline constexpr int DRUM_PARAM_TOM_TUNE = 6;
inline constexpr int DRUM_PARAM_TOM_DECAY = 7;
inline constexpr int DRUM_PARAM_HAT_CLOSED_DECAY = 8;
inline constexpr int DRUM_PARAM_HAT_OPEN_DECAY = 9;
inline constexpr int DRUM_PARAM_HAT_METAL = 10;
inline constexpr int DRUM_PARAM_CYMBAL_DECAY = 11;
inline constexpr int DRUM_PARAM_CLAP_DECAY = 12;
inline constexpr int DRUM_PARAM_KIT_TONE = 13;
inline constexpr int DRUM_PARAM_PATTERN_ON = 14;
inline constexpr int DRUM_PARAM_PATTERN_TEMPO = 15;
inline constexpr int DRUM_PARAM_PATTERN_BANK = 16;
inline constexpr int DRUM_PARAM_MASTER_LEVEL = 17;

inline constexpr auto DRUM_PARAM_NAMES = std::to_array<std::string_view>(
    {"kick.tune", "kick.decay", "kick.click", "snare.tune", "snare.decay", "snare.snap", "tom.tune",
     "tom.decay", "hat.closedDecay", "hat.openDecay", "hat.metal", "cymbal.decay", "clap.decay",
     "kit.tone", "pattern.on", "pattern.tempo", "pattern.bank", "master.level"});

inline constexpr auto DRUM_PARAM_INITIAL = std::to_array<double>(
    {52, 0.42, 0.35, 190, 0.19, 0.55, 110, 0.42, 0.055, 0.42, 0.6, 1.6, 0.24, 0.5, 0, 96, 0, 0.8});
static_assert(DRUM_PARAM_MASTER_LEVEL == DRUM_PARAM_COUNT - 1);
static_assert(DRUM_PARAM_NAMES.size() == DRUM_PARAM_COUNT &&
              DRUM_PARAM_INITIAL.size() == DRUM_PARAM_COUNT);

// Looking a name up returns the first match, so every name must be distinct.
constexpr bool drumParamNamesDistinct() {
    for (size_t i = 0; i < DRUM_PARAM_NAMES.size(); ++i)
        for (size_t j = i + 1; j < DRUM_PARAM_NAMES.size(); ++j)
            if (DRUM_PARAM_NAMES[i] == DRUM_PARAM_NAMES[j]) return false;
    return true;
}
static_assert(drumParamNamesDistinct());

// The range in which a sound parameter is used, and the value that stands in
// for a non-finite one. The last four parameters are stored only.
struct DrumParamRange {
    double low;
    double high;
    double fallback;
};
inline constexpr auto DRUM_PARAM_RANGES = std::to_array<DrumParamRange>({
    {30, 120, 52},       // kick.tune
    {0.05, 1.2, 0.42},   // kick.decay
    {0, 1, 0.35},        // kick.click
    {120, 400, 190},     // snare.tune
    {0.05, 0.6, 0.19},   // snare.decay
    {0, 1, 0.55},        // snare.snap
    {60, 260, 110},      // tom.tune
    {0.1, 1.2, 0.42},    // tom.decay
    {0.01, 0.3, 0.055},  // hat.closedDecay
    {0.1, 1.5, 0.42},    // hat.openDecay
    {0, 1, 0.6},         // hat.metal
    {0.2, 4.0, 1.6},     // cymbal.decay
    {0.05, 0.8, 0.24},   // clap.decay
    {0, 1, 0.5},         // kit.tone
});
// Every parameter up to kit.tone shapes the sound; the rest are stored only.
static_assert(DRUM_PARAM_RANGES.size() == DRUM_PARAM_KIT_TONE + 1);

// The parameter index for an exact name, or -1.
int drumParamIndex(std::string_view name);

}  // namespace kelvo::kernel
