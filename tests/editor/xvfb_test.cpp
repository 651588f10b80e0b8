// The real helper embedded in a plain X11 window (run under Xvfb by
// run_xvfb_test.sh): it renders the page, follows the parent's size, exits
// when its socket closes or the parent goes, refuses paths outside the UI
// folder, and leaves no process behind.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "bundle_loader.h"
#include "editor_host.h"
#include "hosted_instance.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "webview_plug_view.h"
#include "x11_window.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Traversal attempts the test page fetches: only the first may succeed.
constexpr const char* PROBE_PAGE = R"(<!doctype html>
<html><body style="background:#204060;color:#fff"><h1>probe</h1><script>
window.kelvoHost.onMessage(function (m) {
  window.kelvoHost.postMessage({type: "test.echo", got: m.type});
});
var paths = ["index.html", "%2e%2e/outside.txt", "..%2foutside.txt", "evil/secret.txt",
             "out.txt", "missing.txt"];
Promise.all(paths.map(function (p) {
  return fetch(p).then(function (r) { return r.status + " " + r.headers.get("content-type"); },
                       function () { return "refused"; });
})).then(function (results) {
  window.kelvoHost.postMessage({type: "test.statuses", results: results});
});
</script></body></html>
)";

class EditorUnderX : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // WebKit's own processes outlive the helper briefly; as their
        // subreaper the test sees (and reaps) them.
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    }
    void SetUp() override {
        ASSERT_TRUE(window.ok()) << "no X display";
        loop->extraFd = window.connectionFd();
        loop->onExtra = [this] { window.drainEvents(); };
        char pattern[] = "/tmp/kelvo-xvfb-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        EXPECT_TRUE(loop->runUntil([] { return noProcessLeft(); }, 5000ms))
            << childrenOf(::getpid()).size() << " processes left";
        fs::remove_all(dir);
    }
    static bool noProcessLeft() {
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        return childrenOf(::getpid()).empty();
    }
    IPtr<WebViewPlugView> attach(BridgeHost* host, const std::string& root) {
        EditorLink link;
        link.host = host;
        IPtr<WebViewPlugView> view = owned(new WebViewPlugView(link, root, KELVO_HELPER_PATH));
        view->setFrame(frame);
        EXPECT_EQ(view->attached(window.parentHandle(), kPlatformTypeX11EmbedWindowID), kResultOk);
        return view;
    }
    bool rendered() {
        return loop->runUntil([this] { return window.distinctColours() >= 8; }, 15000ms);
    }
    std::string probeRoot() {
        const std::string root = dir + "/ui";
        fs::create_directories(root);
        fs::create_directories(dir + "/ui-evil");
        std::ofstream(root + "/index.html") << PROBE_PAGE;
        std::ofstream(dir + "/ui-evil/secret.txt") << "s";
        std::ofstream(dir + "/outside.txt") << "o";
        fs::create_symlink("../ui-evil", root + "/evil");
        fs::create_symlink(dir + "/outside.txt", root + "/out.txt");
        return root;
    }

    X11Window window{980, 760};
    IPtr<PollRunLoop> loop = owned(new PollRunLoop());
    IPtr<TestFrame> frame = owned(new TestFrame(loop));
    std::string dir;
};

// The real page with a real controller: it paints and follows the parent.
TEST_F(EditorUnderX, RendersThePageAndResizesWithTheParent) {
    Vst::HostApplication application;
    IPtr<KelvoController> controller = owned(new KelvoController());
    ASSERT_EQ(controller->initialize(&application), kResultOk);
    RecordingBridge bridge(controller.get());
    IPtr<WebViewPlugView> view = attach(&bridge, KELVO_SOURCE_UI);
    ASSERT_TRUE(rendered());
    // The page asks for the hello once it listens; the shot shows the answer.
    ASSERT_TRUE(loop->runUntil([&] { return bridge.find("kelvo.ready") != nullptr; }, 10000ms));
    loop->runUntil([] { return false; }, 1500ms);
    const std::string shot = std::string(KELVO_ARTIFACTS) + "/editor-xvfb.png";
    const std::string command = "timeout 10 import -window " + std::to_string(window.id()) + " " +
                                shot + " && test $(identify -format %k " + shot + ") -ge 8";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;

    window.resize(1200, 900);
    ViewRect size(0, 0, 1200, 900);
    view->onSize(&size);
    int width = 0, height = 0;
    EXPECT_TRUE(loop->runUntil(
        [&] {
            window.childSize(width, height);
            return width == 1200 && height == 900;
        },
        5000ms))
        << width << " x " << height;
    view->removed();
    controller->terminate();
}

// Messages both ways, the scheme's statuses, and an exit on the closed socket
// well inside the grace time after which it would be killed.
TEST_F(EditorUnderX, ServesOnlyTheUiFolderAndExitsWhenItsSocketCloses) {
    RecordingBridge bridge;
    IPtr<WebViewPlugView> view = attach(&bridge, probeRoot());
    ASSERT_TRUE(bridge.sink);
    bridge.sink(R"({"type":"kelvo.hello"})");
    ASSERT_TRUE(loop->runUntil(
        [&] { return bridge.find("test.statuses") && bridge.find("test.echo"); }, 15000ms));
    EXPECT_EQ(bridge.find("test.statuses")->text,
              R"({"type":"test.statuses","results":["200 text/html","refused","refused",)"
              R"("refused","refused","refused"]})");
    EXPECT_EQ(bridge.find("test.echo")->text, R"({"type":"test.echo","got":"kelvo.hello"})");
    const auto start = std::chrono::steady_clock::now();
    view->removed();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 400ms);
}

TEST_F(EditorUnderX, ExitsWhenTheParentWindowIsDestroyed) {
    RecordingBridge bridge;
    IPtr<WebViewPlugView> view = attach(&bridge, probeRoot());
    ASSERT_TRUE(loop->runUntil([&] { return bridge.find("test.statuses") != nullptr; }, 15000ms));
    window.destroy();
    EXPECT_TRUE(loop->runUntil([&] { return view->helperPid() == -1; }, 3000ms));
    view->removed();
}

// The installed bundle's own view: the helper beside the module, the page
// from Resources/ui.
TEST_F(EditorUnderX, TheBundleOpensItsEditor) {
    LoadedBundle bundle(KELVO_BUNDLE_DIR);
    ASSERT_NE(bundle.factory(), nullptr) << bundle.error();
    auto uiRoot =
        reinterpret_cast<const char* (*)()>(bundle.symbol("kelvoPluginUiRootForDiagnostics"));
    ASSERT_NE(uiRoot, nullptr);
    EXPECT_EQ(fs::path(uiRoot()), fs::canonical(KELVO_BUNDLE_DIR) / "Contents/Resources/ui");
    Vst::HostApplication application;
    {
        HostedInstance instance(bundle.factory(), &application);
        ASSERT_TRUE(instance.created());
        IPtr<IPlugView> view = owned(instance.controller()->createView("editor"));
        ASSERT_TRUE(view);
        view->setFrame(frame);
        ASSERT_EQ(view->attached(window.parentHandle(), kPlatformTypeX11EmbedWindowID), kResultOk);
        EXPECT_TRUE(rendered());
        view->removed();
    }
}

}  // namespace
}  // namespace kelvo::test
