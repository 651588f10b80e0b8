// A Standard MIDI File read into what a host plays from it: the channel
// events of every track with their absolute tick, the tempo changes of every
// track, and the file's time base. Formats 0 and 1 only.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace tambro::render {

class MidiFormatError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct MidiEvent {
    uint64_t tick;
    uint8_t status;  // channel message status byte, 0x80...0xEF
    uint8_t data1;
    uint8_t data2;  // 0 for messages with one data byte
};

struct TempoChange {
    uint64_t tick;
    uint32_t microsPerQuarter;  // never 0
};

struct MidiFile {
    uint16_t format = 0;
    // Ticks per quarter note, or for SMPTE time (negative frames per second
    // in the high byte) the raw division word.
    uint16_t division = 0;
    std::vector<MidiEvent> events;    // by tick; equal ticks in track order, then file order
    std::vector<TempoChange> tempos;  // by tick, in the same order
    uint64_t endTick = 0;             // the last event of any track, end-of-track included
};

// Throws MidiFormatError with a one-line reason for anything malformed:
// a wrong header, truncated chunks or events, a data byte without a running
// status (a meta or system-exclusive event ends the running status), a tempo
// of zero, a format other than 0 or 1.
MidiFile readMidiFile(const std::vector<uint8_t>& bytes);

}  // namespace tambro::render
