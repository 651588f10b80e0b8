// The pad-override reader on arbitrary bytes: no crash, no overread, a
// failed read leaves the list as it was, an accepted list keeps every rule,
// and it writes back to a text that reads to the same list.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sampler_pad_overrides.h"

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kelvo;
    SamplerPadOverrides list(1);
    list[0].pad = "before";
    list[0].mask = PAD_GAIN;
    const SamplerPadOverrides before = list;
    if (!parseSamplerPadOverridesJson(reinterpret_cast<const char*>(data), size, list)) {
        check(list == before);
        return 0;
    }
    check(list.size() <= SAMPLER_PAD_OVERRIDES_MAX);
    const SamplerPadOverride defaults;
    for (size_t i = 0; i < list.size(); ++i) {
        const SamplerPadOverride& entry = list[i];
        check(!entry.pad.empty() && entry.pad.size() <= SAMPLER_PAD_ID_MAX_BYTES);
        check(entry.pad.find('\0') == std::string::npos);
        check(entry.mask != 0 && entry.mask < (1u << SAMPLER_PAD_FIELD_COUNT));
        for (size_t j = 0; j < i; ++j)
            check(list[j].pad != entry.pad);
        for (size_t field = 0; field < SAMPLER_PAD_FIELD_COUNT; ++field) {
            double value = samplerPadFieldValue(entry, field);
            if (entry.mask & (1u << field))
                check(samplerPadFieldAccepts(field, value));
            else
                check(value == samplerPadFieldValue(defaults, field));
        }
    }

    std::string text;
    writeSamplerPadOverridesJson(text, list);
    SamplerPadOverrides back;
    check(parseSamplerPadOverridesJson(text.data(), text.size(), back));
    check(back == list);
    std::string again;
    writeSamplerPadOverridesJson(again, back);
    check(again == text);
    return 0;
}
