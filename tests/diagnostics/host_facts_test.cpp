// The facts the hello and the host messages carry: the host's, the
// transport's and the page bundle's.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <string>

#include "host_facts.h"
#include "plugin_image_path.h"
#include "temp_dir.h"
#include "ui_bundle_facts.h"

namespace kelvo {
namespace {

// A configured host as the processor reports it, plus a controller identity.
HostFacts configuredHost() {
    HostFacts f;
    copyFixedText(f.hostName, "Studio \"One\"");
    copyFixedText(f.hostVersion, "6.5");
    copyFixedText(f.hostPath, "/Applications/Host.app");
    f.validatorKind = HOST_VALIDATOR_PLUGINVAL, f.processMode = HOST_PROCESS_PREFETCH;
    f.sampleRate = 44100, f.maxBlockFrames = 512, f.lastBlockFrames = 256, f.sampleSize = 64;
    f.latencySamples = 35, f.tailKind = HOST_TAIL_SAMPLES, f.tailSamples = 1000;
    f.internalSampleRate = 48000, f.bypassKnown = 1;
    f.addBus("in0", true, 1, false, "mono");
    f.addBus("out0", false, 2, true, "stereo");
    f.addBus("out1", false, 6, true, nullptr);
    return f;
}

// Its members after the controller identity, as both host writers put them.
const std::string CONFIGURED =
    R"("sampleRate":44100,"maxBlockFrames":512,"lastBlockFrames":256,"processMode":"prefetch",)"
    R"("sampleSize":64,"latencySamples":35,"tailSamples":1000,"internalSampleRate":48000,)"
    R"("buses":[{"id":"in0","direction":"input","channels":1,"active":false,"layout":"mono"},)"
    R"({"id":"out0","direction":"output","channels":2,"active":true,"layout":"stereo"},)"
    R"({"id":"out1","direction":"output","channels":6,"active":true}],"bypassed":false})";

const std::string IDENTITY_HEAD =
    R"(,"identity":{"moduleId":"music.kelvo.drum-synth","name":"Tambro Synth",)"
    R"("vendor":"Kelvo Music","version":"0.1.0","hostClass":"instrument","target":"vst3",)"
    R"("sdkVersion":"0.0.0","build":{"mode":"production","configuration":"Release"})";
const std::string IDENTITY_TAIL =
    R"(,"ratePolicy":{"mode":"host-native"},"state":{"version":1,"maxBytes":65536},)"
    R"("ports":[{"id":"out","kind":"audio","direction":"output","busRole":"main","channels":2},)"
    R"({"id":"midi-in","kind":"midi","direction":"input","busRole":"main"}]})";
const std::string FEEDS = R"(,"diagnostics":{"feeds":[],"commands":[],"maxFeedHz":0})";

std::string hello(const HostFacts& host, const PresetStateFacts& preset, const UiBundleFacts& ui,
                  DiagnosticTarget target = DiagnosticTarget::Vst3) {
    std::string out;
    appendDiagnosticHelloBlocks(out, target, host, preset, ui);
    return out;
}

// Without a rate there is no host block, and unset facts write nothing.
TEST(HelloBlocks, FreshAndWithEveryOptionalMember) {
    EXPECT_EQ(
        hello(HostFacts{}, PresetStateFacts{}, UiBundleFacts{}),
        IDENTITY_HEAD + IDENTITY_TAIL + FEEDS +
            R"(,"presetState":{"factoryCount":6,"dirty":false,"userPresetsSupported":false})");

    UiBundleFacts ui;
    copyFixedText(ui.buildTime, "2024-05-01");
    copyFixedText(ui.sha256, "ab12");
    PresetStateFacts preset;
    copyFixedText(preset.currentId, "factory-2");
    copyFixedText(preset.currentName, "Deep \"808\"");
    preset.dirty = preset.bank.valid = true, preset.lastStateBytes = 1234;
    copyFixedText(preset.bank.id, "acme.kit");
    copyFixedText(preset.bank.name, "Kit");
    preset.bank.index = 0, preset.bank.padCount = 16;
    const HostFacts host = configuredHost();
    EXPECT_EQ(hello(host, preset, ui),
              IDENTITY_HEAD + R"(,"ui":{"buildTime":"2024-05-01","sha256":"ab12"})" +
                  IDENTITY_TAIL +
                  R"(,"host":{"hostName":"Studio \"One\"","hostVersion":"6.5",)"
                  R"("hostPath":"/Applications/Host.app","validatorHost":"pluginval",)" +
                  CONFIGURED + FEEDS +
                  R"(,"presetState":{"factoryCount":6,"currentId":"factory-2",)"
                  R"("currentName":"Deep \"808\"","dirty":true,"userPresetsSupported":false,)"
                  R"("lastStateBytes":1234,"bank":{"id":"acme.kit","name":"Kit","index":0,)"
                  R"("padCount":16}})");

    // A target beyond the table reads as offline; a bank without an id, or
    // one no compiled bank describes, is not written.
    EXPECT_NE(hello(host, preset, ui, DiagnosticTarget(9)).find(R"("target":"offline")"),
              std::string::npos);
    preset.bank.id[0] = '\0';
    EXPECT_EQ(hello(host, preset, ui).find("\"bank\""), std::string::npos);
    EXPECT_FALSE(compiledBankCount() || describeCompiledBank(0, preset.bank) || preset.bank.valid);
}

// Bytes from elsewhere are read within their fields.
TEST(HostFactsRecord, RawBytesAreReadWithinTheirFields) {
    HostFacts facts;
    for (int i = 0; i < 10; ++i)
        facts.addBus(nullptr, false, 2, true, nullptr);
    EXPECT_EQ(facts.busCount, 8u);
    std::memset(facts.hostName, 'A', sizeof facts.hostName);  // no NUL
    facts.busCount = 1000, facts.tailKind = HOST_TAIL_INFINITE;
    std::string json;
    writeDiagnosticHostJson(json, facts);
    EXPECT_EQ(json.rfind(R"({"hostName":")" + std::string(128, 'A') + R"(","sampleRate")", 0), 0u);
    EXPECT_NE(json.find(R"("tailSamples":"infinite",)"), std::string::npos);
    EXPECT_TRUE(json.ends_with(R"(:"output","channels":2,"active":true}]})")) << json;
}

TEST(HostChange, KindAndDeltaAgreeRuleByRule) {
    const struct {
        void (*change)(HostFacts&);
        const char* kind;  // "" none
        bool delta;
    } cases[] = {
        {[](HostFacts& f) { f.hostName[0] = 'X', f.validatorKind = 3; }, "", false},
        {[](HostFacts& f) { f.sampleRate = 96000, f.latencySamples = 56; }, "sampleRateChanged", 1},
        {[](HostFacts& f) { f.maxBlockFrames = 64; }, "blockSizeChanged", true},
        {[](HostFacts& f) { f.buses[0].channels = 2; }, "busLayoutChanged", true},
        {[](HostFacts& f) { f.addBus("out2", false, 2, true, "stereo"); }, "busLayoutChanged", 1},
        {[](HostFacts& f) { f.buses[1].active = 7; }, "", false},    // same truth, other byte
        {[](HostFacts& f) { f.buses[5].channels = 9; }, "", false},  // beyond the bus count
        {[](HostFacts& f) { f.latencySamples = 0; }, "latencyChanged", true},
        {[](HostFacts& f) { f.tailSamples = 10; }, "tailChanged", true},
        {[](HostFacts& f) { f.processMode = 1; }, "processModeChanged", true},
        {[](HostFacts& f) { f.bypassed = 1; }, "bypassChanged", true},
        {[](HostFacts& f) { f.bypassKnown = 0; }, "", false},
        {[](HostFacts& f) { f.lastBlockFrames = -1; }, "blockSizeChanged", false},
        {[](HostFacts& f) { f.sampleSize = 32; }, "configured", true},
        {[](HostFacts& f) { f.internalSampleRate = 0; }, "sampleRateChanged", false},
    };
    const HostFacts previous = configuredHost();
    for (const auto& c : cases) {
        HostFacts current = previous;
        c.change(current);
        const char* kind = diagnosticHostChangeKind(previous, current);
        EXPECT_STREQ(kind ? kind : "", c.kind) << &c - cases;
        std::string out;
        EXPECT_EQ(writeDiagnosticHostChangedJson(out, previous, current, 1, 0), c.delta)
            << &c - cases;
        EXPECT_EQ(out.empty(), !c.delta) << &c - cases;
    }
}

TEST(HostChange, MessageTexts) {
    const HostFacts previous = configuredHost();
    HostFacts current = previous;
    current.sampleRate = 96000, current.latencySamples = 56,
    current.tailKind = HOST_TAIL_UNREPORTED;
    std::string out;
    ASSERT_TRUE(writeDiagnosticHostChangedJson(out, previous, current, 3, 12.5));
    EXPECT_EQ(out, R"({"type":"kelvo.hostChanged","host":{"sampleRate":96000,"latencySamples":56,)"
                   R"("tailSamples":"unreported"},)"
                   R"("event":{"seq":3,"timeMs":12.5,"kind":"sampleRateChanged"}})");
    // Every member, in order, from a fresh record.
    out.clear();
    ASSERT_TRUE(writeDiagnosticHostChangedJson(out, HostFacts{}, previous, 1, NAN));
    EXPECT_EQ(out, R"({"type":"kelvo.hostChanged","host":{)" + CONFIGURED +
                       R"(,"event":{"seq":1,"timeMs":null,"kind":"sampleRateChanged"}})");
}

TEST(Transport, MessageTextsAndDifferences) {
    TransportFact fact;
    fact.atFrame = 96000, fact.source = TRANSPORT_SOURCE_HOST, fact.playing = fact.looping = 1;
    fact.hasTempo = fact.hasTimeSignature = fact.hasPosition = fact.hasLoop = 1;
    fact.tempo = 120, fact.numerator = 3, fact.denominator = 4, fact.ppqPosition = 8.5;
    fact.barPositionPpq = 6, fact.loopStartPpq = 4, fact.loopEndPpq = 12, fact.sampleRate = 48000;
    fact.projectTimeSamples = -480;
    std::string out;
    writeDiagnosticTransportJson(out, fact);
    EXPECT_EQ(out,
              R"({"type":"kelvo.transport","frame":{"atFrame":96000,"source":"host",)"
              R"("state":{"playing":true,"recording":false,"looping":true,"tempo":120,)"
              R"("timeSignature":{"numerator":3,"denominator":4},"ppqPosition":8.5,)"
              R"("barPositionPpq":6,"loopStartPpq":4,"loopEndPpq":12,"sampleRate":48000,)"
              R"("projectTimeSamples":-480},"capabilities":{"tempo":true,"timeSignature":true,)"
              R"("position":true,"loop":true,"canSetTempo":false}}})");

    // Loop points without the capability, and a rate that cannot be written.
    fact.hasLoop = 0, fact.sampleRate = 0;
    out.clear();
    writeDiagnosticTransportJson(out, fact);
    EXPECT_NE(out.find(R"("loopStartPpq":null,"loopEndPpq":null,"sampleRate":null,)"),
              std::string::npos);

    // Running positions do not count, and numbers compare as they are written.
    TransportFact base, moved;
    base.tempo = moved.tempo = NAN;
    moved.atFrame = moved.projectTimeSamples = 512, moved.ppqPosition = moved.barPositionPpq = 1;
    moved.reserved[3] = 1;
    EXPECT_FALSE(moved.differsFrom(base) || base.differsFrom(moved));
    moved.canSetTempo = 1;  // the last state byte
    EXPECT_TRUE(moved.differsFrom(base));
}

TEST(UiManifestString, TakesOnlyWholeTopLevelStringValues) {
    const std::string longest(62, 'f');  // what 63 bytes hold
    const struct {
        std::string text;
        const char* value;  // null: no fact
    } cases[] = {
        {R"({"buildTime":"2024-05-01T10:00:00Z"})", "2024-05-01T10:00:00Z"},
        {"{ \"buildTime\" \t:\r\n \"x\" }", "x"},
        {R"({"meta":{"buildTime":"nested"},"list":["buildTime","no"],"buildTime":"top"})", "top"},
        {R"({"note":"\"","buildTime":"yes"})", "yes"},
        {R"({"buildTime":5,"buildTime":"later"})", "later"},
        {R"({"buildTime":"first","buildTime":"second"})", "first"},
        {R"({"buildTimeX":"x","xbuildTime":"y"})", nullptr},
        // A backslash ends the value; the characters before it are kept.
        {R"({"buildTime":"cut\"here","buildTime":"later"})", "cut"},
        {R"({"buildTime":"never closed)", nullptr},
        {R"({"buildTime":")" + longest + R"("})", longest.c_str()},
        {R"({"buildTime":")" + longest + R"(f"})", nullptr},
    };
    for (const auto& c : cases) {
        char out[64];
        std::fill(std::begin(out), std::end(out), 'Z');
        EXPECT_EQ(uiManifestString(c.text, "buildTime", out, 63), c.value != nullptr) << c.text;
        EXPECT_STREQ(out, c.value ? c.value : "") << c.text;
    }
}

using UiManifestFile = test::TempDirTest;

// Facts from a manifest of up to one mebibyte, found beside our own image.
TEST_F(UiManifestFile, FactsUpToOneMebibyteBesideOurImage) {
    const std::string image = platform::imagePathForAddress(
        reinterpret_cast<const void*>(&platform::imagePathForAddress));
    EXPECT_EQ(::access(image.c_str(), F_OK), 0) << image;
    EXPECT_EQ(platform::imagePathForAddress(nullptr), "");
    // The manifest sits in the Contents folder two levels above the image.
    EXPECT_EQ(uiManifestPathForImage("C/x/T.so") + "|" + uiManifestPathForImage("T.so") +
                  uiManifestPathForImage(""),
              "./C/Resources/ui/manifest.json|");

    const std::string path = dir / "manifest.json",
                      head =
                          R"({"buildTime":"2024-05-01","sourceRevision":"r1","sha256":"ab12","":")";
    std::ofstream(path) << head << std::string(UI_MANIFEST_MAX_BYTES - head.size() - 2, ' ')
                        << "\"}";
    UiBundleFacts facts = readUiBundleFactsFrom(path);
    EXPECT_EQ(std::string(facts.buildTime) + facts.sourceRevision + facts.sha256,
              "2024-05-01r1ab12");
    std::ofstream(path, std::ios::app) << ' ';
    for (const std::string& refused : {path, path + ".missing", dir.string(), std::string()})
        EXPECT_TRUE(readUiBundleFactsFrom(refused).empty()) << refused;
}

}  // namespace
}  // namespace kelvo
