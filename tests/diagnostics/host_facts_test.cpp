#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "host_facts.h"

namespace kelvo {
namespace {

std::string hostJson(const HostFacts& facts) {
    std::string out;
    writeDiagnosticHostJson(out, facts);
    return out;
}

std::string transportJson(const TransportFact& fact) {
    std::string out;
    writeDiagnosticTransportJson(out, fact);
    return out;
}

// A configured host as the processor reports it, plus a controller identity.
HostFacts configuredHost() {
    HostFacts f;
    copyFixedText(f.hostName, "Studio \"One\"");
    copyFixedText(f.hostVersion, "6.5");
    copyFixedText(f.hostPath, "/Applications/Host.app");
    f.validatorKind = HOST_VALIDATOR_PLUGINVAL;
    f.sampleRate = 44100;
    f.maxBlockFrames = 512;
    f.lastBlockFrames = 256;
    f.processMode = HOST_PROCESS_PREFETCH;
    f.sampleSize = 64;
    f.latencySamples = 35;
    f.tailKind = HOST_TAIL_SAMPLES;
    f.tailSamples = 1000;
    f.internalSampleRate = 48000;
    f.bypassKnown = 1;
    f.addBus("in0", true, 1, false, "mono");
    f.addBus("out0", false, 2, true, "stereo");
    f.addBus("out1", false, 6, true, nullptr);
    return f;
}

const std::string CONFIGURED_BUSES =
    R"("buses":[{"id":"in0","direction":"input","channels":1,"active":false,"layout":"mono"},)"
    R"({"id":"out0","direction":"output","channels":2,"active":true,"layout":"stereo"},)"
    R"({"id":"out1","direction":"output","channels":6,"active":true}])";

TEST(HostFactsRecord, FreshRecordAndBusesAreTheWireBytes) {
    HostFacts facts;
    unsigned char expected[sizeof(HostFacts)] = {};
    std::memset(expected + 724, 0xff, 4);  // lastBlockFrames -1
    expected[732] = 32;                    // sampleSize
    EXPECT_EQ(std::memcmp(&facts, expected, sizeof expected), 0);

    facts.addBus("out0", false, 2, true, "stereo");
    std::memcpy(expected + 764, "out0", 4);
    expected[764 + 36] = 2;
    expected[764 + 40] = 1;
    std::memcpy(expected + 764 + 41, "stereo", 6);
    expected[1308] = 1;
    EXPECT_EQ(std::memcmp(&facts, expected, sizeof expected), 0);

    const TransportFact fact;
    const unsigned char zero[sizeof(TransportFact)] = {};
    EXPECT_EQ(std::memcmp(&fact, zero, sizeof zero), 0);
}

TEST(HostFactsRecord, AddBusCutsTextsAndStopsAtEight) {
    HostFacts facts;
    facts.addBus(std::string(40, 'i').c_str(), true, 2, true, std::string(30, 'l').c_str());
    EXPECT_EQ(std::string(facts.buses[0].id), std::string(31, 'i'));
    EXPECT_EQ(std::string(facts.buses[0].layout), std::string(23, 'l'));
    for (int i = 0; i < 10; ++i)
        facts.addBus(nullptr, false, 2, true, nullptr);
    EXPECT_EQ(facts.busCount, 8u);
}

TEST(HostJson, FreshAndFullRecords) {
    EXPECT_EQ(hostJson(HostFacts{}),
              R"({"sampleRate":0,"maxBlockFrames":0,"processMode":"realtime","sampleSize":32,)"
              R"("latencySamples":0,"tailSamples":"unreported","buses":[]})");
    EXPECT_EQ(
        hostJson(configuredHost()),
        R"({"hostName":"Studio \"One\"","hostVersion":"6.5","hostPath":"/Applications/Host.app",)"
        R"("validatorHost":"pluginval","sampleRate":44100,"maxBlockFrames":512,)"
        R"("lastBlockFrames":256,"processMode":"prefetch","sampleSize":64,"latencySamples":35,)"
        R"("tailSamples":1000,"internalSampleRate":48000,)" +
            CONFIGURED_BUSES + R"(,"bypassed":false})");
}

TEST(HostJson, RecordFromRawBytesIsReadWithinItsFields) {
    HostFacts facts = configuredHost();
    std::memset(facts.hostName, 'A', sizeof facts.hostName);  // no NUL
    std::memset(facts.buses[7].id, 'b', sizeof facts.buses[7].id);
    facts.busCount = 1000;
    facts.validatorKind = 9;
    facts.bypassed = 2;
    facts.sampleRate = NAN;
    facts.processMode = 7;
    facts.tailKind = HOST_TAIL_INFINITE;
    const std::string json = hostJson(facts);
    EXPECT_EQ(json.rfind(R"({"hostName":")" + std::string(128, 'A') + R"(","hostVersion")", 0), 0u);
    EXPECT_NE(json.find(R"("hostPath":"/Applications/Host.app","sampleRate":null,)"
                        R"("maxBlockFrames":512,"lastBlockFrames":256,"processMode":"realtime",)"
                        R"("sampleSize":64,"latencySamples":35,"tailSamples":"infinite",)"),
              std::string::npos);
    EXPECT_NE(
        json.find(R"({"id":")" + std::string(32, 'b') + R"(","direction":"output","channels":0)"),
        std::string::npos);
    EXPECT_NE(json.find(R"(,"active":false}],"bypassed":true})"), std::string::npos);
}

TEST(HostChange, KindAndDeltaAgreeRuleByRule) {
    const struct {
        const char* what;
        void (*change)(HostFacts&);
        const char* kind;
        bool delta;
    } cases[] = {
        {"identity only",
         [](HostFacts& f) {
             copyFixedText(f.hostName, "Other");
             f.validatorKind = HOST_VALIDATOR_AUVAL;
         },
         nullptr, false},
        {"rate and latency",
         [](HostFacts& f) {
             f.sampleRate = 96000;
             f.latencySamples = 56;
         },
         "sampleRateChanged", true},
        {"max block", [](HostFacts& f) { f.maxBlockFrames = 64; }, "blockSizeChanged", true},
        {"bus channels", [](HostFacts& f) { f.buses[0].channels = 2; }, "busLayoutChanged", true},
        {"bus added", [](HostFacts& f) { f.addBus("out2", false, 2, true, "stereo"); },
         "busLayoutChanged", true},
        {"same truth, other byte", [](HostFacts& f) { f.buses[1].active = 7; }, nullptr, false},
        {"beyond the bus count", [](HostFacts& f) { f.buses[5].channels = 9; }, nullptr, false},
        {"latency", [](HostFacts& f) { f.latencySamples = 0; }, "latencyChanged", true},
        {"tail", [](HostFacts& f) { f.tailSamples = 10; }, "tailChanged", true},
        {"bypass", [](HostFacts& f) { f.bypassed = 1; }, "bypassChanged", true},
        {"bypass unknown again", [](HostFacts& f) { f.bypassKnown = 0; }, nullptr, false},
        {"last block unknown", [](HostFacts& f) { f.lastBlockFrames = -1; }, "blockSizeChanged",
         false},
        {"sample size", [](HostFacts& f) { f.sampleSize = 32; }, "configured", true},
        {"internal rate off", [](HostFacts& f) { f.internalSampleRate = 0; }, "sampleRateChanged",
         false},
    };
    const HostFacts previous = configuredHost();
    for (const auto& c : cases) {
        HostFacts current = previous;
        c.change(current);
        const char* kind = diagnosticHostChangeKind(previous, current);
        EXPECT_STREQ(kind ? kind : "(none)", c.kind ? c.kind : "(none)") << c.what;
        std::string out = "keep";
        EXPECT_EQ(writeDiagnosticHostDeltaJson(out, previous, current), c.delta) << c.what;
        EXPECT_EQ(writeDiagnosticHostChangedJson(out, previous, current, 1, 0), c.delta) << c.what;
        if (!c.delta) {
            EXPECT_EQ(out, "keep") << c.what;
        }
    }

    HostFacts unset;
    unset.sampleRate = NAN;
    EXPECT_EQ(diagnosticHostChangeKind(unset, unset), nullptr);
}

TEST(HostChange, DeltaAndMessageTexts) {
    const HostFacts previous = configuredHost();
    HostFacts current = previous;
    current.sampleRate = 96000;
    current.latencySamples = 56;
    std::string out;
    ASSERT_TRUE(writeDiagnosticHostChangedJson(out, previous, current, 3, 12.5));
    EXPECT_EQ(out, R"({"type":"kelvo.hostChanged","host":{"sampleRate":96000,"latencySamples":56},)"
                   R"("event":{"seq":3,"timeMs":12.5,"kind":"sampleRateChanged"}})");

    // Every member, in order, from a fresh record.
    out.clear();
    ASSERT_TRUE(writeDiagnosticHostChangedJson(out, HostFacts{}, previous, 1, NAN));
    EXPECT_EQ(out, R"({"type":"kelvo.hostChanged","host":{"sampleRate":44100,"maxBlockFrames":512,)"
                   R"("lastBlockFrames":256,"processMode":"prefetch","sampleSize":64,)"
                   R"("latencySamples":35,"tailSamples":1000,"internalSampleRate":48000,)" +
                       CONFIGURED_BUSES +
                       R"(,"bypassed":false},"event":{"seq":1,"timeMs":null,)"
                       R"("kind":"sampleRateChanged"}})");
}

TEST(Transport, MessageTexts) {
    TransportFact fact;
    fact.atFrame = 96000;
    fact.source = TRANSPORT_SOURCE_HOST;
    fact.playing = fact.looping = 1;
    fact.hasTempo = fact.hasTimeSignature = fact.hasPosition = fact.hasLoop = 1;
    fact.tempo = 120;
    fact.numerator = 3;
    fact.denominator = 4;
    fact.ppqPosition = 8.5;
    fact.barPositionPpq = 6;
    fact.loopStartPpq = 4;
    fact.loopEndPpq = 12;
    fact.sampleRate = 48000;
    fact.projectTimeSamples = -480;
    EXPECT_EQ(transportJson(fact),
              R"({"type":"kelvo.transport","frame":{"atFrame":96000,"source":"host",)"
              R"("state":{"playing":true,"recording":false,"looping":true,"tempo":120,)"
              R"("timeSignature":{"numerator":3,"denominator":4},"ppqPosition":8.5,)"
              R"("barPositionPpq":6,"loopStartPpq":4,"loopEndPpq":12,"sampleRate":48000,)"
              R"("projectTimeSamples":-480},"capabilities":{"tempo":true,"timeSignature":true,)"
              R"("position":true,"loop":true,"canSetTempo":false}}})");

    // Loop points without the capability, and numbers that cannot be written.
    fact.hasLoop = 0;
    fact.source = TRANSPORT_SOURCE_INTERNAL;
    fact.tempo = INFINITY;
    fact.ppqPosition = NAN;
    fact.sampleRate = 0;
    const std::string json = transportJson(fact);
    EXPECT_NE(json.find(R"("source":"internal")"), std::string::npos);
    EXPECT_NE(json.find(R"("tempo":null,)"), std::string::npos);
    EXPECT_NE(json.find(R"("ppqPosition":null,"barPositionPpq":6,"loopStartPpq":null,)"
                        R"("loopEndPpq":null,"sampleRate":null,)"),
              std::string::npos);
}

TEST(Transport, OnlyStateAndSettingsCountAsADifference) {
    TransportFact base;
    base.tempo = NAN;  // a NaN tempo is not a change on every poll
    const auto differs = [&base](void (*change)(TransportFact&)) {
        TransportFact changed = base;
        change(changed);
        return changed.differsFrom(base) || base.differsFrom(changed);
    };
    EXPECT_FALSE(differs([](TransportFact& f) {
        f.atFrame = f.projectTimeSamples = 512;
        f.ppqPosition = f.barPositionPpq = 1;
        f.reserved[3] = 1;
    }));
    EXPECT_TRUE(differs([](TransportFact& f) { f.source = 1; }));       // first state byte
    EXPECT_TRUE(differs([](TransportFact& f) { f.canSetTempo = 1; }));  // last state byte
    EXPECT_TRUE(differs([](TransportFact& f) { f.tempo = 120; }));
    EXPECT_TRUE(differs([](TransportFact& f) { f.denominator = 8; }));
    EXPECT_TRUE(differs([](TransportFact& f) { f.loopEndPpq = -0.0; }));
    EXPECT_TRUE(differs([](TransportFact& f) { f.sampleRate = 44100; }));
}

}  // namespace
}  // namespace kelvo
