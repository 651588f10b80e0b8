#include "kelvo_params.h"

#include <locale.h>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#if defined(__APPLE__)
#include <xlocale.h>
#endif

namespace kelvo {
namespace {

constexpr bool idsMatchIndices() {
    for (uint32_t i = 0; i < KELVO_PARAM_COUNT; ++i)
        if (KELVO_PARAMS[i].id != i) return false;
    return true;
}
static_assert(idsMatchIndices(), "every consumer addresses a parameter by its row index");

constexpr int PRESET_COUNT = 6;
// Hosts hand over at most this many characters of typed text.
constexpr std::size_t MAX_TEXT_CHARS = 255;

// Clamps with plain comparisons so that a NaN passes through unchanged; the
// kernel has its own stand-in for non-finite values.
double clampTo(double v, double lo, double hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

double listIndex(const kelvo_param_desc& desc, double normalized) {
    double n = static_cast<double>(desc.valueCount) - 1;
    // A list without values has n = -1; its index is 0 rather than negative.
    return clampTo(std::floor(n * normalized + 0.5), 0.0, std::max(n, 0.0));
}

double toPlain(const kelvo_param_desc& desc, double normalized, bool quantise) {
    switch (desc.kind) {
        case KELVO_PARAM_KIND_LIST:
            return listIndex(desc, normalized);
        case KELVO_PARAM_KIND_TOGGLE:
            return normalized >= 0.5 ? 1.0 : 0.0;
        default: {
            double plain = desc.min + clampTo(normalized, 0.0, 1.0) * (desc.max - desc.min);
            if (quantise && desc.step != 0) plain = desc.step * std::floor(plain / desc.step + 0.5);
            return plain;
        }
    }
}

// A typed list index is a position, not rounded to a whole value.
double listIndexToNormalized(const kelvo_param_desc& desc, double index) {
    if (desc.valueCount < 2) return 0.0;
    double n = static_cast<double>(desc.valueCount) - 1;
    return clampTo(index, 0.0, n) / n;
}

std::string shortestDecimal(double value) {
    char buf[64];
    auto result = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, result.ptr);
}

// strtod in the "C" locale: the texts we display always use '.', whatever
// locale the host process has set.
double parseLeadingNumber(const char* text, char** end) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (!cLocale) return std::strtod(text, end);
    return strtod_l(text, end, cLocale);
}

}  // namespace

const kelvo_param_desc* paramDesc(uint32_t id) {
    return id < KELVO_PARAM_COUNT ? &KELVO_PARAMS[id] : nullptr;
}

const kelvo_param_desc* paramForPath(std::string_view path) {
    for (const kelvo_param_desc& desc : KELVO_PARAMS)
        if (paramText(desc.path) == path) return &desc;
    return nullptr;
}

int paramIndexForPath(std::string_view path) {
    const kelvo_param_desc* desc = paramForPath(path);
    return desc ? static_cast<int>(desc->id) : -1;
}

double paramToPlain(const kelvo_param_desc& desc, double normalized) {
    return toPlain(desc, normalized, true);
}

double paramToPlainUnstepped(const kelvo_param_desc& desc, double normalized) {
    return toPlain(desc, normalized, false);
}

double kelvo_param_normalize(const kelvo_param_desc* desc, double plain) {
    if (!desc) return 0.0;
    switch (desc->kind) {
        case KELVO_PARAM_KIND_LIST:
            return listIndexToNormalized(*desc, plain);
        case KELVO_PARAM_KIND_TOGGLE:
            return plain == 0 ? 0.0 : 1.0;
        default:
            if (desc->max == desc->min) return 0.0;
            return clampTo((plain - desc->min) / (desc->max - desc->min), 0.0, 1.0);
    }
}

std::string paramDisplayText(const kelvo_param_desc& desc, double normalized) {
    if (desc.kind == KELVO_PARAM_KIND_LIST && desc.values) {
        double index = listIndex(desc, normalized);
        if (index >= 0 && index < desc.valueCount)
            return std::string(paramText(desc.values[static_cast<int>(index)]));
        return std::string();
    }
    if (desc.kind == KELVO_PARAM_KIND_TOGGLE) return normalized >= 0.5 ? "on" : "off";
    return shortestDecimal(paramToPlain(desc, normalized));
}

bool paramParseText(const kelvo_param_desc& desc, std::string_view text, double* normalized) {
    // The host's text is a C string: it ends at the first NUL.
    text = text.substr(0, std::min({text.find('\0'), text.size(), MAX_TEXT_CHARS}));
    double result;
    if (desc.kind == KELVO_PARAM_KIND_TOGGLE && (text == "on" || text == "true")) {
        result = 1.0;
    } else if (desc.kind == KELVO_PARAM_KIND_TOGGLE && (text == "off" || text == "false")) {
        result = 0.0;
    } else {
        int32_t match = -1;
        if (desc.kind == KELVO_PARAM_KIND_LIST && desc.values)
            for (int32_t i = 0; i < desc.valueCount && match < 0; ++i)
                if (paramText(desc.values[i]) == text) match = i;
        if (match >= 0) {
            result = desc.valueCount == 1
                         ? 0.0
                         : static_cast<double>(match) / static_cast<double>(desc.valueCount - 1);
        } else {
            char buf[MAX_TEXT_CHARS + 1];
            std::memcpy(buf, text.data(), text.size());
            buf[text.size()] = '\0';
            char* end = buf;
            double plain = parseLeadingNumber(buf, &end);
            // "nan" and "inf" read as numbers, but no parameter has such a
            // value: a NaN would reach the host's edit and the engine.
            if (end == buf || !std::isfinite(plain)) return false;
            if (desc.kind == KELVO_PARAM_KIND_LIST)
                result = listIndexToNormalized(desc, plain);
            else if (desc.kind == KELVO_PARAM_KIND_TOGGLE)
                result = plain != 0 ? 1.0 : 0.0;
            else
                result = kelvo_param_normalize(&desc, plain);
        }
    }
    if (normalized) *normalized = result;
    return true;
}

int presetIndexForNormalized(double normalized) {
    // std::round rounds halves away from zero.
    double index = std::round(normalized * (PRESET_COUNT - 1));
    if (!(index > 0)) return 0;
    return index >= PRESET_COUNT - 1 ? PRESET_COUNT - 1 : static_cast<int>(index);
}

}  // namespace kelvo
