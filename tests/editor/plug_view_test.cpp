// The editor view without a display: sizes, and the sequences hosts put a
// view through, with stand-in helpers (small shell scripts) on a socket the
// test's run loop services.
#include "webview_plug_view.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>

#include "editor_host.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(EditorSize, RequestsAreClampedIntoTheEditorsRange) {
    struct Case {
        ViewRect in, out;
    } cases[] = {
        {{0, 0, 300, 2000}, {0, 0, 620, 1200}},
        {{10, 20, 1010, 820}, {10, 20, 1010, 820}},
        {{0, 0, 5000, 100}, {0, 0, 1600, 500}},
    };
    for (const Case& c : cases) {
        ViewRect rect = c.in;
        clampEditorRect(rect);
        EXPECT_EQ(rect.right, c.out.right) << c.in.right;
        EXPECT_EQ(rect.bottom, c.out.bottom) << c.in.bottom;
    }
    WebViewPlugView view(EditorLink{}, "/", "/nonexistent");
    ViewRect rect(0, 0, 300, 2000);
    EXPECT_EQ(view.checkSizeConstraint(&rect), kResultOk);
    EXPECT_EQ(rect.getWidth(), 620);
    EXPECT_EQ(view.checkSizeConstraint(nullptr), kInvalidArgument);
    EXPECT_EQ(view.onSize(nullptr), kResultFalse);
    EXPECT_EQ(view.canResize(), kResultTrue);
    ViewRect initial;
    view.getSize(&initial);
    EXPECT_EQ(initial.getWidth(), 980);
    EXPECT_EQ(initial.getHeight(), 760);
}

bool gone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

class PlugViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelvo-view-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        ui = dir + "/ui";
        std::filesystem::create_directory(ui);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // A stand-in helper running `body` as a shell script; the socket is fd 3.
    std::string helper(const std::string& name, const std::string& body) {
        const std::string path = dir + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        ::chmod(path.c_str(), 0755);
        return path;
    }
    IPtr<WebViewPlugView> view(const std::string& helperPath, IPlugFrame* frame) {
        EditorLink link;
        link.host = &bridge;
        link.tick = [this] { ++ticks; };
        IPtr<WebViewPlugView> made = owned(new WebViewPlugView(link, ui, helperPath));
        made->setFrame(frame);
        return made;
    }
    bool run(const std::function<bool()>& done, std::chrono::milliseconds timeout = 3000ms) {
        return loop->runUntil(done, timeout);
    }

    std::string dir, ui;
    IPtr<PollRunLoop> loop = owned(new PollRunLoop());
    IPtr<TestFrame> frame = owned(new TestFrame(loop));
    RecordingBridge bridge;
    int ticks = 0;
    void* parent = reinterpret_cast<void*>(0x1234);
};

// The stand-in echoes every line, so a text the controller sends comes back
// as a page message.
constexpr const char* ECHO = "exec cat <&3 >&3";

TEST_F(PlugViewTest, AttachRemoveAttachOnOneViewLeavesNothingBehind) {
    IPtr<WebViewPlugView> plugView = view(helper("echo", ECHO), frame);
    EXPECT_EQ(plugView->isPlatformTypeSupported("NSView"), kResultFalse);
    EXPECT_EQ(plugView->attached(parent, "NSView"), kResultFalse);
    for (int round = 1; round <= 2; ++round) {
        ASSERT_EQ(plugView->attached(parent, kPlatformTypeX11EmbedWindowID), kResultOk);
        const pid_t pid = plugView->helperPid();
        EXPECT_EQ(loop->handlerCount(), 1u);
        EXPECT_EQ(loop->timerCount(), 1u);
        ASSERT_TRUE(bridge.sink);
        bridge.sink(R"({"type":"kelvo.hello"})");
        EXPECT_TRUE(run([&] { return bridge.find("kelvo.hello") && ticks > 0; }));
        bridge.messages.clear();
        plugView->removed();
        EXPECT_EQ(loop->handlerCount(), 0u);
        EXPECT_EQ(loop->timerCount(), 0u);
        EXPECT_FALSE(bridge.sink);
        EXPECT_TRUE(gone(pid));
        EXPECT_EQ(bridge.opened, round);
        EXPECT_EQ(bridge.closed, round);
    }
}

// Hosts drop the frame before removing the view; the view still reaches the
// run loop it registered with.
TEST_F(PlugViewTest, RemovalAfterTheFrameWasDroppedUnregistersEverything) {
    IPtr<WebViewPlugView> plugView = view(helper("echo", ECHO), frame);
    ASSERT_EQ(plugView->attached(parent, kPlatformTypeX11EmbedWindowID), kResultOk);
    plugView->setFrame(nullptr);
    frame = nullptr;
    plugView->removed();
    EXPECT_EQ(loop->handlerCount(), 0u);
    EXPECT_EQ(loop->timerCount(), 0u);
}

TEST_F(PlugViewTest, ADestroyedViewUnregistersWhatItsHostNeverRemoved) {
    pid_t pid = -1;
    {
        IPtr<WebViewPlugView> plugView = view(helper("echo", ECHO), frame);
        ASSERT_EQ(plugView->attached(parent, kPlatformTypeX11EmbedWindowID), kResultOk);
        pid = plugView->helperPid();
    }
    EXPECT_EQ(loop->handlerCount(), 0u);
    EXPECT_EQ(loop->timerCount(), 0u);
    EXPECT_EQ(bridge.closed, 1);
    EXPECT_TRUE(gone(pid));
}

// With two views on one controller the last attached holds the sink; when it
// goes the other takes it back, and the other going first changes nothing.
TEST_F(PlugViewTest, TwoViewsOfOneControllerHandTheSinkOn) {
    const std::string echo = helper("echo", ECHO);
    IPtr<WebViewPlugView> first = view(echo, frame);
    IPtr<WebViewPlugView> second = view(echo, frame);
    ASSERT_EQ(first->attached(parent, kPlatformTypeX11EmbedWindowID), kResultOk);
    ASSERT_EQ(second->attached(parent, kPlatformTypeX11EmbedWindowID), kResultOk);
    EXPECT_EQ(loop->handlerCount(), 2u);
    second->removed();
    ASSERT_TRUE(bridge.sink);
    bridge.sink(R"({"type":"to.first"})");
    EXPECT_TRUE(run([&] { return bridge.find("to.first") != nullptr; }));
    ASSERT_EQ(second->attached(parent, kPlatformTypeX11EmbedWindowID), kResultOk);
    const int installs = bridge.sinkInstalls;
    first->removed();
    EXPECT_EQ(bridge.sinkInstalls, installs);
    EXPECT_TRUE(bridge.sink);
    second->removed();
    EXPECT_FALSE(bridge.sink);
    EXPECT_EQ(loop->handlerCount(), 0u);
    EXPECT_EQ(loop->timerCount(), 0u);
}

TEST_F(PlugViewTest, TheHelperHoldsOnlyStandardStreamsAndItsSocket) {
    IPtr<WebViewPlugView> plugView = view(helper("sleeper", "exec sleep 30"), frame);
    ASSERT_EQ(plugView->attached(parent, kPlatformTypeX11EmbedWindowID), kResultOk);
    const std::string proc = "/proc/" + std::to_string(plugView->helperPid());
    ASSERT_TRUE(run([&] {
        std::error_code error;
        return std::filesystem::read_symlink(proc + "/exe", error).filename() == "sleep";
    }));
    std::set<std::string> fds;
    for (const auto& entry : std::filesystem::directory_iterator(proc + "/fd"))
        fds.insert(entry.path().filename());
    EXPECT_EQ(fds, (std::set<std::string>{"0", "1", "2", "3"}));
    plugView->removed();
}

// A helper that ignores its closed socket is killed after the grace time and
// reaped, also when the host reaps children itself.
TEST_F(PlugViewTest, AHelperThatDoesNotExitIsKilledAfterABoundedWait) {
    for (const bool hostReaps : {false, true}) {
        if (hostReaps) ::signal(SIGCHLD, SIG_IGN);
        IPtr<WebViewPlugView> plugView = view(helper("stubborn", "exec sleep 30"), frame);
        ASSERT_EQ(plugView->attached(parent, kPlatformTypeX11EmbedWindowID), kResultOk);
        const pid_t pid = plugView->helperPid();
        const auto start = Clock::now();
        plugView->removed();
        const auto took = Clock::now() - start;
        EXPECT_GE(took, 400ms) << hostReaps;
        EXPECT_LT(took, 3000ms) << hostReaps;
        EXPECT_TRUE(gone(pid)) << hostReaps;
    }
    ::signal(SIGCHLD, SIG_DFL);
}

TEST_F(PlugViewTest, AHelperThatExitsOnEndOfFileIsNotWaitedFor) {
    ::signal(SIGCHLD, SIG_IGN);
    IPtr<WebViewPlugView> plugView = view(helper("echo", ECHO), frame);
    ASSERT_EQ(plugView->attached(parent, kPlatformTypeX11EmbedWindowID), kResultOk);
    const auto start = Clock::now();
    plugView->removed();
    EXPECT_LT(Clock::now() - start, 400ms);
    ::signal(SIGCHLD, SIG_DFL);
}

// The helper dying leaves an attached view with no socket to watch.
TEST_F(PlugViewTest, AHelperThatDiesIsUnwatchedAndReaped) {
    IPtr<WebViewPlugView> plugView = view(helper("quitter", "exit 0"), frame);
    ASSERT_EQ(plugView->attached(parent, kPlatformTypeX11EmbedWindowID), kResultOk);
    EXPECT_TRUE(run([&] { return loop->handlerCount() == 0; }));
    EXPECT_EQ(plugView->helperPid(), -1);
    EXPECT_EQ(loop->timerCount(), 1u);
    plugView->removed();
}

TEST_F(PlugViewTest, AttachFailsWithoutRunLoopOrHelper) {
    IPtr<TestFrame> bare = owned(new TestFrame(nullptr));
    IPtr<WebViewPlugView> noLoop = view(helper("echo", ECHO), bare);
    EXPECT_EQ(noLoop->attached(parent, kPlatformTypeX11EmbedWindowID), kResultFalse);
    IPtr<WebViewPlugView> noHelper = view(dir + "/missing", frame);
    EXPECT_EQ(noHelper->attached(parent, kPlatformTypeX11EmbedWindowID), kResultFalse);
    EXPECT_EQ(bridge.errors,
              (std::vector<std::string>{"no run loop from host", "webview allocation failed"}));
    EXPECT_EQ(loop->handlerCount(), 0u);
    EXPECT_EQ(bridge.opened, 0);
}

TEST(EditorCreation, WithoutControllerThereIsNoEditor) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(createWebViewEditor(nullptr, "/tmp"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "kelvo-plugin-shell: no UI bundle found; editor disabled\n");
}

}  // namespace
}  // namespace kelvo::test
