#include <gtest/gtest.h>

#include <vector>

#include "drum_kernel.h"
#include "test_host.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;

// A session's values: a different kick (the one hosts exported wrongly),
// the longest cymbal, and a tone that changes every piece.
const std::vector<std::pair<uint32_t, double>> SESSION = {
    {0, 60}, {1, 0.3}, {8, 0.2}, {11, 3.9}, {13, 0.8}};
constexpr int FRAMES = 4096;
constexpr int NOTES[] = {36, 42, 49};

// The kernel alone (already initialised by the processor under test): the
// session's values set and fully rendered before the first note, then the
// notes at frame 0.
std::vector<float> settledKernelReference(double rate) {
    const auto handle =
        static_cast<uint32_t>(scpr_music_kelvo_drum_synth_c1cf50803a37_create(128, 0, 2, rate));
    for (auto [index, value] : SESSION)
        scpr_music_kelvo_drum_synth_c1cf50803a37_push_event(handle, 1, 0, index, value);
    for (int i = 0; i < 4000; ++i)
        scpr_music_kelvo_drum_synth_c1cf50803a37_process(handle, 128);
    for (int note : NOTES)
        scpr_music_kelvo_drum_synth_c1cf50803a37_push_event(handle, 2, 0, note, 1.0);
    std::vector<float> audio;
    for (int start = 0; start < FRAMES; start += 128) {
        scpr_music_kelvo_drum_synth_c1cf50803a37_process(handle, 128);
        float* out = nullptr;
        size_t length = 0;
        scpr_music_kelvo_drum_synth_c1cf50803a37_output_view(handle, &out, &length);
        audio.insert(audio.end(), out, out + 128);
    }
    scpr_music_kelvo_drum_synth_c1cf50803a37_destroy(handle);
    return audio;
}

// Hosts re-activate before and after every export, and restore a session
// before or after activating: the first block always plays the session.
TEST(ProcessorActivation, TheFirstBlockPlaysTheRestoredValues) {
    struct Case {
        double firstRate, rate;
        bool restoreBeforeFirstSetup;
    };
    const Case cases[] = {
        {48000, 48000, true}, {48000, 48000, false}, {48000, 44100, false}, {96000, 96000, false}};
    for (const Case& c : cases) {
        ProcessorHost host;
        const auto restore = [&] {
            for (auto [index, value] : SESSION)
                host.processor().engine().setParamValue(index, value);
        };
        if (c.restoreBeforeFirstSetup) restore();
        ASSERT_EQ(host.setup(c.firstRate, 512), kResultOk);
        ASSERT_EQ(host.activate(), kResultOk);
        if (!c.restoreBeforeFirstSetup) {
            host.events().noteOn(0, 49, 1.0f);  // still sounding at deactivation
            ASSERT_EQ(host.process(512), kResultOk);
            restore();
            ASSERT_EQ(host.activate(false), kResultOk);
            ASSERT_EQ(host.setup(c.rate, 512), kResultOk);
            ASSERT_EQ(host.activate(), kResultOk);
        }
        std::vector<float> audio;
        for (int note : NOTES)
            host.events().noteOn(0, static_cast<int16>(note), 1.0f);
        for (int start = 0; start < FRAMES; start += 512) {
            ASSERT_EQ(host.process(512), kResultOk);
            audio.insert(audio.end(), host.left().begin(), host.left().begin() + 512);
        }
        EXPECT_EQ(audio, settledKernelReference(c.rate)) << c.firstRate << " " << c.rate;
    }
}

}  // namespace
}  // namespace kelvo::test
