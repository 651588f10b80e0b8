#include "kelvo_controller_clock.h"

#include <utility>

namespace kelvo {

using namespace Steinberg;

namespace {

constexpr Linux::TimerInterval CADENCE_INTERVAL_MS = 1000 / 30;

}  // namespace

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
    if (running()) return true;
    FUnknownPtr<Linux::IRunLoop> runLoop(context);
    if (!runLoop) return false;
    IPtr<Timer> timer = owned(new Timer(std::move(tick)));
    if (runLoop->registerTimer(timer, CADENCE_INTERVAL_MS) != kResultOk) return false;
    runLoop_ = runLoop;
    timer_ = timer;
    return true;
}

void CadenceClock::stop() {
    if (!running()) return;
    timer_->disarm();
    runLoop_->unregisterTimer(timer_);
    runLoop_ = nullptr;
    timer_ = nullptr;
}

}  // namespace kelvo
