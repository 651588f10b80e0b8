// The controller as hosts see it: parameters, factory presets, MIDI
// mapping, the processor's messages, the host's identity and run loop.
#include <gtest/gtest.h>

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
    ASSERT_EQ(host->getParameterInfo(KELVO_PARAM_COUNT, program), kResultOk);
    EXPECT_EQ(
        std::make_tuple(program.id, program.stepCount, program.flags),
        std::make_tuple(0x3F010001u, 5, ParameterInfo::kIsList | ParameterInfo::kIsProgramChange));

    UnitInfo unit{};
    ProgramListInfo list{};
    ASSERT_TRUE(host->getUnitInfo(0, unit) == kResultOk &&
                host->getProgramListInfo(0, list) == kResultOk);
    EXPECT_EQ(std::make_tuple(host->getUnitCount(), ascii(unit.name), unit.parentUnitId,
                              unit.programListId, ascii(list.name), list.programCount),
              std::make_tuple(1, "Root", kNoParentUnitId, int32(PROGRAM), "Factory Presets",
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

// Off the grid too: the name shown and the preset applied agree, and each
// preset's kick tune tells the six apart.
TEST(FactoryPresets, AProgramChangeAppliesThePresetItShows) {
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
                                  std::lround(paramToPlain(KELVO_PARAMS[0], preset.values[0]))),
                  std::make_tuple(name, name, std::string(preset.id), kickTune))
            << value;
        for (ParamID id = 0; id < KELVO_PARAM_COUNT; ++id)
            EXPECT_EQ(host->getParamNormalized(id), preset.values[id]) << value << " " << id;
    }
}

// Each value as one whole edit, in id order; moving a value away from the
// preset and back makes it dirty and clean again.
TEST(FactoryPresets, ApplyAsUserEditsAndTrackDirtiness) {
    ControllerHost host;
    host->setParamNormalized(PROGRAM, 0.4);
    const auto& edits = host.handler().edits;
    ASSERT_EQ(edits.size(), 3 * KELVO_PARAM_COUNT);
    for (size_t i = 0; i < edits.size(); ++i)
        EXPECT_EQ(std::make_pair(edits[i].call, edits[i].id),
                  std::make_pair(ComponentHandlerRecorder::EditCall(i % 3), ParamID(i / 3)));
    EXPECT_EQ(host.sent("kelvo.diag.presetLoaded"),
              (std::vector<RecordedMessage>{{"kelvo.diag.presetLoaded", ""}}));

    EXPECT_FALSE(host->presetDirty());
    const ParamValue original = host->getParamNormalized(3);
    host->setParamNormalized(3, 0.9);
    EXPECT_TRUE(host->presetDirty());
    host->setParamNormalized(3, original);
    EXPECT_FALSE(host->presetDirty());
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
    ControllerHost host;
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
        const DiagnosticLifecycleLog& log = host->lifecycleLog();
        const uint32_t before = log.sequence();
        EXPECT_EQ(host->notify(jsonMessage(id, payload)), kResultOk) << id;
        ASSERT_EQ(log.sequence(), before + (recorded ? 1 : 0)) << id << " " << payload;
        EXPECT_STREQ(recorded ? diagnosticLifecycleKindName(log.at(log.count() - 1).kind) : nullptr,
                     recorded);
    }
    EXPECT_EQ(host.ui("kelvo.runtimeDiagnostics"),
              std::vector<std::string>{"{\"type\":\"kelvo.runtimeDiagnostics\",\"report\":{}}"});
    // The processor's facts, but the host's name as the controller's context gives it.
    EXPECT_EQ(std::make_pair(host->hostFacts().sampleRate, std::string(host->hostFacts().hostName)),
              std::make_pair(44100.0, std::string("My VST3 HostApplication")));
    EXPECT_NE(host.ui("kelvo.bankState").at(0).find("\"code\":\"bank-missing\""),
              std::string::npos);

    EXPECT_EQ(host->notify(jsonMessage("kelvo.runtimeDiagnostics", std::nullopt)), kResultOk);
    EXPECT_EQ(host->notify(jsonMessage("kelvo.unknown", "{}")), kResultFalse);
    EXPECT_EQ(host->lastRuntimeReport(), "{}");
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
        {"Ardour", HOST_VALIDATOR_NONE}};
    for (auto [name, kind] : cases) {
        NamedHostApplication application(name);
        ControllerHost host(&application);
        EXPECT_EQ(std::make_pair(std::string(host->hostFacts().hostName),
                                 host->hostFacts().validatorKind),
                  std::make_pair(std::string(name), kind));
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
