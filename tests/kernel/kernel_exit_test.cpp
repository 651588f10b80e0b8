// A host may call exit() while another of its threads still runs the plug-in:
// static destructors then run while kernel calls continue.
#include <gtest/gtest.h>

#include <cstdlib>

#include "kernel_api.h"

namespace {

// Constructed before every default-priority static, the kernel's included,
// so its destructor runs after theirs: its calls stand for the host thread
// that is still rendering while exit() tears the process down.
struct LateCaller {
    LateCaller() {}
    ~LateCaller() {
        if (handle == 0) return;
        float* data = nullptr;
        size_t length = 0;
        if (KERNEL(push_event)(handle, 2, 0, 36, 1) != 0 || KERNEL(process)(handle, 128) != 0)
            std::_Exit(3);
        KERNEL(output_view)(handle, &data, &length);
        if (length != 256 || data[1] == 0) std::_Exit(4);
    }
    uint32_t handle = 0;
};
__attribute__((init_priority(101))) LateCaller lateCaller;

TEST(KernelExitDeathTest, ACallAfterProcessTeardownBeganDoesNotTrap) {
    EXPECT_EXIT(
        {
            KERNEL(runtime_init)();
            lateCaller.handle = static_cast<uint32_t>(KERNEL(create)(128, 0, 2, 48000));
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
