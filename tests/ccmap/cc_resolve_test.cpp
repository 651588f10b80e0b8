#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "cc_resolve.h"

namespace kelvo {
namespace {

constexpr uint32_t KICK_TUNE = 0, KIT_TONE = 13, PATTERN_BANK = 16;

TEST(CcResolve, MatchingBindings) {
    CcMap map{7,
              {{.paramId = KICK_TUNE, .cc = 1},
               {.paramId = KIT_TONE, .cc = 1, .channel = 2},
               {.paramId = KIT_TONE, .cc = 1, .channel = 3},
               {.paramId = 18, .cc = 1},
               {.paramId = 5, .cc = 1, .enabled = false},
               {.paramId = 17, .cc = 2},
               {.paramId = 17, .cc = 1, .curve = CC_CURVE_EXP}}};
    CcResolution out[8];
    ASSERT_EQ(ccResolve(map, 1, 3, 127, nullptr, nullptr, nullptr, out, 8), 3u);
    EXPECT_TRUE(out[0].paramId == KICK_TUNE && out[1].paramId == KIT_TONE && out[2].paramId == 17);
    EXPECT_EQ(ccResolve(map, 1, 3, 127, nullptr, nullptr, nullptr, out, 2), 2u);
    EXPECT_EQ(ccResolve(map, 1, 3, 127, nullptr, nullptr, nullptr, nullptr, 8), 0u);
    EXPECT_EQ(ccResolve(map, 1, 3, 127, nullptr, nullptr, nullptr, out, 0), 0u);
    EXPECT_EQ(ccResolve(map, 3, 3, 127, nullptr, nullptr, nullptr, out, 8), 0u);
    EXPECT_EQ(ccResolve(map, 1, 2, 127, nullptr, nullptr, nullptr, out, 8), 3u);
}

double readCurrent(void* context, uint32_t) {
    return *static_cast<double*>(context);
}

const double NONE = -1;  // the value produced nothing

CcBinding ranged(uint32_t paramId, double min, double max, uint8_t valueMode = CC_VALUE_ABSOLUTE) {
    return {paramId, 1,   0,  CC_CURVE_LINEAR, valueMode, CC_TAKEOVER_IMMEDIATE, true, true,
            true,    min, max};
}

CcBinding onTone(uint8_t valueMode, uint8_t takeover = CC_TAKEOVER_IMMEDIATE) {
    return {.paramId = KIT_TONE, .cc = 1, .valueMode = valueMode, .takeover = takeover};
}

// Curves, ranges, takeover, relative and toggle modes: a sequence of values on
// one binding, with the parameter at `current` (NAN: unknown), outputs in 127ths.
TEST(CcResolve, ModesOverASequence) {
    const CcBinding pickup = onTone(CC_VALUE_ABSOLUTE, CC_TAKEOVER_PICKUP),
                    scaled = onTone(CC_VALUE_ABSOLUTE, CC_TAKEOVER_SCALED),
                    offset = onTone(CC_VALUE_RELATIVE_BINARY_OFFSET),
                    signedBit = onTone(CC_VALUE_RELATIVE_SIGNED_BIT),
                    twos = onTone(CC_VALUE_RELATIVE_TWOS_COMPLEMENT),
                    toggle = ranged(KIT_TONE, 0.25, 0.75, CC_VALUE_TOGGLE);
    const double ON = 0.75 * 127, OFF = 0.25 * 127;
    // At 0.5 the parameter sits at 63: 63/127 and 64/127 are equally near.
    const std::tuple<CcBinding, double, bool, std::vector<int>, std::vector<double>> cases[] = {
        {{.curve = 9}, NAN, true, {300, -5}, {127, 0}},
        {ranged(KICK_TUNE, 40, 80), NAN, true, {127}, {50.0 / 90 * 127}},
        {{.hasMin = true, .min = 40}, NAN, true, {0}, {10.0 / 90 * 127}},
        {ranged(KICK_TUNE, -10, 500), NAN, true, {0}, {0}},
        {ranged(KIT_TONE, 1, 0), NAN, true, {0}, {127}},
        {{.paramId = KIT_TONE, .hasMin = true, .min = NAN}, NAN, true, {64}, {0}},
        {{.paramId = KIT_TONE, .curve = CC_CURVE_EXP}, NAN, true, {64}, {64.0 * 64 / 127}},
        {{.paramId = KIT_TONE, .curve = CC_CURVE_LOG}, NAN, true, {32}, {std::sqrt(32 * 127.0)}},
        {{.paramId = KIT_TONE, .curve = CC_CURVE_S}, NAN, true, {127, 32}, {127, 20.1257362515}},
        {{.paramId = PATTERN_BANK}, NAN, true, {64}, {64}},  // lists are not rounded to an index
        {pickup, 0.5, true, {10, 20, 100, 90}, {NONE, NONE, 100, 90}},
        {pickup, 0.5, true, {63, 0}, {63, 0}},
        {pickup, 0.5, true, {64, 62}, {NONE, 62}},
        {pickup, 0.5, false, {10}, {10}},
        {pickup, NAN, true, {10, 120}, {10, 120}},
        // 100 -> 90: 63 / 100 * -10 + 63 = 56.7, truncated; the ends meet.
        {scaled, 0.5, true, {100, 100, 90, 0}, {NONE, NONE, 56, 0}},
        {scaled, 0.5, true, {27, 77, 127}, {NONE, 95, 127}},
        {offset, 0.5, true, {65, 64, 0}, {64, NONE, 0}},
        {offset, NAN, true, {65, 66, 63}, {1, 3, 2}},  // steps accumulate in the state
        {offset, NAN, false, {70}, {6}},
        {signedBit, 0.5, true, {66, 0, 64, 2}, {65, NONE, NONE, 61}},
        {twos, 0.5, true, {3, 64, 127}, {66, NONE, 62}},
        {toggle, NAN, true, {0, 127, 127, 30, 64, 100}, {NONE, ON, NONE, NONE, OFF, NONE}},
        {toggle, 0.6, true, {127}, {OFF}},
        {toggle, 0.5, true, {0, 127}, {NONE, ON}},
    };
    for (const auto& [binding, current, withState, values, expected] : cases) {
        CcMap map, other;
        map.bindings[map.count++] = binding;
        CcRouterState state;
        state.reset(&other);  // a state bound to another map starts afresh
        double known = current;
        std::vector<double> outputs;
        for (int value : values) {
            CcResolution out[2];
            uint32_t n = ccResolve(map, binding.cc, 1, value, withState ? &state : nullptr,
                                   std::isnan(known) ? nullptr : readCurrent, &known, out, 2);
            outputs.push_back(n ? out[0].normalized * 127 : NONE);
        }
        EXPECT_THAT(outputs, testing::Pointwise(testing::DoubleNear(1e-9), expected))
            << int(binding.valueMode) << " " << int(binding.takeover) << " " << current;
        EXPECT_EQ(state.map, withState ? &map : &other);
    }
}

}  // namespace
}  // namespace kelvo
