// The controller's state: the processor's document restored into the
// parameters, the controller's own document (CC map, pad overrides and the
// selected factory preset), and CC map adoption.
#include <cmath>
#include <memory>
#include <string>

#include "json_reader.h"
#include "json_writer.h"
#include "kelvo_controller.h"
#include "kelvo_controller_presets.h"
#include "pluginterfaces/base/ibstream.h"
#include "vst_io.h"

namespace kelvo {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// The controller document's member naming the selected factory preset.
constexpr const char* FACTORY_PRESET_KEY = "factoryPreset";

// The factory preset a controller document selects; 0, the list's default,
// when it names none or one out of range.
int32_t factoryPresetOf(const std::string& document) {
    Reader reader{document.data(), document.data() + document.size()};
    int32_t index = 0;
    readObject(reader, [&](Reader& r, std::string_view key) {
        double value = 0;
        if (key != FACTORY_PRESET_KEY || !parseNumber(r, &value)) return skipValue(r, 1);
        if (value >= 0 && value < KELVO_FACTORY_PRESET_COUNT && value == std::floor(value))
            index = static_cast<int32_t>(value);
        return true;
    });
    return index;
}

}  // namespace

tresult PLUGIN_API KelvoController::setComponentState(IBStream* stream) {
    return hostCall([&]() -> tresult {
        std::string text;
        if (stream == nullptr || !readWholeStream(stream, text)) return kResultFalse;
        auto chunk = std::make_unique<StateChunk>();
        if (!parseStateJson(text.data(), text.size(), *chunk)) return kResultFalse;

        Session& session = *session_;
        session.presetState.lastStateBytes = static_cast<int64_t>(text.size());
        restoreParameters(*chunk);
        if (chunk->hasBankRef)
            session.bankControl.adoptRestoredRef(chunk->bankSource, chunk->bankLocator,
                                                 chunk->bankSha256, chunk->bankInstrument,
                                                 chunk->bankPresetId);
        restorePadsAndCcMap(*chunk);
        session.restoredProgram = selectedProgram();
        recordLifecycle(DiagnosticLifecycleKind::StateRestored)
            .addNumber("stateBytes", static_cast<double>(text.size()))
            .addString("source", "component");
        publishLastLifecycle();
        return kResultOk;
    });
}

tresult PLUGIN_API KelvoController::setState(IBStream* stream) {
    return hostCall([&]() -> tresult {
        std::string text;
        if (stream == nullptr || !readWholeStream(stream, text)) return kResultFalse;
        if (text.empty()) return kResultOk;
        auto chunk = std::make_unique<StateChunk>();
        if (!parseStateJson(text.data(), text.size(), *chunk)) return kResultFalse;
        restorePadsAndCcMap(*chunk);
        const int32_t program = factoryPresetOf(text);
        selectProgramSilently(program);
        session_->restoredProgram = program;
        return kResultOk;
    });
}

tresult PLUGIN_API KelvoController::getState(IBStream* stream) {
    return hostCall([&]() -> tresult {
        if (stream == nullptr) return kResultFalse;
        return writeWholeStream(stream, controllerStateJson());
    });
}

void KelvoController::restoreParameters(const StateChunk& chunk) {
    for (ParamID id = 0; id < KELVO_PARAM_COUNT; ++id) {
        if (!chunk.paramPresent[id]) continue;
        const ParamValue normalized = kelvo_param_normalize(&KELVO_PARAMS[id], chunk.params[id]);
        if (EditControllerEx1::setParamNormalized(id, normalized) == kResultOk)
            reportParamChange(id, getParamNormalized(id));
    }
}

void KelvoController::restorePadsAndCcMap(const StateChunk& chunk) {
    if (chunk.ccMapPresent) adoptCcMap(chunk.ccMap, true);
    BankControl& bankControl = session_->bankControl;
    bankControl.adoptRestoredPadOverrides(chunk.padsPresent ? chunk.pads : SamplerPadOverrides{});
    bankControl.sendBankState("restore");
}

// {"ccMap":...,"sampler":{"v":1,"pads":...},"factoryPreset":n}, each member
// only when there is something to keep: a new controller writes {}.
std::string KelvoController::controllerStateJson() {
    const Session& session = *session_;
    std::string out = "{";
    JsonMembers members(out);
    if (session.hasCcMap) writeCcMapJson(members.next("ccMap"), session.ccMap);
    if (const SamplerPadOverrides& pads = session.bankControl.padOverrides(); !pads.empty()) {
        std::string& sampler = members.next("sampler");
        sampler += "{\"v\":1,\"pads\":";
        writeSamplerPadOverridesJson(sampler, pads);
        sampler += '}';
    }
    // The host re-sends the program-change value it saved; knowing the
    // selection lets a restore tell that re-send from a user's choice.
    if (const int32_t program = selectedProgram(); program > 0)
        jsonAppendInteger(members.next(FACTORY_PRESET_KEY), program);
    out += '}';
    return out;
}

void KelvoController::adoptCcMap(const CcMap& map, bool notifyUi) {
    Session& session = *session_;
    session.ccMap = map;
    session.hasCcMap = true;
    restartComponent(kMidiCCAssignmentChanged);
    std::string document;
    writeCcMapJson(document, map);
    sendProcessorJson("kelvo.ccMap", document);
    recordLifecycle(DiagnosticLifecycleKind::CcMapChanged)
        .addNumber("bindings", static_cast<double>(map.count));
    publishLastLifecycle();
    if (notifyUi && listener() != nullptr) {
        std::string changed;
        writeCcMapChangedJson(changed, map);
        sendToUi(changed);
    }
}

}  // namespace kelvo
