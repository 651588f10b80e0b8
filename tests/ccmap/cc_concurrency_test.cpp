// One writer and one reader thread on the map store and the activity feed;
// run under ThreadSanitizer (races) and AddressSanitizer (use after free).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "cc_activity_feed.h"
#include "cc_map_store.h"

namespace kelvo {
namespace {

constexpr uint32_t PUBLICATIONS = 3000;

// Every binding of map n carries n, so a torn or freed map shows.
CcMap markedMap(uint32_t n) {
    CcMap map;
    map.count = n % CC_MAP_CAPACITY + 1;
    for (uint32_t i = 0; i < map.count; ++i)
        map.bindings[i].paramId = n;
    return map;
}

TEST(CcMapStoreThreads, ReaderSeesWholeMapsUntilItMovesOn) {
    CcMapStore store;
    std::atomic<bool> done{false};
    std::atomic<uint32_t> torn{0};
    std::thread reader([&] {
        uint32_t last = 0;
        while (!done.load(std::memory_order_acquire)) {
            const CcMap* map = store.current();
            if (map->count) {
                uint32_t n = map->bindings[0].paramId;
                if (map->count != n % CC_MAP_CAPACITY + 1 || n < last) torn.fetch_add(1);
                for (uint32_t i = 0; i < map->count; ++i)
                    if (map->bindings[i].paramId != n) torn.fetch_add(1);
                last = n;
            }
            store.takeChanged();
            store.advanceEpoch();
        }
    });
    for (uint32_t n = 1; n <= PUBLICATIONS; ++n) {
        ASSERT_TRUE(store.publish(markedMap(n)));
        if (n % 16 == 0) std::this_thread::yield();
        store.collect();
    }
    // The reader keeps advancing: everything retired is eventually freed.
    while (store.retiredCount() > 0) {
        std::this_thread::yield();
        store.collect();
    }
    done.store(true, std::memory_order_release);
    reader.join();
    EXPECT_EQ(torn.load(), 0u);
    EXPECT_EQ(store.current()->bindings[0].paramId, PUBLICATIONS);
}

TEST(CcActivityFeedThreads, LastValueOfEveryControllerArrives) {
    CcActivityFeed feed;
    std::atomic<bool> done{false};
    constexpr int ROUNDS = 20000;
    std::thread recorder([&] {
        for (int round = 0; round < ROUNDS; ++round)
            for (int cc = 0; cc < CcActivityFeed::CONTROLLERS; cc += 7)
                feed.record(cc, (round + cc) % 16 + 1, (round + cc) % 128);
        done.store(true, std::memory_order_release);
    });
    int latest[CcActivityFeed::CONTROLLERS];
    for (int& value : latest)
        value = -1;
    int64_t now = 0;
    CcActivityRecord out[16];
    uint32_t inconsistent = 0;
    auto drainOnce = [&] {
        now += 40;
        uint32_t n = feed.drain(now, out, 16);
        for (uint32_t i = 0; i < n; ++i) {
            // channel and value were recorded together.
            if (out[i].channel != (out[i].value % 16) + 1) ++inconsistent;
            latest[out[i].cc] = out[i].value;
        }
    };
    while (!done.load(std::memory_order_acquire))
        drainOnce();
    while (feed.pending())
        drainOnce();
    recorder.join();
    EXPECT_EQ(inconsistent, 0u);
    for (int cc = 0; cc < CcActivityFeed::CONTROLLERS; ++cc)
        EXPECT_EQ(latest[cc], cc % 7 ? -1 : (ROUNDS - 1 + cc) % 128) << cc;
}

}  // namespace
}  // namespace kelvo
