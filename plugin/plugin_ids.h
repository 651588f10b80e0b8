// Class IDs of the plug-in's two components; the processor names the
// controller's so that hosts pair them.
#pragma once

#include "pluginterfaces/base/funknown.h"

namespace kelvo {

static const Steinberg::FUID kProcessorUid(0x9F352AFE, 0xA0352C91, 0x9D3527D8, 0x9E35296B);
static const Steinberg::FUID kControllerUid(0x5F6499E2, 0x60649B75, 0x5D6496BC, 0x5E64984F);

inline constexpr const char* KELVO_MODULE_ID = "music.kelvo.drum-synth";
inline constexpr const char* KELVO_VERSION = "0.1.0";

}  // namespace kelvo
