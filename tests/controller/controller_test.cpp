// The controller as hosts see it: parameters, factory presets, MIDI
// mapping, the processor's messages, the host's identity and the states.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "controller_host.h"
#include "fixed_text.h"
#include "kelvo_controller_presets.h"
#include "kelvo_parameter.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

constexpr ParamID PROGRAM = KELVO_PROGRAM_LIST_ID;

std::string ascii(const TChar* text) {
    return asciiFromUtf16(text, 128);
}

TEST(ControllerParameters, PublishTheTableTheUnitAndTheProgramList) {
    ControllerHost host;
    ASSERT_EQ(host->getParameterCount(), int32(KELVO_PARAM_COUNT + 1));
    for (const kelvo_param_desc& desc : KELVO_PARAMS) {
        ParameterInfo info{};
        ASSERT_EQ(host->getParameterInfo(int32(desc.id), info), kResultOk);
        EXPECT_EQ(std::make_tuple(info.id, ascii(info.title), ascii(info.shortTitle),
                                  ascii(info.units), info.stepCount, info.defaultNormalizedValue,
                                  host->getParamNormalized(desc.id), info.flags),
                  std::make_tuple(desc.id, desc.name, desc.name, desc.units,
                                  desc.kind == KELVO_PARAM_KIND_LIST ? desc.valueCount - 1 : 0,
                                  desc.defaultNormalized, desc.defaultNormalized,
                                  int32(ParameterInfo::kCanAutomate)));
    }
    ParameterInfo program{};
    UnitInfo unit{};
    ProgramListInfo list{};
    ASSERT_TRUE(host->getParameterInfo(KELVO_PARAM_COUNT, program) == kResultOk &&
                host->getUnitInfo(0, unit) == kResultOk &&
                host->getProgramListInfo(0, list) == kResultOk);
    EXPECT_EQ(
        std::make_tuple(program.id, program.stepCount, program.flags, host->getUnitCount(),
                        ascii(unit.name), unit.parentUnitId, unit.programListId, ascii(list.name),
                        list.programCount),
        std::make_tuple(0x3F010001u, 5, ParameterInfo::kIsList | ParameterInfo::kIsProgramChange, 1,
                        "Root", kNoParentUnitId, int32(PROGRAM), "Factory Presets",
                        KELVO_FACTORY_PRESET_COUNT));
    // The SDK's own lookup throws here; a host must just get false.
    EXPECT_EQ(host->getUnitInfo(1, unit), kResultFalse);
}

TEST(ControllerParameters, TextsBothWays) {
    ControllerHost host;
    // The texts themselves are the parameter layer's; here, what the
    // controller adds: clamping, UTF-16 and the program list's own names.
    const std::tuple<ParamID, double, const char*> shown[] = {
        {0, 0.5, "75"}, {0, 1.7, "120"}, {16, 0.5, "Half Time"}};
    for (auto [id, normalized, text] : shown) {
        String128 out{};
        ASSERT_EQ(host->getParamStringByValue(id, normalized, out), kResultOk);
        EXPECT_EQ(ascii(out), text) << id << " " << normalized;
    }

    const std::tuple<ParamID, const char16_t*, double> typed[] = {
        // NAN: refused
        {0, u"  75Hz", 0.5},         {0, u"7\u00e95", 0.0},  // "7?5": 7, below the range
        {PROGRAM, u"Dry Room", 0.4}, {PROGRAM, u"dry room", NAN}, {PROGRAM, u"2", NAN},
    };
    for (auto [id, text, normalized] : typed) {
        ParamValue out = -7;
        const tresult result = host->getParamValueByString(id, const_cast<TChar*>(text), out);
        EXPECT_EQ(result, std::isnan(normalized) ? kResultFalse : kResultOk) << id;
        EXPECT_EQ(out, std::isnan(normalized) ? -7 : normalized) << id;
    }

    // A non-finite value from the host is refused and changes nothing.
    for (double bad : {NAN, INFINITY, -INFINITY})
        EXPECT_EQ(host->setParamNormalized(0, bad), kResultFalse);
    EXPECT_EQ(host->getParamNormalized(0), KELVO_PARAMS[0].defaultNormalized);
    EXPECT_TRUE(host.ui("kelvo.paramChanged").empty());
}

// Off the grid too: the name shown and the preset applied agree, each
// preset's kick tune tells the six apart, and each value goes to the host as
// one whole edit, in id order. Moving a value away from the preset and back
// makes it dirty and clean again.
TEST(FactoryPresets, AProgramChangeAppliesThePresetItShowsAsUserEdits) {
    // value, the preset's index and name, its kick tune
    const std::tuple<double, int, const char*, long> cases[] = {
        {0.0, 0, "Boom Kit", 41},      {0.29, 1, "Club Machine", 58}, {0.3, 2, "Dry Room", 55},
        {0.69, 3, "Lo-Fi Crunch", 47}, {0.7, 4, "Metal Shop", 62},    {1.0, 5, "Soft Brush", 44}};
    for (auto [value, index, name, kickTune] : cases) {
        ControllerHost host;
        String128 text{};
        host->getParamStringByValue(PROGRAM, value, text);
        ASSERT_EQ(host->setParamNormalized(PROGRAM, value), kResultOk);
        const kelvo_factory_preset& preset = KELVO_FACTORY_PRESETS[index];
        EXPECT_EQ(std::make_tuple(ascii(text), std::string(host->presetState().currentName),
                                  std::string(host->presetState().currentId),
                                  std::lround(paramToPlain(KELVO_PARAMS[0], preset.values[0])),
                                  host.sent("kelvo.diag.presetLoaded").size()),
                  std::make_tuple(name, name, std::string(preset.id), kickTune, 1u))
            << value;
        std::vector<Edit> edits;
        for (ParamID id = 0; id < KELVO_PARAM_COUNT; ++id) {
            EXPECT_EQ(host->getParamNormalized(id), preset.values[id]) << value << " " << id;
            edits.insert(
                edits.end(),
                {{Call::Begin, id, 0}, {Call::Perform, id, preset.values[id]}, {Call::End, id, 0}});
        }
        EXPECT_EQ(host.handler().edits, edits) << value;

        EXPECT_FALSE(host->presetDirty());
        host->setParamNormalized(3, 1 - preset.values[3]);
        EXPECT_TRUE(host->presetDirty());
        host->setParamNormalized(3, preset.values[3]);
        EXPECT_FALSE(host->presetDirty());
    }
}

TEST(MidiMapping, AnswersFromTheAdoptedMap) {
    ControllerHost host;
    ParamID id = 99;
    EXPECT_EQ(host->getMidiControllerAssignment(0, 0, 7, id), kResultFalse);  // no map

    CcMap map;
    const std::tuple<uint32_t, uint8_t, uint8_t, bool> bindings[] = {
        {5, 20, 0, false}, {PROGRAM, 20, 0, true}, {18, 20, 0, true},
        {3, 20, 3, true},  {1, 20, 0, true},       {2, 7, 0, true}};
    for (auto [paramId, cc, channel, enabled] : bindings)
        map.bindings[map.count++] = {
            .paramId = paramId, .cc = cc, .channel = channel, .enabled = enabled};
    host->adoptCcMap(map, false);
    EXPECT_EQ(host.sent("kelvo.ccMap").size(), 1u);

    // bus, channel, cc, and the parameter assigned (-1: none)
    const std::tuple<int32, int16, CtrlNumber, int> cases[] = {
        {0, 2, 20, 3},  {0, 0, 20, 1},   {0, 15, 20, 1}, {0, 15, 7, 2},
        {1, 2, 20, -1}, {0, 0, 128, -1}, {0, 0, 21, -1}, {0, 0, -1, -1}};
    for (auto [bus, channel, cc, expected] : cases) {
        id = 99;
        const tresult result = host->getMidiControllerAssignment(bus, channel, cc, id);
        EXPECT_EQ(std::make_pair(result, id),
                  std::make_pair(tresult(expected < 0 ? kResultFalse : kResultOk),
                                 expected < 0 ? 99u : ParamID(expected)))
            << bus << channel << cc;
    }
}

template <typename Record>
std::string bytesOf(const Record& record) {
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

TEST(ControllerMessages, ProcessorMessagesByIdAndSize) {
    NamedHostApplication application("VST3 Validator kelvo");
    ControllerHost host(&application);
    HostFacts facts;
    facts.sampleRate = 44100;
    copyFixedText(facts.hostName, "the processor's guess");
    HostFacts next = facts;  // changed a little more by each row below
    TransportFact transport, faster;
    transport.hasTempo = faster.hasTempo = 1, transport.tempo = 90, faster.tempo = 100;

    // id, payload, the lifecycle kind recorded (null: none)
    const std::tuple<const char*, std::string, const char*> cases[] = {
        {"kelvo.runtimeDiagnostics", std::string(65537, ' '), nullptr},
        {"kelvo.runtimeDiagnostics", "{}", "runtimeDiagnostic"},
        {"kelvo.diag.hostFacts", bytesOf(facts).substr(1), nullptr},
        {"kelvo.diag.hostFacts", bytesOf(facts), "sampleRateChanged"},
        {"kelvo.diag.hostFacts", (next.latencySamples = 64, bytesOf(next)), "latencyChanged"},
        {"kelvo.diag.hostFacts", (next.maxBlockFrames = 64, bytesOf(next)), "blockSizeChanged"},
        {"kelvo.diag.hostFacts", (next.addBus("o", false, 2, true, "x"), bytesOf(next)),
         "busLayoutChanged"},
        {"kelvo.diag.hostFacts", (next.processMode = 1, bytesOf(next)), "processModeChanged"},
        {"kelvo.diag.hostFacts", (next.bypassed = next.bypassKnown = 1, bytesOf(next)),
         "bypassChanged"},
        {"kelvo.diag.lifecycle", "activated", "activated"},
        {"kelvo.diag.lifecycle", "Activated", nullptr},
        {"kelvo.diag.lifecycle", std::string(64, 'a'), nullptr},
        {"kelvo.diag.transport", bytesOf(transport) + " ", nullptr},
        {"kelvo.diag.transport", bytesOf(transport), nullptr},
        {"kelvo.diag.transport", bytesOf(faster), "tempoChanged"},
        {"kelvo.diag.signal", "x", nullptr},
        {"kelvo.runtimeBankResult", "bank-missing\n", nullptr},
    };
    for (const auto& [id, payload, recorded] : cases) {
        const DiagnosticLifecycleLog& log = host->lifecycleLog();
        const uint32_t before = log.sequence();
        EXPECT_EQ(host->notify(jsonMessage(id, payload)), kResultOk) << id;
        ASSERT_EQ(log.sequence(), before + (recorded ? 1 : 0)) << id << " " << payload;
        EXPECT_STREQ(recorded ? diagnosticLifecycleKindName(log.at(log.count() - 1).kind) : nullptr,
                     recorded);
    }
    EXPECT_EQ(host.ui("kelvo.runtimeDiagnostics"),
              std::vector<std::string>{"{\"type\":\"kelvo.runtimeDiagnostics\",\"report\":{}}"});
    // The processor's facts, but the host's name as the controller's context
    // gives it, and the kind of the first name rule that matches.
    EXPECT_EQ(
        std::make_tuple(host->hostFacts().sampleRate, std::string(host->hostFacts().hostName),
                        host->hostFacts().validatorKind),
        std::make_tuple(44100.0, std::string("VST3 Validator kelvo"), HOST_VALIDATOR_STEINBERG));
    EXPECT_NE(host.ui("kelvo.bankState").at(0).find("\"code\":\"bank-missing\""),
              std::string::npos);

    EXPECT_EQ(host->notify(jsonMessage("kelvo.runtimeDiagnostics", std::nullopt)), kResultOk);
    EXPECT_EQ(host->notify(jsonMessage("kelvo.unknown", "{}")), kResultFalse);
    EXPECT_EQ(host->lastRuntimeReport(), "{}");
}

const CcMap MAP{1, {{.cc = 74}}};
const SamplerPadOverrides PADS{{.pad = "kick", .mask = PAD_GAIN, .gain = 0.5}};

template <typename Record>
std::string json(void (*write)(std::string&, const Record&), const Record& record) {
    std::string out;
    write(out, record);
    return out;
}

TEST(ControllerState, OwnDocument) {
    ControllerHost host;
    EXPECT_EQ(host.setState(""), kResultOk);
    EXPECT_EQ(host.setState("{\"ccMap\":"), kResultFalse);
    EXPECT_EQ(host->ccMap(), nullptr);

    const std::string sampler =
        "\"sampler\":{\"v\":1,\"pads\":" + json(writeSamplerPadOverridesJson, PADS) + "}";
    ASSERT_EQ(host.setState("{" + sampler + "}"), kResultOk);
    EXPECT_EQ(host.ui("kelvo.bankState").size(), 1u);

    host->adoptCcMap(MAP, false);
    host->setParamNormalized(PROGRAM, 0.6);
    EXPECT_EQ(host.getState(),
              "{\"ccMap\":" + json(writeCcMapJson, MAP) + "," + sampler + ",\"factoryPreset\":3}");
}

// Hosts may restore before they connect the two components: the map and
// the pads go to the processor once connected.
TEST(ControllerState, ComponentStateRestoresValuesMapPadsAndBankReference) {
    ControllerHost host(nullptr, false);
    double plain[KELVO_PARAM_COUNT];
    std::fill(std::begin(plain), std::end(plain), NAN);
    plain[0] = 75;
    plain[16] = 2;
    BankStateRefOut bank;
    std::tie(bank.id, bank.source, bank.locator, bank.sha256, bank.instrument, bank.presetId) =
        std::make_tuple("pack", "user-folder", "/banks/pack", "ab", "kit-a", "p1");
    const std::string document = writeStateJson(plain, -1, &MAP, 0, 0, &bank, &PADS, nullptr);

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
    EXPECT_EQ(
        std::make_tuple(host.ui("kelvo.paramChanged").size(), host.ui("kelvo.ccMapChanged").size(),
                        host.ui("kelvo.bankState").size(), host->presetState().lastStateBytes),
        std::make_tuple(2u, 1u, 1u, int64_t(document.size())));
    EXPECT_NE(host.ui("kelvo.bankState").at(0).find("\"reason\":\"restore\""), std::string::npos);
    EXPECT_TRUE(host.sent("kelvo.ccMap").empty());
    host.connect();
    EXPECT_EQ(host.sent("kelvo.ccMap"),
              (std::vector<RecordedMessage>{{"kelvo.ccMap", json(writeCcMapJson, MAP)}}));
    EXPECT_EQ(host.sent("kelvo.padOverrides"),
              (std::vector<RecordedMessage>{
                  {"kelvo.padOverrides", json(writeSamplerPadOverridesJson, PADS)}}));
    EXPECT_TRUE(host.sent("kelvo.loadRuntimeBank").empty());
    EXPECT_EQ(host.setComponentState(document.substr(0, document.size() - 1)), kResultFalse);
}

// Reopening a project, hosts re-send every value they saved (as 32-bit
// floats, perhaps) and the program change, before or after the others:
// that re-send applies no preset, whichever state restored it; the next
// program change does, and so does one after an edit the plug-in makes.
TEST(ControllerState, ReopeningKeepsTheTweaksWhateverTheHostResends) {
    ControllerHost host;
    const auto performed = [&] { return host.handler().performed().size(); };
    host->setParamNormalized(0, 0.123);
    ASSERT_EQ(host.setState("{\"factoryPreset\":3}"), kResultOk);
    host->setParamNormalized(0, static_cast<float>(0.123));
    host->setParamNormalized(PROGRAM, 0.6);
    ASSERT_EQ(host.setComponentState("{}"), kResultOk);  // the program stays 3
    host->setParamNormalized(PROGRAM, 0.6);
    EXPECT_EQ(performed(), 0u);
    host->applyFactoryPreset(3);
    host.handler().clear();
    host->setParamNormalized(PROGRAM, 0.6);
    EXPECT_EQ(performed(), KELVO_PARAM_COUNT);
}

// Hosts may initialize a controller again: it starts from scratch.
TEST(ControllerLifecycle, ASecondInitializeStartsFromScratch) {
    Vst::HostApplication application;  // outlives the controller
    ControllerHost host;
    host->setParamNormalized(PROGRAM, 1.0);
    host->selectUnit(3);
    host->terminate();
    ASSERT_EQ(host->initialize(&application), kResultOk);
    EXPECT_EQ(
        std::make_tuple(host.getState(), host->getSelectedUnit(), host->getParamNormalized(0)),
        std::make_tuple("{}", kRootUnitId, KELVO_PARAMS[0].defaultNormalized));
}

}  // namespace
}  // namespace kelvo::test
