#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "engine_fixture.h"

namespace kelvo::test {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

TEST(EngineSetup, RatesBecomeExactMicrohertzFractions) {
    struct Case {
        double rate;
        uint64_t numerator, denominator;
    };
    const Case cases[] = {
        {44100, 44100, 1}, {44100.0000004, 44100, 1}, {44099.5, 88199, 2},   {48000, 48000, 1},
        {1000.5, 2001, 2}, {22050.25, 88201, 4},      {4000000, 4000000, 1},
    };
    for (const Case& c : cases) {
        FakeRig rig;
        ASSERT_TRUE(rig.engine.setup(c.rate, 64)) << c.rate;
        EXPECT_EQ(std::make_pair(rig.engine.rate().numerator, rig.engine.rate().denominator),
                  std::make_pair(c.numerator, c.denominator));
    }
}

TEST(EngineSetup, RejectedFormatsReportAndChangeNothing) {
    struct Case {
        double rate;
        int32_t block;
        bool ceilingLine;
    };
    const Case cases[] = {{0, 512, false},      {NAN, 512, false},       {INFINITY, 512, false},
                          {-44100, 512, false}, {4000000.5, 512, false}, {48000, 0, false},
                          {48000, -5, false},   {48000, 16385, true},    {0.0000004, 512, false}};
    for (const Case& c : cases) {
        FakeRig rig;
        KernelEngine& engine = rig.engine;
        CaptureStderr();
        EXPECT_FALSE(engine.setup(c.rate, c.block));
        const std::string err = GetCapturedStderr();
        char expected[160];
        std::snprintf(expected, sizeof expected,
                      "kelvo-plugin-shell: rejected host format (sampleRate=%.9g, "
                      "maxBlockFrames=%d)\n",
                      c.rate, c.block);
        EXPECT_TRUE(err.starts_with(expected)) << err;
        EXPECT_EQ(err.find("exceeds the 16384-frame ceiling") != std::string::npos, c.ceilingLine);
        EXPECT_EQ(std::make_tuple(diagnosticCodes(engine), engine.ready(), engine.maxBlockFrames(),
                                  engine.sampleRate(), rig.fake.creates),
                  std::make_tuple(std::vector<uint32_t>{14}, false, 0, 48000.0, 0));
    }
}

TEST(EngineSetup, AdapterCapacityHasACeiling) {
    FakeRig rig;
    KernelEngine& engine = rig.engine;
    // 100 Hz with 4096-frame blocks needs 1966080 + 64 FIFO frames.
    EXPECT_FALSE(engine.setup(100, 4096));
    engine.drainRuntimeDiagnostics();
    const auto& ring = engine.diagnostics().ring();
    ASSERT_EQ(ring.count, 1u);
    EXPECT_STREQ(ring.records[0].message, "host rate requires unsupported SRC FIFO capacity");
    EXPECT_EQ(engine.maxBlockFrames(), 4096);  // the format itself was accepted
}

TEST(EngineSetup, KernelRunsAtTheHostRateUnlessItRefuses) {
    struct Case {
        double hostRate, acceptedRate;
        bool adapterOn;
        int latency;
        std::vector<double> asked;
    };
    const Case cases[] = {
        {44100, 0, false, 0, {44100}},
        {96000, 48000, true, 56, {96000, 48000}},
        {44100, 48000, true, 35, {44100, 48000}},
        {48000, 48000, false, 0, {48000}},
    };
    for (const Case& c : cases) {
        FakeRig rig(c.acceptedRate);
        ASSERT_TRUE(rig.engine.setup(c.hostRate, 512));
        EXPECT_EQ(rig.engine.adapterOn(), c.adapterOn) << c.hostRate;
        EXPECT_EQ(rig.engine.latencySamples(), c.latency) << c.hostRate;
        EXPECT_EQ(rig.fake.createRates, c.asked) << c.hostRate;
        EXPECT_TRUE(diagnosticCodes(rig.engine).empty());
    }
}

TEST(EngineSetup, KernelFailuresAreFatalAndReported) {
    FakeRig rig(12345);  // refuses both the host rate and 48 kHz
    KernelEngine& engine = rig.engine;
    CaptureStderr();
    EXPECT_FALSE(engine.setup(44100, 256));
    EXPECT_EQ(GetCapturedStderr(), "kelvo-plugin-shell: kernel setup failed at 44100 Hz\n");
    // Renders as before any setup: the block is cleared (missing channels
    // skipped) and fails.
    HostOutput out(2, 256);
    out.pointers[1] = nullptr;
    render(engine, out, 256);
    EXPECT_EQ(std::make_tuple(out.data[0][255], out.data[1][255], engine.blockFailed(),
                              engine.outputSilent()),
              std::make_tuple(0.0f, HostOutput::UNTOUCHED, true, true));
    EXPECT_EQ(diagnosticCodes(engine), (std::vector<uint32_t>{1, 15, 4}));

    // A kernel trap is reported with its record, and latches.
    ASSERT_NE(fakeKernelPanicSink(), nullptr);
    EXPECT_FALSE(KernelEngine::kernelTrapped());
    const char record[] =
        "\x01trelc: out of memory\n\x1fSC4017\x1f"
        "create";
    CaptureStderr();
    fakeKernelPanicSink()(nullptr, reinterpret_cast<const uint8_t*>(record), sizeof record - 1, 0);
    EXPECT_EQ(GetCapturedStderr(), std::string("kelvo-plugin-shell: trelc trap: ") + record + "\n");
    EXPECT_TRUE(KernelEngine::kernelTrapped());
}

TEST(EngineSetup, ParameterValuesSurviveASecondSetup) {
    FakeRig rig;
    KernelEngine& engine = rig.engine;
    ASSERT_TRUE(engine.setup(48000, 128));
    engine.setParamValue(0, 75);
    engine.setParamValue(40, 1);  // ignored
    EXPECT_EQ(engine.paramValue(40), 0.0);
    ASSERT_TRUE(engine.setup(44100, 128));
    ASSERT_TRUE(engine.setup(44100, 128));  // same format: the instance is reset, not rebuilt
    EXPECT_EQ(rig.fake.creates, 2);
    HostOutput out(2, 64);
    render(engine, out, 64);
    // A new or reset instance starts at its defaults: setup hands it the mirror.
    EXPECT_EQ(rig.fake.events, (std::vector<FakeKernelEvent>(2, {1, 0, 0, 75, 0})));
    engine.setVariation(40);
    EXPECT_EQ(engine.variation(), 19);
    engine.setVariation(-3);
    EXPECT_EQ(engine.variation(), 0);
}

}  // namespace
}  // namespace kelvo::test
