#include "webview_plug_view.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "line_channel.h"
#include "ui_root.h"

namespace kelvo {

using namespace Steinberg;

namespace {

// A helper that ignores its closed socket gets this long before it is killed;
// the host destroys the parent window only after removed() returns. A healthy
// helper exits within tens of milliseconds, but WebKit's teardown on a loaded
// machine was seen taking over half a second.
constexpr std::chrono::milliseconds HELPER_EXIT_GRACE{1500};

// The attached views in attach order: when several show one controller, the
// last attached holds its sink, and the one before takes it back when that
// one goes.
std::vector<WebViewPlugView*>& attachedViews() {
    static std::vector<WebViewPlugView*> views;
    return views;
}

}  // namespace

void clampEditorRect(ViewRect& rect) {
    rect.right = rect.left + std::clamp(rect.getWidth(), EDITOR_MIN_WIDTH, EDITOR_MAX_WIDTH);
    rect.bottom = rect.top + std::clamp(rect.getHeight(), EDITOR_MIN_HEIGHT, EDITOR_MAX_HEIGHT);
}

class WebViewPlugView::SocketEvents : public Linux::IEventHandler {
  public:
    explicit SocketEvents(WebViewPlugView* view) : view_(view) { FUNKNOWN_CTOR }
    virtual ~SocketEvents() { FUNKNOWN_DTOR }

    void PLUGIN_API onFDIsSet(Linux::FileDescriptor) SMTG_OVERRIDE {
        if (view_) view_->onSocketReadable();
    }
    // The run loop may hold the handler beyond the view.
    void disarm() { view_ = nullptr; }

    DECLARE_FUNKNOWN_METHODS

  private:
    WebViewPlugView* view_;
};

IMPLEMENT_FUNKNOWN_METHODS(WebViewPlugView::SocketEvents, Linux::IEventHandler,
                           Linux::IEventHandler::iid)

WebViewPlugView::WebViewPlugView(EditorLink link, std::string uiRoot, std::string helperPath)
    : link_(std::move(link)), uiRoot_(std::move(uiRoot)), helperPath_(std::move(helperPath)) {
    rect = ViewRect(0, 0, 980, 760);
}

WebViewPlugView::~WebViewPlugView() {
    if (isAttached()) removed();
}

tresult PLUGIN_API WebViewPlugView::isPlatformTypeSupported(FIDString type) {
    return type != nullptr && std::strcmp(type, kPlatformTypeX11EmbedWindowID) == 0 ? kResultTrue
                                                                                    : kResultFalse;
}

tresult PLUGIN_API WebViewPlugView::attached(void* parent, FIDString type) {
    if (parent == nullptr || isPlatformTypeSupported(type) != kResultTrue) return kResultFalse;
    if (isAttached()) removed();
    if (!link_.host || uiRoot_.empty()) {
        if (link_.host) link_.host->onEditorError("no ui root");
        return kResultFalse;
    }
    FUnknownPtr<Linux::IRunLoop> runLoop(plugFrame);
    if (!runLoop) {
        // Without the host's run loop nobody would read the page's messages.
        link_.host->onEditorError("no run loop from host");
        return kResultFalse;
    }
    runLoop_ = runLoop;
    if (!startHelper(reinterpret_cast<unsigned long>(parent))) {
        closeConnection();
        runLoop_ = nullptr;
        link_.host->onEditorError("webview allocation failed");
        return kResultFalse;
    }
    timer_.start(runLoop_, [this] { onTimer(); });
    attachedViews().push_back(this);
    installSink();
    link_.host->onEditorOpened();
    return CPluginView::attached(parent, type);
}

bool WebViewPlugView::startHelper(unsigned long parentWindow) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
    channel_ = std::make_unique<LineChannel>(ends[0]);
    const bool started =
        helper_.start(helperPath_, {std::to_string(parentWindow), uiRoot_}, ends[1]);
    ::close(ends[1]);
    if (!started) return false;
    socketEvents_ = owned(new SocketEvents(this));
    return runLoop_->registerEventHandler(socketEvents_, channel_->fd()) == kResultOk;
}

void WebViewPlugView::installSink() {
    if (!link_.host) return;
    link_.host->setBridgeSink([this](const std::string& text) {
        if (channel_) channel_->send(text);
    });
}

void WebViewPlugView::onSocketReadable() {
    if (!channel_) return;
    std::vector<std::string> lines;
    const bool open = channel_->receive(lines);
    for (const std::string& line : lines) {
        // A message may lead the host to remove the view.
        if (!channel_) return;
        if (link_.host) link_.host->handleBridgeMessage(line.data(), line.size());
    }
    // The helper is gone: the page stays blank until the editor reopens.
    if (!open && channel_) closeConnection();
    if (channel_) channel_->flush();
}

void WebViewPlugView::onTimer() {
    if (link_.tick) link_.tick();
    if (channel_) channel_->flush();
}

void WebViewPlugView::closeConnection() {
    if (socketEvents_) {
        socketEvents_->disarm();
        if (runLoop_) runLoop_->unregisterEventHandler(socketEvents_);
        socketEvents_ = nullptr;
    }
    // The helper sees the socket close and exits.
    channel_.reset();
    helper_.stop(HELPER_EXIT_GRACE);
}

tresult PLUGIN_API WebViewPlugView::removed() {
    timer_.stop();
    closeConnection();
    runLoop_ = nullptr;
    detachFromHost();
    return CPluginView::removed();
}

void WebViewPlugView::detachFromHost() {
    auto& views = attachedViews();
    const auto self = std::find(views.begin(), views.end(), this);
    if (self == views.end()) return;
    const bool heldSink = std::none_of(self + 1, views.end(), [this](WebViewPlugView* view) {
        return view->link_.host == link_.host;
    });
    views.erase(self);
    if (!link_.host) return;
    link_.host->onEditorClosed();
    if (!heldSink) return;
    const auto previous = std::find_if(views.rbegin(), views.rend(), [this](WebViewPlugView* view) {
        return view->link_.host == link_.host;
    });
    if (previous != views.rend())
        (*previous)->installSink();
    else
        link_.host->setBridgeSink(nullptr);
}

tresult PLUGIN_API WebViewPlugView::onSize(ViewRect* newSize) {
    if (newSize == nullptr) return kResultFalse;
    clampEditorRect(*newSize);
    const tresult result = CPluginView::onSize(newSize);
    if (channel_) {
        char line[96];
        std::snprintf(line, sizeof line, R"({"type":"kelvo.helper.resize","width":%d,"height":%d})",
                      static_cast<int>(newSize->getWidth()),
                      static_cast<int>(newSize->getHeight()));
        channel_->send(line);
    }
    return result;
}

tresult PLUGIN_API WebViewPlugView::checkSizeConstraint(ViewRect* rect) {
    if (rect == nullptr) return kInvalidArgument;
    clampEditorRect(*rect);
    return kResultOk;
}

IPlugView* createWebViewEditor(KelvoController* controller, const char* uiRoot) {
    const std::string root = uiRoot != nullptr ? std::string(uiRoot) : pluginUiRoot();
    if (controller == nullptr || root.empty()) {
        std::fputs("kelvo-plugin-shell: no UI bundle found; editor disabled\n", stderr);
        if (controller != nullptr) controller->onEditorError("no ui bundle in plugin");
        return nullptr;
    }
    EditorLink link;
    link.owner = static_cast<Vst::IEditController*>(controller);
    link.host = controller;
    link.tick = [controller] { controller->tickCadence(); };
    return new WebViewPlugView(std::move(link), root, pluginHelperPath());
}

}  // namespace kelvo
