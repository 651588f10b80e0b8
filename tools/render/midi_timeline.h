// A MIDI file's events placed on the output's frames through its tempo map.
#pragma once

#include "midi_file.h"
#include "rate.h"
#include "timeline.h"

namespace tambro::render {

// Note on/off and controller changes (other channel messages are dropped);
// a note-on of velocity 0 is a note-off. Throws MidiFormatError when the
// file lasts implausibly long.
Timeline timelineFromMidi(const MidiFile& file, const Rate& rate);

}  // namespace tambro::render
