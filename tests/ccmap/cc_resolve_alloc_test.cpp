// The audio-thread side of CC handling must never touch the heap: resolving
// against a full map in every mode, recording activity, and reading the
// published map.
#include <gtest/gtest.h>

#include "allocation_counter.h"
#include "cc_activity_feed.h"
#include "cc_map_store.h"
#include "cc_resolve.h"

namespace kelvo {
namespace {

double readHalf(void*, uint32_t) {
    return 0.5;
}

TEST(CcAllocations, AudioThreadPathNeverAllocates) {
    CcMap map;
    for (uint32_t i = 0; i < CC_MAP_CAPACITY; ++i) {
        CcBinding& b = map.bindings[map.count++];
        b.paramId = i % KELVO_PARAM_COUNT;
        b.cc = uint8_t(i % 2);
        b.curve = uint8_t(i % 4);
        b.valueMode = uint8_t(i % 5);
        b.takeover = uint8_t(i / 5 % 3);
        b.hasMin = i % 3 == 0;
        b.min = 0.1;
    }
    CcMapStore store;
    ASSERT_TRUE(store.publish(map));
    CcActivityFeed feed;
    CcRouterState state;
    CcResolution out[CC_MAP_CAPACITY];
    uint32_t resolved = 0;
    kelvo::test::AllocationScope scope;
    for (int pass = 0; pass < 4; ++pass) {
        for (int value = 0; value < 128; ++value) {
            const CcMap* current = store.current();
            int cc = value % 2;
            resolved += ccResolve(*current, cc, 1, value, &state, pass % 2 ? readHalf : nullptr,
                                  nullptr, out, CC_MAP_CAPACITY);
            resolved += ccResolve(*current, cc, 1, 127 - value, nullptr, nullptr, nullptr, out,
                                  CC_MAP_CAPACITY);
            feed.record(cc, 1, value);
            store.advanceEpoch();
        }
    }
    EXPECT_EQ(scope.allocations(), 0u);
    EXPECT_GT(resolved, 4u * 128u * 32u);
}

}  // namespace
}  // namespace kelvo
