// The runtime health report: the diagnostic ring as one JSON document, sent
// from the processor to the controller.
#pragma once

#include <cstdint>
#include <string>

#include "runtime_diagnostics.h"

namespace kelvo {

// Writes the "kelvo-runtime-health/v1" document for a ring copy. A null or
// empty moduleId or version is written "unknown"; forcedFailure marks the
// report of a failed setup.
std::string writeRuntimeHealthJson(const kelvo_runtime_diagnostic_ring& ring, const char* moduleId,
                                   const char* version, double sampleRate, int32_t maxBlockFrames,
                                   bool forcedFailure);

}  // namespace kelvo
