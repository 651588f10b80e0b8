#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace tambro::render {

namespace {

constexpr int BAR_WIDTH = 40;
constexpr auto REDRAW = std::chrono::milliseconds(100);
// Renders quicker than this finish before a bar would help.
constexpr auto FIRST_DRAW = std::chrono::milliseconds(500);

}  // namespace

Progress* Progress::forTerminal() {
    static Progress progress;
    return isatty(STDERR_FILENO) ? &progress : nullptr;
}

void Progress::update(uint64_t frames, uint64_t endFrame) {
    const auto now = std::chrono::steady_clock::now();
    if (now - started_ < FIRST_DRAW || now - drawn_ < REDRAW) return;
    drawn_ = now;
    shown_ = true;
    char bar[BAR_WIDTH + 1];
    const uint64_t percent = endFrame == 0 ? 100 : std::min<uint64_t>(100, frames * 100 / endFrame);
    const auto filled = static_cast<int>(percent * BAR_WIDTH / 100);
    for (int i = 0; i < BAR_WIDTH; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[BAR_WIDTH] = '\0';
    // Integers only: the text never depends on the process locale.
    std::fprintf(stderr, "\rrendering [%s] %3u%%%s", bar, static_cast<unsigned>(percent),
                 frames > endFrame ? " (tail)" : "       ");
    std::fflush(stderr);
}

void Progress::finish() {
    if (!shown_) return;
    std::fprintf(stderr, "\r%*s\r", BAR_WIDTH + 24, "");
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace tambro::render
