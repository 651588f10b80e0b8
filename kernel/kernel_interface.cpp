// The kernel's exported C interface: the instance table with generation
// handles, the per-instance event queue, and the splitting of each block at
// event frames into sub-blocks rendered by the processor module.
#include <atomic>
#include <cmath>
#include <memory>
#include <utility>

#include "drum_kernel.h"
#include "kernel_interface.h"
#include "processor_module.h"
#include "runtime.h"

#define KERNEL_SYMBOL(operation) "scpr_music_kelvo_drum_synth_c1cf50803a37_" #operation

namespace kelvo::kernel {
namespace {

constexpr int MAX_INSTANCES = 32;
constexpr uint32_t MAX_FRAMES = 128;
constexpr uint32_t OUT_CHANNELS = 2;
constexpr int MAX_EVENTS = 64;
constexpr uint32_t PARAMETER_COUNT = DRUM_PARAM_COUNT;
constexpr uint32_t EVENT_PARAMETER = 1;
constexpr uint32_t EVENT_NOTE_ON = 2;
constexpr uint32_t EVENT_NOTE_OFF = 3;
constexpr uint32_t EVENT_CONTROL_CHANGE = 4;
constexpr int64_t SLOT_OUTPUT_FLOATS = OUT_CHANNELS * MAX_FRAMES;

constexpr double ABI_VERSION = 2;

// Values of a slot's `active` entry. A claimed slot is being created: no other
// create takes it and no handle resolves to it until it is published live.
constexpr uint8_t SLOT_FREE = 0;
constexpr uint8_t SLOT_LIVE = 1;
constexpr uint8_t SLOT_CLAIMED = 2;

// Creates, destroys and calls for distinct instances run on different threads
// at once, so `active` and `generations` are accessed atomically. Everything
// else in a slot belongs to the one thread that currently drives its instance;
// publishing the slot live (release) hands it over.
struct InstanceTable {
    TypedArray<uint8_t> active{MAX_INSTANCES};
    TypedArray<uint32_t> generations{MAX_INSTANCES};
    TypedArray<uint32_t> maximumBlockSizes{MAX_INSTANCES};
    TypedArray<uint32_t> eventFrames{MAX_INSTANCES * MAX_EVENTS};
    TypedArray<uint32_t> eventKinds{MAX_INSTANCES * MAX_EVENTS};
    TypedArray<uint32_t> eventParameters{MAX_INSTANCES * MAX_EVENTS};
    TypedArray<int32_t> eventA{MAX_INSTANCES * MAX_EVENTS};
    TypedArray<float> eventValues{MAX_INSTANCES * MAX_EVENTS};
    TypedArray<uint32_t> eventCounts{MAX_INSTANCES};
    std::unique_ptr<DrumProcessorState> states[MAX_INSTANCES];
    ProcessorBlock blocks[MAX_INSTANCES];
    TypedArray<float> output{MAX_INSTANCES * SLOT_OUTPUT_FLOATS};
};

// Deliberately never freed at exit: a host may call exit() while another of
// its threads still renders, and a pointer has no destructor to pull the
// table from under it. Only runtime_init replaces it.
InstanceTable* table = nullptr;
// The shared empty view: a valid pointer with length 0.
float emptyView[1];

std::atomic_ref<uint8_t> slotState(int slot) {
    return std::atomic_ref<uint8_t>(table->active[slot]);
}

std::atomic_ref<uint32_t> slotGeneration(int slot) {
    return std::atomic_ref<uint32_t>(table->generations[slot]);
}

// The slot a handle names, or -1 for a stale handle.
int resolve(uint32_t handle) {
    if (!table || handle == 0) return -1;
    const int slot = static_cast<int>((handle - 1) % MAX_INSTANCES);
    const uint32_t generation = (handle - 1) / MAX_INSTANCES + 1;
    if (slotState(slot).load(std::memory_order_acquire) != SLOT_LIVE ||
        slotGeneration(slot).load(std::memory_order_relaxed) != generation)
        return -1;
    return slot;
}

// Claims the lowest free slot, or returns -1. Acquiring it makes the previous
// instance's destroy visible before the slot is refilled.
int claimFreeSlot() {
    for (int slot = 0; slot < MAX_INSTANCES; ++slot) {
        uint8_t expected = SLOT_FREE;
        if (slotState(slot).compare_exchange_strong(
                expected, SLOT_CLAIMED, std::memory_order_acquire, std::memory_order_relaxed))
            return slot;
    }
    return -1;
}

uint32_t bumpGeneration(int slot) {
    uint32_t generation = slotGeneration(slot).load(std::memory_order_relaxed) + 1;
    if (generation == 0) generation = 1;  // wraps modulo 2^32, skipping 0
    slotGeneration(slot).store(generation, std::memory_order_relaxed);
    return generation;
}

int64_t eventBase(int slot) {
    return int64_t{slot} * MAX_EVENTS;
}

float* slotOutput(int slot) {
    return table->output.window(slot * SLOT_OUTPUT_FLOATS, SLOT_OUTPUT_FLOATS);
}

void zeroOutput(int slot) {
    float* out = slotOutput(slot);
    for (int64_t i = 0; i < SLOT_OUTPUT_FLOATS; ++i)
        out[i] = 0;
}

bool applyDefaults(DrumProcessorState& state) {
    for (uint32_t i = 0; i < PARAMETER_COUNT; ++i)
        if (!setParameterByIndex(state, i, DRUM_PARAM_INITIAL[i])) return false;
    return true;
}

bool renderSubBlock(int slot, uint32_t offset, uint32_t count) {
    ProcessorBlock& block = table->blocks[slot];
    block.frameOffset = offset;
    block.frameCount = count;
    return process(*table->states[slot], block);
}

// Handles every event queued at the frame of event `first`: parameter events
// first, then the others, each in queue order.
bool handleEventGroup(int slot, int first, int count) {
    InstanceTable& t = *table;
    DrumProcessorState& state = *t.states[slot];
    const int64_t base = eventBase(slot);
    const uint32_t frame = t.eventFrames[base + first];
    int last = first;
    while (last + 1 < count && t.eventFrames[base + last + 1] == frame)
        ++last;
    for (int i = first; i <= last; ++i)
        if (t.eventKinds[base + i] == EVENT_PARAMETER &&
            !setParameterByIndex(state, t.eventParameters[base + i], t.eventValues[base + i]))
            return false;
    for (int i = first; i <= last; ++i)
        if (t.eventKinds[base + i] != EVENT_PARAMETER &&
            !handleEvent(state, static_cast<int>(t.eventKinds[base + i]), t.eventA[base + i],
                         t.eventValues[base + i]))
            return false;
    return true;
}

double processSlot(int slot, uint32_t frames) {
    InstanceTable& t = *table;
    const int64_t base = eventBase(slot);
    const int count = static_cast<int>(t.eventCounts[slot]);
    uint32_t cursor = 0;
    for (int i = 0; i < count && i < MAX_EVENTS; ++i) {
        const uint32_t frame = t.eventFrames[base + i];
        if (frame >= frames) break;  // this event and all after it are dropped
        if (cursor < frame) {
            if (!renderSubBlock(slot, cursor, frame - cursor)) return 2;
            cursor = frame;
        }
        if (i > 0 && frame == t.eventFrames[base + i - 1]) continue;  // handled with its group
        if (!handleEventGroup(slot, i, count)) return 2;
    }
    if (cursor < frames && !renderSubBlock(slot, cursor, frames - cursor)) return 2;
    t.eventCounts[slot] = 0;
    return 0;
}

bool eventShapeValid(uint32_t kind, uint32_t a, double value) {
    switch (kind) {
        case EVENT_PARAMETER:
            return a < PARAMETER_COUNT;
        case EVENT_NOTE_ON:
            return a <= 127 && ((value >= 0 && value <= 1) || (value >= 2 && value <= 3));
        case EVENT_NOTE_OFF:
            return a <= 127 && value == 0;
        case EVENT_CONTROL_CHANGE:
            return a <= 127 && value >= 0 && value <= 1;
        default:
            return false;
    }
}

double pushEvent(uint32_t handle, uint32_t kind, uint32_t frame, uint32_t a, double value) {
    const int slot = resolve(handle);
    if (slot < 0 || frame >= table->maximumBlockSizes[slot]) return 1;
    if (!eventShapeValid(kind, a, value)) return 2;
    // A value that overflows single precision would be stored as an infinity
    // the module refuses, failing every later block: refuse it here.
    if (!std::isfinite(value) || !std::isfinite(static_cast<float>(value))) return 3;
    InstanceTable& t = *table;
    const uint32_t count = t.eventCounts[slot];
    if (count >= MAX_EVENTS) return 3;
    const int64_t base = eventBase(slot);
    if (count > 0 && t.eventFrames[base + count - 1] > frame) return 4;
    const int64_t at = base + count;
    t.eventFrames[at] = frame;
    t.eventKinds[at] = kind;
    t.eventParameters[at] = kind == EVENT_PARAMETER ? a : 0;
    t.eventA[at] = kind == EVENT_PARAMETER ? 0 : static_cast<int32_t>(a);
    t.eventValues[at] = static_cast<float>(value);
    t.eventCounts[slot] = count + 1;
    return 0;
}

// Builds a fresh instance in a claimed slot; false if the module refuses it.
bool fillSlot(int slot, uint32_t maximumFrames, double sampleRate) {
    InstanceTable& t = *table;
    t.states[slot].reset();  // the slot is being reused: drop the destroyed instance's state
    std::unique_ptr<DrumProcessorState> state = createState();
    const ProcessorConfig config{0, maximumFrames, OUT_CHANNELS,
                                 static_cast<double>(static_cast<float>(sampleRate))};
    if (!prepare(*state, config)) return false;
    t.states[slot] = std::move(state);
    t.maximumBlockSizes[slot] = maximumFrames;
    t.eventCounts[slot] = 0;
    t.blocks[slot] = ProcessorBlock{
        MAX_FRAMES,  0, 0, emptyView, 0, slotOutput(slot), static_cast<size_t>(SLOT_OUTPUT_FLOATS),
        OUT_CHANNELS};
    if (!applyDefaults(*t.states[slot])) {
        t.maximumBlockSizes[slot] = 0;
        return false;
    }
    zeroOutput(slot);
    return true;
}

double createInstance(uint32_t maximumFrames, uint32_t inputChannels, uint32_t outputChannels,
                      double sampleRate) {
    if (!table || !(sampleRate > 0) || !std::isfinite(sampleRate) || maximumFrames == 0 ||
        maximumFrames > MAX_FRAMES || inputChannels != 0 || outputChannels != OUT_CHANNELS)
        return 0;
    const int slot = claimFreeSlot();
    if (slot < 0) return 0;
    const uint32_t generation = bumpGeneration(slot);  // stands even if the create fails
    const bool built = fillSlot(slot, maximumFrames, sampleRate);
    slotState(slot).store(built ? SLOT_LIVE : SLOT_FREE, std::memory_order_release);
    if (!built) return 0;
    return slot + MAX_INSTANCES * (static_cast<double>(generation) - 1) + 1;
}

double resetInstance(uint32_t handle) {
    const int slot = resolve(handle);
    if (slot < 0) return 1;
    DrumProcessorState& state = *table->states[slot];
    reset(state);
    if (!applyDefaults(state)) return 2;
    table->eventCounts[slot] = 0;
    zeroOutput(slot);
    return 0;
}

double destroyInstance(uint32_t handle) {
    const int slot = resolve(handle);
    if (slot < 0) return 1;
    // The module state stays referenced until the slot is reused. The slot is
    // freed last, so a create that claims it sees it fully cleared.
    table->maximumBlockSizes[slot] = 0;
    table->eventCounts[slot] = 0;
    slotState(slot).store(SLOT_FREE, std::memory_order_release);
    return 0;
}

void setView(float** data, size_t* length, float* pointer, size_t size) {
    if (data) *data = pointer;
    if (length) *length = size;
}

}  // namespace

const DrumProcessorState* instanceState(uint32_t handle) {
    const int slot = resolve(handle);
    return slot < 0 ? nullptr : table->states[slot].get();
}

}  // namespace kelvo::kernel

using namespace kelvo::kernel;

// Views are pointers into memory the kernel owns for its whole life, so
// "releasing" the views of the previous entry needs no work here.

extern "C" uint64_t scpr_music_kelvo_drum_synth_c1cf50803a37_runtime_init(void) {
    return runEntry(KERNEL_SYMBOL(runtime_init), [] {
        delete std::exchange(table, nullptr);
        table = new InstanceTable();
        return uint64_t{0};
    });
}

extern "C" void scpr_music_kelvo_drum_synth_c1cf50803a37_set_panic_sink(
    void (*sink)(void*, const uint8_t*, size_t, uintptr_t), void* context) {
    runEntry(KERNEL_SYMBOL(set_panic_sink), [&] { setPanicSink(sink, context); });
}

extern "C" double scpr_music_kelvo_drum_synth_c1cf50803a37_abi_version(void) {
    return runEntry(KERNEL_SYMBOL(abi_version), [] { return ABI_VERSION; });
}

// Reference counting leaves no cycles to collect in this kernel.
extern "C" uint64_t scpr_music_kelvo_drum_synth_c1cf50803a37_collect(void) {
    return runEntry(KERNEL_SYMBOL(collect), [] { return uint64_t{0}; });
}

extern "C" double scpr_music_kelvo_drum_synth_c1cf50803a37_create(uint32_t maximumFrames,
                                                                  uint32_t inputChannels,
                                                                  uint32_t outputChannels,
                                                                  double sampleRate) {
    return runEntry(KERNEL_SYMBOL(create), [&] {
        return createInstance(maximumFrames, inputChannels, outputChannels, sampleRate);
    });
}

extern "C" double scpr_music_kelvo_drum_synth_c1cf50803a37_destroy(uint32_t handle) {
    return runEntry(KERNEL_SYMBOL(destroy), [&] { return destroyInstance(handle); });
}

extern "C" void scpr_music_kelvo_drum_synth_c1cf50803a37_input_view(uint32_t, float** data,
                                                                    size_t* length) {
    runEntry(KERNEL_SYMBOL(input_view), [&] { setView(data, length, emptyView, 0); });
}

extern "C" void scpr_music_kelvo_drum_synth_c1cf50803a37_output_view(uint32_t handle, float** data,
                                                                     size_t* length) {
    runEntry(KERNEL_SYMBOL(output_view), [&] {
        const int slot = resolve(handle);
        if (slot < 0)
            setView(data, length, emptyView, 0);
        else
            setView(data, length, slotOutput(slot), SLOT_OUTPUT_FLOATS);
    });
}

extern "C" double scpr_music_kelvo_drum_synth_c1cf50803a37_push_event(uint32_t handle,
                                                                      uint32_t kind, uint32_t frame,
                                                                      uint32_t a, double value) {
    return runEntry(KERNEL_SYMBOL(push_event),
                    [&] { return pushEvent(handle, kind, frame, a, value); });
}

extern "C" double scpr_music_kelvo_drum_synth_c1cf50803a37_process(uint32_t handle,
                                                                   uint32_t frames) {
    return runEntry(KERNEL_SYMBOL(process), [&] {
        const int slot = resolve(handle);
        if (slot < 0 || frames > table->maximumBlockSizes[slot]) return 1.0;
        return processSlot(slot, frames);
    });
}

extern "C" double scpr_music_kelvo_drum_synth_c1cf50803a37_reset(uint32_t handle) {
    return runEntry(KERNEL_SYMBOL(reset), [&] { return resetInstance(handle); });
}
