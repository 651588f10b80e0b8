// The audio-thread entry points must never touch the heap.
#include <gtest/gtest.h>

#include "allocation_counter.h"
#include "kernel_api.h"

namespace {

TEST(KernelAllocations, PushProcessAndResetNeverAllocate) {
    KERNEL(runtime_init)();
    auto handle = static_cast<uint32_t>(KERNEL(create)(128, 0, 2, 48000));
    ASSERT_NE(handle, 0u);
    kelvo::test::AllocationScope scope;
    for (int block = 0; block < 400; ++block) {
        const uint32_t note = 36 + block % 22;
        KERNEL(push_event)(handle, 1, 0, block % 14, 0.3 + (block % 5) * 0.1);
        KERNEL(push_event)(handle, 2, block % 128, note, 1);
        KERNEL(push_event)(handle, 3, 127, note, 0);
        KERNEL(process)(handle, 128);
        float* out;
        size_t length;
        KERNEL(output_view)(handle, &out, &length);
    }
    KERNEL(reset)(handle);
    KERNEL(process)(handle, 128);
    EXPECT_EQ(scope.allocations(), 0u);
}

}  // namespace
