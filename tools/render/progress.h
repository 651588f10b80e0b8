// A one-line progress bar on standard error for renders long enough to wait
// for, drawn only when standard error is a terminal.
#pragma once

#include <chrono>
#include <cstdint>

namespace tambro::render {

class Progress {
  public:
    // Null when standard error is no terminal.
    static Progress* forTerminal();

    // `frames` rendered so far of a timeline ending at `endFrame` (the tail
    // runs beyond it). Redraws at most ten times a second.
    void update(uint64_t frames, uint64_t endFrame);
    // Clears the line.
    void finish();

  private:
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point drawn_{};
    bool shown_ = false;
};

}  // namespace tambro::render
