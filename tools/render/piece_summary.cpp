#include "piece_summary.h"

#include <algorithm>
#include <cmath>

#include "demo_pattern.h"
#include "render_loop.h"
#include "text_format.h"

namespace tambro::render {

namespace {

constexpr uint8_t FULL_VELOCITY = 127;
constexpr double HOLD_SECONDS = 0.5;

PieceSummary playAlone(PluginInstance& instance, const TimedEvent& first,
                       uint64_t tailLimitFrames) {
    const auto release = static_cast<uint64_t>(instance.sampleRate() * HOLD_SECONDS);
    Timeline alone;
    alone.events = {{0, EventKind::NoteOn, first.channel, first.number, FULL_VELOCITY},
                    {release, EventKind::NoteOff, first.channel, first.number, 0}};
    alone.endFrame = release;
    instance.restart();
    const Rendering rendering = render(instance, alone, tailLimitFrames, nullptr);
    float peak = 0;
    size_t lastSounding = 0;
    for (size_t i = 0; i < rendering.interleaved.size(); ++i)
        if (rendering.interleaved[i] != 0) {
            peak = std::max(peak, std::fabs(rendering.interleaved[i]));
            lastSounding = i / static_cast<size_t>(rendering.channels) + 1;
        }
    return {pieceName(first.number), first.number, peak,
            static_cast<double>(lastSounding) / instance.sampleRate()};
}

}  // namespace

std::vector<PieceSummary> summarisePieces(PluginInstance& instance, const Timeline& timeline,
                                          uint64_t tailLimitFrames) {
    std::vector<PieceSummary> pieces;
    std::vector<bool> seen(128);
    for (const TimedEvent& event : timeline.events)
        if (event.kind == EventKind::NoteOn && !seen[event.number]) {
            seen[event.number] = true;
            pieces.push_back(playAlone(instance, event, tailLimitFrames));
        }
    return pieces;
}

std::string summaryLine(const PieceSummary& piece) {
    std::string name = piece.name;
    name.resize(std::max<size_t>(name.size(), 10), ' ');
    std::string note = std::to_string(piece.note);
    note.insert(0, 3 - std::min<size_t>(3, note.size()), ' ');
    const std::string peak =
        piece.peak > 0 ? fixed(20 * std::log10(piece.peak), 2) + " dBFS" : "silent";
    std::string paddedPeak = peak;
    paddedPeak.insert(0, 12 - std::min<size_t>(12, peak.size()), ' ');
    std::string length = fixed(piece.seconds * 1000, 1);
    length.insert(0, 7 - std::min<size_t>(7, length.size()), ' ');
    return name + " note " + note + "  peak " + paddedPeak + "  length " + length + " ms";
}

}  // namespace tambro::render
