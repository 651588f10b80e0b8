// Each note of a timeline played alone: how loud it peaks and how long it
// sounds, the way the demo reports the pieces of its groove.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin_instance.h"
#include "timeline.h"

namespace tambro::render {

struct PieceSummary {
    std::string name;
    uint8_t note;
    float peak;      // largest magnitude over all channels
    double seconds;  // up to the last sounding frame
};

// Notes in the order the timeline first plays them, each struck at full
// velocity on a freshly reset instance and released after half a second.
std::vector<PieceSummary> summarisePieces(PluginInstance& instance, const Timeline& timeline,
                                          uint64_t tailLimitFrames);

// "kick       note 36  peak  -3.52 dBFS  length  412.3 ms"
std::string summaryLine(const PieceSummary& piece);

}  // namespace tambro::render
