#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "runtime_health_json.h"

namespace kelvo {
namespace {

constexpr const char* MODULE_ID = "music.kelvo.drum-synth";
constexpr const char* VERSION = "0.1.0";

std::string report(const kelvo_runtime_diagnostic_ring& ring, bool forced = false,
                   double sampleRate = 48000.0, int32_t maxBlockFrames = 512) {
    return writeRuntimeHealthJson(ring, MODULE_ID, VERSION, sampleRate, maxBlockFrames, forced);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(RuntimeHealthJson, FreshRingIsHealthyAndEmpty) {
    RuntimeDiagnostics diagnostics;
    EXPECT_EQ(report(diagnostics.snapshot()),
              R"({"format":"kelvo-runtime-health/v1","schemaVersion":1,"instanceId":"vst3",)"
              R"("lifecycle":"configured","status":"healthy",)"
              R"("counters":{"diagnostics":0,"diagnostics.dropped":0},"diagnostics":[]})");
}

TEST(RuntimeHealthJson, RefusedHostFormatIsAlsoTheFirstError) {
    RuntimeDiagnostics diagnostics;
    diagnostics.recordDiagnostic(14, 2, 5, "host processing configuration is invalid", nullptr);
    const std::string record =
        R"({"format":"kelvo-plugin-runtime-diagnostic/v1","schemaVersion":1,"sequence":1,)"
        R"("code":"runtime.invalid-configuration","severity":"error","phase":"configure",)"
        R"("component":"shell","message":"host processing configuration is invalid",)"
        R"("recoverable":false,"identity":{"moduleId":"music.kelvo.drum-synth",)"
        R"("version":"0.1.0","target":"vst3"},)"
        R"("configuration":{"sampleRate":48000,"maxBlockFrames":512},"occurrence":{"count":1}})";
    const std::string rest = R"(,"counters":{"diagnostics":1,"diagnostics.dropped":0},)"
                             R"("diagnostics":[)" +
                             record + R"(],"firstError":)" + record + "}";
    const std::string head = R"({"format":"kelvo-runtime-health/v1","schemaVersion":1,)"
                             R"("instanceId":"vst3","lifecycle":)";
    EXPECT_EQ(report(diagnostics.ring(), false), head + R"("configured","status":"failed")" + rest);
    EXPECT_EQ(report(diagnostics.ring(), true), head + R"("failed","status":"failed")" + rest);
}

TEST(RuntimeHealthJson, AudioFailuresBeyondTheQueueAndTheRing) {
    RuntimeDiagnostics diagnostics;
    for (int i = 0; i < 35; ++i)
        diagnostics.recordRealtimeDiagnostic(4, 2, 7);
    EXPECT_EQ(diagnostics.pendingRealtimeCount(), 32u);
    EXPECT_EQ(diagnostics.realtimeDroppedCount(), 3u);
    const kelvo_runtime_diagnostic_ring ring = diagnostics.snapshot();
    auto record = [](int sequence) {
        return R"({"format":"kelvo-plugin-runtime-diagnostic/v1","schemaVersion":1,"sequence":)" +
               std::to_string(sequence) +
               R"(,"code":"runtime.process-failed","severity":"error","phase":"process",)"
               R"("component":"shell",)"
               R"("message":"audio process callback failed; output was cleared",)"
               R"("recoverable":false,"identity":{"moduleId":"music.kelvo.drum-synth",)"
               R"("version":"0.1.0","target":"vst3"},)"
               R"("configuration":{"sampleRate":44100,"maxBlockFrames":256},)"
               R"("occurrence":{"count":1},"context":{"detail":"audio callback"}})";
    };
    std::string expected =
        R"({"format":"kelvo-runtime-health/v1","schemaVersion":1,"instanceId":"vst3",)"
        R"("lifecycle":"configured","status":"failed",)"
        R"("counters":{"diagnostics":32,"diagnostics.dropped":1},"diagnostics":[)";
    for (int sequence = 1; sequence <= 32; ++sequence)
        expected += (sequence > 1 ? "," : "") + record(sequence);
    expected += R"(],"firstError":)" + record(1) + "}";
    EXPECT_EQ(report(ring, false, 44100.0, 256), expected);
    EXPECT_EQ(ring.nextSequence, 34u);
}

TEST(RuntimeHealthJson, StatusFollowsTheWorstRecordDropsAndTheForcedFlag) {
    const struct {
        std::vector<uint8_t> severities;
        bool forced;
        const char* expected;
    } cases[] = {
        {{}, false, R"("lifecycle":"configured","status":"healthy")"},
        {{0, 0}, false, R"("lifecycle":"configured","status":"healthy")"},
        {{0, 1, 0}, false, R"("lifecycle":"configured","status":"degraded")"},
        {{1, 2}, false, R"("lifecycle":"configured","status":"failed")"},
        {{3}, false, R"("lifecycle":"configured","status":"failed")"},
        {{200}, false, R"("lifecycle":"configured","status":"failed")"},
        {{0}, true, R"("lifecycle":"failed","status":"failed")"},
    };
    for (const auto& c : cases) {
        RuntimeDiagnostics diagnostics;
        for (uint8_t severity : c.severities)
            diagnostics.recordDiagnostic(5, severity, 7, "m", "");
        const std::string text = report(diagnostics.ring(), c.forced);
        EXPECT_TRUE(contains(text, c.expected)) << text;
        EXPECT_FALSE(contains(text, "context")) << text;
    }

    // A full ring: the 33rd record is only counted, and a drop alone degrades.
    RuntimeDiagnostics full;
    for (int i = 0; i < 33; ++i)
        full.recordDiagnostic(5, 0, 7, "info", nullptr);
    const std::string text = report(full.ring());
    EXPECT_TRUE(contains(text, R"("status":"degraded","counters":{"diagnostics":32,)"
                               R"("diagnostics.dropped":1})"));
    EXPECT_TRUE(contains(text, R"("sequence":32,)"));
    EXPECT_FALSE(contains(text, R"("sequence":33,)"));
    EXPECT_EQ(full.ring().nextSequence, 34u);
}

TEST(RuntimeHealthJson, SampleRateIsTheShortestRoundTripOrNull) {
    const std::pair<double, const char*> cases[] = {
        {44100.0, R"({"sampleRate":44100,"maxBlockFrames":-1})"},
        {88199.0 / 2, R"({"sampleRate":44099.5,"maxBlockFrames":-1})"},
        {NAN, R"({"sampleRate":null,"maxBlockFrames":-1})"},
        {-INFINITY, R"({"sampleRate":null,"maxBlockFrames":-1})"},
    };
    RuntimeDiagnostics diagnostics;
    diagnostics.recordDiagnostic(14, 2, 5, "m", nullptr);
    for (auto [rate, expected] : cases)
        EXPECT_TRUE(contains(report(diagnostics.ring(), false, rate, -1), expected)) << rate;
}

TEST(RuntimeHealthJson, FirstErrorMatchesTheStoredSequence) {
    RuntimeDiagnostics diagnostics;
    diagnostics.recordDiagnostic(5, 1, 7, "warning", nullptr);
    diagnostics.recordDiagnostic(1, 3, 5, "fatal", nullptr);
    std::string text = report(diagnostics.ring());
    ASSERT_TRUE(contains(text, R"("firstError":)"));
    EXPECT_TRUE(
        contains(text.substr(text.find(R"("firstError":)")),
                 R"("sequence":2,"code":"runtime.kernel-create-failed","severity":"fatal")"));

    // A ring copy naming a sequence it does not hold gets no firstError.
    kelvo_runtime_diagnostic_ring ring = diagnostics.ring();
    ring.firstFailureSequence = 7;
    EXPECT_FALSE(contains(report(ring), "firstError"));
}

TEST(RuntimeHealthJson, TextsAreQuotedAndNeverReadPastTheirFields) {
    RuntimeDiagnostics diagnostics;
    diagnostics.recordDiagnostic(27, 2, 4, R"(bank "a\b")", R"({"reason":"x"})");
    kelvo_runtime_diagnostic_ring ring = diagnostics.ring();
    std::string text = writeRuntimeHealthJson(ring, nullptr, "", 48000.0, 64, false);
    EXPECT_TRUE(contains(text, R"("message":"bank \"a\\b\"")"));
    EXPECT_TRUE(contains(text, R"("context":{"detail":"{\"reason\":\"x\"}"}})"));
    EXPECT_TRUE(contains(text, R"("identity":{"moduleId":"unknown","version":"unknown",)"));

    std::memset(ring.records[0].message, 'm', sizeof ring.records[0].message);
    std::memset(ring.records[0].detail, 'd', sizeof ring.records[0].detail);
    text = report(ring);
    EXPECT_TRUE(contains(text, R"("message":")" + std::string(192, 'm') + R"(",)"));
    EXPECT_TRUE(contains(text, R"("detail":")" + std::string(128, 'd') + R"("})"));
}

}  // namespace
}  // namespace kelvo
