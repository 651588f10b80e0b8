#include <gtest/gtest.h>

#include <string>

#include "host_facts.h"

namespace kelvo {
namespace {

const std::string IDENTITY_HEAD =
    R"({"moduleId":"music.kelvo.drum-synth","name":"Tambro Synth","vendor":"Kelvo Music",)"
    R"("version":"0.1.0","hostClass":"instrument","target":"vst3","sdkVersion":"0.0.0",)"
    R"("build":{"mode":"production","configuration":"Release"})";
const std::string IDENTITY_TAIL =
    R"(,"ratePolicy":{"mode":"host-native"},"state":{"version":1,"maxBytes":65536},)"
    R"("ports":[{"id":"out","kind":"audio","direction":"output","busRole":"main","channels":2},)"
    R"({"id":"midi-in","kind":"midi","direction":"input","busRole":"main"}]})";

std::string identity(const UiBundleFacts& ui, DiagnosticTarget target = DiagnosticTarget::Vst3) {
    std::string out;
    writeDiagnosticIdentityJson(out, target, ui);
    return out;
}

std::string presetState(const PresetStateFacts& facts) {
    std::string out;
    writeDiagnosticPresetStateJson(out, facts);
    return out;
}

TEST(IdentityJson, UiBlockOnlyWithFacts) {
    UiBundleFacts ui;
    EXPECT_EQ(identity(ui), IDENTITY_HEAD + IDENTITY_TAIL);
    copyFixedText(ui.buildTime, "2024-05-01");
    copyFixedText(ui.sha256, "ab12");
    EXPECT_EQ(identity(ui), IDENTITY_HEAD + R"(,"ui":{"buildTime":"2024-05-01","sha256":"ab12"})" +
                                IDENTITY_TAIL);

    EXPECT_NE(identity(ui, static_cast<DiagnosticTarget>(9)).find(R"("target":"offline")"),
              std::string::npos);
}

TEST(PresetStateJson, OptionalMembersAndTheBankBlock) {
    PresetStateFacts facts;
    EXPECT_EQ(presetState(facts),
              R"({"factoryCount":6,"dirty":false,"userPresetsSupported":false})");

    copyFixedText(facts.currentId, "factory-2");
    copyFixedText(facts.currentName, "Deep \"808\"");
    facts.dirty = true;
    facts.lastStateBytes = 1234;
    facts.bank.valid = true;  // valid but without an id: not written
    const std::string written = R"({"factoryCount":6,"currentId":"factory-2",)"
                                R"("currentName":"Deep \"808\"","dirty":true,)"
                                R"("userPresetsSupported":false,"lastStateBytes":1234)";
    EXPECT_EQ(presetState(facts), written + "}");

    copyFixedText(facts.bank.id, "acme.kit");
    copyFixedText(facts.bank.name, "Kit");
    copyFixedText(facts.bank.sha256, "ab");
    facts.bank.index = 0;
    facts.bank.padCount = 16;
    EXPECT_EQ(presetState(facts),
              written + R"(,"bank":{"id":"acme.kit","name":"Kit","sha256":"ab","index":0,)"
                        R"("padCount":16}})");

    EXPECT_EQ(compiledBankCount(), 0u);
    EXPECT_FALSE(describeCompiledBank(0, facts.bank));
    EXPECT_FALSE(facts.bank.valid);
    EXPECT_STREQ(facts.bank.id, "");
    std::string out;
    EXPECT_FALSE(writeDiagnosticBankJson(out, facts.bank));
    EXPECT_EQ(out, "");
}

TEST(HelloBlocks, HostBlockOnlyOnceARateIsKnown) {
    HostFacts host;
    const PresetStateFacts preset;
    const std::string tail = R"(,"diagnostics":{"feeds":[],"commands":[],"maxFeedHz":0},)"
                             R"("presetState":{"factoryCount":6,"dirty":false,)"
                             R"("userPresetsSupported":false})";
    std::string out = "{";
    appendDiagnosticHelloBlocks(out, DiagnosticTarget::Vst3, host, preset, UiBundleFacts{});
    EXPECT_EQ(out, "{,\"identity\":" + IDENTITY_HEAD + IDENTITY_TAIL + tail);

    host.sampleRate = 48000;
    host.maxBlockFrames = 512;
    host.addBus("out0", false, 2, true, "stereo");
    out.clear();
    appendDiagnosticHelloBlocks(out, DiagnosticTarget::Vst3, host, preset, UiBundleFacts{});
    EXPECT_EQ(out,
              ",\"identity\":" + IDENTITY_HEAD + IDENTITY_TAIL +
                  R"(,"host":{"sampleRate":48000,"maxBlockFrames":512,"processMode":"realtime",)"
                  R"("sampleSize":32,"latencySamples":0,"tailSamples":"unreported",)"
                  R"("buses":[{"id":"out0","direction":"output","channels":2,"active":true,)"
                  R"("layout":"stereo"}]})" +
                  tail);
}

}  // namespace
}  // namespace kelvo
