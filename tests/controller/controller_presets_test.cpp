#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "controller_host.h"
#include "kelvo_controller_presets.h"
#include "kelvo_parameter.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using Call = ComponentHandlerRecorder::EditCall;

constexpr ParamID PROGRAM = KELVO_PROGRAM_LIST_ID;

// Off the grid too: the name shown and the preset applied agree, and each
// preset's kick tune tells the six apart.
TEST(FactoryPresets, AProgramChangeAppliesThePresetItShows) {
    const struct {
        double value;
        const char* name;
        double kickTune, cymbalDecay;
    } cases[] = {{0.0, "Boom Kit", 41, 2.4},      {0.1, "Club Machine", 58, 1.4},
                 {0.29, "Club Machine", 58, 1.4}, {0.3, "Dry Room", 55, 0.7},
                 {0.5, "Lo-Fi Crunch", 47, 1.1},  {0.69, "Lo-Fi Crunch", 47, 1.1},
                 {0.7, "Metal Shop", 62, 4.0},    {0.95, "Soft Brush", 44, 2.1},
                 {1.0, "Soft Brush", 44, 2.1}};
    for (const auto& c : cases) {
        ControllerHost host;
        KelvoController& controller = host.controller();
        String128 text{};
        controller.getParamStringByValue(PROGRAM, c.value, text);
        EXPECT_EQ(asciiFromUtf16(text, 128), c.name) << c.value;
        ASSERT_EQ(controller.setParamNormalized(PROGRAM, c.value), kResultOk);
        EXPECT_STREQ(controller.presetState().currentName, c.name) << c.value;
        const auto plain = [&](ParamID id) {
            return paramToPlain(KELVO_PARAMS[id], controller.getParamNormalized(id));
        };
        EXPECT_NEAR(plain(0), c.kickTune, 1e-9) << c.value;
        EXPECT_NEAR(plain(11), c.cymbalDecay, 1e-9) << c.value;
        EXPECT_EQ(plain(15), 96) << c.value;  // every preset's tempo
        // The rest of the row is applied as the table holds it.
        const kelvo_factory_preset& preset = *std::find_if(
            std::begin(KELVO_FACTORY_PRESETS), std::end(KELVO_FACTORY_PRESETS),
            [&](const kelvo_factory_preset& p) { return std::string(p.name) == c.name; });
        EXPECT_STREQ(controller.presetState().currentId, preset.id) << c.value;
        for (ParamID id = 0; id < KELVO_PARAM_COUNT; ++id)
            EXPECT_EQ(controller.getParamNormalized(id), preset.values[id]) << c.value << " " << id;
    }
}

TEST(FactoryPresets, ApplyAsUserEditsAndTrackDirtiness) {
    ControllerHost host;
    KelvoController& controller = host.controller();
    controller.setParamNormalized(PROGRAM, 0.4);  // "Dry Room"

    // Each value as one whole edit, in id order.
    const auto& edits = host.handler().edits;
    ASSERT_EQ(edits.size(), 3 * KELVO_PARAM_COUNT);
    for (size_t i = 0; i < edits.size(); ++i)
        EXPECT_EQ(std::make_pair(edits[i].call, edits[i].id),
                  std::make_pair(Call(i % 3), ParamID(i / 3)));
    EXPECT_EQ(host.handler().restarts, std::vector<int32>{kParamValuesChanged});
    ASSERT_EQ(host.sent("kelvo.diag.presetLoaded").size(), 1u);
    EXPECT_EQ(host.sent("kelvo.diag.presetLoaded")[0].json, "");
    EXPECT_EQ(host.ui("kelvo.paramChanged").size(), KELVO_PARAM_COUNT);

    EXPECT_FALSE(controller.presetDirty());
    const ParamValue original = controller.getParamNormalized(3);
    controller.setParamNormalized(3, 0.9);
    EXPECT_TRUE(controller.presetDirty());
    controller.setParamNormalized(3, original);
    EXPECT_FALSE(controller.presetDirty());
}

TEST(MidiMapping, AnswersFromTheAdoptedMap) {
    ControllerHost host;
    KelvoController& controller = host.controller();
    ParamID id = 99;
    EXPECT_EQ(controller.getMidiControllerAssignment(0, 0, 7, id), kResultFalse);  // no map

    CcMap map;
    const std::tuple<uint32_t, uint8_t, uint8_t, bool> bindings[] = {
        {5, 20, 0, false}, {PROGRAM, 20, 0, true}, {18, 20, 0, true},
        {3, 20, 3, true},  {1, 20, 0, true},       {2, 7, 0, true}};
    for (auto [paramId, cc, channel, enabled] : bindings)
        map.bindings[map.count++] = {
            .paramId = paramId, .cc = cc, .channel = channel, .enabled = enabled};
    controller.adoptCcMap(map, false);
    EXPECT_EQ(host.handler().restarts, std::vector<int32>{kMidiCCAssignmentChanged});
    ASSERT_EQ(host.sent("kelvo.ccMap").size(), 1u);

    struct Case {
        int32 bus;
        int16 channel;
        CtrlNumber cc;
        int expected;  // -1: no assignment
    };
    const Case cases[] = {
        {0, 2, 20, 3},  {0, 0, 20, 1},   {0, 15, 20, 1}, {0, 15, 7, 2},
        {1, 2, 20, -1}, {0, 0, 128, -1}, {0, 0, 21, -1}, {0, 0, -1, -1},
    };
    for (const Case& c : cases) {
        id = 99;
        const tresult result = controller.getMidiControllerAssignment(c.bus, c.channel, c.cc, id);
        EXPECT_EQ(result, c.expected < 0 ? kResultFalse : kResultOk) << c.bus << c.channel << c.cc;
        EXPECT_EQ(id, c.expected < 0 ? 99u : ParamID(c.expected)) << c.bus << c.channel << c.cc;
    }
}

}  // namespace
}  // namespace kelvo::test
