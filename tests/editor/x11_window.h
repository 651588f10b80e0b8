// A plain X11 window such as a host gives an editor view, and what tests
// and benchmarks read back from it.
#pragma once

#include <X11/Xlib.h>

#include <string>

namespace kelvo::test {

class X11Window {
  public:
    // Opens the display named by DISPLAY; ok() is false without one.
    X11Window(int width, int height);
    ~X11Window();
    X11Window(const X11Window&) = delete;
    X11Window& operator=(const X11Window&) = delete;

    bool ok() const { return window_ != 0; }
    Window id() const { return window_; }
    void* parentHandle() const { return reinterpret_cast<void*>(window_); }
    int connectionFd() const;
    // Reads and discards pending events, so the connection keeps flowing.
    void drainEvents();
    void resize(int width, int height);
    void destroy();
    // The size of the first child window (the embedded editor), or 0 × 0.
    void childSize(int& width, int& height);
    // How many distinct pixel values a sparse grid of the window shows.
    int distinctColours();

  private:
    Display* display_ = nullptr;
    Window window_ = 0;
};

}  // namespace kelvo::test
