#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cc_activity_feed.h"
#include "cc_map_store.h"

namespace kelvo {

// Activity records compare and print as {cc, channel, value}.
bool operator==(const CcActivityRecord& a, const CcActivityRecord& b) {
    return a.cc == b.cc && a.channel == b.channel && a.value == b.value;
}
void PrintTo(const CcActivityRecord& r, std::ostream* os) {
    *os << "{" << int(r.cc) << ", " << int(r.channel) << ", " << int(r.value) << "}";
}

namespace {

CcMap mapOf(uint32_t count) {
    CcMap map;
    map.count = count;
    return map;
}

TEST(CcMapStore, RetiredMapsLiveTwoEpochs) {
    CcMapStore store;
    const CcMap* embedded = store.current();
    EXPECT_EQ(embedded->count, 0u);
    EXPECT_FALSE(store.takeChanged());

    ASSERT_TRUE(store.publish(mapOf(1)));
    EXPECT_TRUE(store.takeChanged());
    EXPECT_FALSE(store.takeChanged());
    EXPECT_EQ(store.current()->count, 1u);
    EXPECT_EQ(store.retiredCount(), 0u);  // the embedded map is never retired

    ASSERT_TRUE(store.publish(mapOf(2)));  // retires map 1 at epoch 0
    store.advanceEpoch();
    store.collect();
    EXPECT_EQ(store.retiredCount(), 1u);
    ASSERT_TRUE(store.publish(mapOf(3)));  // retires map 2 at epoch 1
    EXPECT_EQ(store.retiredCount(), 2u);
    store.advanceEpoch();
    store.collect();
    EXPECT_EQ(store.retiredCount(), 1u);
    store.advanceEpoch();
    store.collect();
    EXPECT_EQ(store.retiredCount(), 0u);
    EXPECT_EQ(store.current()->count, 3u);
    // The destructor frees the current copy and what is still retired; the
    // sanitizer build checks for leaks.
    ASSERT_TRUE(store.publish(mapOf(4)));
}

using Records = std::vector<CcActivityRecord>;

Records drain(CcActivityFeed& feed, int64_t now, uint32_t capacity) {
    CcActivityRecord out[8];
    return Records(out, out + feed.drain(now, out, capacity));
}

TEST(CcActivityFeed, ThrottlesPerController) {
    CcActivityFeed feed;
    EXPECT_EQ(drain(feed, 0, 4), Records{});
    feed.record(7, 2, 10);
    feed.record(128, 1, 1);  // no such controller
    feed.record(-1, 1, 1);
    feed.record(3, 16, 300);
    EXPECT_TRUE(feed.pending());
    EXPECT_EQ(drain(feed, 1000, 4), (Records{{3, 16, 127}, {7, 2, 10}}));
    EXPECT_FALSE(feed.pending());

    // Within 33 ms of the last record of a controller its newest value waits.
    feed.record(7, 2, 11);
    feed.record(7, 2, 12);
    EXPECT_EQ(drain(feed, 1032, 4), Records{});
    EXPECT_TRUE(feed.pending());
    EXPECT_EQ(drain(feed, 1033, 4), (Records{{7, 2, 12}}));

    // A full output leaves the rest pending, in controller order.
    for (int cc = 20; cc < 25; ++cc)
        feed.record(cc, 1, cc);
    CcActivityRecord out[1];
    EXPECT_EQ(feed.drain(2000, nullptr, 4), 0u);
    EXPECT_EQ(feed.drain(2000, out, 0), 0u);
    EXPECT_EQ(drain(feed, 2000, 3), (Records{{20, 1, 20}, {21, 1, 21}, {22, 1, 22}}));
    EXPECT_TRUE(feed.pending());
    EXPECT_EQ(drain(feed, 2000, 3), (Records{{23, 1, 23}, {24, 1, 24}}));
    EXPECT_FALSE(feed.pending());
}

TEST(CcActivityFeed, MessageText) {
    std::string out;
    writeMidiCcJson(out, {74, 0, 127});
    EXPECT_EQ(out, R"({"type":"kelvo.midiCc","cc":74,"channel":0,"value":127})");
    int64_t a = CcActivityFeed::nowMs(), b = CcActivityFeed::nowMs();
    EXPECT_LE(a, b);
}

}  // namespace
}  // namespace kelvo
