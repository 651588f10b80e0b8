#include "kelvo_controller_clock.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace kelvo {

using namespace Steinberg;

namespace {

// Every controller and attached view notes its run loop here; hosts hand out
// one loop, so the list stays a handful of entries long. Never destroyed: a
// loop left noted must not be released at process exit, after its host.
std::vector<IPtr<Linux::IRunLoop>>& notedRunLoops() {
    static auto* loops = new std::vector<IPtr<Linux::IRunLoop>>;
    return *loops;
}

}  // namespace

void noteRunLoop(Linux::IRunLoop* runLoop) {
    if (runLoop != nullptr) notedRunLoops().emplace_back(runLoop);
}

void forgetRunLoop(Linux::IRunLoop* runLoop) {
    auto& loops = notedRunLoops();
    auto last = std::find(loops.rbegin(), loops.rend(), runLoop);
    if (last != loops.rend()) loops.erase(std::next(last).base());
}

Linux::IRunLoop* knownRunLoop() {
    const auto& loops = notedRunLoops();
    return loops.empty() ? nullptr : loops.back().get();
}

class CadenceClock::Timer : public Linux::ITimerHandler {
  public:
    explicit Timer(std::function<void()> tick) : tick_(std::move(tick)) { FUNKNOWN_CTOR }
    virtual ~Timer() { FUNKNOWN_DTOR }

    void PLUGIN_API onTimer() SMTG_OVERRIDE {
        if (tick_) tick_();
    }
    // The run loop may hold the timer beyond the clock.
    void disarm() { tick_ = nullptr; }

    DECLARE_FUNKNOWN_METHODS

  private:
    std::function<void()> tick_;
};

IMPLEMENT_FUNKNOWN_METHODS(CadenceClock::Timer, Linux::ITimerHandler, Linux::ITimerHandler::iid)

CadenceClock::CadenceClock() = default;

CadenceClock::~CadenceClock() {
    stop();
}

bool CadenceClock::start(FUnknown* context, std::function<void()> tick) {
    FUnknownPtr<Linux::IRunLoop> runLoop(context);
    return start(runLoop.get(), std::move(tick));
}

bool CadenceClock::start(Linux::IRunLoop* runLoop, std::function<void()> tick,
                         Linux::TimerInterval interval) {
    if (running()) return true;
    if (runLoop == nullptr) return false;
    IPtr<Timer> timer = owned(new Timer(std::move(tick)));
    if (runLoop->registerTimer(timer, interval) != kResultOk) return false;
    runLoop_ = runLoop;
    timer_ = timer;
    noteRunLoop(runLoop);
    return true;
}

void CadenceClock::stop() {
    if (!running()) return;
    timer_->disarm();
    runLoop_->unregisterTimer(timer_);
    forgetRunLoop(runLoop_);
    runLoop_ = nullptr;
    timer_ = nullptr;
}

}  // namespace kelvo
