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

namespace kelvo {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int32 STATE_READ_PIECE = 4096;
// Far above any document this system writes; a larger stream is refused
// rather than read into memory.
constexpr size_t STATE_MAX_BYTES = size_t{16} << 20;
// The controller document's member naming the selected factory preset.
constexpr const char* FACTORY_PRESET_KEY = "factoryPreset";

// Reads until a read fails or comes back short; false when the stream holds
// more than STATE_MAX_BYTES.
bool readWholeStream(IBStream* stream, std::string& bytes) {
    char piece[STATE_READ_PIECE];
    for (;;) {
        int32 read = 0;
        if (stream->read(piece, STATE_READ_PIECE, &read) != kResultOk || read <= 0) return true;
        if (bytes.size() + static_cast<size_t>(read) > STATE_MAX_BYTES) return false;
        bytes.append(piece, static_cast<size_t>(read));
        if (read < STATE_READ_PIECE) return true;
    }
}

// Streams may take fewer bytes than offered: writes until all are taken.
tresult writeWholeStream(IBStream* stream, const std::string& bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        int32 taken = 0;
        const auto piece =
            static_cast<int32>(std::min<size_t>(bytes.size() - written, size_t{1} << 30));
        const tresult result =
            stream->write(const_cast<char*>(bytes.data() + written), piece, &taken);
        if (result != kResultOk) return result;
        if (taken <= 0) return kResultFalse;
        written += static_cast<size_t>(taken);
    }
    return kResultOk;
}

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
    if (notifyUi && session.uiSink) {
        std::string changed;
        writeCcMapChangedJson(changed, map);
        sendToUi(changed);
    }
}

}  // namespace kelvo
