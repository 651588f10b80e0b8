// The editor's C functions, compiled into the module itself, which exports
// them: the UI root for diagnostics tools, and cadence clocks on the host's
// run loop for code that has no controller at hand. Main thread only.
#include <algorithm>
#include <new>
#include <string>

#include "kelvo_controller_clock.h"
#include "ui_root.h"

namespace {

using CadenceCallback = void (*)(void* context);

}  // namespace

extern "C" {

// Valid until the next call on the same thread.
SMTG_EXPORT_SYMBOL const char* kelvoPluginUiRootForDiagnostics() {
    static thread_local std::string root;
    try {
        root = kelvo::pluginUiRoot();
    } catch (...) {
        root.clear();
    }
    return root.c_str();
}

// A repeating timer on the run loop the module last met (a controller's
// initialize context or an attached view's frame); null without one or
// without a callback. An interval not above 0 means 1/30 s.
SMTG_EXPORT_SYMBOL void* kelvoStartCadenceClock(CadenceCallback callback, void* context,
                                                double intervalSeconds) {
    if (callback == nullptr) return nullptr;
    Steinberg::Linux::TimerInterval interval = kelvo::CADENCE_INTERVAL_MS;
    if (intervalSeconds > 0)
        interval = static_cast<Steinberg::Linux::TimerInterval>(
            std::max(1.0, std::min(intervalSeconds * 1000.0 + 0.5, 86400000.0)));
    auto* clock = new (std::nothrow) kelvo::CadenceClock();
    if (clock == nullptr) return nullptr;
    try {
        if (clock->start(
                kelvo::knownRunLoop(), [callback, context] { callback(context); }, interval))
            return clock;
    } catch (...) {
    }
    delete clock;
    return nullptr;
}

// Null is ignored.
SMTG_EXPORT_SYMBOL void kelvoStopCadenceClock(void* handle) {
    delete static_cast<kelvo::CadenceClock*>(handle);
}

}  // extern "C"
