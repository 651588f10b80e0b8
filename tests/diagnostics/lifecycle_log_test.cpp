#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

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

TEST(LifecycleKinds, EveryNameRoundTripsAndNothingElseParses) {
    for (uint32_t i = 0; i < DIAGNOSTIC_LIFECYCLE_KIND_COUNT; ++i) {
        const char* name = diagnosticLifecycleKindName(static_cast<Kind>(i));
        ASSERT_NE(name, nullptr);
        Kind kind = Kind::Created;
        EXPECT_TRUE(diagnosticLifecycleKindFromName(name, kind)) << name;
        EXPECT_EQ(static_cast<uint32_t>(kind), i) << name;
    }
    EXPECT_STREQ(diagnosticLifecycleKindName(Kind::TimeSignatureChanged), "timeSignatureChanged");
    EXPECT_STREQ(diagnosticLifecycleKindName(Kind::RuntimeDiagnostic), "runtimeDiagnostic");
    EXPECT_EQ(diagnosticLifecycleKindName(static_cast<Kind>(DIAGNOSTIC_LIFECYCLE_KIND_COUNT)),
              nullptr);
    for (const char* text : {(const char*)nullptr, "", "Created", "created ", "tempo", "x"}) {
        Kind kind = Kind::Stimulus;
        EXPECT_FALSE(diagnosticLifecycleKindFromName(text, kind)) << (text ? text : "null");
        EXPECT_EQ(kind, Kind::Stimulus);
    }
}

TEST(LifecycleLog, RingKeepsTheNewest256AndCountsTheRest) {
    auto log = std::make_unique<DiagnosticLifecycleLog>();
    std::string out = "before";
    EXPECT_FALSE(writeDiagnosticLifecycleReplayJson(out, *log));
    EXPECT_EQ(out, "before");

    for (int i = 1; i <= 300; ++i)
        log->record(Kind::Reset, i).addNumber("i", i);
    EXPECT_EQ(log->count(), 256u);
    EXPECT_EQ(log->dropped(), 44u);
    EXPECT_EQ(log->sequence(), 300u);
    EXPECT_EQ(log->at(0).seq, 45u);
    EXPECT_EQ(log->at(0).atFrame, 45);
    EXPECT_EQ(log->at(255).seq, 300u);
    EXPECT_EQ(log->at(256).seq, 45u);  // past the end: the oldest
    for (uint32_t i = 1; i < 256; ++i) {
        EXPECT_EQ(log->at(i).seq, log->at(i - 1).seq + 1);
        EXPECT_GE(log->at(i).timeMs, log->at(i - 1).timeMs);
        EXPECT_EQ(log->at(i).fieldCount, 1u);  // reused slots start without old fields
    }

    out.clear();
    ASSERT_TRUE(writeDiagnosticLifecycleReplayJson(out, *log));
    EXPECT_EQ(out.rfind(R"({"type":"kelvo.lifecycle","events":[{"seq":45,)", 0), 0u);
    EXPECT_NE(out.find(R"("atFrame":300,"kind":"reset","detail":{"i":300}}],"dropped":44})"),
              std::string::npos);
    size_t events = 0;
    for (size_t at = out.find("{\"seq\":"); at != std::string::npos;
         at = out.find("{\"seq\":", at + 1))
        ++events;
    EXPECT_EQ(events, 256u);
}

TEST(LifecycleLog, FieldsAreCappedAtSixAndTextsCut) {
    auto log = std::make_unique<DiagnosticLifecycleLog>();
    DiagnosticLifecycleEvent& event = log->record(Kind::PresetLoaded, -1);
    EXPECT_EQ(event.seq, 1u);
    const std::string longText(100, 't');
    const std::string longName(30, 'n');
    event.addString(longName.c_str(), longText.c_str())
        .addString(nullptr, nullptr)
        .addNumber("index", 2)
        .addBool("ok", true)
        .addNull("none")
        .addNumber("sixth", 6)
        .addNumber("seventh", 7);
    EXPECT_EQ(event.fieldCount, 6u);
    EXPECT_EQ(eventJson(log->at(0)), R"({"seq":1,"timeMs":1.5,"kind":"presetLoaded","detail":{")" +
                                         std::string(23, 'n') + R"(":")" + std::string(63, 't') +
                                         R"(","":"","index":2,"ok":true,"none":null,"sixth":6}})");
}

TEST(LifecycleJson, EventTexts) {
    DiagnosticLifecycleEvent event;
    event.seq = 7;
    event.kind = Kind::Created;
    EXPECT_EQ(eventJson(event), R"({"seq":7,"timeMs":1.5,"kind":"created"})");
    event.atFrame = 0;
    EXPECT_EQ(eventJson(event), R"({"seq":7,"timeMs":1.5,"atFrame":0,"kind":"created"})");

    event.atFrame = 48000;
    event.kind = static_cast<Kind>(200);
    event.addNumber("tempo", NAN).addNumber("previous", -0.25).addBool("reported", false);
    event.fields[2].type = static_cast<DiagnosticLifecycleFieldType>(9);  // unknown type byte
    EXPECT_EQ(eventJson(event, INFINITY),
              R"({"seq":7,"timeMs":null,"atFrame":48000,"kind":"runtimeDiagnostic",)"
              R"("detail":{"tempo":null,"previous":-0.25,"reported":null}})");
}

TEST(LifecycleJson, BatchOfConsecutiveEvents) {
    DiagnosticLifecycleEvent events[2];
    events[0].kind = Kind::EditorOpened;
    events[1].kind = Kind::EditorClosed;
    events[1].timeMs = 20;
    std::string out;
    EXPECT_FALSE(writeDiagnosticLifecycleJson(out, nullptr, 2, 0));
    EXPECT_FALSE(writeDiagnosticLifecycleJson(out, events, 0, 5));
    EXPECT_EQ(out, "");
    ASSERT_TRUE(writeDiagnosticLifecycleJson(out, events, 2, 0));
    EXPECT_EQ(out,
              R"({"type":"kelvo.lifecycle","events":[{"seq":0,"timeMs":0,"kind":"editorOpened"},)"
              R"({"seq":0,"timeMs":20,"kind":"editorClosed"}]})");
}

}  // namespace
}  // namespace kelvo
