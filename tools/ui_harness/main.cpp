// tambro-ui-harness: the editor page in any browser, talking to the real
// plug-in. Loads the bundle, hosts one instance, serves the page folder on
// 127.0.0.1 with a script that carries window.kelvoHost over a WebSocket to
// the controller, and offers tests a small control API:
//   POST /harness/automate?id=N&value=V  host automation (normalized value)
//   GET  /harness/edits                  the controller's edit calls so far
//   POST /harness/clear                  forgets them
//   GET  /harness/param?id=N             a parameter as the host sees it
// Prints the page's address once ready; stops on SIGINT, SIGTERM and when
// its standard input ends.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "bridge_shim.h"
#include "harness_host.h"
#include "http_server.h"
#include "ui_files.h"

namespace {

using kelvo::harness::HarnessHost;
using kelvo::harness::HttpRequest;
using kelvo::harness::HttpResponse;
using Clock = std::chrono::steady_clock;

constexpr auto TICK = std::chrono::microseconds(1000000 / 30);
volatile std::sig_atomic_t stopRequested = 0;

struct Options {
    std::string bundle, ui;
    uint16_t port = 0;
    bool watchStdin = true;
};

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--bundle" && hasValue) {
            options.bundle = argv[++i];
        } else if (arg == "--ui" && hasValue) {
            options.ui = argv[++i];
        } else if (arg == "--port" && hasValue) {
            const std::string_view text = argv[++i];
            if (std::from_chars(text.data(), text.data() + text.size(), options.port).ec !=
                std::errc())
                return false;
        } else if (arg == "--ignore-stdin") {
            options.watchStdin = false;
        } else {
            return false;
        }
    }
    return !options.bundle.empty();
}

std::string number(double value) {
    char buffer[32];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + '"';
}

// The parameter texts are ASCII; anything else shows as "?".
std::string ascii(const Steinberg::Vst::String128 text) {
    std::string out;
    for (size_t i = 0; i < 128 && text[i] != 0; ++i)
        out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return out;
}

// The value of `name` in "a=1&b=2"; false when absent or not a number.
template <typename Number>
bool queryNumber(const std::string& query, std::string_view name, Number& out) {
    std::string_view rest = query;
    while (!rest.empty()) {
        const std::string_view pair = rest.substr(0, rest.find('&'));
        rest.remove_prefix(std::min(rest.size(), pair.size() + 1));
        if (pair.substr(0, pair.find('=')) != name || pair.find('=') == std::string_view::npos)
            continue;
        const std::string_view value = pair.substr(pair.find('=') + 1);
        const auto result = std::from_chars(value.data(), value.data() + value.size(), out);
        return result.ec == std::errc() && result.ptr == value.data() + value.size();
    }
    return false;
}

HttpResponse editsJson(HarnessHost& host) {
    std::string body = "{\"edits\":[";
    bool first = true;
    for (const auto& edit : host.edits().edits) {
        body += first ? "{" : ",{";
        first = false;
        const bool perform = edit.call == kelvo::host::EditRecorder::EditCall::Perform;
        const char* call = perform                                                   ? "perform"
                           : edit.call == kelvo::host::EditRecorder::EditCall::Begin ? "begin"
                                                                                     : "end";
        body += "\"call\":" + quoted(call) + ",\"id\":" + std::to_string(edit.id);
        if (perform) body += ",\"value\":" + number(edit.value);
        body += '}';
    }
    return {200, "application/json", body + "]}"};
}

HttpResponse paramJson(HarnessHost& host, const std::string& query) {
    Steinberg::Vst::ParamID id = 0;
    if (!queryNumber(query, "id", id)) return {400, "text/plain", "id?"};
    Steinberg::Vst::IEditController* controller = host.controller();
    for (Steinberg::int32 i = 0; i < controller->getParameterCount(); ++i) {
        Steinberg::Vst::ParameterInfo info{};
        if (controller->getParameterInfo(i, info) != Steinberg::kResultOk || info.id != id)
            continue;
        const double normalized = controller->getParamNormalized(id);
        Steinberg::Vst::String128 text{};
        controller->getParamStringByValue(id, normalized, text);
        return {200, "application/json",
                "{\"id\":" + std::to_string(id) + ",\"normalized\":" + number(normalized) +
                    ",\"text\":" + quoted(ascii(text)) + ",\"title\":" + quoted(ascii(info.title)) +
                    ",\"units\":" + quoted(ascii(info.units)) + "}"};
    }
    return {404, "text/plain", "no such parameter"};
}

// The page files, with the bridge script placed first in every HTML page.
HttpResponse pageFile(const std::string& root, const HttpRequest& request) {
    const auto path = kelvo::resolveUiRequest(root, request.path);
    std::ifstream file;
    if (path) file.open(*path, std::ios::binary);
    if (!file.is_open()) return {404, "text/plain", "not found"};
    std::ostringstream content;
    content << file.rdbuf();
    HttpResponse response{200, std::string(kelvo::uiMimeType(*path)), content.str()};
    if (response.contentType == "text/html") {
        const size_t head = response.body.find("<head");
        const size_t at = head == std::string::npos ? 0 : response.body.find('>', head) + 1;
        response.body.insert(at, kelvo::harness::BRIDGE_SHIM);
    }
    return response;
}

HttpResponse route(HarnessHost& host, const std::string& root, const HttpRequest& request) {
    const std::string& path = request.path;
    const bool post = request.method == "POST";
    if (path == "/harness/edits" && !post) return editsJson(host);
    if (path == "/harness/param" && !post) return paramJson(host, request.query);
    if (path == "/harness/clear" && post) {
        host.clearEdits();
        return {200, "application/json", "{\"ok\":true}"};
    }
    if (path == "/harness/automate" && post) {
        Steinberg::Vst::ParamID id = 0;
        double value = 0;
        const bool ok = queryNumber(request.query, "id", id) &&
                        queryNumber(request.query, "value", value) && host.automate(id, value);
        return {ok ? 200 : 400, "application/json", ok ? "{\"ok\":true}" : "{\"ok\":false}"};
    }
    if (path.rfind("/harness/", 0) == 0) return {405, "text/plain", "unknown control request"};
    if (request.method != "GET") return {405, "text/plain", "GET only"};
    return pageFile(root, request);
}

void onSignal(int) {
    stopRequested = 1;
}

void installSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

// False when standard input has ended (or failed): the test that started us
// is gone.
bool stdinStillOpen() {
    char buffer[256];
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    return got > 0 || (got < 0 && errno == EINTR);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s --bundle <Tambro Synth.vst3> [--ui DIR] [--port N] "
                     "[--ignore-stdin]\n",
                     argv[0]);
        return 2;
    }
    installSignalHandlers();
    HarnessHost host(options.bundle);
    if (!host.error().empty()) {
        std::fprintf(stderr, "tambro-ui-harness: %s\n", host.error().c_str());
        return 1;
    }
    std::string root = options.ui;
    if (root.empty()) root = host.moduleUiRoot();
    if (root.empty()) root = options.bundle + "/Contents/Resources/ui";

    kelvo::harness::HttpServer server(
        [&](const HttpRequest& request) { return route(host, root, request); }, "/bridge",
        [&](const std::string& text) { host.deliver(text); });
    if (!server.listen(options.port)) {
        std::perror("tambro-ui-harness: listen");
        return 1;
    }
    host.installSink(
        [&](const char* data, size_t length) { server.broadcast(std::string(data, length)); });
    std::printf("http://127.0.0.1:%u/index.html\n", server.port());
    std::fflush(stdout);

    auto nextTick = Clock::now() + TICK;
    std::vector<pollfd> fds;
    while (!stopRequested) {
        fds.clear();
        if (options.watchStdin) fds.push_back({STDIN_FILENO, POLLIN, 0});
        server.addPollFds(fds);
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - Clock::now());
        const int ready = poll(fds.data(), fds.size(), std::max<int>(0, wait.count()));
        if (ready < 0 && errno != EINTR) break;
        if (ready > 0) {
            if (options.watchStdin && fds[0].revents != 0 && !stdinStillOpen()) break;
            server.handle(fds);
        }
        if (Clock::now() >= nextTick) {
            host.tick();
            nextTick += TICK;
            if (nextTick < Clock::now()) nextTick = Clock::now() + TICK;
        }
    }
    return 0;
}
