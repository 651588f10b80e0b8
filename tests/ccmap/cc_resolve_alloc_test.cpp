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

TEST(CcAllocations, AudioThreadPathNeverAllocates) {
    CcMap map;
    // Every curve, value mode and takeover, some with a range.
    for (uint32_t i = 0; i < CC_MAP_CAPACITY; ++i) {
        CcBinding& b = map.bindings[map.count++];
        b.paramId = i % KELVO_PARAM_COUNT, b.cc = i % 2, b.curve = i % 4, b.valueMode = i % 5;
        b.takeover = i / 5 % 3, b.hasMin = i % 3 == 0, b.min = 0.1;
    }
    CcMapStore store;
    ASSERT_TRUE(store.publish(map));
    CcActivityFeed feed;
    CcRouterState state;
    CcResolution out[CC_MAP_CAPACITY];
    uint32_t resolved = 0;
    kelvo::test::AllocationScope scope;
    for (int step = 0; step < 4 * 128; ++step) {
        int value = step % 128, cc = value % 2;
        const CcMap* current = store.current();
        resolved += ccResolve(*current, cc, 1, value, &state,
                              step & 128 ? +[](void*, uint32_t) { return 0.5; } : nullptr, nullptr,
                              out, CC_MAP_CAPACITY);
        resolved += ccResolve(*current, cc, 1, 127 - value, nullptr, nullptr, nullptr, out,
                              CC_MAP_CAPACITY);
        feed.record(cc, 1, value);
        store.advanceEpoch();
    }
    EXPECT_EQ(scope.allocations(), 0u);
    EXPECT_GT(resolved, 4u * 128u * 32u);
}

}  // namespace
}  // namespace kelvo
