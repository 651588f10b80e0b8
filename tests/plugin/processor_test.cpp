#include <gtest/gtest.h>

#include <tuple>

#include "engine_fixture.h"
#include "plugin_ids.h"
#include "pluginterfaces/vst/vstspeaker.h"
#include "test_host.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

TEST(Processor, OneStereoOutputOneEventInputAndThirtyTwoBitsOnly) {
    ProcessorHost host;
    KelvoProcessor& p = host.processor();
    BusInfo info{};
    ASSERT_EQ(p.getBusInfo(kAudio, kOutput, 0, info), kResultTrue);
    TUID controller;
    ASSERT_EQ(p.getControllerClassId(controller), kResultOk);
    EXPECT_EQ(std::make_tuple(p.getBusCount(kAudio, kInput), p.getBusCount(kAudio, kOutput),
                              p.getBusCount(kEvent, kInput), p.getBusCount(kEvent, kOutput),
                              info.channelCount, reinterpret_cast<const char16_t*>(info.name),
                              FUID::fromTUID(controller) == kControllerUid,
                              p.canProcessSampleSize(kSample64)),
              std::make_tuple(0, 1, 1, 0, 2, std::u16string(u"Stereo Out"), true, kResultFalse));

    // Only one stereo output is accepted, and only that refreshes the host facts.
    SpeakerArrangement stereo = SpeakerArr::kStereo, mono = SpeakerArr::kMono;
    SpeakerArrangement two[2] = {stereo, stereo};
    EXPECT_EQ((std::vector<tresult>{p.setBusArrangements(nullptr, 0, &mono, 1),
                                    p.setBusArrangements(nullptr, 0, two, 2),
                                    p.setBusArrangements(&stereo, 1, &stereo, 1),
                                    p.setBusArrangements(nullptr, 0, &stereo, 1)}),
              (std::vector<tresult>{kResultFalse, kResultFalse, kResultFalse, kResultTrue}));
    EXPECT_EQ(host.messages().size(), 1u);
}

// The controller receives exactly the record the processor keeps, or the
// failure report; hosts may set the processor up before connecting it, so
// connecting sends either again.
TEST(Processor, SetupSendsTheHostFactsOrTheFailureAgainOnConnecting) {
    for (const int32 maxBlock : {333, 20000}) {
        ProcessorHost host;
        const bool valid = maxBlock <= ENGINE_MAX_BLOCK_FRAMES;
        ASSERT_EQ(host.setup(44100, maxBlock), valid ? kResultOk : kResultFalse);
        ASSERT_EQ(host.messages().size(), 1u);
        const RecordedMessage sent = host.messages()[0];
        if (valid) {
            HostFacts expected;
            expected.sampleRate = 44100;
            expected.maxBlockFrames = 333;
            expected.addBus("out0", false, 2, false, "stereo");  // active once activated
            EXPECT_EQ(sent, (RecordedMessage{
                                "kelvo.diag.hostFacts",
                                {reinterpret_cast<const char*>(&expected), sizeof expected}}));
        } else {
            EXPECT_EQ(sent.id, "kelvo.runtimeDiagnostics");
            EXPECT_NE(sent.json.find("\"lifecycle\":\"failed\""), std::string::npos);
            EXPECT_NE(sent.json.find("host processing configuration is invalid"),
                      std::string::npos);
        }
        host.messages().clear();
        host.reconnect();
        EXPECT_EQ(host.messages(), std::vector<RecordedMessage>{sent}) << maxBlock;
        EXPECT_EQ(host.activate(), valid ? kResultOk : kResultFalse);
    }
}

// An active processor at 48 kHz whose kernel records every call.
TEST(Processor, EventsAndParameterChangesReachTheKernel) {
    FakeKernel fake;
    fake.install();
    ProcessorHost host{fakeKernelFunctions()};
    ASSERT_EQ(host.setup(48000, 256), kResultOk);
    ASSERT_EQ(host.activate(), kResultOk);
    host.events().noteOn(10, 36, 0.5f, 9);
    host.events().noteOn(20, 38, 0.0f);  // velocity 0: a note-off
    host.events().noteOff(30, 36);
    host.parameters().add(0, 5, 0.5);
    host.parameters().add(18, 0, 0.7);  // not an engine parameter
    ASSERT_EQ(host.process(64), kResultOk);
    EXPECT_EQ(fake.events,
              (std::vector<FakeKernelEvent>{
                  {1, 5, 0, 75, 0}, {2, 10, 36, 0.5, 0}, {3, 20, 38, 0, 0}, {3, 30, 36, 0, 0}}));

    // Neither 64-bit samples nor a block without outputs is rendered, and
    // the latter's events wait for the next block.
    EXPECT_EQ(host.process(8, kSample64), kResultFalse);
    fake.events.clear();
    EventList notes;
    notes.noteOn(3, 40, 1.0f);
    ProcessData data{};
    data.symbolicSampleSize = kSample32;
    data.numSamples = 32;
    data.inputEvents = &notes;
    const size_t chunks = fake.chunks.size();
    EXPECT_EQ(host.processor().process(data), kResultFalse);
    EXPECT_EQ(fake.chunks.size(), chunks);
    ASSERT_EQ(host.process(32), kResultOk);
    EXPECT_EQ(fake.events, (std::vector<FakeKernelEvent>{{2, 3, 40, 1.0, 1}}));
}

TEST(Processor, SilenceFlagsMarkSilentChannels) {
    ProcessorHost host;
    ASSERT_EQ(host.setup(48000, 128), kResultOk);
    ASSERT_EQ(host.activate(), kResultOk);
    ASSERT_EQ(host.process(128), kResultOk);
    EXPECT_EQ(host.silenceFlags(), 3u);
    host.events().noteOn(0, 36, 1.0f);
    ASSERT_EQ(host.process(128), kResultOk);
    EXPECT_EQ(host.silenceFlags(), 0u);
}

// A session's values: a different kick (the one hosts exported wrongly),
// the longest cymbal, and a tone that changes every piece.
void restore(ProcessorHost& host) {
    for (auto [index, value] : {std::pair{0u, 60.0}, {1u, 0.3}, {8u, 0.2}, {11u, 3.9}, {13u, 0.8}})
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
