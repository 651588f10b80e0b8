#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "runtime_health_json.h"

namespace kelvo {

struct RuntimeDiagnosticsTestAccess {
    static RealtimeDiagnosticQueue& queue(RuntimeDiagnostics& diagnostics) {
        return diagnostics.queue_;
    }
};

namespace {

std::string report(const kelvo_runtime_diagnostic_ring& ring, bool forced = false) {
    return writeRuntimeHealthJson(ring, "music.kelvo.drum-synth", "0.1.0", 48000.0, 512, forced);
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
    EXPECT_EQ(report(diagnostics.ring()),
              R"({"format":"kelvo-runtime-health/v1","schemaVersion":1,"instanceId":"vst3",)"
              R"("lifecycle":"configured","status":"failed",)"
              R"("counters":{"diagnostics":1,"diagnostics.dropped":0},"diagnostics":[)" +
                  record + R"(],"firstError":)" + record + "}");

    // Without a module id or version the identity says so.
    EXPECT_NE(writeRuntimeHealthJson(diagnostics.ring(), nullptr, "", 48000.0, 64, false)
                  .find(R"("identity":{"moduleId":"unknown","version":"unknown",)"),
              std::string::npos);
}

using Record = std::function<void(RuntimeDiagnostics&)>;

// `times` records on the main thread (phase 7 unless given).
Record stored(int times, uint32_t code, uint8_t severity, const char* message = "m",
              const char* detail = nullptr, uint8_t phase = 7) {
    return [=](RuntimeDiagnostics& d) {
        for (int i = 0; i < times; ++i)
            d.recordDiagnostic(code, severity, phase, message, detail);
    };
}

// `times` entries from the audio thread, drained by the report's snapshot.
Record audio(int times, uint32_t code) {
    return [=](RuntimeDiagnostics& d) {
        for (int i = 0; i < times; ++i)
            d.recordRealtimeDiagnostic(code, 2, 7);
    };
}

Record then(Record first, Record second) {
    return [=](RuntimeDiagnostics& d) {
        first(d);
        second(d);
    };
}

// Variants of that report, each by the fragment it must (or must not) hold.
TEST(RuntimeHealthJson, StatusCountersRecordsAndTexts) {
    struct Case {
        const char* name;
        Record record;
        std::string fragment;
        bool present = true;
        bool forced = false;
    };
    const Record error = stored(1, 14, 2), audioMix = then(error, then(audio(1, 2), audio(1, 22)));
    const Case cases[] = {
        {"infos", stored(2, 5, 0),
         R"("status":"healthy","counters":{"diagnostics":2,"diagnostics.dropped":0},"diagnostics":[{)"},
        {"a warning", then(stored(1, 5, 0), stored(1, 5, 1)), R"("status":"degraded")"},
        {"names beyond the tables", stored(1, 26, 200, "m", nullptr, 12),
         R"("code":"runtime.unknown","severity":"error","phase":"process",)"},
        {"last names", stored(1, 28, 3, "m", nullptr, 11),
         R"("code":"bank.hash-mismatch","severity":"fatal","phase":"shutdown",)"},
        {"forced", stored(1, 5, 0), R"("lifecycle":"failed","status":"failed")", true, true},
        {"no context without a detail", stored(1, 5, 2), "context", false},
        // A full ring: the 33rd record is only counted, and a drop alone degrades.
        {"full ring", stored(33, 5, 0),
         R"("status":"degraded","counters":{"diagnostics":32,"diagnostics.dropped":1})"},
        {"an error that no longer fits", then(stored(32, 5, 0), error), "firstError", false},
        {"first error", then(stored(1, 5, 1), then(stored(1, 1, 3), error)),
         R"("firstError":{"format":"kelvo-plugin-runtime-diagnostic/v1","schemaVersion":1,)"
         R"("sequence":2,)"},
        {"audio failure", audio(1, 4),
         R"("message":"audio process callback failed; output was cleared",)"},
        {"audio context", audio(1, 4), R"("context":{"detail":"audio callback"}})"},
        {"adapter failure", audioMix, "\"sample-rate adapter failed; output was cleared\""},
        {"other audio code", audioMix, "\"runtime diagnostic observed on the audio callback\""},
        {"quoted message", stored(1, 27, 2, R"(bank "a\b")"), R"("message":"bank \"a\\b\"",)"},
        {"quoted detail", stored(1, 27, 2, "m", R"({"reason":"x"})"),
         R"("context":{"detail":"{\"reason\":\"x\"}"}})"},
    };
    for (const Case& c : cases) {
        RuntimeDiagnostics diagnostics;
        c.record(diagnostics);
        const std::string text = report(diagnostics.snapshot(), c.forced);
        EXPECT_EQ(text.find(c.fragment) != std::string::npos, c.present) << c.name << "\n" << text;
    }
}

// The overflow record only fits when the queue was read between the drop and
// the drain, which needs the audio thread; staged here directly.
TEST(RealtimeDiagnostics, LostEntriesBecomeOneOverflowRecord) {
    RuntimeDiagnostics staged;
    audio(34, 4)(staged);
    EXPECT_EQ(staged.ring().count + staged.pendingRealtimeCount(), 32u);  // none before a drain
    EXPECT_EQ(staged.realtimeDroppedCount(), 2u);
    kelvo_realtime_diagnostic_entry discarded[32];
    EXPECT_EQ(RuntimeDiagnosticsTestAccess::queue(staged).take(discarded, 32), 32u);
    EXPECT_TRUE(staged.hasPendingRealtime());
    const std::string text = report(staged.snapshot());
    EXPECT_FALSE(staged.hasPendingRealtime());
    EXPECT_NE(
        text.find(R"("sequence":1,"code":"runtime.diagnostics-overflow","severity":"warning",)"
                  R"("phase":"process","component":"shell",)"
                  R"("message":"audio diagnostic queue overflowed")"),
        std::string::npos);
    EXPECT_NE(text.find(R"({"detail":"dropped=2; source=audio callback"}}])"), std::string::npos);
}

}  // namespace
}  // namespace kelvo
