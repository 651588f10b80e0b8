#include <gtest/gtest.h>

#include <string>

#include "cc_activity_feed.h"
#include "cc_map.h"
#include "cc_map_store.h"

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

TEST(CcMapRead, MapForms) {
    const std::string binding = R"({"cc":1,"path":"kick.tune"})";
    std::string full = "[" + binding;
    for (int i = 1; i < 65; ++i)
        full += "," + binding;
    // The text and the count read; -1: the text fails.
    const std::pair<std::string, int> cases[] = {
        {" [ ] \n", 0},
        {R"({"version":"x","bindings":{}})", 0},
        {R"({"bindings":[)" + binding + R"(],"bindings":[7,null,)" + binding + "]}", 2},
        {full + "]", CC_MAP_CAPACITY},  // the 65th is dropped
        {"5", -1},
        {"[] x", -1},
    };
    for (const auto& [text, count] : cases) {
        CcMap map;
        EXPECT_EQ(parse(text, map) ? int(map.count) : -1, count) << text.substr(0, 100);
    }
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

}  // namespace
}  // namespace kelvo
