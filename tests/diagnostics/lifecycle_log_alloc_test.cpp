#include <gtest/gtest.h>

#include <memory>

#include "allocation_counter.h"
#include "lifecycle_log.h"

namespace kelvo {
namespace {

TEST(LifecycleLogAllocation, RecordingAllocatesNothingEvenWhenFull) {
    auto log = std::make_unique<DiagnosticLifecycleLog>();
    test::AllocationScope scope;
    for (int i = 0; i < 600; ++i)
        log->record(DiagnosticLifecycleKind::PresetLoaded, i)
            .addString("name", "a name well beyond the sixty-three characters a field may hold")
            .addNumber("index", i)
            .addBool("ok", true)
            .addNull("none");
    EXPECT_EQ(scope.allocations(), 0u);
    EXPECT_EQ(log->dropped(), 600u - DIAGNOSTIC_LIFECYCLE_CAPACITY);
}

}  // namespace
}  // namespace kelvo
