#include "kelvo_parameter.h"

#include <algorithm>

namespace kelvo {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Hosts hand over typed texts of at most this many characters.
constexpr size_t MAX_TYPED_CHARS = 255;

}  // namespace

std::string asciiFromUtf16(const TChar* text, size_t maxChars) {
    std::string out;
    if (text == nullptr) return out;
    for (size_t i = 0; i < maxChars && text[i] != 0; ++i)
        out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return out;
}

void utf16FromAscii(const char* text, String128 out) {
    size_t i = 0;
    for (; text != nullptr && text[i] != '\0' && i < 127; ++i)
        out[i] = static_cast<TChar>(static_cast<unsigned char>(text[i]));
    out[i] = 0;
}

KelvoParameter::KelvoParameter(const kelvo_param_desc& desc) : desc_(desc) {
    info.id = desc.id;
    utf16FromAscii(desc.name, info.title);
    utf16FromAscii(desc.name, info.shortTitle);
    utf16FromAscii(desc.units, info.units);
    switch (desc.kind) {
        case KELVO_PARAM_KIND_LIST:
            info.stepCount = std::max(desc.valueCount - 1, 1);
            break;
        case KELVO_PARAM_KIND_TOGGLE:
            info.stepCount = 1;
            break;
        default:
            info.stepCount = 0;
    }
    info.defaultNormalizedValue = desc.defaultNormalized;
    info.unitId = kRootUnitId;
    info.flags = ParameterInfo::kCanAutomate;
    valueNormalized = desc.defaultNormalized;
}

void KelvoParameter::toString(ParamValue normalized, String128 string) const {
    // Texts are short enough never to allocate, but a host call must not
    // throw even if one did.
    try {
        utf16FromAscii(paramDisplayText(desc_, normalized).c_str(), string);
    } catch (...) {
        string[0] = 0;
    }
}

bool KelvoParameter::fromString(const TChar* string, ParamValue& normalized) const {
    try {
        return paramParseText(desc_, asciiFromUtf16(string, MAX_TYPED_CHARS), &normalized);
    } catch (...) {
        return false;
    }
}

ParamValue KelvoParameter::toPlain(ParamValue normalized) const {
    return paramToPlain(desc_, normalized);
}

ParamValue KelvoParameter::toNormalized(ParamValue plain) const {
    return kelvo_param_normalize(&desc_, plain);
}

ProgramChangeParameter::ProgramChangeParameter(const TChar* title, ParamID id, UnitID unit)
    : StringListParameter(title, id, nullptr,
                          ParameterInfo::kIsList | ParameterInfo::kIsProgramChange, unit) {}

ParamValue ProgramChangeParameter::toPlain(ParamValue normalized) const {
    // Never past the last name: the base text lookup would throw.
    return std::min(presetIndexForNormalized(normalized), std::max(info.stepCount, 0));
}

}  // namespace kelvo
