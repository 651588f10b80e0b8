#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <tuple>

#include "controller_host.h"
#include "kelvo_controller_presets.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

constexpr ParamID PROGRAM = KELVO_PROGRAM_LIST_ID;

CcMap oneBinding() {
    CcMap map;
    map.count = 1;
    map.bindings[0].paramId = 0;
    map.bindings[0].cc = 74;
    return map;
}

SamplerPadOverrides onePad() {
    SamplerPadOverride pad;
    pad.pad = "kick";
    pad.mask = PAD_GAIN;
    pad.gain = 0.5;
    return {pad};
}

std::string padsJson(const SamplerPadOverrides& pads) {
    std::string out;
    writeSamplerPadOverridesJson(out, pads);
    return out;
}

TEST(ControllerState, OwnDocument) {
    ControllerHost host;
    EXPECT_EQ(host.getState(), "{}");
    EXPECT_EQ(host.setState(""), kResultOk);
    EXPECT_EQ(host.setState("{\"ccMap\":"), kResultFalse);
    EXPECT_EQ(host->ccMap(), nullptr);

    const std::string pads = padsJson(onePad());
    const std::string padsOnly = "{\"sampler\":{\"v\":1,\"pads\":" + pads + "}}";
    ASSERT_EQ(host.setState(padsOnly), kResultOk);
    EXPECT_EQ(host.getState(), padsOnly);
    EXPECT_EQ(host.ui("kelvo.bankState").size(), 1u);

    host->adoptCcMap(oneBinding(), false);
    host->setParamNormalized(PROGRAM, 0.6);
    std::string map;
    writeCcMapJson(map, oneBinding());
    EXPECT_EQ(host.getState(), "{\"ccMap\":" + map + ",\"sampler\":{\"v\":1,\"pads\":" + pads +
                                   "},\"factoryPreset\":3}");
}

TEST(ControllerState, ComponentStateRestoresValuesMapPadsAndBankReference) {
    ControllerHost host;
    double plain[KELVO_PARAM_COUNT];
    std::fill(std::begin(plain), std::end(plain), NAN);
    plain[0] = 75;
    plain[16] = 2;
    const CcMap map = oneBinding();
    const SamplerPadOverrides pads = onePad();
    BankStateRefOut bank;
    bank.id = "pack";
    bank.source = "user-folder";
    bank.locator = "/banks/pack";
    bank.sha256 = "ab";
    bank.instrument = "kit-a";
    bank.presetId = "p1";
    const std::string document = componentDocument(plain, &map, &pads, &bank);

    ASSERT_EQ(host.setComponentState(document), kResultOk);
    EXPECT_EQ(host->getParamNormalized(0), 0.5);
    EXPECT_EQ(host->getParamNormalized(16), 0.4);
    EXPECT_EQ(host->getParamNormalized(1), KELVO_PARAMS[1].defaultNormalized);
    EXPECT_EQ(host.ui("kelvo.paramChanged").size(), 2u);
    ASSERT_NE(host->ccMap(), nullptr);
    EXPECT_EQ(*host->ccMap(), map);
    EXPECT_EQ(host.ui("kelvo.ccMapChanged").size(), 1u);
    const BankControl& b = host->bankControl();
    EXPECT_EQ(b.padOverrides(), pads);
    EXPECT_EQ(std::tie(b.source(), b.locator(), b.sha256(), b.requestedInstrument(),
                       b.selectedPresetId()),
              std::make_tuple("user-folder", "/banks/pack", "ab", "kit-a", "p1"));
    ASSERT_EQ(host.ui("kelvo.bankState").size(), 1u);
    EXPECT_NE(host.ui("kelvo.bankState")[0].find("\"reason\":\"restore\""), std::string::npos);
    EXPECT_EQ(host->presetState().lastStateBytes, int64_t(document.size()));
    EXPECT_TRUE(host.sent("kelvo.loadRuntimeBank").empty());

    host.clearRecords();
    EXPECT_EQ(host.setComponentState(document.substr(0, document.size() - 1)), kResultFalse);
    EXPECT_EQ(host->getParamNormalized(0), 0.5);
    EXPECT_TRUE(host.ui("kelvo.paramChanged").empty());
}

// A project saved after a preset (or none) and later tweaks, reopened by a
// host that re-sends every value it saved, the program change included.
TEST(ControllerState, ReopeningKeepsTheTweaksWhateverTheHostResends) {
    struct Case {
        double program;  // < 0: no preset was ever chosen
        bool controllerState;
        bool programFirst;
    };
    const Case cases[] = {{0.6, true, true}, {0.6, true, false}, {0.0, true, false},
                          {-1, false, true}, {-1, false, false}, {-1, true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.program << c.controllerState << c.programFirst);
        ControllerHost saved;
        if (c.program >= 0) saved->setParamNormalized(PROGRAM, c.program);
        saved->setParamNormalized(0, 0.123);
        saved->setParamNormalized(9, 0.877);
        double plain[KELVO_PARAM_COUNT];
        ParamValue values[KELVO_PARAM_COUNT + 1];
        for (ParamID id = 0; id < KELVO_PARAM_COUNT; ++id) {
            values[id] = saved->getParamNormalized(id);
            plain[id] = paramToPlainUnstepped(KELVO_PARAMS[id], values[id]);
        }
        values[KELVO_PARAM_COUNT] = saved->getParamNormalized(PROGRAM);

        ControllerHost reopened;
        ASSERT_EQ(reopened.setComponentState(componentDocument(plain)), kResultOk);
        if (c.controllerState) {
            ASSERT_EQ(reopened.setState(saved.getState()), kResultOk);
        }
        if (c.programFirst) reopened->setParamNormalized(PROGRAM, values[KELVO_PARAM_COUNT]);
        for (ParamID id = 0; id < KELVO_PARAM_COUNT; ++id)
            reopened->setParamNormalized(id, values[id]);
        if (!c.programFirst) reopened->setParamNormalized(PROGRAM, values[KELVO_PARAM_COUNT]);

        EXPECT_TRUE(reopened.handler().performed().empty());
        for (ParamID id = 0; id < KELVO_PARAM_COUNT; ++id)
            EXPECT_EQ(reopened->getParamNormalized(id), values[id]) << id;
        // The re-send is over: the user's next choice applies.
        reopened->setParamNormalized(PROGRAM, values[KELVO_PARAM_COUNT]);
        EXPECT_EQ(reopened.handler().performed().size(), KELVO_PARAM_COUNT);
    }

    // So does any edit the plug-in makes itself.
    ControllerHost host;
    ASSERT_EQ(host.setComponentState("{}"), kResultOk);
    host->applyFactoryPreset(3);
    host.handler().clear();
    host->setParamNormalized(PROGRAM, 0.0);
    EXPECT_EQ(host.handler().performed().size(), KELVO_PARAM_COUNT);
}

TEST(ControllerState, ConnectingSendsWhatWasRestoredBefore) {
    ControllerHost host(nullptr, false);
    double plain[KELVO_PARAM_COUNT];
    std::fill(std::begin(plain), std::end(plain), NAN);
    const CcMap map = oneBinding();
    const SamplerPadOverrides pads = onePad();
    ASSERT_EQ(host.setComponentState(componentDocument(plain, &map, &pads)), kResultOk);
    EXPECT_TRUE(host.sent("kelvo.ccMap").empty());

    host.connect();
    std::string mapJson;
    writeCcMapJson(mapJson, map);
    ASSERT_EQ(host.sent("kelvo.ccMap").size(), 1u);
    EXPECT_EQ(host.sent("kelvo.ccMap")[0].json, mapJson);
    ASSERT_EQ(host.sent("kelvo.padOverrides").size(), 1u);
    EXPECT_EQ(host.sent("kelvo.padOverrides")[0].json, padsJson(pads));
}

TEST(ControllerLifecycle, ASecondInitializeStartsFromScratch) {
    Vst::HostApplication application;  // outlives the controllers
    ControllerHost fresh;
    ControllerHost host;
    KelvoController& controller = host.controller();
    double plain[KELVO_PARAM_COUNT];
    std::fill(std::begin(plain), std::end(plain), 0.0);
    const CcMap map = oneBinding();
    const SamplerPadOverrides pads = onePad();
    host.setComponentState(componentDocument(plain, &map, &pads));
    controller.setParamNormalized(PROGRAM, 1.0);
    controller.selectUnit(3);
    HostFacts facts;
    facts.sampleRate = 48000;
    controller.adoptHostFacts(facts);
    controller.notify(jsonMessage("kelvo.runtimeDiagnostics", "{}"));

    controller.terminate();
    ASSERT_EQ(controller.initialize(&application), kResultOk);
    EXPECT_EQ(host.getState(), "{}");
    EXPECT_EQ(controller.getSelectedUnit(), kRootUnitId);
    EXPECT_EQ(controller.lifecycleLog().sequence(), 1u);
    EXPECT_EQ(std::memcmp(&controller.hostFacts(), &fresh->hostFacts(), sizeof(HostFacts)), 0);
    std::string preset, freshPreset;
    writeDiagnosticPresetStateJson(preset, controller.presetState());
    writeDiagnosticPresetStateJson(freshPreset, fresh->presetState());
    EXPECT_EQ(preset, freshPreset);
    EXPECT_FALSE(controller.presetDirty());
    EXPECT_TRUE(controller.lastRuntimeReport().empty());
    EXPECT_EQ(controller.getComponentHandler(), nullptr);
    EXPECT_EQ(controller.getParameterCount(), fresh->getParameterCount());
    for (ParamID id = 0; id < KELVO_PARAM_COUNT; ++id)
        EXPECT_EQ(controller.getParamNormalized(id), KELVO_PARAMS[id].defaultNormalized);
    // The page's sink went with the session.
    host.clearRecords();
    controller.notify(jsonMessage("kelvo.runtimeDiagnostics", "{}"));
    EXPECT_TRUE(host.ui("kelvo.runtimeDiagnostics").empty());
}

}  // namespace
}  // namespace kelvo::test
