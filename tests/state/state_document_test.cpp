#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <sstream>
#include <string>

#include "base64.h"
#include "state_document.h"

namespace kelvo {
namespace {

bool parse(const std::string& text, StateChunk& chunk) {
    return parseStateJson(text.data(), text.size(), chunk);
}

std::string nested(int depth, const char* inner = "") {
    return std::string(size_t(depth), '[') + inner + std::string(size_t(depth), ']');
}

// Long texts show as their length.
std::string show(const char* text) {
    size_t n = std::strlen(text);
    return n <= 8 ? text : "#" + std::to_string(n);
}

// What a chunk holds beyond its defaults, in one line.
std::string summary(const StateChunk& c) {
    std::ostringstream s;
    for (uint32_t id = 0; id < KELVO_PARAM_COUNT; ++id)
        if (c.paramPresent[id]) s << KELVO_PARAMS[id].path << '=' << c.params[id] << ' ';
    if (c.variation != -1) s << "variation=" << c.variation << ' ';
    if (c.ccMapPresent) s << "map=" << c.ccMap.count << ' ';
    if (c.samplerAssetFaultPresent || c.samplerAssetFault)
        s << "fault=" << samplerAssetDiagnosticName(c.samplerAssetFault) << ' ';
    if (c.samplerZoneProgramPresent) s << "program=" << c.samplerZoneProgram << ' ';
    if (c.padsPresent) {
        s << "pads=";
        for (const SamplerPadOverride& pad : c.pads)
            s << pad.pad << ':' << pad.mask << ',';
        s << ' ';
    }
    if (c.authoredPresent)
        s << "authored=" << c.authoredVersion << ':' << c.authoredBytes.size() << ' ';
    if (c.hasBankRef || c.bankId[0])
        s << "bank=" << (c.hasBankRef ? "" : "!") << show(c.bankId) << '|' << show(c.bankVersion)
          << '|' << show(c.bankSha256) << '|' << c.bankSource << '|' << show(c.bankPresetId)
          << (c.hasBankPresetId ? "+" : "") << '|' << show(c.bankInstrument) << '|'
          << show(c.bankLocator) << (c.hasBankLocator ? "+" : "") << ' ';
    std::string text = s.str();
    return text.empty() ? text : text.substr(0, text.size() - 1);
}

std::string base64Of(size_t bytes) {
    std::string out;
    std::vector<uint8_t> data(bytes, 0x5A);
    base64Append(out, data.data(), data.size());
    return out;
}

TEST(StateRead, Members) {
    struct Case {
        std::string text;
        const char* expected;  // summary; null when the document fails
    };
    const std::string map1 = R"({"bindings":[{"cc":1,"path":"kick.tune"}]})";
    const std::string s127(127, 'i'), s128(128, 'i'), s32(32, 'v'), s64(64, 'h'), s65(65, 'h');
    const std::string l1023(1023, 'l'), l1024(1024, 'l'), nul(1, '\0');
    const Case cases[] = {
        {" { \n } ", ""},
        // "params": literals, numbers, and anything else skipped at depth 2.
        {R"({"params":{"kick.tune":true,"kit.tone": false ,"master.level":-2e-300}})",
         "kick.tune=1 kit.tone=0 master.level=-2e-300"},
        {R"({"params":{"kick.tune":"75","kit.tone":null,"hat.metal":[true],"x":{"y":[]}}})", ""},
        // inf and nan have no JSON form and would reach the engine as they are.
        {R"({"params":{"kick.tune":5,"kick.tune":inf,"kit.tone":nan}})", "kick.tune=5"},
        {R"({"params":{"x":)" + nested(31) + "}}", ""},
        {R"({"params":{"x":)" + nested(32) + "}}", nullptr},
        {R"({"params":[]})", nullptr},
        // "variation": truncated, saturated, NaN as 0.
        {R"({"variation":2.9})", "variation=2"},
        {R"({"variation":-3.9})", "variation=-3"},
        {R"({"variation":1e12})", "variation=2147483647"},
        {R"({"variation":nan})", "variation=0"},
        {R"({"variation":"2"})", nullptr},
        {R"({"samplerAssetFault":"moved-in-memory-asset"})", "fault=moved-in-memory-asset"},
        {R"({"samplerAssetFault":"moved-in-memory-asset","samplerAssetFault":"none"})", ""},
        {R"({"samplerAssetFault":1})", nullptr},
        {R"({"samplerZoneAbi":{},"samplerZoneVersion":"v","samplerZoneProgram":"key-zones-pitch",)"
         R"("samplerZoneProgram":"other"})",
         "program=4"},
        {R"({"samplerZoneProgram":null})", nullptr},
        // "sampler": pads adopted only with "v" 1; several maps merge in order.
        {R"({"sampler":{"v":1,"pads":{"a":{"gain":2}},"x":[],"pads":{"b":{"pan":1},"a":{"pan":0}}}})",
         "pads=a:8,b:8,"},
        {R"({"sampler":{"v":2,"pads":{"a":{"gain":2}}}})", ""},
        {R"({"sampler":{"pads":{"a":{"gain":2}}},"sampler":"x"})", ""},
        {R"({"sampler":{"v":1,"pads":[]}})", ""},
        {R"({"sampler":{"v":1,"pads":{}}})", "pads="},
        {R"({"sampler":{"v":"1"}})", nullptr},
        // "authoredState": a payload that does not decode keeps the earlier one.
        {R"({"authoredState":{"v":7.9,"bytes":"AQID"}})", "authored=7:3"},
        {R"({"authoredState":{"bytes":"AQ=="},"authoredState":{"v":3,"bytes":"A Q=="}})",
         "authored=0:1"},
        {R"({"authoredState":{"v":-1e20,"bytes":"AQ==","bytes":5}})", "authored=-2147483648:1"},
        {R"({"authoredState":{"v":1,"bytes":""}})", ""},
        {R"({"authoredState":{"bytes":")" + base64Of(AUTHORED_STATE_MAX_BYTES) + R"("}})",
         "authored=0:1048576"},
        {R"({"authoredState":{"bytes":")" + base64Of(AUTHORED_STATE_MAX_BYTES + 1) + R"("}})", ""},
        {R"({"authoredState":{"v":null}})", nullptr},
        // "ccMap": a later map that is not valid keeps an earlier valid one.
        {R"({"ccMap":)" + map1 + R"(,"ccMap":{},"ccMap":"none"})", "map=1"},
        {R"({"ccMap":)" + map1 + R"(,"ccMap":[]})", "map=0"},
        {R"({"ccMap":{"x":)" + nested(32) + "}}", ""},
        {R"({"ccMap":{"x":)" + nested(33) + "}}", nullptr},
        // "bank": capacities, known sources, flags.
        {R"({"bank":{"id":"kit","bankVersion":"1.2","sha256":"ab","source":"hosted",)"
         R"("presetId":"p","instrument":"drums","locator":"/x","version":9,"extra":{}}})",
         "bank=kit|1.2|ab|hosted|p+|drums|/x+"},
        {R"({"bank":{"id":")" + s127 + R"(","bankVersion":")" + s32.substr(1) + R"(","sha256":")" +
             s64 + R"(","locator":")" + l1023 + R"(","source":"ftp"}})",
         "bank=#127|#31|#64||||#1023+"},
        {R"({"bank":{"id":"kit","bankVersion":")" + s32 + R"(","sha256":")" + s65 +
             R"(","presetId":")" + s64 + R"(","instrument":")" + s64 + R"(","locator":")" + l1024 +
             R"("}})",
         "bank=kit||||||"},
        {R"({"bank":{"id":")" + s128 + R"(","source":"hosted"}})", ""},
        // A NUL byte makes a text invalid rather than cutting it short.
        {R"({"bank":{"id":"kit)" + nul + R"(x","source":"hosted"}})", ""},
        {R"({"bank":{"id":"kit","bankVersion":"1)" + nul + R"(","sha256":"ab)" + nul +
             R"(","source":"hosted)" + nul + R"(","presetId":"p)" + nul + R"(","instrument":"d)" +
             nul + R"(","locator":"/x)" + nul + R"("}})",
         "bank=kit||||||"},
        {R"({"bank":{"id":5,"locator":"/x"},"bank":[{"id":"x"}]})", ""},
        // Unknown members are skipped at depth 1.
        {R"({"x":)" + nested(32) + "}", ""},
        {R"({"x":)" + nested(33) + "}", nullptr},
        {"[]", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 200));
        StateChunk chunk;
        ASSERT_EQ(parse(c.text, chunk), c.expected != nullptr);
        if (c.expected) {
            EXPECT_EQ(summary(chunk), c.expected);
        }
    }
}

TEST(StateWrite, ExactText) {
    double params[KELVO_PARAM_COUNT];
    for (uint32_t id = 0; id < KELVO_PARAM_COUNT; ++id)
        params[id] = KELVO_PARAMS[id].defaultPlain;
    params[1] = std::nan("");
    CcMap map;
    map.count = 1;
    map.bindings[0] = {.paramId = 13, .cc = 74};
    SamplerPadOverrides pads(1);
    pads[0].pad = "kick";
    pads[0].mask = PAD_GAIN;
    pads[0].gain = 0.5;
    BankStateRefOut bank{.id = "kit", .sha256 = "ab", .presetId = "p1", .locator = "/b"};
    const uint8_t bytes[] = {0xFF, 0x00};
    AuthoredStateOut authored{bytes, sizeof bytes, -4};
    EXPECT_EQ(writeStateJson(params, 3, &map, SAMPLER_ASSET_CORRUPT_IN_MEMORY,
                             SAMPLER_ZONE_STEREO_MULTI_MIC, &bank, &pads, &authored),
              R"({"params":{"kick.tune":52,"kick.decay":null,"kick.click":0.35,"snare.tune":190,)"
              R"("snare.decay":0.19,"snare.snap":0.55,"tom.tune":110,"tom.decay":0.42,)"
              R"("hat.closedDecay":0.055,"hat.openDecay":0.42,"hat.metal":0.6,)"
              R"("cymbal.decay":1.6,"clap.decay":0.24,"kit.tone":0.5,"pattern.on":0,)"
              R"("pattern.tempo":96,"pattern.bank":0,"master.level":0.8},"variation":3,)"
              R"("ccMap":{"version":1,"bindings":[{"cc":74,"path":"kit.tone"}]},)"
              R"("samplerAssetFault":"corrupt-in-memory-asset",)"
              R"("samplerZoneAbi":"kelvo-dual-stack-sampler/zone-layer/v1",)"
              R"("samplerZoneVersion":1,"samplerZoneProgram":"stereo-multi-mic",)"
              R"("sampler":{"v":1,"pads":{"kick":{"gain":0.5}}},)"
              R"("bank":{"version":1,"id":"kit","sha256":"ab","locator":"/b",)"
              R"("source":"embedded","presetId":"p1"},)"
              R"("authoredState":{"v":-4,"bytes":"/wA="}})");

    // Absent and empty inputs leave their members out; codes outside the
    // tables are named by the fallbacks.
    SamplerPadOverrides none;
    BankStateRefOut noId{.id = "", .source = "hosted"};
    AuthoredStateOut empty{bytes, 0, 1};
    std::string text = writeStateJson(params, -1, nullptr, 7, 9, &noId, &none, &empty);
    EXPECT_EQ(text.substr(text.find("},") + 1),
              R"(,"samplerAssetFault":"none","samplerZoneAbi":)"
              R"("kelvo-dual-stack-sampler/zone-layer/v1","samplerZoneVersion":1,)"
              R"("samplerZoneProgram":"legacy-single-zone"})");
}

TEST(StateWrite, ParametersRoundTripExactly) {
    std::mt19937_64 random(20240611);
    for (int round = 0; round < 500; ++round) {
        double params[KELVO_PARAM_COUNT];
        for (double& value : params) {
            do {  // any finite double, whatever its bit pattern
                uint64_t bits = random();
                std::memcpy(&value, &bits, sizeof value);
            } while (!std::isfinite(value));
        }
        params[0] = -0.0;
        params[1] = 0.1 + 0.2;
        params[2] = 5e-324;
        std::string text = writeStateJson(params, round, nullptr, 0, 0, nullptr, nullptr, nullptr);
        StateChunk chunk;
        ASSERT_TRUE(parse(text, chunk)) << text;
        EXPECT_EQ(chunk.variation, round);
        for (uint32_t id = 0; id < KELVO_PARAM_COUNT; ++id) {
            ASSERT_TRUE(chunk.paramPresent[id]);
            ASSERT_EQ(std::memcmp(&chunk.params[id], &params[id], sizeof(double)), 0) << text;
        }
    }
}

TEST(StateNames, Tables) {
    const char* programs[] = {"legacy-single-zone",   "one-shot-drum",    "looped-pad-release",
                              "velocity-round-robin", "key-zones-pitch",  "stereo-multi-mic",
                              "choke-and-sustain",    "voice-limit-steal"};
    for (uint32_t i = 0; i < 8; ++i) {
        EXPECT_STREQ(samplerZoneProgramName(i), programs[i]);
        EXPECT_EQ(samplerZoneProgramFromName(programs[i]), i);
    }
    EXPECT_FALSE(samplerZoneProgramNameKnown("Legacy-single-zone"));
    for (const char* source : {"embedded", "module-relative", "user-folder", "hosted"})
        EXPECT_TRUE(bankSourceNameKnown(source));
    EXPECT_FALSE(bankSourceNameKnown("hosted ") || bankSourceNameKnown(nullptr));
}

}  // namespace
}  // namespace kelvo
