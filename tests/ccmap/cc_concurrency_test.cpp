// One writer and one reader thread on the map store and the activity feed;
// run under ThreadSanitizer (races) and AddressSanitizer (use after free).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "cc_activity_feed.h"
#include "cc_map_store.h"

namespace kelvo {
namespace {

TEST(CcMapStoreThreads, ReaderSeesWholeMapsUntilItMovesOn) {
    CcMapStore store;
    std::atomic<bool> done{false};
    std::atomic<uint32_t> torn{0};
    std::thread reader([&] {
        for (uint32_t last = 0; !done.load(std::memory_order_acquire);) {
            // Every binding of map n carries n, so a torn or freed map shows.
            const CcMap* map = store.current();
            uint32_t n = map->count ? map->bindings[0].paramId : last;
            if (map->count && (map->count != n % CC_MAP_CAPACITY + 1 || n < last)) ++torn;
            for (uint32_t i = 0; i < map->count; ++i)
                if (map->bindings[i].paramId != n) ++torn;
            last = n;
            store.takeChanged();
            store.advanceEpoch();
        }
    });
    for (uint32_t n = 1; n <= 3000; ++n) {
        CcMap map{n % CC_MAP_CAPACITY + 1};
        std::fill_n(map.bindings, map.count, CcBinding{.paramId = n});
        ASSERT_TRUE(store.publish(map));
        if (n % 16 == 0) std::this_thread::yield();
        store.collect();
    }
    // The reader keeps advancing: everything retired is eventually freed.
    for (; store.retiredCount() > 0; store.collect())
        std::this_thread::yield();
    done.store(true, std::memory_order_release);
    reader.join();
    EXPECT_EQ(torn.load(), 0u);
    EXPECT_EQ(store.current()->bindings[0].paramId, 3000u);
}

TEST(CcActivityFeedThreads, LastValueOfEveryControllerArrives) {
    constexpr int ROUNDS = 20000;
    CcActivityFeed feed;
    std::atomic<bool> done{false};
    std::thread recorder([&] {
        for (int round = 0; round < ROUNDS; ++round)
            for (int cc = 0; cc < CcActivityFeed::CONTROLLERS; cc += 7)
                feed.record(cc, (round + cc) % 16 + 1, (round + cc) % 128);
        done.store(true, std::memory_order_release);
    });
    std::vector<int> latest(CcActivityFeed::CONTROLLERS, -1);
    uint32_t inconsistent = 0;
    for (int64_t now = CcActivityFeed::nowMs();
         !done.load(std::memory_order_acquire) || feed.pending();) {
        CcActivityRecord out[16];
        uint32_t n = feed.drain(now += 40, out, 16);
        for (uint32_t i = 0; i < n; ++i) {
            // channel and value were recorded together.
            if (out[i].channel != (out[i].value % 16) + 1) ++inconsistent;
            latest[out[i].cc] = out[i].value;
        }
    }
    recorder.join();
    EXPECT_EQ(inconsistent, 0u);
    for (int cc = 0; cc < CcActivityFeed::CONTROLLERS; ++cc)
        EXPECT_EQ(latest[cc], cc % 7 ? -1 : (ROUNDS - 1 + cc) % 128) << cc;
}

}  // namespace
}  // namespace kelvo
