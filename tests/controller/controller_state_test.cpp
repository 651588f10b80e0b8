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

const CcMap MAP = [] {
    CcMap map;
    map.count = 1;
    map.bindings[0].cc = 74;
    return map;
}();

const SamplerPadOverrides PADS = [] {
    SamplerPadOverride pad;
    pad.pad = "kick";
    pad.mask = PAD_GAIN;
    pad.gain = 0.5;
    return SamplerPadOverrides{pad};
}();

template <typename Record>
std::string json(void (*write)(std::string&, const Record&), const Record& record) {
    std::string out;
    write(out, record);
    return out;
}

TEST(ControllerState, OwnDocument) {
    ControllerHost host;
    EXPECT_EQ(host.getState(), "{}");
    EXPECT_EQ(host.setState(""), kResultOk);
    EXPECT_EQ(host.setState("{\"ccMap\":"), kResultFalse);
    EXPECT_EQ(host->ccMap(), nullptr);

    const std::string sampler =
        "\"sampler\":{\"v\":1,\"pads\":" + json(writeSamplerPadOverridesJson, PADS) + "}";
    ASSERT_EQ(host.setState("{" + sampler + "}"), kResultOk);
    EXPECT_EQ(host.getState(), "{" + sampler + "}");
    EXPECT_EQ(host.ui("kelvo.bankState").size(), 1u);

    host->adoptCcMap(MAP, false);
    host->setParamNormalized(PROGRAM, 0.6);
    EXPECT_EQ(host.getState(),
              "{\"ccMap\":" + json(writeCcMapJson, MAP) + "," + sampler + ",\"factoryPreset\":3}");
}

TEST(ControllerState, ComponentStateRestoresValuesMapPadsAndBankReference) {
    ControllerHost host;
    double plain[KELVO_PARAM_COUNT];
    std::fill(std::begin(plain), std::end(plain), NAN);
    plain[0] = 75;
    plain[16] = 2;
    BankStateRefOut bank;
    std::tie(bank.id, bank.source, bank.locator, bank.sha256, bank.instrument, bank.presetId) =
        std::make_tuple("pack", "user-folder", "/banks/pack", "ab", "kit-a", "p1");
    const std::string document = componentDocument(plain, &MAP, &PADS, &bank);

    ASSERT_EQ(host.setComponentState(document), kResultOk);
    EXPECT_EQ(std::make_tuple(host->getParamNormalized(0), host->getParamNormalized(16),
                              host->getParamNormalized(1)),
              std::make_tuple(0.5, 0.4, KELVO_PARAMS[1].defaultNormalized));
    ASSERT_NE(host->ccMap(), nullptr);
    EXPECT_EQ(*host->ccMap(), MAP);
    const BankControl& b = host->bankControl();
    EXPECT_EQ(b.padOverrides(), PADS);
    EXPECT_EQ(std::tie(b.source(), b.locator(), b.sha256(), b.requestedInstrument(),
                       b.selectedPresetId()),
              std::make_tuple("user-folder", "/banks/pack", "ab", "kit-a", "p1"));
    EXPECT_EQ(std::make_tuple(
                  host.ui("kelvo.paramChanged").size(), host.ui("kelvo.ccMapChanged").size(),
                  host.ui("kelvo.bankState").size(), host.sent("kelvo.loadRuntimeBank").size(),
                  host->presetState().lastStateBytes),
              std::make_tuple(2u, 1u, 1u, 0u, int64_t(document.size())));
    EXPECT_NE(host.ui("kelvo.bankState").at(0).find("\"reason\":\"restore\""), std::string::npos);

    host.clearRecords();
    EXPECT_EQ(host.setComponentState(document.substr(0, document.size() - 1)), kResultFalse);
    EXPECT_TRUE(host.ui("kelvo.paramChanged").empty());
}

// Reopening a project, hosts re-send every value they saved (as 32-bit
// floats, perhaps) and the program change, before or after the others:
// that re-send applies no preset, the next program change does, and so does
// one after an edit the plug-in makes itself.
TEST(ControllerState, ReopeningKeepsTheTweaksWhateverTheHostResends) {
    // the restored document (a controller state naming preset 3, or only a
    // processor state), the program value re-sent, the program sent first
    const std::tuple<bool, double, bool> cases[] = {
        {true, 0.6, true}, {true, 0.6, false}, {false, 0.0, true}, {false, 0.0, false}};
    for (auto [controllerState, program, programFirst] : cases) {
        SCOPED_TRACE(testing::Message() << controllerState << program << programFirst);
        ControllerHost host;
        host->setParamNormalized(0, 0.123);
        ASSERT_EQ(
            controllerState ? host.setState("{\"factoryPreset\":3}") : host.setComponentState("{}"),
            kResultOk);
        const auto resendProgram = [&] { host->setParamNormalized(PROGRAM, program); };
        if (programFirst) resendProgram();
        host->setParamNormalized(0, static_cast<float>(0.123));
        if (!programFirst) resendProgram();
        EXPECT_TRUE(host.handler().performed().empty());
        resendProgram();
        EXPECT_EQ(host.handler().performed().size(), KELVO_PARAM_COUNT);
    }
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
    ASSERT_EQ(host.setComponentState(componentDocument(plain, &MAP, &PADS)), kResultOk);
    EXPECT_TRUE(host.sent("kelvo.ccMap").empty());
    host.connect();
    EXPECT_EQ(host.sent("kelvo.ccMap"),
              (std::vector<RecordedMessage>{{"kelvo.ccMap", json(writeCcMapJson, MAP)}}));
    EXPECT_EQ(host.sent("kelvo.padOverrides"),
              (std::vector<RecordedMessage>{
                  {"kelvo.padOverrides", json(writeSamplerPadOverridesJson, PADS)}}));
}

TEST(ControllerLifecycle, ASecondInitializeStartsFromScratch) {
    Vst::HostApplication application;  // outlives the controllers
    ControllerHost fresh;
    ControllerHost host;
    double plain[KELVO_PARAM_COUNT] = {};
    host.setComponentState(componentDocument(plain, &MAP, &PADS));
    host->setParamNormalized(PROGRAM, 1.0);
    host->selectUnit(3);
    HostFacts facts;
    facts.sampleRate = 48000;
    host->adoptHostFacts(facts);
    host->notify(jsonMessage("kelvo.runtimeDiagnostics", "{}"));

    host->terminate();
    ASSERT_EQ(host->initialize(&application), kResultOk);
    EXPECT_EQ(std::make_tuple(host.getState(), host->getSelectedUnit(),
                              host->lifecycleLog().sequence(), host->presetDirty(),
                              host->lastRuntimeReport(), host->getComponentHandler()),
              std::make_tuple("{}", kRootUnitId, 1u, false, "", nullptr));
    EXPECT_EQ(std::memcmp(&host->hostFacts(), &fresh->hostFacts(), sizeof(HostFacts)), 0);
    EXPECT_EQ(json(writeDiagnosticPresetStateJson, host->presetState()),
              json(writeDiagnosticPresetStateJson, fresh->presetState()));
    for (ParamID id = 0; id <= KELVO_PARAM_COUNT; ++id)
        EXPECT_EQ(host->getParamNormalized(id), fresh->getParamNormalized(id)) << id;
    // The page's sink went with the session.
    host.clearRecords();
    host->notify(jsonMessage("kelvo.runtimeDiagnostics", "{}"));
    EXPECT_TRUE(host.ui("kelvo.runtimeDiagnostics").empty());
}

}  // namespace
}  // namespace kelvo::test
