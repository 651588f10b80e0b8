#include <gtest/gtest.h>

#include <string>

#include "cc_activity_feed.h"
#include "cc_map_store.h"

namespace kelvo {
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

TEST(CcActivityFeed, ThrottlesPerController) {
    CcActivityFeed feed;
    CcActivityRecord out[4];
    EXPECT_EQ(feed.drain(0, out, 4), 0u);
    feed.record(7, 2, 10);
    feed.record(128, 1, 1);  // no such controller
    feed.record(-1, 1, 1);
    feed.record(3, 16, 300);
    EXPECT_TRUE(feed.pending());
    ASSERT_EQ(feed.drain(1000, out, 4), 2u);
    EXPECT_EQ(out[0].cc, 3);
    EXPECT_EQ(out[0].channel, 16);
    EXPECT_EQ(out[0].value, 127);
    EXPECT_EQ(out[1].cc, 7);
    EXPECT_EQ(out[1].value, 10);
    EXPECT_FALSE(feed.pending());

    // Within 33 ms of the last record of a controller its newest value waits.
    feed.record(7, 2, 11);
    feed.record(7, 2, 12);
    EXPECT_EQ(feed.drain(1032, out, 4), 0u);
    EXPECT_TRUE(feed.pending());
    ASSERT_EQ(feed.drain(1033, out, 4), 1u);
    EXPECT_EQ(out[0].value, 12);

    // A full output leaves the rest pending, in controller order.
    for (int cc = 20; cc < 25; ++cc)
        feed.record(cc, 1, cc);
    EXPECT_EQ(feed.drain(2000, nullptr, 4), 0u);
    EXPECT_EQ(feed.drain(2000, out, 0), 0u);
    ASSERT_EQ(feed.drain(2000, out, 3), 3u);
    EXPECT_EQ(out[2].cc, 22);
    EXPECT_TRUE(feed.pending());
    ASSERT_EQ(feed.drain(2000, out, 3), 2u);
    EXPECT_EQ(out[0].cc, 23);
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
