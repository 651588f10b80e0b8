#include <gtest/gtest.h>

#include <string>

#include "controller_host.h"
#include "kelvo_controller_presets.h"
#include "kelvo_parameter.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using EditCall = ComponentHandlerRecorder::EditCall;

constexpr ParamID PROGRAM = KELVO_PROGRAM_LIST_ID;

std::string programText(KelvoController& controller, double value) {
    String128 text{};
    controller.getParamStringByValue(PROGRAM, value, text);
    return asciiFromUtf16(text, 128);
}

TEST(FactoryPresets, AProgramChangeAppliesThePresetItShows) {
    // Off the grid too: the name shown and the preset applied agree.
    const std::pair<double, int> cases[] = {{0.5, 3}, {1.0, 5},  {0.1, 1},  {0.29, 1},
                                            {0.3, 2}, {0.69, 3}, {0.95, 5}, {0.0, 0}};
    for (auto [value, index] : cases) {
        ControllerHost host;
        KelvoController& controller = host.controller();
        const kelvo_factory_preset& preset = KELVO_FACTORY_PRESETS[index];
        EXPECT_EQ(programText(controller, value), preset.name) << value;
        ASSERT_EQ(controller.setParamNormalized(PROGRAM, value), kResultOk);
        EXPECT_STREQ(controller.presetState().currentName, preset.name) << value;
        EXPECT_STREQ(controller.presetState().currentId, preset.id) << value;
        for (ParamID id = 0; id < KELVO_PARAM_COUNT; ++id)
            EXPECT_EQ(controller.getParamNormalized(id), preset.values[id]) << value;
    }
}

TEST(FactoryPresets, ApplyAsUserEditsAndTrackDirtiness) {
    ControllerHost host;
    KelvoController& controller = host.controller();
    controller.setParamNormalized(PROGRAM, 0.4);  // "Dry Room"
    EXPECT_EQ(paramToPlain(KELVO_PARAMS[0], controller.getParamNormalized(0)), 55);
    EXPECT_EQ(paramToPlain(KELVO_PARAMS[15], controller.getParamNormalized(15)), 96);

    // Each value as one whole edit, in id order.
    const auto& edits = host.handler().edits;
    ASSERT_EQ(edits.size(), 3 * KELVO_PARAM_COUNT);
    for (size_t i = 0; i < edits.size(); ++i) {
        EXPECT_EQ(edits[i].call, EditCall(i % 3)) << i;
        EXPECT_EQ(edits[i].id, i / 3) << i;
    }
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
    auto bind = [&map](uint32_t paramId, uint8_t cc, uint8_t channel, bool enabled = true) {
        CcBinding& binding = map.bindings[map.count++];
        binding.paramId = paramId;
        binding.cc = cc;
        binding.channel = channel;
        binding.enabled = enabled;
    };
    bind(5, 20, 0, false);
    bind(PROGRAM, 20, 0);
    bind(18, 20, 0);
    bind(3, 20, 3);
    bind(1, 20, 0);
    bind(2, 7, 0);
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
