// Cadence clocks asked for through the module's C functions run on the run
// loop the module met last, and there is none without one.
#include <gtest/gtest.h>

#include "editor_host.h"
#include "kelvo_controller_clock.h"

extern "C" {
void* kelvoStartCadenceClock(void (*callback)(void*), void* context, double intervalSeconds);
void kelvoStopCadenceClock(void* handle);
}

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace std::chrono_literals;

void count(void* context) {
    ++*static_cast<int*>(context);
}

TEST(CadenceClockExports, RunOnTheRunLoopTheModuleMetAndOnlyThen) {
    int ticks = 0;
    EXPECT_EQ(kelvoStartCadenceClock(&count, &ticks, 0), nullptr);
    IPtr<PollRunLoop> loop = owned(new PollRunLoop());
    CadenceClock controllerClock;
    ASSERT_TRUE(controllerClock.start(loop.get(), [] {}));
    EXPECT_EQ(kelvoStartCadenceClock(nullptr, &ticks, 0), nullptr);
    void* clock = kelvoStartCadenceClock(&count, &ticks, 0.005);
    ASSERT_NE(clock, nullptr);
    EXPECT_EQ(loop->timerCount(), 2u);
    EXPECT_TRUE(loop->runUntil([&] { return ticks >= 3; }, 2000ms));
    kelvoStopCadenceClock(clock);
    kelvoStopCadenceClock(nullptr);
    EXPECT_EQ(loop->timerCount(), 1u);
    controllerClock.stop();
    EXPECT_EQ(kelvoStartCadenceClock(&count, &ticks, 0), nullptr);
}

}  // namespace
}  // namespace kelvo::test
