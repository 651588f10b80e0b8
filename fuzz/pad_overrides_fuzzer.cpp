// The pad-override reader on arbitrary bytes: no crash, no overread, a
// failed read leaves the list as it was, and an accepted list stays within
// its capacity and writes back to a text that reads to the same list.
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
    std::string text;
    writeSamplerPadOverridesJson(text, list);
    SamplerPadOverrides back;
    check(parseSamplerPadOverridesJson(text.data(), text.size(), back));
    check(back == list);
    return 0;
}
