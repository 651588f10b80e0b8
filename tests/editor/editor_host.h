// What a Linux host gives an editor view, for tests and benchmarks: a plug
// frame offering a run loop serviced with poll(), and a bridge host that
// records what the view passes on.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "kelvo_controller.h"
#include "pluginterfaces/gui/iplugview.h"

namespace kelvo::test {

using Steinberg::tresult;
namespace Linux = Steinberg::Linux;

// The frame and its run loop in one object; a host without a run loop is
// played by clearing `offerRunLoop`.
class TestFrame final : public Steinberg::IPlugFrame, public Linux::IRunLoop {
  public:
    TestFrame(){FUNKNOWN_CTOR} DECLARE_FUNKNOWN_METHODS

        tresult PLUGIN_API resizeView(Steinberg::IPlugView*, Steinberg::ViewRect*) override {
        return Steinberg::kNotImplemented;
    }
    tresult PLUGIN_API registerEventHandler(Linux::IEventHandler* handler, int fd) override {
        handlers_.push_back({handler, fd});
        return Steinberg::kResultOk;
    }
    tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler* handler) override {
        std::erase_if(handlers_, [&](const Handler& entry) { return entry.handler == handler; });
        return Steinberg::kResultOk;
    }
    // A new timer is due at once.
    tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler,
                                     Linux::TimerInterval milliseconds) override {
        timers_.push_back({handler, std::chrono::milliseconds(milliseconds), {}});
        return Steinberg::kResultOk;
    }
    tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* handler) override {
        std::erase_if(timers_, [&](const Timer& entry) { return entry.handler == handler; });
        return Steinberg::kResultOk;
    }

    // Services handlers and timers until `done` holds or `timeout` passes;
    // whether it held.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    size_t handlerCount() const { return handlers_.size(); }
    size_t timerCount() const { return timers_.size(); }

    bool offerRunLoop = true;

  private:
    struct Handler {
        Steinberg::IPtr<Linux::IEventHandler> handler;
        int fd;
    };
    struct Timer {
        Steinberg::IPtr<Linux::ITimerHandler> handler;
        std::chrono::milliseconds interval;
        std::chrono::steady_clock::time_point due;
    };
    std::vector<Handler> handlers_;
    std::vector<Timer> timers_;
};

// Records what the view tells the controller.
struct RecordingBridge : BridgeHost {
    void handleBridgeMessage(const char* bytes, size_t length) override {
        messages.emplace_back(bytes, length);
    }
    void setBridgeSink(UiSink newSink) override {
        ++sinkInstalls;
        sink = std::move(newSink);
    }
    void onEditorOpened() override { ++opened; }
    void onEditorClosed() override { ++closed; }
    void onEditorError(const char* reason) override { errors.emplace_back(reason); }
    // The first recorded message containing `part`, or null.
    const std::string* find(const std::string& part) const {
        for (const std::string& message : messages)
            if (message.find(part) != std::string::npos) return &message;
        return nullptr;
    }

    std::vector<std::string> messages, errors;
    UiSink sink;
    int sinkInstalls = 0, opened = 0, closed = 0;
};

// Writes `dir`/ui holding index.html with `page`, and the ways out of it a
// server must refuse: the symlink "evil" to the sibling folder "ui-evil"
// (holding secret.txt) and the symlink "out.txt" to `dir`/outside.txt.
// Returns the ui folder.
std::string makeUiTree(const std::filesystem::path& dir, const std::string& page);

}  // namespace kelvo::test
