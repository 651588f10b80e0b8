// The CC map reader on arbitrary bytes: no crash, no overread, every map it
// accepts is within its ranges, writes back to a text that reads to the same
// map, and resolves to normalized values within 0..1.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "cc_map.h"
#include "cc_resolve.h"
#include "kelvo_params.h"

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

double readFromData(void* context, uint32_t paramId) {
    const uint8_t* seed = static_cast<const uint8_t*>(context);
    return (seed[0] + paramId) % 5 / 4.0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kelvo;
    CcMap map;
    if (!parseCcMapJson(reinterpret_cast<const char*>(data), size, map)) return 0;
    check(map.count <= CC_MAP_CAPACITY);
    for (uint32_t i = 0; i < map.count; ++i) {
        const CcBinding& b = map.bindings[i];
        check(b.paramId < KELVO_PARAM_COUNT && b.cc <= 127 && b.channel <= 16);
        check(b.curve <= CC_CURVE_S && b.valueMode <= CC_VALUE_TOGGLE);
        check(b.takeover <= CC_TAKEOVER_SCALED);
        check(std::isfinite(b.min) && std::isfinite(b.max));
    }

    std::string text;
    writeCcMapJson(text, map);
    CcMap back;
    check(parseCcMapJson(text.data(), text.size(), back));
    check(back == map);
    std::string again;
    writeCcMapJson(again, back);
    check(again == text);

    // Every binding's controller, with and without router state.
    CcRouterState state;
    CcResolution out[CC_MAP_CAPACITY];
    for (uint32_t i = 0; i < map.count; ++i) {
        for (size_t k = 0; k < 4 && k < size; ++k) {
            int value = data[(i + k) % size] % 128;
            uint32_t n = ccResolve(map, map.bindings[i].cc, (int(k) * 5) % 17, value, &state,
                                   k % 2 ? readFromData : nullptr, const_cast<uint8_t*>(data), out,
                                   CC_MAP_CAPACITY);
            for (uint32_t r = 0; r < n; ++r)
                check(out[r].normalized >= 0.0 && out[r].normalized <= 1.0);
        }
    }
    return 0;
}
