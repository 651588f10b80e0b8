#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "runtime_diagnostics.h"

namespace kelvo {

struct RuntimeDiagnosticsTestAccess {
    static RealtimeDiagnosticQueue& queue(RuntimeDiagnostics& diagnostics) {
        return diagnostics.queue_;
    }
};

namespace {

TEST(RuntimeDiagnosticNames, UnknownNumbersFallBack) {
    const std::pair<uint32_t, const char*> codes[] = {
        {0, "runtime.unknown"},
        {1, "runtime.kernel-create-failed"},
        {14, "runtime.invalid-configuration"},
        {25, "runtime.diagnostics-overflow"},
        {26, "runtime.unknown"},
        {28, "bank.hash-mismatch"},
        {29, "runtime.unknown"},
        {UINT32_MAX, "runtime.unknown"},
    };
    for (auto [code, name] : codes)
        EXPECT_STREQ(runtimeDiagnosticCodeName(code), name) << code;
    const std::pair<uint8_t, const char*> severities[] = {
        {0, "info"}, {1, "warning"}, {2, "error"}, {3, "fatal"}, {4, "error"}, {255, "error"}};
    for (auto [severity, name] : severities)
        EXPECT_STREQ(runtimeDiagnosticSeverityName(severity), name) << int(severity);
    const std::pair<uint8_t, const char*> phases[] = {
        {0, "build"}, {5, "configure"}, {11, "shutdown"}, {12, "process"}, {255, "process"}};
    for (auto [phase, name] : phases)
        EXPECT_STREQ(runtimeDiagnosticPhaseName(phase), name) << int(phase);
}

// A stored record as "sequence code/severity/phase message | detail".
std::string recordText(const kelvo_runtime_diagnostic& r) {
    return std::to_string(r.sequence) + " " + std::to_string(r.code) + "/" +
           std::to_string(r.severity) + "/" + std::to_string(r.phase) + " " + r.message + " | " +
           r.detail;
}

std::vector<std::string> ringTexts(const kelvo_runtime_diagnostic_ring& ring) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < ring.count; ++i)
        out.push_back(recordText(ring.records[i]));
    return out;
}

TEST(RuntimeDiagnosticRing, TextsAreCutToTheirFieldsAndNullIsEmpty) {
    RuntimeDiagnostics diagnostics;
    const std::string longText(300, 'x'), message(191, 'x'), detail(127, 'x');
    diagnostics.recordDiagnostic(1, 0, 0, longText.c_str(), longText.c_str());
    diagnostics.recordDiagnostic(1, 0, 0, message.c_str(), nullptr);
    diagnostics.recordDiagnostic(1, 0, 0, nullptr, detail.c_str());
    EXPECT_EQ(ringTexts(diagnostics.ring()),
              (std::vector<std::string>{"1 1/0/0 " + message + " | " + detail,
                                        "2 1/0/0 " + message + " | ", "3 1/0/0  | " + detail}));
}

TEST(RuntimeDiagnosticRing, FirstFailureIsTheFirstStoredErrorOrWorse) {
    RuntimeDiagnostics diagnostics;
    diagnostics.recordDiagnostic(5, 1, 7, "warning", nullptr);
    EXPECT_EQ(diagnostics.ring().firstFailureSequence, 0u);
    diagnostics.recordDiagnostic(1, 3, 5, "fatal", nullptr);
    diagnostics.recordDiagnostic(14, 2, 5, "error", nullptr);
    EXPECT_EQ(diagnostics.ring().firstFailureSequence, 2u);

    // An error that no longer fits is not the first failure.
    RuntimeDiagnostics full;
    for (int i = 0; i < 32; ++i)
        full.recordDiagnostic(5, 0, 7, "info", nullptr);
    full.recordDiagnostic(14, 2, 5, "error", nullptr);
    full.recordDiagnostic(5, 0, 7, "info", nullptr);
    const kelvo_runtime_diagnostic_ring& ring = full.ring();
    EXPECT_EQ(std::tie(ring.count, ring.dropped, ring.nextSequence, ring.firstFailureSequence),
              std::make_tuple(32u, 2u, 35u, 0u));
}

TEST(RealtimeDiagnostics, DrainChoosesTheMessageByCodeAndKeepsOrder) {
    RuntimeDiagnostics diagnostics;
    diagnostics.recordDiagnostic(14, 2, 5, "main thread", nullptr);
    diagnostics.recordRealtimeDiagnostic(4, 3, 7);
    diagnostics.recordRealtimeDiagnostic(2, 2, 7);
    diagnostics.recordRealtimeDiagnostic(22, 2, 7);
    diagnostics.recordRealtimeDiagnostic(99, 1, 3);
    EXPECT_EQ(diagnostics.ring().count, 1u);  // nothing reaches the ring before a drain
    EXPECT_TRUE(diagnostics.hasPendingRealtime());

    const kelvo_runtime_diagnostic_ring ring = diagnostics.snapshot();
    EXPECT_FALSE(diagnostics.hasPendingRealtime());
    EXPECT_EQ(ringTexts(ring),
              (std::vector<std::string>{
                  "1 14/2/5 main thread | ",
                  "2 4/3/7 audio process callback failed; output was cleared | audio callback",
                  "3 2/2/7 sample-rate adapter failed; output was cleared | audio callback",
                  "4 22/2/7 runtime diagnostic observed on the audio callback | audio callback",
                  "5 99/1/3 runtime diagnostic observed on the audio callback | audio callback"}));
}

TEST(RealtimeDiagnostics, LostEntriesBecomeOneOverflowRecord) {
    // The overflow record only fits when the queue was read between the
    // drop and the drain, which needs the audio thread; stage it directly.
    RuntimeDiagnostics staged;
    for (int i = 0; i < 34; ++i)
        staged.recordRealtimeDiagnostic(4, 2, 7);
    EXPECT_EQ(staged.pendingRealtimeCount(), 32u);
    EXPECT_EQ(staged.realtimeDroppedCount(), 2u);
    kelvo_realtime_diagnostic_entry discarded[32];
    EXPECT_EQ(RuntimeDiagnosticsTestAccess::queue(staged).take(discarded, 32), 32u);
    EXPECT_TRUE(staged.hasPendingRealtime());
    staged.drainRuntimeDiagnostics();
    EXPECT_EQ(ringTexts(staged.ring()),
              std::vector<std::string>{"1 25/1/7 audio diagnostic queue overflowed | "
                                       "dropped=2; source=audio callback"});
}

TEST(DiagnosticText, FormatsAndCutsToTheField) {
    EXPECT_STREQ(formatDiagnosticDetail("{\"bank\":\"%s\",\"banks\":%u}", "kit", 0u).c_str(),
                 "{\"bank\":\"kit\",\"banks\":0}");
    const std::string longArg(200, 'r');
    auto detail = formatDiagnosticDetail("{\"reason\":\"%s\"}", longArg.c_str());
    EXPECT_EQ(std::string(detail.c_str()), "{\"reason\":\"" + longArg.substr(0, 116));
    auto message =
        formatDiagnosticMessage("runtime bank load refused (%s): %s", "io-error", longArg.c_str());
    EXPECT_EQ(std::string(message.c_str()).size(), 191u);
}

}  // namespace
}  // namespace kelvo
