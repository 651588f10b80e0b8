// The host's render loop: the timeline's events handed to the processor at
// their exact frames inside blocks of the set-up size, controller changes
// turned into parameter changes through the plug-in's MIDI mapping, and the
// instrument's tail after the timeline's end. Nothing is allocated per block.
#pragma once

#include <cstdint>
#include <vector>

#include "plugin_instance.h"
#include "timeline.h"

namespace tambro::render {

class Progress;

struct Rendering {
    std::vector<float> interleaved;
    int32_t channels = 0;
    uint64_t frames = 0;
};

// The tail is the plug-in's reported one; when it reports none or an endless
// one, rendering goes on until half a second of digital silence and the
// output ends with its last sounding frame (never before the timeline's
// end), at most `tailLimitFrames` after the end. Throws ToolError(EXIT_PLUGIN)
// when the plug-in fails a block.
Rendering render(PluginInstance& instance, const Timeline& timeline, uint64_t tailLimitFrames,
                 Progress* progress);

}  // namespace tambro::render
