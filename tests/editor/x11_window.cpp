#include "x11_window.h"

#include <X11/Xutil.h>

#include <set>

namespace kelvo::test {

X11Window::X11Window(int width, int height) {
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) return;
    const int screen = DefaultScreen(display_);
    window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0,
                                  static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                  BlackPixel(display_, screen), WhitePixel(display_, screen));
    XMapWindow(display_, window_);
    XSync(display_, False);
}

X11Window::~X11Window() {
    if (display_ == nullptr) return;
    destroy();
    XCloseDisplay(display_);
}

void X11Window::resize(int width, int height) {
    XResizeWindow(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSync(display_, False);
}

void X11Window::destroy() {
    if (window_ == 0) return;
    XDestroyWindow(display_, window_);
    XSync(display_, False);
    window_ = 0;
}

std::pair<int, int> X11Window::childSize() {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    XWindowAttributes attributes{};
    if (XQueryTree(display_, window_, &root, &parent, &children, &count) && count > 0)
        XGetWindowAttributes(display_, children[0], &attributes);
    if (children) XFree(children);
    return {attributes.width, attributes.height};
}

int X11Window::distinctColours() {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window_, &attributes)) return 0;
    XImage* image = XGetImage(display_, window_, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (image == nullptr) return 0;
    std::set<unsigned long> colours;
    for (int y = 0; y < attributes.height; y += 3)
        for (int x = 0; x < attributes.width; x += 3)
            colours.insert(XGetPixel(image, x, y));
    XDestroyImage(image);
    return static_cast<int>(colours.size());
}

}  // namespace kelvo::test
