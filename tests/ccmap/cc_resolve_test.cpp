#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "cc_resolve.h"

namespace kelvo {
namespace {

constexpr uint32_t KICK_TUNE = 0, KIT_TONE = 13, PATTERN_BANK = 16;

const kelvo_param_desc TOGGLE = {0, "t", "", "", KELVO_PARAM_KIND_TOGGLE, 0, 1, 0, 0, 0, "", 0, {}};
const char* const ONLY[] = {"only"};
const kelvo_param_desc ONE = {0, "o", "", "", KELVO_PARAM_KIND_LIST, 0, 0, 0, 0, 0, "", 1, ONLY};
const kelvo_param_desc FLAT = {0, "f", "", "", 0, 5, 5, 0, 5, 0, "", 0, {}};

TEST(CcApply, CurvesRangesAndKinds) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        CcBinding binding;
        const kelvo_param_desc& desc;
        int value;
        double expected;
    };
    const Case cases[] = {
        {{}, KELVO_PARAMS[KICK_TUNE], 300, 1.0},
        {{.curve = 9}, KELVO_PARAMS[KICK_TUNE], -5, 0.0},
        {{.hasMin = true, .hasMax = true, .min = 40, .max = 80},
         KELVO_PARAMS[KICK_TUNE],
         127,
         (80.0 - 30.0) / 90.0},
        {{.hasMin = true, .min = 40}, KELVO_PARAMS[KICK_TUNE], 0, (40.0 - 30.0) / 90.0},
        {{.hasMin = true, .hasMax = true, .min = 1, .max = 0}, KELVO_PARAMS[KIT_TONE], 0, 1.0},
        {{.hasMin = true, .hasMax = true, .min = -10, .max = 500}, KELVO_PARAMS[KICK_TUNE], 0, 0},
        {{.curve = CC_CURVE_EXP}, KELVO_PARAMS[KIT_TONE], 64, (64.0 / 127) * (64.0 / 127)},
        {{.curve = CC_CURVE_LOG}, KELVO_PARAMS[KIT_TONE], 32, std::sqrt(32.0 / 127)},
        {{.curve = CC_CURVE_S}, KELVO_PARAMS[KIT_TONE], 127, 1.0},
        // Lists are not rounded to an index.
        {{}, KELVO_PARAMS[PATTERN_BANK], 64, 64.0 / 127},
        {{}, ONE, 127, 0.0},
        {{}, TOGGLE, 64, 1.0},
        {{}, TOGGLE, 63, 0.0},
        {{}, FLAT, 100, 0.0},
        {{.hasMin = true, .min = nan}, KELVO_PARAMS[KIT_TONE], 64, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.desc.path << " " << c.value);
        EXPECT_DOUBLE_EQ(ccApplyNormalized(c.binding, c.desc, c.value), c.expected);
    }
    EXPECT_EQ(ccApplyNormalized({}, KELVO_PARAMS[KIT_TONE], 64), 64.0 / 127);
}

class CcResolveTest : public testing::Test {
  protected:
    CcBinding& add(CcBinding binding) {
        map_.bindings[map_.count] = binding;
        return map_.bindings[map_.count++];
    }

    // The outputs of a sequence of values on CC 1, channel 1.
    std::vector<double> run(std::initializer_list<int> values, bool withState = true) {
        std::vector<double> outputs;
        for (int value : values) {
            CcResolution out[4];
            uint32_t n = ccResolve(map_, 1, 1, value, withState ? &state_ : nullptr,
                                   current_ ? &readCurrent : nullptr, this, out, 4);
            EXPECT_LE(n, 1u);
            outputs.push_back(n ? out[0].normalized : -1.0);
        }
        return outputs;
    }

    static double readCurrent(void* context, uint32_t) {
        return *static_cast<CcResolveTest*>(context)->current_;
    }

    CcMap map_;
    CcRouterState state_;
    const double* current_ = nullptr;
};

const double NONE = -1.0;  // the value produced nothing

TEST_F(CcResolveTest, MatchingBindings) {
    add({.paramId = KICK_TUNE, .cc = 1});
    add({.paramId = KIT_TONE, .cc = 1, .channel = 2});
    add({.paramId = KIT_TONE, .cc = 1, .channel = 3});
    add({.paramId = 18, .cc = 1});
    add({.paramId = 5, .cc = 1, .enabled = false});
    add({.paramId = 17, .cc = 2});
    add({.paramId = 17, .cc = 1, .curve = CC_CURVE_EXP});
    CcResolution out[8];
    ASSERT_EQ(ccResolve(map_, 1, 3, 127, nullptr, nullptr, nullptr, out, 8), 3u);
    EXPECT_EQ(out[0].paramId, KICK_TUNE);
    EXPECT_EQ(out[1].paramId, KIT_TONE);
    EXPECT_EQ(out[2].paramId, 17u);
    EXPECT_EQ(ccResolve(map_, 1, 3, 127, nullptr, nullptr, nullptr, out, 2), 2u);
    EXPECT_EQ(ccResolve(map_, 1, 3, 127, nullptr, nullptr, nullptr, nullptr, 8), 0u);
    EXPECT_EQ(ccResolve(map_, 1, 3, 127, nullptr, nullptr, nullptr, out, 0), 0u);
    EXPECT_EQ(ccResolve(map_, 3, 3, 127, nullptr, nullptr, nullptr, out, 8), 0u);
    EXPECT_EQ(ccResolve(map_, 1, 2, 200, nullptr, nullptr, nullptr, out, 8), 3u);
    EXPECT_EQ(out[2].normalized, 1.0);
}

TEST_F(CcResolveTest, PickupWaitsForTheControlToReachTheParameter) {
    add({.paramId = KIT_TONE, .cc = 1, .takeover = CC_TAKEOVER_PICKUP});
    const double half = 0.5;
    current_ = &half;  // 63/127 and 64/127 are equally near: t = 63
    EXPECT_EQ(run({10, 20, 100, 90}), (std::vector<double>{NONE, NONE, 100.0 / 127, 90.0 / 127}));
    state_.reset(&map_);
    EXPECT_EQ(run({63, 0}), (std::vector<double>{63.0 / 127, 0.0}));
    state_.reset(&map_);
    EXPECT_EQ(run({64, 62}), (std::vector<double>{NONE, 62.0 / 127}));
    // Without a state, or without a known current value, the value applies
    // at once, and the parameter then follows the control.
    EXPECT_EQ(run({10}, false), (std::vector<double>{10.0 / 127}));
    current_ = nullptr;
    state_.reset(&map_);
    EXPECT_EQ(run({10, 11, 12, 120}),
              (std::vector<double>{10.0 / 127, 11.0 / 127, 12.0 / 127, 120.0 / 127}));
}

TEST_F(CcResolveTest, ScaledTakeoverMeetsTheControlAtItsEnd) {
    add({.paramId = KIT_TONE, .cc = 1, .takeover = CC_TAKEOVER_SCALED});
    const double half = 0.5;
    current_ = &half;  // t = 63
    // 100 -> 90: 63 / 100 * -10 + 63 = 56.7, truncated; 100 -> 0 lands on 0.
    EXPECT_EQ(run({100, 90}), (std::vector<double>{NONE, 56.0 / 127}));
    state_.reset(&map_);
    EXPECT_EQ(run({100, 100, 0}), (std::vector<double>{NONE, NONE, 0.0}));
    // 27 -> 127: the rest above t is covered by the rest of the travel.
    state_.reset(&map_);
    EXPECT_EQ(run({27, 77, 127}), (std::vector<double>{NONE, 95.0 / 127, 1.0}));
}

TEST_F(CcResolveTest, RelativeModes) {
    CcBinding& b = add({.paramId = KIT_TONE, .cc = 1});
    const double half = 0.5;
    struct Case {
        uint8_t mode;
        int value;
        double fromHalf;  // NaN: nothing
    };
    const Case cases[] = {
        {CC_VALUE_RELATIVE_BINARY_OFFSET, 65, 64.0 / 127},
        {CC_VALUE_RELATIVE_BINARY_OFFSET, 64, NONE},
        {CC_VALUE_RELATIVE_BINARY_OFFSET, 0, 0.0},
        {CC_VALUE_RELATIVE_SIGNED_BIT, 66, 65.0 / 127},
        {CC_VALUE_RELATIVE_SIGNED_BIT, 2, 61.0 / 127},
        {CC_VALUE_RELATIVE_SIGNED_BIT, 0, NONE},
        {CC_VALUE_RELATIVE_SIGNED_BIT, 64, NONE},
        {CC_VALUE_RELATIVE_TWOS_COMPLEMENT, 3, 66.0 / 127},
        {CC_VALUE_RELATIVE_TWOS_COMPLEMENT, 127, 62.0 / 127},
        {CC_VALUE_RELATIVE_TWOS_COMPLEMENT, 64, NONE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.mode) << " " << c.value);
        b.valueMode = c.mode;
        current_ = &half;
        EXPECT_EQ(run({c.value}), (std::vector<double>{c.fromHalf}));
    }
    // Without a current value the steps accumulate in the state.
    b.valueMode = CC_VALUE_RELATIVE_BINARY_OFFSET;
    current_ = nullptr;
    state_.reset(&map_);
    EXPECT_EQ(run({65, 66, 63}), (std::vector<double>{1.0 / 127, 3.0 / 127, 2.0 / 127}));
    EXPECT_EQ(run({70}, false), (std::vector<double>{6.0 / 127}));
}

TEST_F(CcResolveTest, ToggleActsOnRisingEdges) {
    add({.paramId = KIT_TONE,
         .cc = 1,
         .valueMode = CC_VALUE_TOGGLE,
         .hasMin = true,
         .hasMax = true,
         .min = 0.25,
         .max = 0.75});
    EXPECT_EQ(run({0, 127, 127, 0, 127, 30, 64, 100}),
              (std::vector<double>{NONE, 0.75, NONE, NONE, 0.25, NONE, 0.75, NONE}));
    const double nearOn = 0.6, middle = 0.5;
    current_ = &nearOn;
    state_.reset(&map_);
    EXPECT_EQ(run({127}), (std::vector<double>{0.25}));
    current_ = &middle;
    EXPECT_EQ(run({0, 127}), (std::vector<double>{NONE, 0.75}));
    // A state bound to another map starts afresh there.
    CcMap other = map_;
    CcResolution out[1];
    ASSERT_EQ(ccResolve(other, 1, 1, 127, &state_, nullptr, nullptr, out, 1), 1u);
    EXPECT_EQ(state_.map, &other);
}

}  // namespace
}  // namespace kelvo
