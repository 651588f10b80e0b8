// Short names for the kernel's exported functions in tests and tools.
#pragma once

#include "drum_kernel.h"

#define KERNEL(operation) scpr_music_kelvo_drum_synth_c1cf50803a37_##operation
