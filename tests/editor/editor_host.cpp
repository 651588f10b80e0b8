#include "editor_host.h"

#include <dirent.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kelvo::test {

using namespace Steinberg;
using Clock = std::chrono::steady_clock;

IMPLEMENT_FUNKNOWN_METHODS(PollRunLoop, Linux::IRunLoop, Linux::IRunLoop::iid)

tresult PLUGIN_API PollRunLoop::registerEventHandler(Linux::IEventHandler* handler, int fd) {
    if (handler == nullptr || fd < 0) return kInvalidArgument;
    handlers_.push_back({handler, fd});
    return kResultOk;
}

tresult PLUGIN_API PollRunLoop::unregisterEventHandler(Linux::IEventHandler* handler) {
    const auto end = std::remove_if(handlers_.begin(), handlers_.end(),
                                    [&](const Handler& entry) { return entry.handler == handler; });
    const bool found = end != handlers_.end();
    handlers_.erase(end, handlers_.end());
    return found ? kResultOk : kInvalidArgument;
}

tresult PLUGIN_API PollRunLoop::registerTimer(Linux::ITimerHandler* handler,
                                              Linux::TimerInterval milliseconds) {
    if (handler == nullptr || milliseconds == 0) return kInvalidArgument;
    const std::chrono::milliseconds interval(milliseconds);
    timers_.push_back({handler, interval, Clock::now() + interval});
    return kResultOk;
}

tresult PLUGIN_API PollRunLoop::unregisterTimer(Linux::ITimerHandler* handler) {
    const auto end = std::remove_if(timers_.begin(), timers_.end(),
                                    [&](const Timer& entry) { return entry.handler == handler; });
    const bool found = end != timers_.end();
    timers_.erase(end, timers_.end());
    return found ? kResultOk : kInvalidArgument;
}

bool PollRunLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        const auto now = Clock::now();
        if (now >= deadline) return false;
        auto wake = deadline;
        for (const Timer& timer : timers_)
            wake = std::min(wake, timer.due);
        std::vector<pollfd> fds;
        for (const Handler& entry : handlers_)
            fds.push_back({entry.fd, POLLIN, 0});
        if (extraFd >= 0) fds.push_back({extraFd, POLLIN, 0});
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now);
        ::poll(fds.data(), fds.size(), static_cast<int>(std::max<int64_t>(wait.count(), 0) + 1));
        // Copies: a callback may register or unregister.
        const std::vector<Handler> handlers = handlers_;
        for (size_t i = 0; i < handlers.size(); ++i)
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
                handlers[i].handler->onFDIsSet(handlers[i].fd);
        if (extraFd >= 0 && onExtra) onExtra();
        const std::vector<Timer> timers = timers_;
        for (const Timer& timer : timers) {
            if (timer.due > Clock::now()) continue;
            for (Timer& live : timers_)
                if (live.handler == timer.handler) live.due = Clock::now() + live.interval;
            timer.handler->onTimer();
        }
    }
    return true;
}

tresult PLUGIN_API TestFrame::resizeView(IPlugView* view, ViewRect* size) {
    return view != nullptr && size != nullptr ? view->onSize(size) : kInvalidArgument;
}

tresult PLUGIN_API TestFrame::queryInterface(const TUID iid, void** obj) {
    if (FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid) && runLoop_) {
        runLoop_->addRef();
        *obj = runLoop_.get();
        return kResultOk;
    }
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IPlugFrame)
    QUERY_INTERFACE(iid, obj, IPlugFrame::iid, IPlugFrame)
    *obj = nullptr;
    return kNoInterface;
}

uint32 PLUGIN_API TestFrame::addRef() {
    return static_cast<uint32>(++refs_);
}

uint32 PLUGIN_API TestFrame::release() {
    if (--refs_ == 0) {
        delete this;
        return 0;
    }
    return static_cast<uint32>(refs_);
}

void RecordingBridge::handleBridgeMessage(const char* bytes, size_t length) {
    messages.push_back({std::string(bytes, length), Clock::now()});
    if (target_) target_->handleBridgeMessage(bytes, length);
    if (afterMessage) afterMessage();
}

void RecordingBridge::setBridgeSink(UiSink newSink) {
    ++sinkInstalls;
    sink = newSink;
    if (target_) target_->setBridgeSink(std::move(newSink));
}

void RecordingBridge::onEditorOpened() {
    ++opened;
    if (target_) target_->onEditorOpened();
}

void RecordingBridge::onEditorClosed() {
    ++closed;
    if (target_) target_->onEditorClosed();
}

void RecordingBridge::onEditorError(const char* reason) {
    errors.emplace_back(reason ? reason : "");
    if (target_) target_->onEditorError(reason);
}

const PageMessage* RecordingBridge::find(const std::string& part) const {
    for (const PageMessage& message : messages)
        if (message.text.find(part) != std::string::npos) return &message;
    return nullptr;
}

std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> children;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return children;
    while (const dirent* entry = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // The command name may hold blanks and parentheses: read after the last ')'.
        const size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        std::string state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent && state != "Z") children.push_back(pid);
    }
    ::closedir(proc);
    return children;
}

std::vector<pid_t> processTree(pid_t root) {
    std::vector<pid_t> tree{root};
    for (size_t i = 0; i < tree.size(); ++i)
        for (pid_t child : childrenOf(tree[i]))
            tree.push_back(child);
    return tree;
}

long pssKiB(pid_t pid) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    long value = 0;
    while (rollup >> key) {
        if (key == "Pss:" && rollup >> value) return value;
        rollup.ignore(4096, '\n');
    }
    return 0;
}

}  // namespace kelvo::test
