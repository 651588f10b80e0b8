#include "editor_host.h"

#include <poll.h>

#include <algorithm>
#include <fstream>

namespace kelvo::test {

using namespace Steinberg;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

IMPLEMENT_REFCOUNT(TestFrame)

tresult PLUGIN_API TestFrame::queryInterface(const TUID iid, void** obj) {
    if (offerRunLoop) QUERY_INTERFACE(iid, obj, Linux::IRunLoop::iid, Linux::IRunLoop)
    QUERY_INTERFACE(iid, obj, IPlugFrame::iid, IPlugFrame)
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IPlugFrame)
    *obj = nullptr;
    return kNoInterface;
}

bool TestFrame::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
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
        const auto wait = std::max(wake - now, Clock::duration::zero());
        ::poll(fds.data(), fds.size(),
               static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
        // Copies: a callback may register or unregister.
        const std::vector<Handler> handlers = handlers_;
        for (size_t i = 0; i < handlers.size(); ++i)
            if (fds[i].revents != 0) handlers[i].handler->onFDIsSet(handlers[i].fd);
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

std::string makeUiTree(const fs::path& dir, const std::string& page) {
    fs::create_directories(dir / "ui");
    fs::create_directories(dir / "ui-evil");
    std::ofstream(dir / "ui/index.html") << page;
    std::ofstream(dir / "ui-evil/secret.txt") << "s";
    std::ofstream(dir / "outside.txt") << "o";
    fs::create_symlink("../ui-evil", dir / "ui/evil");
    fs::create_symlink(dir / "outside.txt", dir / "ui/out.txt");
    return (dir / "ui").string();
}

}  // namespace kelvo::test
