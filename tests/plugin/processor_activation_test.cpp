#include <gtest/gtest.h>

#include <vector>

#include "test_host.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;

// A session's values: a different kick (the one hosts exported wrongly),
// the longest cymbal, and a tone that changes every piece.
const std::vector<std::pair<uint32_t, double>> SESSION = {
    {0, 60}, {1, 0.3}, {8, 0.2}, {11, 3.9}, {13, 0.8}};

void restore(ProcessorHost& host) {
    for (auto [index, value] : SESSION)
        host.processor().engine().setParamValue(index, value);
}

// Three notes from frame 0 on an active host.
std::vector<float> playNotes(ProcessorHost& host) {
    std::vector<float> audio;
    for (int16 note : {36, 42, 49})
        host.events().noteOn(0, note, 1.0f);
    for (int start = 0; start < 4096; start += 512) {
        EXPECT_EQ(host.process(512), kResultOk);
        audio.insert(audio.end(), host.left().begin(), host.left().begin() + 512);
    }
    return audio;
}

// Hosts re-activate before and after every export, and restore a session
// before or after activating: the first block after a re-activation plays
// the session exactly as a host that restored it before its first setup
// (no note left from before, no value still on its way).
TEST(ProcessorActivation, TheFirstBlockPlaysTheRestoredValues) {
    for (double rate : {48000.0, 44100.0}) {
        ProcessorHost fresh, reactivated;
        restore(fresh);
        ASSERT_EQ(fresh.setup(rate, 512), kResultOk);
        ASSERT_EQ(fresh.activate(), kResultOk);

        ASSERT_EQ(reactivated.setup(48000, 512), kResultOk);
        ASSERT_EQ(reactivated.activate(), kResultOk);
        reactivated.events().noteOn(0, 49, 1.0f);  // still sounding at deactivation
        ASSERT_EQ(reactivated.process(512), kResultOk);
        restore(reactivated);
        ASSERT_EQ(reactivated.activate(false), kResultOk);
        ASSERT_EQ(reactivated.setup(rate, 512), kResultOk);
        ASSERT_EQ(reactivated.activate(), kResultOk);
        EXPECT_EQ(playNotes(reactivated), playNotes(fresh)) << rate;
    }
}

}  // namespace
}  // namespace kelvo::test
