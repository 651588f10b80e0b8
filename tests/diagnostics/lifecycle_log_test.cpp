#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <tuple>

#include "lifecycle_log.h"

namespace kelvo {
namespace {

using Kind = DiagnosticLifecycleKind;

std::string eventJson(DiagnosticLifecycleEvent event, double timeMs = 1.5) {
    event.timeMs = timeMs;
    std::string out;
    writeDiagnosticLifecycleEventJson(out, event);
    return out;
}

// Every name reads back to its kind ("!" otherwise); none past the last.
TEST(LifecycleKinds, EveryNameRoundTrips) {
    std::string names;
    for (uint32_t i = 0; i <= DIAGNOSTIC_LIFECYCLE_KIND_COUNT; ++i) {
        const char* name = diagnosticLifecycleKindName(Kind(i));
        Kind kind = Kind::Stimulus;
        const bool back =
            name && diagnosticLifecycleKindFromName(name, kind) && uint32_t(kind) == i;
        names += name ? name + std::string(back ? " " : "! ") : "-";
    }
    EXPECT_EQ(names,
              "created configured activated deactivated reset destroyed editorOpened editorClosed "
              "editorError stateSaved stateRestored presetLoaded presetSaved latencyChanged "
              "tailChanged tempoChanged timeSignatureChanged sampleRateChanged blockSizeChanged "
              "busLayoutChanged processModeChanged bypassChanged ccMapChanged stimulus "
              "runtimeDiagnostic -");
}

TEST(LifecycleLog, RingKeepsTheNewest256AndCountsTheRest) {
    auto log = std::make_unique<DiagnosticLifecycleLog>();
    std::string out;
    EXPECT_FALSE(writeDiagnosticLifecycleReplayJson(out, *log) || !out.empty());
    for (int i = 1; i <= 300; ++i)
        log->record(Kind::Reset, i).addNumber("i", i);
    // Past the end reads the oldest; a reused slot starts without old fields.
    EXPECT_EQ(std::make_tuple(log->count(), log->dropped(), log->at(0).seq, log->at(256).seq,
                              log->at(255).fieldCount),
              std::make_tuple(256u, 44u, 45u, 45u, 1u));

    ASSERT_TRUE(writeDiagnosticLifecycleReplayJson(out, *log));
    EXPECT_EQ(out.rfind(R"({"type":"kelvo.lifecycle","events":[{"seq":45,)", 0), 0u);
    EXPECT_NE(out.find(R"("atFrame":300,"kind":"reset","detail":{"i":300}}],"dropped":44})"),
              std::string::npos);
}

TEST(LifecycleJson, EventTextsAndBatches) {
    DiagnosticLifecycleEvent event;
    event.seq = 7;
    EXPECT_EQ(eventJson(event), R"({"seq":7,"timeMs":1.5,"kind":"created"})");
    event.atFrame = 48000;
    event.kind = static_cast<Kind>(200);
    event.addNumber("tempo", NAN).addNumber("previous", -0.25).addBool("reported", false);
    // Names and texts are cut to what their fields hold; a seventh field is dropped.
    event.addString(std::string(30, 'n').c_str(), std::string(70, 't').c_str()).addBool("ok", true);
    event.addNull("none").addNumber("seventh", 7);
    event.fields[2].type = static_cast<DiagnosticLifecycleFieldType>(9);  // unknown type byte
    EXPECT_EQ(eventJson(event, INFINITY),
              R"({"seq":7,"timeMs":null,"atFrame":48000,"kind":"runtimeDiagnostic",)"
              R"("detail":{"tempo":null,"previous":-0.25,"reported":null,")" +
                  std::string(23, 'n') + R"(":")" + std::string(63, 't') +
                  R"(","ok":true,"none":null}})");

    DiagnosticLifecycleEvent events[2];
    events[0].kind = Kind::EditorOpened;
    events[1].atFrame = 0;
    std::string out;
    EXPECT_FALSE(writeDiagnosticLifecycleJson(out, nullptr, 2, 0) ||
                 writeDiagnosticLifecycleJson(out, events, 0, 5) || !out.empty());
    ASSERT_TRUE(writeDiagnosticLifecycleJson(out, events, 2, 0));
    EXPECT_EQ(out,
              R"({"type":"kelvo.lifecycle","events":[{"seq":0,"timeMs":0,"kind":"editorOpened"},)"
              R"({"seq":0,"timeMs":0,"atFrame":0,"kind":"created"}]})");
}

}  // namespace
}  // namespace kelvo
