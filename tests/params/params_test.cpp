#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <tuple>

#include "kelvo_params.h"

namespace kelvo {
namespace {

const kelvo_param_desc &kickTune = KELVO_PARAMS[0], &snareTune = KELVO_PARAMS[3],
                       &run = KELVO_PARAMS[14], &bank = KELVO_PARAMS[16];
// The table has no toggle or degenerate rows, but every rule must handle them.
const char* const ONLY[] = {"Only"};
const kelvo_param_desc TOGGLE = {0, "t", "", "", KELVO_PARAM_KIND_TOGGLE, 0, 1, 0, 0, 0, "", 0, {}};
const kelvo_param_desc ONE = {0, "o", "", "", KELVO_PARAM_KIND_LIST, 0, 0, 0, 0, 0, "", 1, ONLY};
const kelvo_param_desc BARE = {0, {}, {}, {}, KELVO_PARAM_KIND_LIST, 0, 3, 0, 0, 0, {}, 4, {}};
const uint32_t CONTINUOUS = KELVO_PARAM_KIND_CONTINUOUS;
const kelvo_param_desc STEP = {0, "s", "", "", CONTINUOUS, 0, 10, 2.5, 0, 0, "", 0, {}};
const kelvo_param_desc FLAT = {0, "f", "", "", CONTINUOUS, 5, 5, 0, 5, 0, "", 0, {}};

// The table as an independent listing: path, name, group, units, kind, min,
// max, default, list names.
TEST(ParamTable, MatchesIndependentListing) {
    std::ostringstream listing;
    for (uint32_t id = 0; id < KELVO_PARAM_COUNT; ++id) {
        const kelvo_param_desc* desc = paramDesc(id);
        ASSERT_TRUE(desc == &KELVO_PARAMS[id] && desc->id == id && desc->step == 0.0);
        listing << paramText(desc->path) << '|' << paramText(desc->name) << '|'
                << paramText(desc->group) << '|' << paramText(desc->units) << '|' << desc->kind
                << '|' << desc->min << '|' << desc->max << '|' << desc->defaultPlain;
        for (int32_t i = 0; i < desc->valueCount; ++i)
            listing << (i ? "," : "|") << paramText(desc->values[i]);
        listing << '\n';
        EXPECT_EQ(kelvo_param_normalize(desc, desc->defaultPlain), desc->defaultNormalized);
        EXPECT_TRUE(paramIndexForPath(desc->path) == int(id) && paramForPath(desc->path) == desc);
    }
    EXPECT_EQ(listing.str(), R"(kick.tune|Tune|Kick|Hz|0|30|120|52
kick.decay|Decay|Kick|s|0|0.05|1.2|0.42
kick.click|Click|Kick||0|0|1|0.35
snare.tune|Tune|Snare|Hz|0|120|400|190
snare.decay|Decay|Snare|s|0|0.05|0.6|0.19
snare.snap|Snap|Snare||0|0|1|0.55
tom.tune|Tune|Toms|Hz|0|60|260|110
tom.decay|Decay|Toms|s|0|0.1|1.2|0.42
hat.closedDecay|Closed|Hats|s|0|0.01|0.3|0.055
hat.openDecay|Open|Hats|s|0|0.1|1.5|0.42
hat.metal|Metal|Hats||0|0|1|0.6
cymbal.decay|Decay|Cymbal|s|0|0.2|4|1.6
clap.decay|Decay|Clap|s|0|0.05|0.8|0.24
kit.tone|Tone|Kit||0|0|1|0.5
pattern.on|Run|Pattern||1|0|1|0|stopped,running
pattern.tempo|Tempo|Pattern|BPM|0|60|200|96
pattern.bank|Pattern|Pattern||1|0|5|0|Four Floor,Backbeat,Broken,Half Time,Tom Roll,Cowbell Shuffle
master.level|Level|Master||0|0|1|0.8
)");
    EXPECT_EQ(paramDesc(KELVO_PARAM_COUNT), nullptr);
    for (const char* unknown : {"", "kick", "Kick.tune", "kick.tune "})
        EXPECT_TRUE(paramIndexForPath(unknown) == -1 && !paramForPath(unknown)) << unknown;
}

TEST(ParamConversion, BothDirections) {
    using Case = std::tuple<const kelvo_param_desc&, double, double>;
    const Case toPlain[] = {
        {kickTune, 0.5, 75}, {kickTune, -0.2, 30}, {kickTune, 1.7, 120}, {run, 0.49, 0},
        {run, 0.5, 1},       {bank, 0.5, 3},       {bank, 0.09, 0},      {bank, 1.7, 5},
        {TOGGLE, 0.49, 0},   {TOGGLE, 0.5, 1},     {ONE, 0.9, 0},        {STEP, 0.4, 5},
    };
    for (const auto& [desc, in, out] : toPlain)
        EXPECT_EQ(paramToPlain(desc, in), out) << in;
    EXPECT_EQ(paramToPlainUnstepped(STEP, 0.4), 4.0);

    const Case toNormalized[] = {
        {kickTune, 75, 0.5}, {kickTune, 10, 0}, {snareTune, 500, 1}, {bank, 2, 0.4},
        {bank, 2.5, 0.5},    {bank, -1, 0},     {ONE, 3, 0},         {TOGGLE, 0, 0},
        {TOGGLE, -0.2, 1},   {FLAT, 7, 0},      {STEP, 4, 0.4},
    };
    for (const auto& [desc, in, out] : toNormalized)
        EXPECT_EQ(kelvo_param_normalize(&desc, in), out) << in;
    EXPECT_EQ(kelvo_param_normalize(nullptr, 3), 0.0);
}

TEST(ParamText, DisplayAndParse) {
    const std::tuple<const kelvo_param_desc&, double, const char*> shown[] = {
        {kickTune, 0.25, "52.5"}, {bank, 0.5, "Half Time"}, {run, 0.49, "stopped"},
        {TOGGLE, 0.5, "on"},      {TOGGLE, 0.49, "off"},    {BARE, 0.7, "2"},
        {STEP, 0.4, "5"},         {bank, NAN, ""},
    };
    for (const auto& [desc, normalized, text] : shown)
        EXPECT_EQ(paramDisplayText(desc, normalized), text);

    // Whatever is displayed must be understood again: names exactly, numbers
    // as the very same plain value.
    for (const kelvo_param_desc& desc : KELVO_PARAMS)
        for (double n : {0.1, 1.0 / 3, 0.77, desc.defaultNormalized}) {
            std::string text = paramDisplayText(desc, n);
            double parsed = -1;
            ASSERT_TRUE(paramParseText(desc, text, &parsed)) << text;
            EXPECT_EQ(paramDisplayText(desc, parsed), text);
            if (desc.kind == KELVO_PARAM_KIND_LIST) continue;
            EXPECT_NEAR(parsed, n, 1e-12) << text;
        }

    // Only the first 255 characters count, and a host's text ends at a NUL.
    const std::string cut = std::string(252, ' ') + "120", cutSpace = std::string(253, ' ') + "120",
                      nul("Broken\0x", 8);
    // NAN: not understood.
    const std::tuple<const kelvo_param_desc&, std::string, double> typed[] = {
        {bank, "Broken", 0.4},   {bank, "broken", NAN}, {bank, "2", 0.4},
        {bank, "9", 1},          {snareTune, "500", 1}, {kickTune, "  75Hz", 0.5},
        {kickTune, "0x4B", 0.5}, {kickTune, "Hz", NAN}, {TOGGLE, "true", 1},
        {TOGGLE, "off", 0},      {TOGGLE, "On", NAN},   {TOGGLE, "0.0", 0},
        {TOGGLE, "-3", 1},       {ONE, "Only", 0},      {ONE, "4", 0},
        {BARE, "2", 2.0 / 3},    {kickTune, cut, 1},    {kickTune, cutSpace, 0},
        {bank, nul, 0.4},
    };
    for (const auto& [desc, text, normalized] : typed) {
        double out = -7;
        EXPECT_EQ(paramParseText(desc, text, &out), !std::isnan(normalized)) << text;
        EXPECT_EQ(out, std::isnan(normalized) ? -7 : normalized) << text;
    }

    // Preset indices round halves away from zero.
    const std::pair<double, int> cases[] = {{0.09, 0}, {0.1, 1}, {0.29, 1}, {0.3, 2}, {0.5, 3},
                                            {1, 5},    {1.5, 5}, {-0.2, 0}, {NAN, 0}};
    for (auto [normalized, index] : cases)
        EXPECT_EQ(presetIndexForNormalized(normalized), index) << normalized;
}

}  // namespace
}  // namespace kelvo
