// The editor view without a display: sizes, and the sequences hosts put a
// view through, with stand-in helpers (small shell scripts) on a socket the
// test's run loop services.
#include "webview_plug_view.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>

#include "editor_host.h"
#include "temp_dir.h"

extern "C" {
void* kelvoStartCadenceClock(void (*callback)(void*), void* context, double intervalSeconds);
void kelvoStopCadenceClock(void* handle);
}

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(EditorSize, TheViewStartsAt980x760AndClampsRequestsIntoRange) {
    WebViewPlugView view(EditorLink{}, "/", "/nonexistent");
    ViewRect rect;
    view.getSize(&rect);
    EXPECT_EQ(std::pair(rect.getWidth(), rect.getHeight()), std::pair(980, 760));
    EXPECT_EQ(view.canResize(), kResultTrue);
    // Width and height asked for and granted; the top left corner stays.
    const int cases[][4] = {{300, 2000, 620, 1200}, {1000, 800, 1000, 800}, {5000, 100, 1600, 500}};
    for (const auto& c : cases) {
        ViewRect checked(10, 20, 10 + c[0], 20 + c[1]), sized = checked;
        EXPECT_EQ(view.checkSizeConstraint(&checked), kResultOk);
        view.onSize(&sized);
        for (const ViewRect& rect : {checked, sized})
            EXPECT_EQ(std::pair(rect.right, rect.bottom), std::pair(10 + c[2], 20 + c[3]));
    }
}

bool gone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// The stand-in echoes every line, so a text the controller sends comes back
// as a page message.
constexpr const char* ECHO = "exec cat <&3 >&3";
constexpr const char* STUBBORN = "exec sleep 30";

class PlugViewTest : public TempDirTest {
  protected:
    // A stand-in helper running `body` as a shell script; the socket is fd 3.
    std::string helper(const std::string& body) {
        const std::string path = (dir / std::to_string(std::hash<std::string>()(body))).string();
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        ::chmod(path.c_str(), 0755);
        return path;
    }
    IPtr<WebViewPlugView> view(const std::string& helperPath) {
        EditorLink link;
        link.host = &bridge;
        link.tick = [this] { ++ticks; };
        IPtr<WebViewPlugView> made = owned(new WebViewPlugView(link, dir.string(), helperPath));
        made->setFrame(frame);
        return made;
    }
    tresult attach(WebViewPlugView* plugView, FIDString type = kPlatformTypeX11EmbedWindowID) {
        return plugView->attached(reinterpret_cast<void*>(0x1234), type);
    }
    size_t registered() const { return frame->handlerCount() + frame->timerCount(); }

    IPtr<TestFrame> frame = owned(new TestFrame());
    RecordingBridge bridge;
    int ticks = 0;
};

// Attaching fails, with the reason, without a run loop or a helper. Hosts
// attach, remove and attach one view again, and may drop the frame before
// removing it: the view keeps the run loop it registered with. While it is
// attached the module's clock exports find that run loop, and only then.
TEST_F(PlugViewTest, AttachRemoveAttachOnOneViewLeavesNothingBehind) {
    IPtr<WebViewPlugView> plugView = view(helper(ECHO));
    frame->offerRunLoop = false;
    EXPECT_EQ(attach(plugView), kResultFalse);
    frame->offerRunLoop = true;
    EXPECT_EQ(attach(view((dir / "missing").string())), kResultFalse);
    EXPECT_EQ(attach(plugView, "NSView"), kResultFalse);
    EXPECT_EQ(bridge.errors,
              (std::vector<std::string>{"no run loop from host", "webview allocation failed"}));
    int clockTicks = 0;
    const auto count = [](void* context) { ++*static_cast<int*>(context); };
    for (int round = 1; round <= 2; ++round) {
        EXPECT_EQ(kelvoStartCadenceClock(count, &clockTicks, 0), nullptr);
        ASSERT_EQ(attach(plugView), kResultOk);
        const pid_t pid = plugView->helperPid();
        EXPECT_EQ(std::pair(frame->handlerCount(), frame->timerCount()), std::pair(1ul, 1ul));
        void* clock = kelvoStartCadenceClock(count, &clockTicks, 0.005);
        bridge.sink(R"({"type":"kelvo.hello"})");
        EXPECT_TRUE(frame->runUntil(
            [&] { return bridge.find("kelvo.hello") && ticks > 0 && clockTicks >= 3 * round; },
            3s));
        kelvoStopCadenceClock(clock);
        bridge.messages.clear();
        if (round == 2) plugView->setFrame(nullptr);
        plugView->removed();
        EXPECT_EQ(registered(), 0u);
        EXPECT_FALSE(bridge.sink);
        EXPECT_TRUE(gone(pid));
        EXPECT_EQ(std::pair(bridge.opened, bridge.closed), std::pair(round, round));
    }
}

// With two views on one controller the last attached holds the sink; when it
// goes the other takes it back, and the other going first changes nothing. A
// view destroyed while attached removes itself.
TEST_F(PlugViewTest, TwoViewsOfOneControllerHandTheSinkOn) {
    IPtr<WebViewPlugView> first = view(helper(ECHO)), second = view(helper(ECHO));
    ASSERT_EQ(attach(first), kResultOk);
    ASSERT_EQ(attach(second), kResultOk);
    second->removed();
    bridge.sink(R"({"type":"to.first"})");
    EXPECT_TRUE(frame->runUntil([&] { return bridge.find("to.first") != nullptr; }, 3s));
    ASSERT_EQ(attach(second), kResultOk);
    const int installs = bridge.sinkInstalls;
    first->removed();
    EXPECT_EQ(bridge.sinkInstalls, installs);
    const pid_t pid = second->helperPid();
    second = nullptr;
    EXPECT_FALSE(bridge.sink);
    EXPECT_EQ(registered(), 0u);
    EXPECT_EQ(bridge.closed, 3);
    EXPECT_TRUE(gone(pid));
}

// Removal does not wait for a helper that exits on its closed socket, kills
// one that does not after the grace time, and reaps both, also when the
// host reaps children itself.
TEST_F(PlugViewTest, RemovalEndsTheHelperWithinABoundedWait) {
    for (const char* body : {ECHO, STUBBORN}) {
        for (const bool hostReaps : {false, true}) {
            SCOPED_TRACE(testing::Message() << body << (hostReaps ? ", host reaps" : ""));
            ::signal(SIGCHLD, hostReaps ? SIG_IGN : SIG_DFL);
            IPtr<WebViewPlugView> plugView = view(helper(body));
            ASSERT_EQ(attach(plugView), kResultOk);
            const pid_t pid = plugView->helperPid();
            const auto start = Clock::now();
            plugView->removed();
            const auto took = Clock::now() - start;
            EXPECT_TRUE(body == ECHO ? took < 400ms : took >= 400ms && took < 3s);
            EXPECT_TRUE(gone(pid));
        }
    }
    ::signal(SIGCHLD, SIG_DFL);
}

// The helper inherits none of the host's descriptors: it lists its own, the
// last being the folder it reads. When it dies the view has no socket left
// to watch.
TEST_F(PlugViewTest, TheHelperHoldsOnlyItsSocketAndADeadOneIsUnwatched) {
    const int inheritable = ::dup(2);
    IPtr<WebViewPlugView> plugView = view(helper("exec ls /proc/self/fd >&3"));
    ASSERT_EQ(attach(plugView), kResultOk);
    EXPECT_TRUE(frame->runUntil([&] { return frame->handlerCount() == 0; }, 3s));
    EXPECT_EQ(bridge.messages, (std::vector<std::string>{"0", "1", "2", "3", "4"}));
    EXPECT_EQ(plugView->helperPid(), -1);
    EXPECT_EQ(frame->timerCount(), 1u);
    ::close(inheritable);
}

TEST(EditorCreation, WithoutControllerThereIsNoEditor) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(createWebViewEditor(nullptr, "/tmp"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "kelvo-plugin-shell: no UI bundle found; editor disabled\n");
}

}  // namespace
}  // namespace kelvo::test
