#include "helper_embed.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <unistd.h>

namespace kelvo::helper {

namespace {

struct Embedding {
    GtkWidget* window = nullptr;
    Window parent = 0;
    Window own = 0;
};

Embedding embedding;

// Sees every X event before GDK does, including the parent's, which GDK
// knows nothing of.
GdkFilterReturn watchParent(GdkXEvent* native, GdkEvent*, gpointer) {
    const XEvent& event = *static_cast<XEvent*>(native);
    if (event.type == ConfigureNotify && event.xconfigure.window == embedding.parent) {
        resizeEmbedded(embedding.window, event.xconfigure.width, event.xconfigure.height);
    } else if (event.type == DestroyNotify && (event.xdestroywindow.window == embedding.parent ||
                                               event.xdestroywindow.window == embedding.own)) {
        // Nothing left to draw into; tearing GTK down would only meet X errors.
        _exit(0);
    }
    return GDK_FILTER_CONTINUE;
}

// Keys go to the window under the pointer unless a window holds the focus:
// a click takes it, so text fields get typed into.
gboolean takeFocus(GtkWidget*, GdkEventButton*, gpointer) {
    Display* display = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
    XSetInputFocus(display, embedding.own, RevertToParent, CurrentTime);
    return FALSE;
}

}  // namespace

bool embedInParent(GtkWidget* window, unsigned long parent) {
    GdkDisplay* gdkDisplay = gdk_display_get_default();
    Display* display = GDK_DISPLAY_XDISPLAY(gdkDisplay);
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, parent, &attributes) == 0) return false;
    gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
    gtk_window_set_default_size(GTK_WINDOW(window), attributes.width, attributes.height);
    gtk_widget_realize(window);
    embedding.window = window;
    embedding.parent = parent;
    embedding.own = GDK_WINDOW_XID(gtk_widget_get_window(window));
    XSelectInput(display, parent, StructureNotifyMask);
    gdk_window_add_filter(nullptr, &watchParent, nullptr);
    XReparentWindow(display, embedding.own, parent, 0, 0);
    XSync(display, False);
    g_signal_connect(window, "button-press-event", G_CALLBACK(&takeFocus), nullptr);
    return true;
}

void resizeEmbedded(GtkWidget* window, int width, int height) {
    if (window == nullptr || width <= 0 || height <= 0) return;
    gtk_window_resize(GTK_WINDOW(window), width, height);
}

}  // namespace kelvo::helper
