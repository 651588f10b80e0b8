// The one parameter table shared by the engine, the edit controller, the UI
// bridge and the CC resolver, and the rules between normalized values (0..1,
// what the host stores and automates) and plain values (what the user sees).
// Plain C++ so that layers without the VST 3 SDK can use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

namespace kelvo {

inline constexpr uint32_t KELVO_PARAM_KIND_CONTINUOUS = 0;
inline constexpr uint32_t KELVO_PARAM_KIND_LIST = 1;
inline constexpr uint32_t KELVO_PARAM_KIND_TOGGLE = 2;

// Immutable; the table owns nothing but string literals, so descriptors may be
// referenced for the whole process. Null texts count as "".
struct kelvo_param_desc {
    uint32_t id;        // equals the row's index in KELVO_PARAMS
    const char* path;   // stable dotted identifier used in JSON and CC bindings
    const char* name;   // title given to the host
    const char* group;  // instrument section
    uint32_t kind;      // KELVO_PARAM_KIND_*
    double min;
    double max;
    double step;  // plain quantum of continuous values; 0 means unquantised
    double defaultPlain;
    double defaultNormalized;  // the default actually used
    const char* units;
    int32_t valueCount;         // named values of a list, else 0
    const char* const* values;  // valueCount names in index order, or null
};

namespace params_detail {

inline constexpr const char* PATTERN_ON_VALUES[] = {"stopped", "running"};
inline constexpr const char* PATTERN_BANK_VALUES[] = {"Four Floor", "Backbeat", "Broken",
                                                      "Half Time",  "Tom Roll", "Cowbell Shuffle"};

// The normalized default is derived from the same numbers as the row, so the
// two defaults cannot drift apart.
constexpr kelvo_param_desc continuous(uint32_t id, const char* path, const char* name,
                                      const char* group, double min, double max,
                                      double defaultPlain, const char* units) {
    return {.id = id,
            .path = path,
            .name = name,
            .group = group,
            .kind = KELVO_PARAM_KIND_CONTINUOUS,
            .min = min,
            .max = max,
            .step = 0.0,
            .defaultPlain = defaultPlain,
            .defaultNormalized = (defaultPlain - min) / (max - min),
            .units = units,
            .valueCount = 0,
            .values = nullptr};
}

// Lists default to their first value; plain values are indices 0..N-1.
template <std::size_t N>
constexpr kelvo_param_desc list(uint32_t id, const char* path, const char* name, const char* group,
                                const char* const (&values)[N]) {
    return {.id = id,
            .path = path,
            .name = name,
            .group = group,
            .kind = KELVO_PARAM_KIND_LIST,
            .min = 0.0,
            .max = static_cast<double>(N - 1),
            .step = 0.0,
            .defaultPlain = 0.0,
            .defaultNormalized = 0.0,
            .units = "",
            .valueCount = static_cast<int32_t>(N),
            .values = values};
}

}  // namespace params_detail

inline constexpr kelvo_param_desc KELVO_PARAMS[] = {
    params_detail::continuous(0, "kick.tune", "Tune", "Kick", 30, 120, 52, "Hz"),
    params_detail::continuous(1, "kick.decay", "Decay", "Kick", 0.05, 1.2, 0.42, "s"),
    params_detail::continuous(2, "kick.click", "Click", "Kick", 0, 1, 0.35, ""),
    params_detail::continuous(3, "snare.tune", "Tune", "Snare", 120, 400, 190, "Hz"),
    params_detail::continuous(4, "snare.decay", "Decay", "Snare", 0.05, 0.6, 0.19, "s"),
    params_detail::continuous(5, "snare.snap", "Snap", "Snare", 0, 1, 0.55, ""),
    params_detail::continuous(6, "tom.tune", "Tune", "Toms", 60, 260, 110, "Hz"),
    params_detail::continuous(7, "tom.decay", "Decay", "Toms", 0.1, 1.2, 0.42, "s"),
    params_detail::continuous(8, "hat.closedDecay", "Closed", "Hats", 0.01, 0.3, 0.055, "s"),
    params_detail::continuous(9, "hat.openDecay", "Open", "Hats", 0.1, 1.5, 0.42, "s"),
    params_detail::continuous(10, "hat.metal", "Metal", "Hats", 0, 1, 0.6, ""),
    params_detail::continuous(11, "cymbal.decay", "Decay", "Cymbal", 0.2, 4.0, 1.6, "s"),
    params_detail::continuous(12, "clap.decay", "Decay", "Clap", 0.05, 0.8, 0.24, "s"),
    params_detail::continuous(13, "kit.tone", "Tone", "Kit", 0, 1, 0.5, ""),
    params_detail::list(14, "pattern.on", "Run", "Pattern", params_detail::PATTERN_ON_VALUES),
    params_detail::continuous(15, "pattern.tempo", "Tempo", "Pattern", 60, 200, 96, "BPM"),
    params_detail::list(16, "pattern.bank", "Pattern", "Pattern",
                        params_detail::PATTERN_BANK_VALUES),
    params_detail::continuous(17, "master.level", "Level", "Master", 0, 1, 0.8, ""),
};

// The one parameter count of the system, the table's own length: the engine
// and the kernel's kit table are checked against it at compile time.
inline constexpr uint32_t KELVO_PARAM_COUNT = static_cast<uint32_t>(std::size(KELVO_PARAMS));

// A descriptor's text with null read as "".
constexpr std::string_view paramText(const char* text) {
    return text ? std::string_view(text) : std::string_view();
}

// The descriptor of an id, or nullptr for an id outside the table.
const kelvo_param_desc* paramDesc(uint32_t id);
// The descriptor whose path equals `path` exactly, or nullptr.
const kelvo_param_desc* paramForPath(std::string_view path);
// The id of the parameter whose path equals `path` exactly, or -1.
int paramIndexForPath(std::string_view path);

// Normalized to plain: a value index for lists, 0/1 for toggles, and for
// continuous values the clamped range position, quantised when step != 0.
double paramToPlain(const kelvo_param_desc& desc, double normalized);
// The same without step quantisation, for reports of the exact current value.
double paramToPlainUnstepped(const kelvo_param_desc& desc, double normalized);
// Plain to normalized, clamped to 0..1 and never quantised; 0 for a null desc.
double kelvo_param_normalize(const kelvo_param_desc* desc, double plain);

// The text a host shows for a normalized value: the list value name, "on" or
// "off", or the shortest decimal text that reads back to the plain value.
std::string paramDisplayText(const kelvo_param_desc& desc, double normalized);
// Reads a text a user typed (already ASCII; at most 255 characters are
// considered): toggle words, exact list names, else a leading number as a
// plain value. Returns false, leaving *normalized untouched, when no number
// could be read or the number is not finite.
bool paramParseText(const kelvo_param_desc& desc, std::string_view text, double* normalized);

// The factory preset a normalized program-change value selects (0..5).
int presetIndexForNormalized(double normalized);

}  // namespace kelvo
