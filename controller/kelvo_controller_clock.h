// The cadence clocks: repeating timers on the run loop of the host's main
// thread, where the host offers one (through the controller's initialize
// context or the editor view's frame). Without a run loop there is no clock;
// the editor's timer and diagnostics clients tick the controller instead.
#pragma once

#include <functional>

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/gui/iplugview.h"

namespace kelvo {

inline constexpr Steinberg::Linux::TimerInterval CADENCE_INTERVAL_MS = 1000 / 30;

class CadenceClock {
  public:
    CadenceClock();
    ~CadenceClock();
    CadenceClock(const CadenceClock&) = delete;
    CadenceClock& operator=(const CadenceClock&) = delete;

    // Main thread: calls `tick` every 1/30 s on the run loop `context`
    // offers; false, and no clock, when it offers none. A running clock is
    // kept as it is.
    bool start(Steinberg::FUnknown* context, std::function<void()> tick);
    // Main thread: as above on `runLoop` (null: no clock), every `interval`.
    bool start(Steinberg::Linux::IRunLoop* runLoop, std::function<void()> tick,
               Steinberg::Linux::TimerInterval interval = CADENCE_INTERVAL_MS);
    // Main thread: stops the clock; `tick` is never called again.
    void stop();
    bool running() const { return runLoop_ != nullptr; }

  private:
    class Timer;

    Steinberg::IPtr<Steinberg::Linux::IRunLoop> runLoop_;
    Steinberg::IPtr<Timer> timer_;
};

// The run loops the module has met, so that a clock asked for without a
// context can find one. Counted: each note is matched by one forget. Main
// thread.
void noteRunLoop(Steinberg::Linux::IRunLoop* runLoop);
void forgetRunLoop(Steinberg::Linux::IRunLoop* runLoop);
// The run loop noted last and not yet forgotten, or null.
Steinberg::Linux::IRunLoop* knownRunLoop();

}  // namespace kelvo
