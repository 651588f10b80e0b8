#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "cc_activity_feed.h"
#include "cc_map.h"
#include "cc_map_store.h"
#include "cc_resolve.h"

namespace kelvo {
namespace {

bool parse(const std::string& text, CcMap& map) {
    return parseCcMapJson(text.data(), text.size(), map);
}

// Bindings read, then written back with a binding to no parameter (left out)
// and one with codes outside the tables (written as the defaults).
TEST(CcMapText, BindingsReadAndWrittenBack) {
    // Non-finite numbers count as absent (a non-finite end is no range);
    // unknown names keep the defaults; a binding without a number "cc" or a
    // known path is dropped.
    const std::string text =
        R"([{"cc":200,"path":"snare.snap","channel":0,"cc":nan,"channel":-inf,"min":inf,"max":nan},)"
        R"({"cc":63.5,"path":"kick.tune","channel":99,"min":40,"max":-0},)"
        R"({"curve":"s-curve","valueMode":"relative-binary-offset","takeover":"pickup","cc":1,)"
        R"("path":"kit.tone","enabled":false,"x":{"y":[1,{}]}},)"
        R"({"valueMode":"toggle","takeover":"scaled","cc":2,"path":"kit.tone","max":-8e-3},)"
        R"({"cc":1,"path":"kick.tune","curve":"EXP","valueMode":"relative","takeover":5,)"
        R"("enabled":"no"},{"cc":inf,"path":"kick.tune"},{"cc":1,"path":"kick.tune","path":"x"},)"
        R"({"cc":"1","path":"kick.tune"},{"path":"kick.tune"},"binding"])";
    CcMap map;
    ASSERT_TRUE(parse(text, map));
    map.bindings[map.count++] = {.paramId = 18, .cc = 8};
    map.bindings[map.count++] = {
        .paramId = 13, .curve = 9, .valueMode = 9, .takeover = 9, .max = 5};
    std::string out;
    writeCcMapChangedJson(out, map);
    EXPECT_EQ(out,
              R"({"type":"kelvo.ccMapChanged","map":{"version":1,"bindings":[)"
              R"({"cc":127,"path":"snare.snap","channel":1},)"
              R"({"cc":64,"path":"kick.tune","channel":16,"min":40,"max":-0},)"
              R"({"cc":1,"path":"kit.tone","curve":"s-curve","valueMode":"relative-binary-offset",)"
              R"("takeover":"pickup","enabled":false},)"
              R"({"cc":2,"path":"kit.tone","max":-0.008,"valueMode":"toggle","takeover":"scaled"},)"
              R"({"cc":1,"path":"kick.tune"},{"cc":0,"path":"kit.tone"}]}})");
}

// The 65th binding is dropped; text after the document fails it.
TEST(CcMapRead, CapacityAndTrailingText) {
    std::string full = "[";
    for (int i = 0; i < 65; ++i)
        full += R"({"cc":1,"path":"kick.tune"},)";
    full.back() = ']';
    CcMap map;
    EXPECT_TRUE(parse(full, map) && map.count == CC_MAP_CAPACITY);
    EXPECT_FALSE(parse("[] x", map));
}

TEST(CcMapStore, RetiredMapsLiveTwoEpochs) {
    CcMapStore store;
    EXPECT_TRUE(store.current()->count == 0 && !store.takeChanged());
    ASSERT_TRUE(store.publish(CcMap{1}));  // the embedded map is never retired
    EXPECT_TRUE(store.takeChanged() && !store.takeChanged());
    ASSERT_TRUE(store.publish(CcMap{2}));  // retires map 1 at epoch 0
    store.advanceEpoch();
    store.collect();
    ASSERT_TRUE(store.publish(CcMap{3}));  // retires map 2 at epoch 1
    EXPECT_EQ(store.retiredCount(), 2u);
    for (uint32_t retired : {1u, 0u}) {
        store.advanceEpoch();
        store.collect();
        EXPECT_EQ(store.retiredCount(), retired);
    }
    EXPECT_TRUE(*store.current() == CcMap{3});
    // The destructor frees the rest; the sanitizer build checks for leaks.
    ASSERT_TRUE(store.publish(CcMap{4}));
}

// The drained records as "cc/channel/value" words.
std::string drain(CcActivityFeed& feed, int64_t now, uint32_t capacity) {
    CcActivityRecord out[8];
    std::string text;
    for (uint32_t i = 0, n = feed.drain(now, out, capacity); i < n; ++i)
        text += std::to_string(out[i].cc) + '/' + std::to_string(out[i].channel) + '/' +
                std::to_string(out[i].value) + ' ';
    return text;
}

TEST(CcActivityFeed, ThrottlesPerControllerAndWritesMessages) {
    CcActivityFeed feed;
    feed.record(7, 2, 10);
    feed.record(128, 1, 1);  // no such controller
    feed.record(-1, 1, 1);
    feed.record(3, 16, 300);
    EXPECT_EQ(drain(feed, 1000, 4), "3/16/127 7/2/10 ");
    EXPECT_FALSE(feed.pending());
    // Within 33 ms of the last record of a controller its newest value waits.
    feed.record(7, 2, 11);
    feed.record(7, 2, 12);
    EXPECT_TRUE(drain(feed, 1032, 4).empty() && feed.pending());
    EXPECT_EQ(drain(feed, 1033, 4), "7/2/12 ");
    // A full output leaves the rest pending, in controller order.
    feed.record(21, 1, 21);
    feed.record(20, 1, 20);
    EXPECT_TRUE(drain(feed, 2000, 0).empty() && feed.drain(2000, nullptr, 4) == 0);
    EXPECT_EQ(drain(feed, 2000, 1), "20/1/20 ");
    EXPECT_EQ(drain(feed, 2000, 1), "21/1/21 ");
    std::string message;
    writeMidiCcJson(message, {74, 0, 127});
    EXPECT_EQ(message, R"({"type":"kelvo.midiCc","cc":74,"channel":0,"value":127})");
}

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
