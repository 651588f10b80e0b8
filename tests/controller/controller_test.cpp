// The controller as hosts see it: parameters, factory presets, MIDI
// mapping, the processor's messages, the host's identity and run loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>

#include "controller_host.h"
#include "fixed_text.h"
#include "kelvo_controller_presets.h"
#include "kelvo_parameter.h"
#include "pluginterfaces/gui/iplugview.h"

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
    KelvoController& controller = host.controller();
    ASSERT_EQ(controller.getParameterCount(), int32(KELVO_PARAM_COUNT + 1));
    for (const kelvo_param_desc& desc : KELVO_PARAMS) {
        ParameterInfo info{};
        ASSERT_EQ(controller.getParameterInfo(int32(desc.id), info), kResultOk);
        EXPECT_EQ(std::make_tuple(info.id, ascii(info.title), ascii(info.shortTitle),
                                  ascii(info.units), info.stepCount, info.defaultNormalizedValue,
                                  controller.getParamNormalized(desc.id), info.flags),
                  std::make_tuple(desc.id, desc.name, desc.name, desc.units,
                                  desc.kind == KELVO_PARAM_KIND_LIST ? desc.valueCount - 1 : 0,
                                  desc.defaultNormalized, desc.defaultNormalized,
                                  int32(ParameterInfo::kCanAutomate)));
    }
    ParameterInfo program{};
    ASSERT_EQ(controller.getParameterInfo(KELVO_PARAM_COUNT, program), kResultOk);
    EXPECT_EQ(
        std::make_tuple(program.id, program.stepCount, program.flags),
        std::make_tuple(0x3F010001u, 5, ParameterInfo::kIsList | ParameterInfo::kIsProgramChange));

    UnitInfo unit{};
    ASSERT_EQ(controller.getUnitCount(), 1);
    ASSERT_EQ(controller.getUnitInfo(0, unit), kResultOk);
    EXPECT_EQ(std::make_tuple(ascii(unit.name), unit.parentUnitId, unit.programListId),
              std::make_tuple("Root", kNoParentUnitId, int32(PROGRAM)));
    // The SDK's own lookup throws here; a host must just get false.
    EXPECT_EQ(controller.getUnitInfo(1, unit), kResultFalse);
    EXPECT_EQ(controller.getUnitInfo(-1, unit), kResultFalse);

    ProgramListInfo list{};
    ASSERT_EQ(controller.getProgramListInfo(0, list), kResultOk);
    EXPECT_EQ(ascii(list.name), "Factory Presets");
    EXPECT_EQ(list.programCount, KELVO_FACTORY_PRESET_COUNT);
}

TEST(ControllerParameters, TextsBothWays) {
    ControllerHost host;
    KelvoController& controller = host.controller();
    // The texts themselves are the parameter layer's; here, what the
    // controller adds: clamping, UTF-16 and the program list's own names.
    const std::tuple<ParamID, double, const char*> shown[] = {
        {0, 0.5, "75"}, {0, 1.7, "120"}, {16, 0.5, "Half Time"}};
    for (auto [id, normalized, text] : shown) {
        String128 out{};
        ASSERT_EQ(controller.getParamStringByValue(id, normalized, out), kResultOk);
        EXPECT_EQ(ascii(out), text) << id << " " << normalized;
    }

    const std::tuple<ParamID, const char16_t*, double> typed[] = {
        // NAN: refused
        {0, u"  75Hz", 0.5},         {0, u"7\u00e95", 0.0},  // "7?5": 7, below the range
        {PROGRAM, u"Dry Room", 0.4}, {PROGRAM, u"dry room", NAN}, {PROGRAM, u"2", NAN},
    };
    for (auto [id, text, normalized] : typed) {
        ParamValue out = -7;
        const tresult result = controller.getParamValueByString(id, const_cast<TChar*>(text), out);
        EXPECT_EQ(result, std::isnan(normalized) ? kResultFalse : kResultOk) << id;
        EXPECT_EQ(out, std::isnan(normalized) ? -7 : normalized) << id;
    }

    // A non-finite value from the host is refused and changes nothing.
    for (double bad : {NAN, INFINITY, -INFINITY})
        EXPECT_EQ(controller.setParamNormalized(0, bad), kResultFalse);
    EXPECT_EQ(controller.getParamNormalized(0), KELVO_PARAMS[0].defaultNormalized);
    EXPECT_TRUE(host.ui("kelvo.paramChanged").empty());
}

// Off the grid too: the name shown and the preset applied agree, and each
// preset's kick tune tells the six apart.
TEST(FactoryPresets, AProgramChangeAppliesThePresetItShows) {
    const std::tuple<double, const char*, double> cases[] = {
        {0.0, "Boom Kit", 41},   {0.1, "Club Machine", 58}, {0.29, "Club Machine", 58},
        {0.3, "Dry Room", 55},   {0.5, "Lo-Fi Crunch", 47}, {0.69, "Lo-Fi Crunch", 47},
        {0.7, "Metal Shop", 62}, {0.95, "Soft Brush", 44},  {1.0, "Soft Brush", 44}};
    for (auto [value, name, kickTune] : cases) {
        ControllerHost host;
        KelvoController& controller = host.controller();
        String128 text{};
        controller.getParamStringByValue(PROGRAM, value, text);
        EXPECT_EQ(ascii(text), name) << value;
        ASSERT_EQ(controller.setParamNormalized(PROGRAM, value), kResultOk);
        EXPECT_STREQ(controller.presetState().currentName, name) << value;
        EXPECT_NEAR(paramToPlain(KELVO_PARAMS[0], controller.getParamNormalized(0)), kickTune,
                    1e-9);
        // The rest of the row is applied as the table holds it.
        const kelvo_factory_preset& preset = *std::find_if(
            std::begin(KELVO_FACTORY_PRESETS), std::end(KELVO_FACTORY_PRESETS),
            [&](const kelvo_factory_preset& p) { return std::string(p.name) == name; });
        EXPECT_STREQ(controller.presetState().currentId, preset.id) << value;
        for (ParamID id = 0; id < KELVO_PARAM_COUNT; ++id)
            EXPECT_EQ(controller.getParamNormalized(id), preset.values[id]) << value << " " << id;
    }
}

// Each value as one whole edit, in id order; moving a value away from the
// preset and back makes it dirty and clean again.
TEST(FactoryPresets, ApplyAsUserEditsAndTrackDirtiness) {
    ControllerHost host;
    KelvoController& controller = host.controller();
    controller.setParamNormalized(PROGRAM, 0.4);
    const auto& edits = host.handler().edits;
    ASSERT_EQ(edits.size(), 3 * KELVO_PARAM_COUNT);
    for (size_t i = 0; i < edits.size(); ++i)
        EXPECT_EQ(std::make_pair(edits[i].call, edits[i].id),
                  std::make_pair(ComponentHandlerRecorder::EditCall(i % 3), ParamID(i / 3)));
    EXPECT_EQ(host.sent("kelvo.diag.presetLoaded"),
              (std::vector<RecordedMessage>{{"kelvo.diag.presetLoaded", ""}}));

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
    EXPECT_EQ(host.sent("kelvo.ccMap").size(), 1u);

    // bus, channel, cc, and the parameter assigned (-1: none)
    const std::tuple<int32, int16, CtrlNumber, int> cases[] = {
        {0, 2, 20, 3},  {0, 0, 20, 1},   {0, 15, 20, 1}, {0, 15, 7, 2},
        {1, 2, 20, -1}, {0, 0, 128, -1}, {0, 0, 21, -1}, {0, 0, -1, -1},
    };
    for (auto [bus, channel, cc, expected] : cases) {
        id = 99;
        const tresult result = controller.getMidiControllerAssignment(bus, channel, cc, id);
        EXPECT_EQ(result, expected < 0 ? kResultFalse : kResultOk) << bus << channel << cc;
        EXPECT_EQ(id, expected < 0 ? 99u : ParamID(expected)) << bus << channel << cc;
    }
}

template <typename Record>
std::string bytesOf(const Record& record) {
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

TEST(ControllerMessages, ProcessorMessagesByIdAndSize) {
    ControllerHost host;
    KelvoController& controller = host.controller();
    HostFacts facts;
    facts.sampleRate = 44100;
    copyFixedText(facts.hostName, "the processor's guess");
    TransportFact transport;
    transport.hasTempo = 1;
    transport.tempo = 90;
    TransportFact faster = transport;
    faster.tempo = 100;

    // id, payload, the lifecycle kind recorded (null: none)
    const std::tuple<const char*, std::string, const char*> cases[] = {
        {"kelvo.runtimeDiagnostics", std::string(65537, ' '), nullptr},
        {"kelvo.runtimeDiagnostics", "{}", "runtimeDiagnostic"},
        {"kelvo.diag.hostFacts", bytesOf(facts).substr(1), nullptr},
        {"kelvo.diag.hostFacts", bytesOf(facts), "sampleRateChanged"},
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
        const DiagnosticLifecycleLog& log = controller.lifecycleLog();
        const uint32_t before = log.sequence();
        EXPECT_EQ(controller.notify(jsonMessage(id, payload)), kResultOk) << id;
        ASSERT_EQ(log.sequence(), before + (recorded ? 1 : 0)) << id << " " << payload;
        EXPECT_STREQ(recorded ? diagnosticLifecycleKindName(log.at(log.count() - 1).kind) : nullptr,
                     recorded);
    }
    EXPECT_EQ(controller.lastRuntimeReport(), "{}");
    EXPECT_EQ(host.ui("kelvo.runtimeDiagnostics"),
              std::vector<std::string>{"{\"type\":\"kelvo.runtimeDiagnostics\",\"report\":{}}"});
    EXPECT_EQ(controller.hostFacts().sampleRate, 44100);
    EXPECT_STREQ(controller.hostFacts().hostName, "My VST3 HostApplication");
    ASSERT_EQ(host.ui("kelvo.bankState").size(), 1u);
    EXPECT_NE(host.ui("kelvo.bankState")[0].find("\"code\":\"bank-missing\""), std::string::npos);

    EXPECT_EQ(controller.notify(jsonMessage("kelvo.runtimeDiagnostics", std::nullopt)), kResultOk);
    EXPECT_EQ(controller.lastRuntimeReport(), "{}");
    EXPECT_EQ(controller.notify(jsonMessage("kelvo.unknown", "{}")), kResultFalse);
}

TEST(ControllerHostIdentity, NamesClassifyTheHost) {
    const std::pair<const char*, uint8_t> cases[] = {
        {"pluginval validator", HOST_VALIDATOR_PLUGINVAL},
        {"Pluginval", HOST_VALIDATOR_PLUGINVAL},
        {"auval", HOST_VALIDATOR_AUVAL},
        {"clap_validator", HOST_VALIDATOR_CLAP_VALIDATOR},
        {"VST3 Validator kelvo", HOST_VALIDATOR_STEINBERG},
        {"Kelvo probe", HOST_VALIDATOR_KELVO_PROBE},
        {"PLUGINVAL", HOST_VALIDATOR_NONE},
        {"Ardour", HOST_VALIDATOR_NONE},
    };
    for (auto [name, kind] : cases) {
        NamedHostApplication application(name);
        ControllerHost host(&application);
        EXPECT_STREQ(host->hostFacts().hostName, name);
        EXPECT_EQ(host->hostFacts().validatorKind, kind) << name;
    }
}

// A host whose context offers its main thread's run loop.
class RunLoopHost : public HostApplication, public Linux::IRunLoop {
  public:
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) SMTG_OVERRIDE {
        QUERY_INTERFACE(iid, obj, Linux::IRunLoop::iid, Linux::IRunLoop)
        return HostApplication::queryInterface(iid, obj);
    }
    uint32 PLUGIN_API addRef() SMTG_OVERRIDE { return HostApplication::addRef(); }
    uint32 PLUGIN_API release() SMTG_OVERRIDE { return HostApplication::release(); }
    tresult PLUGIN_API registerEventHandler(Linux::IEventHandler*, Linux::FileDescriptor) override {
        return kNotImplemented;
    }
    tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler*) override {
        return kNotImplemented;
    }
    tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler,
                                     Linux::TimerInterval ms) override {
        timer = handler;
        interval = ms;
        return kResultOk;
    }
    tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* handler) override {
        if (handler == timer) timer = nullptr;
        return kResultOk;
    }

    IPtr<Linux::ITimerHandler> timer;
    Linux::TimerInterval interval = 0;
};

TEST(ControllerCadence, TicksOnTheHostsRunLoopUntilTerminate) {
    RunLoopHost loop;
    ControllerHost host(static_cast<IHostApplication*>(&loop));
    ASSERT_NE(loop.timer, nullptr);
    EXPECT_EQ(loop.interval, 33u);
    loop.timer->onTimer();
    EXPECT_EQ(host.sent("kelvo.diag.transportPoll").size(), 1u);
    EXPECT_EQ(host.sent("kelvo.diag.feedDrain").size(), 1u);
    host->terminate();
    EXPECT_EQ(loop.timer, nullptr);
}

}  // namespace
}  // namespace kelvo::test
