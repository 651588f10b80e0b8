// The editor view hosts embed on Linux: an X11 child window of the host's
// window, drawn by the helper process (WebKitGTK) that the view starts on
// attach and ends on removal. The view speaks to the helper over a socket
// serviced by the host's run loop, and hands page messages to the controller
// and the controller's texts to the page.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "helper_process.h"
#include "kelvo_controller.h"
#include "kelvo_controller_clock.h"
#include "public.sdk/source/common/pluginview.h"

namespace kelvo {

class LineChannel;

// Who the view works for: the bridge it serves and the tick its timer gives.
struct EditorLink {
    Steinberg::IPtr<Steinberg::FUnknown> owner;  // kept alive while the view lives
    BridgeHost* host = nullptr;
    std::function<void()> tick;
};

inline constexpr Steinberg::int32 EDITOR_MIN_WIDTH = 620;
inline constexpr Steinberg::int32 EDITOR_MAX_WIDTH = 1600;
inline constexpr Steinberg::int32 EDITOR_MIN_HEIGHT = 500;
inline constexpr Steinberg::int32 EDITOR_MAX_HEIGHT = 1200;

// The size the view accepts: the right and bottom edges moved into range.
void clampEditorRect(Steinberg::ViewRect& rect);

class WebViewPlugView : public Steinberg::CPluginView {
  public:
    // Main thread. `helperPath` is the helper executable to start.
    WebViewPlugView(EditorLink link, std::string uiRoot, std::string helperPath);
    // Main thread: removes the view first when the host did not.
    ~WebViewPlugView() override;

    // Main thread, as every call below.
    Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override;
    Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override;
    Steinberg::tresult PLUGIN_API removed() override;
    Steinberg::tresult PLUGIN_API onSize(Steinberg::ViewRect* rect) override;
    Steinberg::tresult PLUGIN_API canResize() override { return Steinberg::kResultTrue; }
    Steinberg::tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* rect) override;

    // The helper's process id while it runs, else -1 (for tests).
    pid_t helperPid() const { return helper_.pid(); }

  private:
    class SocketEvents;

    bool startHelper(unsigned long parentWindow);
    void installSink();
    void onSocketReadable();
    void onTimer();
    void closeConnection();
    void detachFromHost();

    EditorLink link_;
    std::string uiRoot_;
    std::string helperPath_;
    // Taken at attach and held to removal: a host may drop the frame first.
    Steinberg::IPtr<Steinberg::Linux::IRunLoop> runLoop_;
    Steinberg::IPtr<SocketEvents> socketEvents_;
    std::unique_ptr<LineChannel> channel_;
    HelperProcess helper_;
    CadenceClock timer_;
};

// The editor for `controller` with the UI root `uiRoot` (null: the module's
// own) and the helper beside the module; null, with a line on standard error,
// without a controller or UI folder.
Steinberg::IPlugView* createWebViewEditor(KelvoController* controller, const char* uiRoot);

}  // namespace kelvo
