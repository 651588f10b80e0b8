// The built-in groove, played when no MIDI file is given: four bars of
// sixteenth notes at 120 beats per minute on the General MIDI drum notes,
// striking every piece of a drum kit at two velocities.
#pragma once

#include <string>

#include "rate.h"
#include "timeline.h"

namespace tambro::render {

Timeline demoTimeline(const Rate& rate);

// The name the groove gives a note ("kick", "snare" ...), else "note N".
std::string pieceName(uint8_t note);

}  // namespace tambro::render
