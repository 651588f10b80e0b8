// The real helper embedded in a plain X11 window (run under Xvfb by
// run_xvfb_test.sh): it renders the page, follows the parent's size, exits
// when its socket closes or the parent goes, refuses paths outside the UI
// folder, and leaves no process behind.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>

#include "bundle_loader.h"
#include "editor_host.h"
#include "hosted_instance.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "temp_dir.h"
#include "webview_plug_view.h"
#include "x11_window.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace std::chrono_literals;

// Fetches itself, then what must be refused: an encoded "..", an encoded
// "/", a symlink into the sibling folder "ui-evil" and one out; and answers
// every message.
constexpr const char* PROBE_PAGE = R"(<script>
const host = window.kelvoHost;
host.onMessage((m) => host.postMessage({type: "test.echo", got: m.type}));
Promise.all(["index.html", "%2e%2e/outside.txt", "..%2foutside.txt", "evil/secret.txt", "out.txt"]
  .map((p) => fetch(p).then((r) => r.status + " " + r.headers.get("content-type"), () => "refused")))
  .then((results) => host.postMessage({type: "test.statuses", results}));
</script>)";

// Reaps every child that has exited; true when none is left.
bool allReaped() {
    for (;;)
        if (const pid_t reaped = ::waitpid(-1, nullptr, WNOHANG); reaped <= 0)
            return reaped < 0 && errno == ECHILD;
}

class EditorUnderX : public TempDirTest {
  protected:
    // WebKit's own processes outlive the helper briefly; as their subreaper
    // the test sees (and reaps) them.
    static void SetUpTestSuite() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }
    void TearDown() override {
        EXPECT_TRUE(frame->runUntil(allReaped, 5s)) << "processes left";
        TempDirTest::TearDown();
    }
    tresult attach(IPlugView* view) {
        view->setFrame(frame);
        return view->attached(window.parentHandle(), kPlatformTypeX11EmbedWindowID);
    }

    X11Window window{980, 760};
    IPtr<TestFrame> frame = owned(new TestFrame());
};

// The installed bundle's own view (the helper beside the module, the page
// from Resources/ui) paints, follows the parent's size, and its helper exits
// when the parent window goes.
TEST_F(EditorUnderX, TheBundlesEditorRendersResizesAndEndsWithItsParent) {
    LoadedBundle bundle(KELVO_BUNDLE_DIR);
    ASSERT_NE(bundle.factory(), nullptr) << bundle.error();
    const auto uiRoot =
        reinterpret_cast<const char* (*)()>(bundle.symbol("kelvoPluginUiRootForDiagnostics"));
    ASSERT_NE(uiRoot, nullptr);
    EXPECT_EQ(fs::path(uiRoot()), fs::canonical(KELVO_BUNDLE_DIR) / "Contents/Resources/ui");
    Vst::HostApplication application;
    host::HostedInstance instance(bundle.factory(), &application);
    ASSERT_TRUE(instance.created());
    IPtr<IPlugView> view = owned(instance.controller()->createView("editor"));
    ASSERT_TRUE(view);
    ASSERT_EQ(attach(view), kResultOk);
    ASSERT_TRUE(frame->runUntil([&] { return window.distinctColours() >= 8; }, 15s));
    frame->runUntil([] { return false; }, 1500ms);  // the page fills in from the hello
    const std::string shot = std::string(KELVO_ARTIFACTS) + "/editor-xvfb.png";
    const std::string command = "timeout 10 import -window " + std::to_string(window.id()) + " " +
                                shot + " && test $(identify -format %k " + shot + ") -ge 8";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;

    window.resize(1200, 900);
    ViewRect size(0, 0, 1200, 900);
    view->onSize(&size);
    EXPECT_TRUE(frame->runUntil([&] { return window.childSize() == std::pair(1200, 900); }, 5s));
    window.destroy();
    EXPECT_TRUE(frame->runUntil(allReaped, 5s)) << "the helper outlived its parent window";
    view->removed();
}

// Messages both ways, the scheme's statuses, and an exit on the closed socket
// well inside the grace time after which it would be killed.
TEST_F(EditorUnderX, ServesOnlyTheUiFolderAndExitsWhenItsSocketCloses) {
    RecordingBridge bridge;
    EditorLink link;
    link.host = &bridge;
    IPtr<WebViewPlugView> view =
        owned(new WebViewPlugView(link, makeUiTree(dir, PROBE_PAGE), KELVO_HELPER_PATH));
    ASSERT_EQ(attach(view), kResultOk)
        << testing::PrintToString(bridge.errors) << " parent " << window.parentHandle();
    bridge.sink(R"({"type":"kelvo.hello"})");
    ASSERT_TRUE(frame->runUntil(
        [&] { return bridge.find("test.statuses") && bridge.find("test.echo"); }, 15s));
    EXPECT_EQ(*bridge.find("test.statuses"),
              R"({"type":"test.statuses","results":["200 text/html","refused","refused",)"
              R"("refused","refused"]})");
    EXPECT_EQ(*bridge.find("test.echo"), R"({"type":"test.echo","got":"kelvo.hello"})");
    const auto start = std::chrono::steady_clock::now();
    view->removed();
    // Well inside the 1.5 s after which the view would kill it.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1200ms);
}

}  // namespace
}  // namespace kelvo::test
