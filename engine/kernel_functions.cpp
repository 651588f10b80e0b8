#include "kernel_functions.h"

#include "drum_kernel.h"

namespace kelvo {

const KernelFunctions& drumKernelFunctions() {
    static constexpr KernelFunctions drum{
        scpr_music_kelvo_drum_synth_c1cf50803a37_runtime_init,
        scpr_music_kelvo_drum_synth_c1cf50803a37_set_panic_sink,
        scpr_music_kelvo_drum_synth_c1cf50803a37_abi_version,
        scpr_music_kelvo_drum_synth_c1cf50803a37_collect,
        scpr_music_kelvo_drum_synth_c1cf50803a37_create,
        scpr_music_kelvo_drum_synth_c1cf50803a37_destroy,
        scpr_music_kelvo_drum_synth_c1cf50803a37_input_view,
        scpr_music_kelvo_drum_synth_c1cf50803a37_output_view,
        scpr_music_kelvo_drum_synth_c1cf50803a37_push_event,
        scpr_music_kelvo_drum_synth_c1cf50803a37_process,
        scpr_music_kelvo_drum_synth_c1cf50803a37_reset,
        KELVO_DRUM_KERNEL_SETTLE_BLOCKS,
    };
    return drum;
}

}  // namespace kelvo
