// What a Linux host gives an editor view, for tests and benchmarks: a run
// loop serviced with poll(), a plug frame offering it, and a bridge host that
// records what the page sends, optionally passing it on to a controller.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "kelvo_controller.h"
#include "pluginterfaces/gui/iplugview.h"

namespace kelvo::test {

class PollRunLoop : public Steinberg::Linux::IRunLoop {
  public:
    PollRunLoop() { FUNKNOWN_CTOR }
    virtual ~PollRunLoop(){FUNKNOWN_DTOR}

    Steinberg::tresult PLUGIN_API
        registerEventHandler(Steinberg::Linux::IEventHandler* handler, int fd) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler)
        SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                                Steinberg::Linux::TimerInterval milliseconds)
        SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler)
        SMTG_OVERRIDE;

    // Services handlers and timers (and `extraFd` with `onExtra`, e.g. an X
    // connection) until `done` holds or `timeout` passes; whether it held.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    size_t handlerCount() const { return handlers_.size(); }
    size_t timerCount() const { return timers_.size(); }

    int extraFd = -1;
    std::function<void()> onExtra;

    DECLARE_FUNKNOWN_METHODS

  private:
    struct Handler {
        Steinberg::IPtr<Steinberg::Linux::IEventHandler> handler;
        int fd;
    };
    struct Timer {
        Steinberg::IPtr<Steinberg::Linux::ITimerHandler> handler;
        std::chrono::milliseconds interval;
        std::chrono::steady_clock::time_point due;
    };
    std::vector<Handler> handlers_;
    std::vector<Timer> timers_;
};

// Offers the run loop (when given one) as hosts do, through the frame.
class TestFrame : public Steinberg::IPlugFrame {
  public:
    explicit TestFrame(Steinberg::Linux::IRunLoop* runLoop) : runLoop_(runLoop) {}
    virtual ~TestFrame() = default;
    Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view,
                                             Steinberg::ViewRect* size) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid,
                                                 void** obj) SMTG_OVERRIDE;
    Steinberg::uint32 PLUGIN_API addRef() SMTG_OVERRIDE;
    Steinberg::uint32 PLUGIN_API release() SMTG_OVERRIDE;

  private:
    Steinberg::IPtr<Steinberg::Linux::IRunLoop> runLoop_;
    Steinberg::int32 refs_ = 1;
};

struct PageMessage {
    std::string text;
    std::chrono::steady_clock::time_point at;
};

class RecordingBridge : public BridgeHost {
  public:
    // Passes everything on to `target` when given.
    explicit RecordingBridge(BridgeHost* target = nullptr) : target_(target) {}
    void handleBridgeMessage(const char* bytes, size_t length) override;
    void setBridgeSink(UiSink sink) override;
    void onEditorOpened() override;
    void onEditorClosed() override;
    void onEditorError(const char* reason) override;

    // The first recorded page message whose text contains `part`, or null.
    const PageMessage* find(const std::string& part) const;

    std::vector<PageMessage> messages;
    std::vector<std::string> errors;
    UiSink sink;
    int sinkInstalls = 0;
    int opened = 0;
    int closed = 0;
    // Runs after each page message was handled (e.g. a host's reaction).
    std::function<void()> afterMessage;

  private:
    BridgeHost* target_;
};

// The process ids whose parent is `parent`, read from /proc.
std::vector<pid_t> childrenOf(pid_t parent);
// `root` and everything below it in the process tree.
std::vector<pid_t> processTree(pid_t root);
// Proportional set size in KiB from /proc/<pid>/smaps_rollup; 0 when gone.
long pssKiB(pid_t pid);

}  // namespace kelvo::test
