// Puts the helper's window inside the host's plain X11 window and keeps it
// there: sized with the parent, gone the moment the parent is.
#pragma once

#include <gtk/gtk.h>

namespace kelvo::helper {

// Realises `window` (an undecorated toplevel) and reparents it into
// `parent` before it is shown, so no window manager ever manages it. False
// when the parent does not exist.
bool embedInParent(GtkWidget* window, unsigned long parent);

// Resizes the embedded window (a control line from the view).
void resizeEmbedded(GtkWidget* window, int width, int height);

}  // namespace kelvo::helper
