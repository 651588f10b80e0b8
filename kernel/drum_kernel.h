// The drum kernel's flat C interface. Every result is a 64-bit float (or an
// unsigned 64-bit word for the runtime calls); handles, kinds, frames and
// note numbers are unsigned 32-bit integers.
#ifndef KELVO_DRUM_KERNEL_H
#define KELVO_DRUM_KERNEL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KELVO_KERNEL_EXPORT __attribute__((visibility("default")))

/* Silent process calls of 128 frames after which an instance has rendered
   every piece for the values it holds, whatever they are and whatever the
   rate (the longest case, every decay at its maximum at 4 MHz, takes 1120). */
#define KELVO_DRUM_KERNEL_SETTLE_BLOCKS 1152u

typedef void (*kelvo_kernel_panic_sink)(void* context, const uint8_t* record, size_t length,
                                        uintptr_t site);

KELVO_KERNEL_EXPORT uint64_t scpr_music_kelvo_drum_synth_c1cf50803a37_runtime_init(void);
KELVO_KERNEL_EXPORT void scpr_music_kelvo_drum_synth_c1cf50803a37_set_panic_sink(
    void (*sink)(void* context, const uint8_t* record, size_t length, uintptr_t site),
    void* context);
KELVO_KERNEL_EXPORT double scpr_music_kelvo_drum_synth_c1cf50803a37_abi_version(void);
KELVO_KERNEL_EXPORT uint64_t scpr_music_kelvo_drum_synth_c1cf50803a37_collect(void);
KELVO_KERNEL_EXPORT double scpr_music_kelvo_drum_synth_c1cf50803a37_create(uint32_t maximumFrames,
                                                                           uint32_t inputChannels,
                                                                           uint32_t outputChannels,
                                                                           double sampleRate);
KELVO_KERNEL_EXPORT double scpr_music_kelvo_drum_synth_c1cf50803a37_destroy(uint32_t handle);
KELVO_KERNEL_EXPORT void scpr_music_kelvo_drum_synth_c1cf50803a37_input_view(uint32_t handle,
                                                                             float** data,
                                                                             size_t* length);
KELVO_KERNEL_EXPORT void scpr_music_kelvo_drum_synth_c1cf50803a37_output_view(uint32_t handle,
                                                                              float** data,
                                                                              size_t* length);
KELVO_KERNEL_EXPORT double scpr_music_kelvo_drum_synth_c1cf50803a37_push_event(
    uint32_t handle, uint32_t kind, uint32_t frame, uint32_t a, double value);
KELVO_KERNEL_EXPORT double scpr_music_kelvo_drum_synth_c1cf50803a37_process(uint32_t handle,
                                                                            uint32_t frames);
KELVO_KERNEL_EXPORT double scpr_music_kelvo_drum_synth_c1cf50803a37_reset(uint32_t handle);

#ifdef __cplusplus
}
#endif

#endif
