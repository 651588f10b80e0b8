// In-library access to a live instance's module state, for inspection by the
// library's own tools and tests. Not exported from the shared library.
#pragma once

#include <cstdint>

#include "processor_module.h"

namespace kelvo::kernel {

// The state of the instance a handle names, or nullptr for a stale handle.
const DrumProcessorState* instanceState(uint32_t handle);

}  // namespace kelvo::kernel
