// What the host plays: channel events placed at exact frames of the output,
// in the order they are handed to the plug-in, and the frame where the
// material ends (the instrument's tail follows it).
#pragma once

#include <cstdint>
#include <vector>

namespace tambro::render {

enum class EventKind : uint8_t { NoteOn, NoteOff, Controller };

struct TimedEvent {
    uint64_t frame;
    EventKind kind;
    uint8_t channel;  // 0...15
    uint8_t number;   // note or controller number
    uint8_t value;    // velocity or controller value, 0...127
};

struct Timeline {
    std::vector<TimedEvent> events;  // by frame; equal frames keep their order
    uint64_t endFrame = 0;
};

}  // namespace tambro::render
