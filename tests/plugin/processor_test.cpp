#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "fake_kernel.h"
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
    EXPECT_EQ((std::vector<int32>{p.getBusCount(kAudio, kInput), p.getBusCount(kAudio, kOutput),
                                  p.getBusCount(kEvent, kInput), p.getBusCount(kEvent, kOutput)}),
              (std::vector<int32>{0, 1, 1, 0}));
    BusInfo info{};
    ASSERT_EQ(p.getBusInfo(kAudio, kOutput, 0, info), kResultTrue);
    EXPECT_EQ(info.channelCount, 2);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.name)), u"Stereo Out");
    TUID controller;
    ASSERT_EQ(p.getControllerClassId(controller), kResultOk);
    EXPECT_TRUE(FUID::fromTUID(controller) == kControllerUid);
    EXPECT_EQ(p.canProcessSampleSize(kSample64), kResultFalse);
    EXPECT_EQ(p.getTailSamples(), 0u);

    SpeakerArrangement stereo = SpeakerArr::kStereo, mono = SpeakerArr::kMono;
    SpeakerArrangement two[2] = {SpeakerArr::kStereo, SpeakerArr::kStereo};
    EXPECT_EQ(p.setBusArrangements(nullptr, 0, &mono, 1), kResultFalse);
    EXPECT_EQ(p.setBusArrangements(nullptr, 0, two, 2), kResultFalse);
    EXPECT_EQ(p.setBusArrangements(&stereo, 1, &stereo, 1), kResultFalse);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(p.setBusArrangements(nullptr, 0, &stereo, 1), kResultTrue);
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
            const HostFacts& facts = host.processor().hostFacts();
            EXPECT_EQ(std::memcmp(&facts, &expected, sizeof facts), 0);
            EXPECT_EQ(sent,
                      (RecordedMessage{"kelvo.diag.hostFacts",
                                       {reinterpret_cast<const char*>(&facts), sizeof facts}}));
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
class ProcessorOnFakeKernel : public ::testing::Test {
  protected:
    void SetUp() override {
        fake.install();  // the kernel is first called by setup
        ASSERT_EQ(host.setup(48000, 256), kResultOk);
        ASSERT_EQ(host.activate(), kResultOk);
    }
    // What reached the kernel: kind, frame, note or parameter, value.
    std::vector<std::tuple<uint32_t, uint32_t, uint32_t, double>> events() const {
        std::vector<std::tuple<uint32_t, uint32_t, uint32_t, double>> out;
        for (const FakeKernelEvent& e : fake.events)
            out.emplace_back(e.kind, e.frame, e.a, e.value);
        return out;
    }
    FakeKernel fake;
    ProcessorHost host{fakeKernelFunctions()};
};

TEST_F(ProcessorOnFakeKernel, EventsAndParameterChangesReachTheKernel) {
    host.events().noteOn(10, 36, 0.5f, 9);
    host.events().noteOn(20, 38, 0.0f);  // velocity 0: a note-off
    host.events().noteOff(30, 36);
    host.parameters().add(0, 5, 0.5);
    host.parameters().add(18, 0, 0.7);  // not an engine parameter
    ASSERT_EQ(host.process(64), kResultOk);
    EXPECT_EQ(events(), (decltype(events()){
                            {1, 5, 0, 75}, {2, 10, 36, 0.5}, {3, 20, 38, 0}, {3, 30, 36, 0}}));

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
    EXPECT_EQ(events(), (decltype(events()){{2, 3, 40, 1.0}}));
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

}  // namespace
}  // namespace kelvo::test
