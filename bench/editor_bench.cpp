// Opening the editor and talking through it, measured with the real helper:
//   attached → first page message, attached → first paint (the first frame
//   of the window showing 8 or more distinct colours), the proportional set
//   size of the helper and WebKit's processes, with compositing on and off;
//   and the round trip page → controller → host → page of a parameter edit.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "editor_host.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "test_host.h"
#include "webview_plug_view.h"
#include "x11_window.h"

extern char** environ;

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int OPEN_RUNS = 5;
constexpr int ROUND_TRIPS = 200;

// Answers the hello by editing kick.tune ROUND_TRIPS times, each edit sent
// when the host's change of the one before came back; reports page times.
constexpr const char* ROUND_TRIP_PAGE = R"(<!doctype html><html><body><script>
var samples = [], started = 0, value = 40;
function edit() {
  value = value === 40 ? 60 : 40;
  started = performance.now();
  window.kelvoHost.postMessage({type: "kelvo.setParam", path: "kick.tune", value: value});
}
window.kelvoHost.onMessage(function (m) {
  if (m.type === "kelvo.hello") return edit();
  if (m.type !== "kelvo.paramChanged" || m.path !== "kick.tune") return;
  samples.push(performance.now() - started);
  if (samples.length < %d) return edit();
  window.kelvoHost.postMessage({type: "bench.roundTrips", ms: samples});
});
window.kelvoHost.postMessage({type: "kelvo.ready"});
</script></body></html>
)";

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The process ids whose parent is `parent`, read from /proc.
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

// `root` and everything below it in the process tree.
std::vector<pid_t> processTree(pid_t root) {
    std::vector<pid_t> tree{root};
    for (size_t i = 0; i < tree.size(); ++i)
        for (pid_t child : childrenOf(tree[i]))
            tree.push_back(child);
    return tree;
}

// Proportional set size in KiB from /proc/<pid>/smaps_rollup; 0 when gone.
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

// Records when page messages arrive and passes everything on to the
// controller; `afterMessage` runs after each (e.g. a host's reaction).
struct TimedBridge : RecordingBridge {
    explicit TimedBridge(KelvoController* target) : target(target) {}
    void handleBridgeMessage(const char* bytes, size_t length) override {
        RecordingBridge::handleBridgeMessage(bytes, length);
        arrivals.push_back(Clock::now());
        target->handleBridgeMessage(bytes, length);
        if (afterMessage) afterMessage();
    }
    void setBridgeSink(UiSink sink) override {
        RecordingBridge::setBridgeSink(sink);
        target->setBridgeSink(std::move(sink));
    }
    void onEditorOpened() override { target->onEditorOpened(); }
    void onEditorClosed() override { target->onEditorClosed(); }
    void onEditorError(const char* reason) override { target->onEditorError(reason); }

    KelvoController* target;
    std::vector<Clock::time_point> arrivals;
    std::function<void()> afterMessage;
};

// A private Xvfb when no display is set; its pid, or -1.
pid_t ensureDisplay() {
    if (std::getenv("DISPLAY") != nullptr) return -1;
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const std::string fd = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb",         "-displayfd", fd.c_str(), "-screen", "0",
                          "1920x1280x24", "-nolisten",  "tcp",      nullptr};
    pid_t pid = -1;
    if (posix_spawnp(&pid, "Xvfb", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return -1;
    ::close(fds[1]);
    char display[16] = {};
    const ssize_t got = ::read(fds[0], display, sizeof display - 1);
    ::close(fds[0]);
    if (got <= 0) return -1;
    const std::string name = ":" + std::string(display, std::strcspn(display, "\n"));
    ::setenv("DISPLAY", name.c_str(), 1);
    return pid;
}

struct Editor {
    Editor() : window(980, 760) {
        controller->initialize(&application);
        controller->setComponentHandler(handler);
    }
    ~Editor() { controller->terminate(); }

    IPtr<WebViewPlugView> open(const std::string& root) {
        EditorLink link;
        link.owner = static_cast<Vst::IEditController*>(controller.get());
        link.host = &bridge;
        KelvoController* target = controller.get();
        link.tick = [target] { target->tickCadence(); };
        IPtr<WebViewPlugView> view = owned(new WebViewPlugView(link, root, KELVO_HELPER_PATH));
        view->setFrame(frame);
        return view;
    }

    Vst::HostApplication application;
    IPtr<KelvoController> controller = owned(new KelvoController());
    IPtr<ComponentHandlerRecorder> handler = owned(new ComponentHandlerRecorder());
    TimedBridge bridge{controller.get()};
    X11Window window;
    IPtr<TestFrame> loop = owned(new TestFrame());
    TestFrame* frame = loop;
};

struct OpenFigures {
    std::vector<double> firstMessageMs, firstPaintMs, pssMiB;
};

void measureOpen(OpenFigures& figures) {
    Editor editor;
    IPtr<WebViewPlugView> view = editor.open(KELVO_SOURCE_UI);
    const auto start = Clock::now();
    if (view->attached(editor.window.parentHandle(), kPlatformTypeX11EmbedWindowID) != kResultOk)
        return;
    if (editor.loop->runUntil([&] { return editor.window.distinctColours() >= 8; }, 15000ms))
        figures.firstPaintMs.push_back(ms(Clock::now() - start));
    editor.loop->runUntil([&] { return !editor.bridge.messages.empty(); }, 2000ms);
    if (!editor.bridge.messages.empty())
        figures.firstMessageMs.push_back(ms(editor.bridge.arrivals[0] - start));
    // Settled: WebKit's processes are up and the page has drawn.
    editor.loop->runUntil([] { return false; }, 1000ms);
    long kib = 0;
    for (pid_t pid : processTree(view->helperPid()))
        kib += pssKiB(pid);
    figures.pssMiB.push_back(kib / 1024.0);
    view->removed();
}

void reportOpen(const char* mode) {
    OpenFigures figures;
    for (int run = 0; run < OPEN_RUNS; ++run)
        measureOpen(figures);
    std::printf(
        "%-22s first message %7.1f ms  first paint %7.1f ms  PSS %6.1f MiB  (medians of %d)\n",
        mode, median(figures.firstMessageMs), median(figures.firstPaintMs), median(figures.pssMiB),
        OPEN_RUNS);
}

void printSpread(const char* name, std::vector<double> samples) {
    if (samples.empty()) return (void)std::printf("%-22s no result\n", name);
    std::sort(samples.begin(), samples.end());
    std::printf("%-22s median %6.2f ms  p90 %6.2f ms  (%zu edits)\n", name, median(samples),
                samples[samples.size() * 9 / 10], samples.size());
}

// The page's clock counts whole milliseconds; the host's side of the same
// loop (host → page → host) is timed to the microsecond.
void reportRoundTrip() {
    char root[] = "/tmp/kelvo-bench-XXXXXX";
    if (::mkdtemp(root) == nullptr) return;
    char page[2048];
    std::snprintf(page, sizeof page, ROUND_TRIP_PAGE, ROUND_TRIPS);
    std::ofstream(std::string(root) + "/index.html") << page;
    Editor editor;
    // The host applies each edit as automation once the page message is
    // handled, as a host's GUI loop would.
    size_t applied = 0;
    Clock::time_point sent{};
    std::vector<double> hostSamples;
    editor.bridge.afterMessage = [&] {
        const auto performed = editor.handler->performed();
        if (applied == performed.size()) return;
        if (applied > 0) hostSamples.push_back(ms(Clock::now() - sent));
        for (; applied < performed.size(); ++applied)
            editor.controller->setParamNormalized(performed[applied].id, performed[applied].value);
        sent = Clock::now();
    };
    IPtr<WebViewPlugView> view = editor.open(root);
    view->attached(editor.window.parentHandle(), kPlatformTypeX11EmbedWindowID);
    editor.loop->runUntil([&] { return editor.bridge.find("bench.roundTrips") != nullptr; },
                          30000ms);
    const std::string* result = editor.bridge.find("bench.roundTrips");
    std::vector<double> samples;
    if (result != nullptr) {
        const char* at = result->c_str() + result->find('[') + 1;
        for (char* end = nullptr; *at != ']'; at = *end == ',' ? end + 1 : end) {
            samples.push_back(std::strtod(at, &end));
            if (end == at) break;
        }
    }
    printSpread("round trip page→page", samples);
    printSpread("round trip host→host", hostSamples);
    view->removed();
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace kelvo::test

int main() {
    using namespace kelvo::test;
    const pid_t xvfb = ensureDisplay();
    if (std::getenv("DISPLAY") == nullptr) {
        std::printf("editor_bench: skipped, no display and no Xvfb\n");
        return 0;
    }
    ::unsetenv("WEBKIT_DISABLE_COMPOSITING_MODE");
    reportOpen("compositing on");
    ::setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
    reportOpen("compositing off");
    reportRoundTrip();
    if (xvfb > 0) {
        ::kill(xvfb, SIGTERM);
        ::waitpid(xvfb, nullptr, 0);
    }
    return 0;
}
