#include "demo_pattern.h"

#include <string>

namespace tambro::render {

namespace {

constexpr int STEPS = 64;                 // four bars of sixteenths
constexpr uint64_t STEPS_PER_SECOND = 8;  // sixteenths at 120 beats per minute
constexpr uint8_t LOUD = 127, SOFT = 70;  // 'X' and 'x'
constexpr uint8_t DRUM_CHANNEL = 9;       // General MIDI channel 10

struct Piece {
    const char* name;
    uint8_t note;
    const char* pattern;  // one bar: 'X' loud, 'x' soft, '.' rest
};

constexpr Piece PIECES[] = {
    {"kick", 36, "X.....x...X....."},      {"snare", 38, "....X.......X..."},
    {"rim", 40, "..........x....x"},       {"clap", 39, "............X..."},
    {"tomLow", 41, "..............x."},    {"tomMid", 45, ".............x.."},
    {"hatClosed", 42, "x.x.x.x.x.x.x..."}, {"hatOpen", 46, "..............X."},
    {"cymbal", 49, "X..............."},    {"cowbell", 56, "...x.....x......"},
};

}  // namespace

Timeline demoTimeline(const Rate& rate) {
    Timeline timeline;
    for (int step = 0; step < STEPS; ++step) {
        const uint64_t frame = frameAt(static_cast<uint64_t>(step), STEPS_PER_SECOND, rate);
        for (const Piece& piece : PIECES) {
            const char hit = piece.pattern[step % 16];
            if (hit != '.')
                timeline.events.push_back(
                    {frame, EventKind::NoteOn, DRUM_CHANNEL, piece.note, hit == 'X' ? LOUD : SOFT});
        }
    }
    timeline.endFrame = frameAt(STEPS, STEPS_PER_SECOND, rate);
    return timeline;
}

std::string pieceName(uint8_t note) {
    for (const Piece& piece : PIECES)
        if (piece.note == note) return piece.name;
    return "note " + std::to_string(note);
}

}  // namespace tambro::render
