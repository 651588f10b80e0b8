// A plain X11 window such as a host gives an editor view, and what tests
// and benchmarks read back from it.
#pragma once

#include <X11/Xlib.h>

#include <utility>

namespace kelvo::test {

class X11Window {
  public:
    // Opens the display named by DISPLAY; id() is 0 without one.
    X11Window(int width, int height);
    ~X11Window();

    Window id() const { return window_; }
    void* parentHandle() const { return reinterpret_cast<void*>(window_); }
    void resize(int width, int height);
    void destroy();
    // The size of the first child window (the embedded editor), or 0 × 0.
    std::pair<int, int> childSize();
    // How many distinct pixel values a sparse grid of the window shows.
    int distinctColours();

  private:
    Display* display_ = nullptr;
    Window window_ = 0;
};

}  // namespace kelvo::test
