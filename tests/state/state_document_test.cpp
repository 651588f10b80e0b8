#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>

#include "sampler_pad_overrides.h"
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
    if (c.padsPresent) s << "pads=";
    for (const SamplerPadOverride& pad : c.pads)
        s << pad.pad << ':' << pad.mask << ',';
    if (c.padsPresent) s << ' ';
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

TEST(StateRead, Members) {
    using namespace std::string_literals;
    const std::string map1 = R"({"bindings":[{"cc":1,"path":"kick.tune"}]})";
    const std::string s127(127, 'i'), s128(128, 'i'), s32(32, 'v'), s64(64, 'h'), s65(65, 'h');
    const std::string l1023(1023, 'l'), l1024(1024, 'l'), nul(1, '\0');
    // Base64 of one zero byte short of the largest payload.
    const std::string zeros(AUTHORED_STATE_MAX_BYTES / 3 * 4, 'A');
    // The text and the summary of what it reads as.
    const std::pair<std::string, const char*> cases[] = {
        // None of these leave a trace: values of the wrong kind, "sampler" without
        // "v" 1, an empty or oversized payload, a later "none", a bank without a
        // text id, unknown members skipped at depth 1 (and at depth 2 in "params").
        {R"({"params":{"kick.tune":"75","kit.tone":null,"hat.metal":[true],"x":{"y":[]},"y":)" +
             nested(31) +
             R"(},"sampler":{"v":2,"pads":{"a":{"gain":2}}},)"
             R"("sampler":{"pads":{"a":{"gain":2}}},"sampler":"x","sampler":{"v":1,"pads":[]},)"
             R"("authoredState":{"v":1,"bytes":""},"authoredState":{"bytes":")" +
             zeros +
             R"(AAA="},"samplerAssetFault":"moved-in-memory-asset","samplerAssetFault":"none",)"
             R"("bank":{"id":5,"locator":"/x"},"bank":[{"id":"x"}], "x":)" +
             nested(32) + "\n}",
         ""},
        // "params": literals, numbers, and anything else skipped at depth 2;
        // inf and nan have no JSON form and would reach the engine as they are.
        {R"({"params":{"kick.tune":true,"kit.tone": false ,"master.level":-2e-300,"hat.metal":5,)"
         R"("hat.metal":inf,"snare.tune":nan}})",
         "kick.tune=1 hat.metal=5 kit.tone=0 master.level=-2e-300"},
        // "variation": truncated, saturated, NaN as 0.
        {R"({"variation":nan})", "variation=0"},
        {R"({"samplerAssetFault":"moved-in-memory-asset"})", "fault=moved-in-memory-asset"},
        {R"({"samplerZoneAbi":{},"samplerZoneVersion":"v","samplerZoneProgram":"key-zones-pitch",)"
         R"("samplerZoneProgram":"other"})",
         "program=4"},
        // "sampler": pads adopted only with "v" 1; several maps merge in order.
        {R"({"sampler":{"v":1,"pads":{"a":{"gain":2}},"x":[],"pads":{"b":{"pan":1},"a":{"pan":0}}}})",
         "pads=a:8,b:8,"},
        {R"({"variation":-3.9,"sampler":{"v":1,"pads":{}}})", "variation=-3 pads="},
        // "authoredState": a payload that does not decode keeps the earlier one.
        {R"({"authoredState":{"v":7.9,"bytes":"AQID"}})", "authored=7:3"},
        {R"({"authoredState":{"bytes":"AQ=="},"authoredState":{"v":3,"bytes":"A Q=="}})",
         "authored=0:1"},
        {R"({"authoredState":{"v":-1e20,"bytes":"AQ==","bytes":5}})", "authored=-2147483648:1"},
        {R"({"authoredState":{"bytes":")" + zeros + R"(AA=="}})", "authored=0:1048576"},
        // "ccMap": a later map that is not valid keeps an earlier valid one.
        {R"({"ccMap":)" + map1 + R"(,"ccMap":{},"ccMap":{"bindings":{}},"ccMap":{"x":)" +
             nested(32) + R"(},"ccMap":"none"})",
         "map=1"},
        {R"({"variation":1e12,"ccMap":)" + map1 + R"(,"ccMap":[]})", "variation=2147483647 map=0"},
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
    };
    for (const auto& [text, expected] : cases) {
        StateChunk chunk;
        ASSERT_TRUE(parse(text, chunk)) << text.substr(0, 200);
        EXPECT_EQ(summary(chunk), expected) << text.substr(0, 200);
    }
    // A member of the wrong type, or nesting too deep, fails the document.
    for (const std::string& text :
         {R"({"params":[]})"s, R"({"variation":"2"})"s, R"({"samplerAssetFault":1})"s,
          R"({"samplerZoneProgram":null})"s, R"({"sampler":{"v":"1"}})"s,
          R"({"authoredState":{"v":null}})"s, R"({"params":{"x":)" + nested(32) + "}}",
          R"({"ccMap":{"x":)" + nested(33) + "}}", R"({"x":)" + nested(33) + "}", "[]"s}) {
        StateChunk chunk;
        EXPECT_FALSE(parse(text, chunk)) << text;
    }
}

TEST(StateWrite, ExactTextAndNameTables) {
    double params[KELVO_PARAM_COUNT];
    for (uint32_t id = 0; id < KELVO_PARAM_COUNT; ++id)
        params[id] = KELVO_PARAMS[id].defaultPlain;
    params[1] = std::nan("");
    CcMap map{1, {{.paramId = 13, .cc = 74}}};
    SamplerPadOverrides pads{{.pad = "kick", .mask = PAD_GAIN, .gain = 0.5}};
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

    // The name tables.
    const char* programs[] = {"legacy-single-zone",   "one-shot-drum",    "looped-pad-release",
                              "velocity-round-robin", "key-zones-pitch",  "stereo-multi-mic",
                              "choke-and-sustain",    "voice-limit-steal"};
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_TRUE(samplerZoneProgramName(i) == std::string(programs[i]) &&
                    samplerZoneProgramFromName(programs[i]) == i);
    for (const char* source : {"embedded", "module-relative", "user-folder", "hosted"})
        EXPECT_TRUE(bankSourceNameKnown(source));
    EXPECT_FALSE(bankSourceNameKnown("hosted ") || bankSourceNameKnown(nullptr));
}

bool parse(const std::string& text, SamplerPadOverrides& list) {
    return parseSamplerPadOverridesJson(text.data(), text.size(), list);
}

std::string write(const SamplerPadOverrides& list, std::string out = "") {
    writeSamplerPadOverridesJson(out, list);
    return out;
}

// The member `"id":{"key":value}` of a pad-override map.
std::string pad(const std::string& id, const char* key, const char* value) {
    return "\"" + id + "\":{\"" + key + "\":" + value + "}";
}

TEST(PadOverrideRead, FieldRangesAndRules) {
    // Key, accepted ends, rejected values: outside, or failing the extra rule.
    const std::array<const char*, 6> cases[] = {
        {"transpose", "-24", "24", "-24.5", "25", "2.5"},
        {"fineTune", "-100", "100", "-100.01", "100.01", "nan"},
        {"gain", "0", "4", "-1e-9", "4.0000001", "inf"},
        {"pan", "-1", "1", "-1.1", "1.1", "true"},
        {"start", "0", "1", "-0.1", "1.1", "\"0.5\""},
        {"end", "0", "1", "-0.1", "1.1", "null"},
        {"attack", "0", "2", "-0.1", "2.1", "[1]"},
        {"release", "0.001", "4", "0.0009", "4.1", "{}"},
        {"filterHz", "20", "20000", "19.9", "20000.1", "-inf"},
        {"resonance", "0.1", "18", "0.09", "18.1", "false"},
        {"reverse", "0", "1", "-1", "2", "0.5"},
        {"muted", "0", "1", "-1", "2", "0.5"},
        {"chokeGroup", "0", "8", "-1", "9", "1.5"},
        {"roundRobinGroup", "0", "8", "-1", "9", "7.99"},
        {"velocitySensitivity", "0", "1", "-0.5", "1.5", "1e999"},
    };
    ASSERT_EQ(std::size(cases), SAMPLER_PAD_FIELD_COUNT);
    for (size_t field = 0; field < SAMPLER_PAD_FIELD_COUNT; ++field) {
        auto [key, lowest, highest, below, above, broken] = cases[field];
        EXPECT_STREQ(samplerPadFieldKey(field), key);
        // Each value on a pad of its own: the rejected ones leave their pads empty.
        std::string accepted = "{" + pad(lowest, key, lowest) + "," + pad(highest, key, highest);
        std::string text = accepted + "," + pad("b", key, below) + "," + pad("a", key, above);
        SamplerPadOverrides list;
        ASSERT_TRUE(parse(text + "," + pad("x", key, broken) + "}", list)) << key;
        EXPECT_EQ(write(list), accepted + "}");
    }
}

TEST(PadOverrideRead, MapRules) {
    const std::string long160 = "{" + pad(std::string(160, 'p'), "gain", "2") + "}";
    const std::string kick = R"({"kick":{"gain":0.5}})";
    // The text, and what the list read writes back as; a failed read leaves
    // the list as it was.
    const std::pair<std::string, std::string> cases[] = {
        {"[]", kick},
        {R"({"a":{"gain":1},})", kick},
        {R"({"a":{"gain":1})", kick},
        {" { \n } ", "{}"},
        {R"({"a":{"muted":1,"muted":true,"reverse":0}})", R"({"a":{"reverse":0,"muted":1}})"},
        {R"({"a":{"gain":2,"gain":9},"b":{"gain":9,"gain":3}})",
         R"({"a":{"gain":2},"b":{"gain":3}})"},
        {R"({"a":{"gain":2,"pan":1},"b":{"pan":-1},"a":{"fineTune":5}})",
         R"({"a":{"fineTune":5},"b":{"pan":-1}})"},
        {R"({"a":{"gain":2},"a":{"transpose":0.5}})", R"({"a":{"gain":2}})"},
        {R"({"a":5,"b":"x","c":[{"d":{}}],"e":{"x":{"y":1},"gain":0}})", R"({"e":{"gain":0}})"},
        {R"({"":{"gain":1},"\"q\\":{"gain":1},"\u00e9":{"gain":1}})",
         R"({"\"q\\":{"gain":1},"?":{"gain":1}})"},
        {long160, long160},
        {"{" + pad(std::string(161, 'p'), "gain", "2") + "}", "{}"},
        // A NUL byte would cut the id to another pad's, a control byte would
        // break the page's JSON: such entries are dropped.
        {std::string(R"({"a":{"gain":2},"a)") + '\0' + R"(x":{"gain":3},")" + '\0' +
             R"(":{"gain":1},"b\n":{"gain":1},"c)" + '\x01' + R"(":{"gain":1}})",
         R"({"a":{"gain":2}})"},
    };
    for (const auto& [text, rewritten] : cases) {
        SamplerPadOverrides list{{.pad = "kick", .mask = PAD_GAIN, .gain = 0.5}};
        EXPECT_EQ(parse(text, list), rewritten != kick) << text;
        EXPECT_EQ(write(list), rewritten) << text;
    }
    // Entries without an id or without fields are left out.
    EXPECT_EQ(write({{.pad = "", .mask = PAD_GAIN}, {.pad = "snare"}}), "{}");

    // 257 members empty the list; members that are not overrides count as well.
    for (auto [pads, others] : {std::pair{256, 0}, {257, 0}, {1, 256}}) {
        std::string text = "{";
        for (int i = 0; i < pads; ++i)
            text += (i ? ",\"" : "\"") + std::to_string(i) + R"(":{"gain":1})";
        for (int i = 0; i < others; ++i)
            text += ",\"x\":0";
        SamplerPadOverrides list;
        ASSERT_TRUE(parse(text + "}", list));
        EXPECT_EQ(list.size(), pads == 256 ? 256u : 0u) << pads << " " << others;
    }
}

}  // namespace
}  // namespace kelvo
