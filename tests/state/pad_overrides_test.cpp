#include <gtest/gtest.h>

#include <string>

#include "json_writer.h"
#include "sampler_pad_overrides.h"

namespace kelvo {
namespace {

bool parse(const std::string& text, SamplerPadOverrides& list) {
    return parseSamplerPadOverridesJson(text.data(), text.size(), list);
}

std::string write(const SamplerPadOverrides& list) {
    std::string out;
    writeSamplerPadOverridesJson(out, list);
    return out;
}

// The entry a one-member map yields for `"key":value`, if any.
bool readOne(const std::string& key, const std::string& value, SamplerPadOverride* entry) {
    SamplerPadOverrides list;
    EXPECT_TRUE(parse(R"({"pad":{")" + key + "\":" + value + "}}", list)) << key << value;
    if (list.empty()) return false;
    *entry = list[0];
    return true;
}

TEST(PadOverrideRead, FieldRangesAndRules) {
    struct Case {
        const char* key;
        double lowest, highest;              // accepted ends
        const char *below, *above, *broken;  // rejected: outside, or failing the extra rule
    };
    const Case cases[] = {
        {"transpose", -24, 24, "-24.5", "25", "2.5"},
        {"fineTune", -100, 100, "-100.01", "100.01", "nan"},
        {"gain", 0, 4, "-1e-9", "4.0000001", "inf"},
        {"pan", -1, 1, "-1.1", "1.1", "true"},
        {"start", 0, 1, "-0.1", "1.1", "\"0.5\""},
        {"end", 0, 1, "-0.1", "1.1", "null"},
        {"attack", 0, 2, "-0.1", "2.1", "[1]"},
        {"release", 0.001, 4, "0.0009", "4.1", "{}"},
        {"filterHz", 20, 20000, "19.9", "20000.1", "-inf"},
        {"resonance", 0.1, 18, "0.09", "18.1", "false"},
        {"reverse", 0, 1, "-1", "2", "0.5"},
        {"muted", 0, 1, "-1", "2", "0.5"},
        {"chokeGroup", 0, 8, "-1", "9", "1.5"},
        {"roundRobinGroup", 0, 8, "-1", "9", "7.99"},
        {"velocitySensitivity", 0, 1, "-0.5", "1.5", "1e999"},
    };
    ASSERT_EQ(std::size(cases), SAMPLER_PAD_FIELD_COUNT);
    for (size_t field = 0; field < SAMPLER_PAD_FIELD_COUNT; ++field) {
        const Case& c = cases[field];
        SCOPED_TRACE(c.key);
        ASSERT_STREQ(samplerPadFieldKey(field), c.key);
        for (double value : {c.lowest, c.highest}) {
            std::string text;
            jsonAppendNumber(text, value);
            SamplerPadOverride entry;
            ASSERT_TRUE(readOne(c.key, text, &entry)) << text;
            EXPECT_EQ(entry.mask, 1u << field);
            EXPECT_EQ(samplerPadFieldValue(entry, field), value);
            SamplerPadOverride defaults;
            entry.mask = 0;
            // Only the named field differs from its default.
            for (size_t other = 0; other < SAMPLER_PAD_FIELD_COUNT; ++other)
                if (other != field) {
                    EXPECT_EQ(samplerPadFieldValue(entry, other),
                              samplerPadFieldValue(defaults, other));
                }
        }
        for (const char* rejected : {c.below, c.above, c.broken}) {
            SamplerPadOverride entry;
            EXPECT_FALSE(readOne(c.key, rejected, &entry)) << rejected;
        }
    }
}

TEST(PadOverrideRead, MapRules) {
    using namespace std::string_literals;
    struct Case {
        std::string text;
        const char* rewritten;  // what the list read reads back as
    };
    const std::string id160(160, 'p'), id161(161, 'p');
    const std::string long160 = "{\"" + id160 + R"(":{"gain":2}})";
    const std::string long161 = "{\"" + id161 + R"(":{"gain":2}})";
    const Case cases[] = {
        {"{}", "{}"},
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
        {long160.c_str(), long160.c_str()},
        {long161.c_str(), "{}"},
        // A NUL byte would cut the id to another pad's, a control byte would
        // break the page's JSON: such entries are dropped.
        {R"({"a":{"gain":2},"a)"s + '\0' + R"(x":{"gain":3},")" + '\0' +
             R"(":{"gain":1},"b\n":{"gain":1},"c)" + '\x01' + R"(":{"gain":1}})",
         R"({"a":{"gain":2}})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SamplerPadOverrides list;
        ASSERT_TRUE(parse(c.text, list));
        EXPECT_EQ(write(list), c.rewritten);
    }
}

TEST(PadOverrideRead, TwoHundredFiftySevenMembersEmptyTheList) {
    for (int members : {256, 257}) {
        std::string text = "{";
        for (int i = 0; i < members; ++i)
            text += (i ? ",\"" : "\"") + std::to_string(i) + R"(":{"gain":1})";
        text += "}";
        SamplerPadOverrides list;
        ASSERT_TRUE(parse(text, list));
        EXPECT_EQ(list.size(), members == 256 ? 256u : 0u);
    }
    // Members that are not overrides count as well.
    std::string text = R"({"a":{"gain":1})";
    for (int i = 0; i < 256; ++i)
        text += ",\"x\":0";
    SamplerPadOverrides list;
    ASSERT_TRUE(parse(text + "}", list));
    EXPECT_TRUE(list.empty());
}

TEST(PadOverrideRead, FailureLeavesListAsItWas) {
    SamplerPadOverrides list;
    ASSERT_TRUE(parse(R"({"kick":{"gain":0.5}})", list));
    const std::string before = write(list);
    for (const char* text : {"[]", R"({"a":{"gain":1},})", R"({"a":{"gain":1})"}) {
        EXPECT_FALSE(parse(text, list)) << text;
        EXPECT_EQ(write(list), before);
    }
}

TEST(PadOverrideWrite, ExactTextAndRoundTrip) {
    SamplerPadOverrides list(4);
    list[0].pad = "kick";
    list[0].mask = PAD_GAIN | PAD_TRANSPOSE | PAD_VELOCITY_SENSITIVITY;
    list[0].transpose = -12;
    list[0].gain = 0.1;
    list[0].velocitySensitivity = 1.0 / 3.0;
    list[1].pad = "";  // left out
    list[1].mask = PAD_GAIN;
    list[2].pad = "snare";  // no flag set: left out
    list[3].pad = "hat \"open\"";
    list[3].mask = (1u << SAMPLER_PAD_FIELD_COUNT) - 1;
    list[3].filterHz = 1234.5678;
    list[3].reverse = 1;
    EXPECT_EQ(write({list[1], list[2]}), "{}");
    EXPECT_EQ(write({list[0]}),
              R"({"kick":{"transpose":-12,"gain":0.1,"velocitySensitivity":0.3333333333333333}})");
    const std::string text = write(list);
    SamplerPadOverrides back;
    ASSERT_TRUE(parse(text, back));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0], list[0]);
    EXPECT_EQ(back[1], list[3]);
}

}  // namespace
}  // namespace kelvo
