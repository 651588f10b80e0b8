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

#define CHECK(condition) ((condition) ? (void)0 : __builtin_trap())

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kelvo;
    CcMap map;
    if (!parseCcMapJson(reinterpret_cast<const char*>(data), size, map)) return 0;
    CHECK(map.count <= CC_MAP_CAPACITY);
    for (uint32_t i = 0; i < map.count; ++i) {
        const CcBinding& b = map.bindings[i];
        CHECK(b.paramId < KELVO_PARAM_COUNT && b.cc <= 127 && b.channel <= 16 &&
              b.curve <= CC_CURVE_S && b.valueMode <= CC_VALUE_TOGGLE &&
              b.takeover <= CC_TAKEOVER_SCALED && std::isfinite(b.min) && std::isfinite(b.max));
    }

    std::string text;
    writeCcMapJson(text, map);
    CcMap back;
    CHECK(parseCcMapJson(text.data(), text.size(), back) && back == map);

    // Every binding's controller, with and without a current value taken
    // from the input.
    CcRouterState state;
    CcResolution out[CC_MAP_CAPACITY];
    const auto current = +[](void* context, uint32_t paramId) {
        return (*static_cast<const uint8_t*>(context) + paramId) % 5 / 4.0;
    };
    for (uint32_t i = 0; i < map.count; ++i) {
        for (size_t k = 0; k < 4 && k < size; ++k) {
            const uint32_t n = ccResolve(
                map, map.bindings[i].cc, (int(k) * 5) % 17, data[(i + k) % size] % 128, &state,
                k % 2 ? current : nullptr, const_cast<uint8_t*>(data), out, CC_MAP_CAPACITY);
            for (uint32_t r = 0; r < n; ++r)
                CHECK(out[r].normalized >= 0.0 && out[r].normalized <= 1.0);
        }
    }
    return 0;
}
