// The controller's own cadence clock: a repeating 1/30 s timer on the run
// loop of the host's main thread, where the host offers one through its
// context. Without a run loop there is no clock; the editor's timer and
// diagnostics clients tick the controller instead.
#pragma once

#include <functional>

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/gui/iplugview.h"

namespace kelvo {

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
    // Main thread: stops the clock; `tick` is never called again.
    void stop();
    bool running() const { return runLoop_ != nullptr; }

  private:
    class Timer;

    Steinberg::IPtr<Steinberg::Linux::IRunLoop> runLoop_;
    Steinberg::IPtr<Timer> timer_;
};

}  // namespace kelvo
