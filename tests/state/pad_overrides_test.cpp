#include <gtest/gtest.h>

#include <array>
#include <string>

#include "sampler_pad_overrides.h"

namespace kelvo {
namespace {

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
    // The text, and what the list read writes back as.
    const std::pair<std::string, std::string> cases[] = {
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
        SamplerPadOverrides list;
        ASSERT_TRUE(parse(text, list)) << text;
        EXPECT_EQ(write(list), rewritten) << text;
    }
}

TEST(PadOverrideRead, TwoHundredFiftySevenMembersEmptyTheList) {
    // Members that are not overrides count as well.
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

TEST(PadOverrideRead, FailureLeavesListAsItWas) {
    const SamplerPadOverrides before{{.pad = "kick", .mask = PAD_GAIN, .gain = 0.5}};
    SamplerPadOverrides list = before;
    for (const char* text : {"[]", R"({"a":{"gain":1},})", R"({"a":{"gain":1})"})
        EXPECT_TRUE(!parse(text, list) && list == before) << text;
}

TEST(PadOverrideWrite, LeavesOutEntriesWithoutIdOrFields) {
    EXPECT_EQ(write({{.pad = "", .mask = PAD_GAIN}, {.pad = "snare"}}), "{}");
}

}  // namespace
}  // namespace kelvo
