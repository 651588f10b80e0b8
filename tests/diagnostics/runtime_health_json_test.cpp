#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "runtime_health_json.h"

namespace kelvo {
namespace {

std::string report(const kelvo_runtime_diagnostic_ring& ring, bool forced = false,
                   double sampleRate = 48000.0, int32_t maxBlockFrames = 512) {
    return writeRuntimeHealthJson(ring, "music.kelvo.drum-synth", "0.1.0", sampleRate,
                                  maxBlockFrames, forced);
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
}

// Variants of that report, each by the fragment it must (or must not) hold.
TEST(RuntimeHealthJson, StatusCountersNumbersAndTexts) {
    using Record = std::function<void(RuntimeDiagnostics&)>;
    auto severities = [](std::vector<uint8_t> list) -> Record {
        return [list](RuntimeDiagnostics& d) {
            for (uint8_t severity : list)
                d.recordDiagnostic(5, severity, 7, "m", "");
        };
    };
    auto repeated = [](int times, uint8_t severity) -> Record {
        return [=](RuntimeDiagnostics& d) {
            for (int i = 0; i < times; ++i)
                d.recordDiagnostic(5, severity, 7, "info", nullptr);
        };
    };
    const Record configError = [](RuntimeDiagnostics& d) {
        d.recordDiagnostic(14, 2, 5, "m", nullptr);
    };
    const std::string m192(192, 'm'), d128(128, 'd');
    struct Case {
        const char* name;
        Record record;
        std::string fragment;
        bool present = true;
        bool forced = false;
        double rate = 48000;
        std::function<void(kelvo_runtime_diagnostic_ring&)> edit = nullptr;
    };
    const Case cases[] = {
        {"fresh", severities({}),
         R"("instanceId":"vst3","lifecycle":"configured","status":"healthy",)"
         R"("counters":{"diagnostics":0,"diagnostics.dropped":0},"diagnostics":[]})"},
        {"infos", severities({0, 0}), R"("lifecycle":"configured","status":"healthy")"},
        {"a warning", severities({0, 1, 0}), R"("lifecycle":"configured","status":"degraded")"},
        {"an error", severities({1, 2}), R"("lifecycle":"configured","status":"failed")"},
        {"fatal", severities({3}), R"("status":"failed")"},
        {"beyond fatal", severities({200}), R"("status":"failed")"},
        {"forced", severities({0}), R"("lifecycle":"failed","status":"failed")", true, true},
        {"no context without a detail", severities({2}), "context", false},
        // A full ring: the 33rd record is only counted, and a drop alone degrades.
        {"full ring", repeated(33, 0),
         R"("status":"degraded","counters":{"diagnostics":32,"diagnostics.dropped":1})"},
        {"full ring, last stored", repeated(33, 0), R"("sequence":32,)"},
        {"full ring, dropped not written", repeated(33, 0), R"("sequence":33,)", false},
        {"audio failures beyond the queue",
         [](RuntimeDiagnostics& d) {
             for (int i = 0; i < 35; ++i)
                 d.recordRealtimeDiagnostic(4, 2, 7);
         },
         R"("counters":{"diagnostics":32,"diagnostics.dropped":1})"},
        {"an audio failure's record",
         [](RuntimeDiagnostics& d) { d.recordRealtimeDiagnostic(4, 2, 7); },
         R"("diagnostics":[{"format":"kelvo-plugin-runtime-diagnostic/v1","schemaVersion":1,)"
         R"("sequence":1,"code":"runtime.process-failed","severity":"error","phase":"process",)"
         R"("component":"shell","message":"audio process callback failed; output was cleared",)"
         R"("recoverable":false,"identity":{"moduleId":"music.kelvo.drum-synth",)"
         R"("version":"0.1.0","target":"vst3"},"configuration":{"sampleRate":48000,)"
         R"("maxBlockFrames":512},"occurrence":{"count":1},"context":{"detail":"audio callback"}}],)"
         R"("firstError":{)"},
        {"shortest rate", configError, R"({"sampleRate":44099.5,"maxBlockFrames":512})", true,
         false, 88199.0 / 2},
        {"NaN rate", configError, R"({"sampleRate":null,)", true, false, NAN},
        {"infinite rate", configError, R"({"sampleRate":null,)", true, false, -INFINITY},
        {"first error",
         [](RuntimeDiagnostics& d) {
             d.recordDiagnostic(5, 1, 7, "warning", nullptr);
             d.recordDiagnostic(1, 3, 5, "fatal", nullptr);
         },
         R"("firstError":{"format":"kelvo-plugin-runtime-diagnostic/v1","schemaVersion":1,)"
         R"("sequence":2,"code":"runtime.kernel-create-failed","severity":"fatal")"},
        {"first error not held", configError, "firstError", false, false, 48000,
         [](kelvo_runtime_diagnostic_ring& ring) { ring.firstFailureSequence = 7; }},
        {"quoted texts",
         [](RuntimeDiagnostics& d) {
             d.recordDiagnostic(27, 2, 4, R"(bank "a\b")", R"({"reason":"x"})");
         },
         R"("message":"bank \"a\\b\"",)"},
        {"quoted detail",
         [](RuntimeDiagnostics& d) { d.recordDiagnostic(27, 2, 4, "m", R"({"reason":"x"})"); },
         R"("context":{"detail":"{\"reason\":\"x\"}"}})"},
        {"unterminated message", configError, R"("message":")" + m192 + R"(",)", true, false, 48000,
         [](kelvo_runtime_diagnostic_ring& ring) {
             std::memset(ring.records[0].message, 'm', sizeof ring.records[0].message);
         }},
        {"unterminated detail", configError, R"("detail":")" + d128 + R"("})", true, false, 48000,
         [](kelvo_runtime_diagnostic_ring& ring) {
             std::memset(ring.records[0].detail, 'd', sizeof ring.records[0].detail);
         }},
    };
    for (const Case& c : cases) {
        RuntimeDiagnostics diagnostics;
        c.record(diagnostics);
        kelvo_runtime_diagnostic_ring ring = diagnostics.snapshot();
        if (c.edit) c.edit(ring);
        const std::string text = report(ring, c.forced, c.rate);
        EXPECT_EQ(text.find(c.fragment) != std::string::npos, c.present) << c.name << "\n" << text;
    }

    // Without a module id or version the identity says so.
    RuntimeDiagnostics diagnostics;
    configError(diagnostics);
    EXPECT_NE(writeRuntimeHealthJson(diagnostics.ring(), nullptr, "", 48000.0, 64, false)
                  .find(R"("identity":{"moduleId":"unknown","version":"unknown",)"),
              std::string::npos);
}

}  // namespace
}  // namespace kelvo
