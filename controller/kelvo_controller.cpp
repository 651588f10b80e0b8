#include "kelvo_controller.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>

#include "fixed_text.h"
#include "kelvo_controller_presets.h"
#include "kelvo_parameter.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "ui_bridge_text.h"

namespace kelvo {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Host kinds by name: the first row with a substring in the name wins.
struct HostKindRule {
    const char* substrings[2];
    uint8_t kind;
};

constexpr HostKindRule HOST_KIND_RULES[] = {
    {{"pluginval", "Pluginval"}, HOST_VALIDATOR_PLUGINVAL},
    {{"auval", nullptr}, HOST_VALIDATOR_AUVAL},
    {{"clap-validator", "clap_validator"}, HOST_VALIDATOR_CLAP_VALIDATOR},
    {{"Validator", "validator"}, HOST_VALIDATOR_STEINBERG},
    {{"Kelvo", "kelvo"}, HOST_VALIDATOR_KELVO_PROBE},
};

uint8_t hostKindOf(std::string_view name) {
    for (const HostKindRule& rule : HOST_KIND_RULES)
        for (const char* substring : rule.substrings)
            if (substring != nullptr && name.find(substring) != std::string_view::npos)
                return rule.kind;
    return HOST_VALIDATOR_NONE;
}

}  // namespace

TransportFact KelvoController::TransportState::initialFact() {
    TransportFact fact;
    fact.tempo = 120.0;
    fact.numerator = 4;
    fact.denominator = 4;
    return fact;
}

KelvoController::KelvoController() : session_(std::make_unique<Session>(bankBridge_)) {}

KelvoController::~KelvoController() = default;

FUnknown* KelvoController::createInstance(void*) {
    try {
        return static_cast<IEditController*>(new KelvoController());
    } catch (...) {
        return nullptr;
    }
}

tresult PLUGIN_API KelvoController::initialize(FUnknown* context) {
    try {
        const tresult result = EditControllerEx1::initialize(context);
        if (result != kResultOk) return result;
        captureHostIdentity(context);
        registerParameters();
        refreshPresetFacts();
        emitLifecycle(DiagnosticLifecycleKind::Created);
        cadenceClock_.start(context, [this] { tickCadence(); });
        return kResultOk;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return kInternalError;
    }
}

tresult PLUGIN_API KelvoController::terminate() {
    try {
        emitLifecycle(DiagnosticLifecycleKind::Destroyed);
    } catch (...) {
        // The page may not hear of it; the teardown goes on.
    }
    cadenceClock_.stop();
    session_->bankControl.cancelFetch();
    const tresult result = EditControllerEx1::terminate();
    selectedUnit = kRootUnitId;
    try {
        session_ = std::make_unique<Session>(bankBridge_);
    } catch (...) {
        return kOutOfMemory;
    }
    return result;
}

void KelvoController::captureHostIdentity(FUnknown* context) {
    FUnknownPtr<IHostApplication> application(context);
    String128 name = {};
    if (!application || application->getName(name) != kResultOk) return;
    HostFacts& facts = session_->hostFacts;
    copyFixedText(facts.hostName, asciiFromUtf16(name, sizeof facts.hostName - 1).c_str());
    // The name goes into JSON texts whose writer escapes no control bytes.
    replaceControlBytes(facts.hostName, sizeof facts.hostName);
    facts.validatorKind = hostKindOf(facts.hostName);
}

void KelvoController::registerParameters() {
    for (const kelvo_param_desc& desc : KELVO_PARAMS)
        parameters.addParameter(new KelvoParameter(desc));
    addUnit(new Unit(STR16("Root"), kRootUnitId, kNoParentUnitId, KELVO_PROGRAM_LIST_ID));
    auto* list = new FactoryPresetList();
    addProgramList(list);
    parameters.addParameter(list->getParameter());
}

void KelvoController::refreshPresetFacts() {
    PresetStateFacts& facts = session_->presetState;
    facts.factoryCount = KELVO_FACTORY_PRESET_COUNT;
    facts.dirty = presetDirty();
    facts.userPresetsSupported = false;
    facts.bank.reset();
    if (compiledBankCount() > 0) describeCompiledBank(0, facts.bank);
}

void KelvoController::restartComponent(int32 flags) {
    if (IComponentHandler* handler = getComponentHandler()) handler->restartComponent(flags);
}

void KelvoController::deliverFetchedBank() {
    if (bankCallDepth_ > 0) return;
    BankCall call(*this);
    session_->bankControl.deliverFetchedBank();
}

tresult PLUGIN_API KelvoController::setParamNormalized(ParamID id, ParamValue value) {
    return hostCall([&]() -> tresult {
        // A NaN would be stored as it is and passed on to the engine.
        if (!std::isfinite(value)) return kResultFalse;
        const ParamValue before = getParamNormalized(id);
        const tresult result = EditControllerEx1::setParamNormalized(id, value);
        if (result != kResultOk) return result;
        if (id == KELVO_PROGRAM_LIST_ID) {
            applyProgramChange(value);
            return kResultOk;
        }
        // Hosts may keep the values they re-send as 32-bit floats: only a
        // change beyond that shows the restored sound was edited.
        if (static_cast<float>(getParamNormalized(id)) != static_cast<float>(before))
            session_->restoredProgram = -1;
        reportParamChange(id, getParamNormalized(id));
        return kResultOk;
    });
}

// After a restore, hosts may re-send every value, the program change
// included; applying the preset then would replace the restored sound. The
// selection the state restored is adopted once without applying.
void KelvoController::applyProgramChange(ParamValue value) {
    const int32_t index = presetIndexForNormalized(value);
    const bool resent = index == session_->restoredProgram;
    session_->restoredProgram = -1;
    if (resent) return;
    applyFactoryPreset(index);
    restartComponent(kParamValuesChanged);
}

int32_t KelvoController::selectedProgram() {
    return presetIndexForNormalized(getParamNormalized(KELVO_PROGRAM_LIST_ID));
}

void KelvoController::selectProgramSilently(int32_t index) {
    if (Parameter* parameter = getParameterObject(KELVO_PROGRAM_LIST_ID))
        parameter->setNormalized(parameter->toNormalized(index));
}

tresult KelvoController::beginEdit(ParamID id) {
    // An edit the plug-in starts is never part of a host's re-send.
    session_->restoredProgram = -1;
    return EditControllerEx1::beginEdit(id);
}

namespace {

KelvoController::ViewFactory viewFactory = nullptr;

}  // namespace

void KelvoController::setViewFactory(ViewFactory factory) {
    viewFactory = factory;
}

IPlugView* PLUGIN_API KelvoController::createView(FIDString name) {
    if (viewFactory == nullptr || name == nullptr || std::strcmp(name, ViewType::kEditor) != 0)
        return nullptr;
    try {
        return viewFactory(*this);
    } catch (...) {
        return nullptr;
    }
}

tresult PLUGIN_API KelvoController::getUnitInfo(int32 unitIndex, UnitInfo& info) {
    if (unitIndex < 0 || unitIndex >= getUnitCount()) return kResultFalse;
    return hostCall([&]() -> tresult { return EditControllerEx1::getUnitInfo(unitIndex, info); });
}

tresult PLUGIN_API KelvoController::getMidiControllerAssignment(int32 busIndex, int16 channel,
                                                                CtrlNumber ccNumber, ParamID& id) {
    const Session& session = *session_;
    if (busIndex != 0 || ccNumber < 0 || ccNumber > 127 || !session.hasCcMap) return kResultFalse;
    for (uint32_t i = 0; i < session.ccMap.count && i < CC_MAP_CAPACITY; ++i) {
        const CcBinding& binding = session.ccMap.bindings[i];
        if (binding.enabled && binding.cc == ccNumber &&
            (binding.channel == 0 || binding.channel == channel + 1) &&
            binding.paramId < KELVO_PARAM_COUNT) {
            id = binding.paramId;
            return kResultOk;
        }
    }
    return kResultFalse;
}

void KelvoController::tickCadence() noexcept {
    // Called from the host's run loop and from C exports: nothing may leave.
    try {
        deliverFetchedBank();
        TransportState& transport = session_->transport;
        sendProcessorInt("kelvo.diag.transportPoll", "reset", transport.resetPending ? 1 : 0);
        transport.resetPending = false;
        sendMessageID("kelvo.diag.feedDrain");
    } catch (...) {
        // A lost tick is made up by the next one.
    }
}

void KelvoController::applyFactoryPreset(int32_t index) {
    if (index < 0 || index >= KELVO_FACTORY_PRESET_COUNT) return;
    const kelvo_factory_preset& preset = KELVO_FACTORY_PRESETS[index];
    Session& session = *session_;
    copyFixedText(session.presetState.currentId, preset.id);
    copyFixedText(session.presetState.currentName, preset.name);
    std::copy(std::begin(preset.values), std::end(preset.values), session.presetSnapshot);
    session.presetSnapshotValid = true;

    recordLifecycle(DiagnosticLifecycleKind::PresetLoaded)
        .addString("id", preset.id)
        .addString("name", preset.name)
        .addNumber("index", index)
        .addString("origin", "factory");
    publishLastLifecycle();
    sendProcessorJson("kelvo.diag.presetLoaded", "");
    for (ParamID id = 0; id < KELVO_PARAM_COUNT; ++id)
        editAsUser(id, preset.values[id]);
}

bool KelvoController::presetDirty() const {
    const Session& session = *session_;
    if (!session.presetSnapshotValid) return false;
    for (ParamID id = 0; id < KELVO_PARAM_COUNT; ++id)
        if (const Parameter* parameter = parameters.getParameter(id);
            parameter != nullptr && parameter->getNormalized() != session.presetSnapshot[id])
            return true;
    return false;
}

}  // namespace kelvo
