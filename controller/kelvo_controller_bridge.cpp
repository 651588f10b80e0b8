// The bridge to the editor page and diagnostics clients: who listens, and
// what each page message does.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "fixed_text.h"
#include "kelvo_controller.h"
#include "kelvo_controller_presets.h"
#include "ui_bridge_text.h"

namespace kelvo {

using namespace Steinberg;
using namespace Steinberg::Vst;

DEF_CLASS_IID(IKelvoDiagnosticBridge)

namespace {

constexpr int EDITOR = static_cast<int>(BridgeOwner::Editor);
constexpr int CLIENT = static_cast<int>(BridgeOwner::Client);

int other(int channel) {
    return channel == EDITOR ? CLIENT : EDITOR;
}

}  // namespace

const KelvoController::BridgeChannel* KelvoController::listener() const {
    const Session& session = *session_;
    if (session.activeChannel < 0) return nullptr;
    const BridgeChannel& active = session.channels[session.activeChannel];
    return active.sink ? &active : nullptr;
}

void KelvoController::installSink(BridgeOwner owner, UiSink sink) {
    if (!sink) return removeSink(owner);
    channel(owner).sink = std::move(sink);
    session_->activeChannel = static_cast<int>(owner);
}

// Each listener removes only its own sink; the other one's, when there is
// one, hears from then on.
void KelvoController::removeSink(BridgeOwner owner) {
    Session& session = *session_;
    const int index = static_cast<int>(owner);
    session.channels[index].sink = nullptr;
    if (session.activeChannel == index)
        session.activeChannel = session.channels[other(index)].sink ? other(index) : -1;
}

void KelvoController::setBridgeSink(UiSink sink) {
    installSink(BridgeOwner::Editor, std::move(sink));
}

void KelvoController::installClientSink(UiSink sink) {
    if (sink || channel(BridgeOwner::Client).sink) return installSink(BridgeOwner::Client, sink);
    // A client that never installed a sink clears the page's: it stays
    // silent until the editor is opened again.
    removeSink(BridgeOwner::Editor);
}

void KelvoController::reply(BridgeOwner owner, const std::string& text) {
    // A copy: the sink may replace itself while it runs.
    if (UiSink sink = channel(owner).sink) sink(text);
}

void KelvoController::handleBridgeMessage(const char* bytes, size_t length) {
    handleBridgeMessage(BridgeOwner::Editor, bytes, length);
}

void KelvoController::deliverClientMessage(const char* bytes, size_t length) {
    handleBridgeMessage(BridgeOwner::Client, bytes, length);
}

void KelvoController::handleBridgeMessage(BridgeOwner owner, const char* bytes, size_t length) {
    // Called from the page's script handler and from C exports.
    hostCall([&]() -> tresult {
        auto message = std::make_unique<BridgeMessage>();
        if (!parseBridgeMessage(bytes, length, *message)) {
            std::fprintf(stderr, "kelvo-plugin-shell: malformed bridge message (%zu bytes)\n",
                         length);
            return kResultFalse;
        }
        dispatch(owner, *message, length);
        return kResultOk;
    });
}

void KelvoController::dispatch(BridgeOwner owner, const BridgeMessage& message, size_t length) {
    const std::string& type = message.type;
    if (type == "kelvo.ready") return sendHello(owner);
    switch (message.diagOp) {
        case DiagOp::Subscribe:
            return subscribe(owner, message);
        case DiagOp::Unsubscribe:
            channel(owner).feeds = 0;
            channel(owner).rateHz = 0;
            return;
        case DiagOp::Stimulus:
            return;
        case DiagOp::None:
            break;
    }
    if (type == "kelvo.loadFactoryPreset" && !message.id.empty())
        return loadFactoryPresetById(message.id);
    if (offerToBankControl(message)) return;
    if (type == "kelvo.setParam" && message.hasValue) return pageSetParam(message);
    if (type == "kelvo.beginEdit") return pageGesture(message.path, true);
    if (type == "kelvo.endEdit") return pageGesture(message.path, false);
    if (type == "kelvo.getState") return sendStateToPage(owner);
    if (type == "kelvo.setCcMap" && message.hasCcMap) return adoptCcMap(message.ccMap, true);
    if (type == "kelvo.setState" && message.hasState) return restoreStateFromPage(message, length);
    if (type == "kelvo.noteOn" || type == "kelvo.noteOff")
        std::fprintf(stderr, "kelvo-plugin-shell: bridge %s note=%d\n", type.c_str(),
                     static_cast<int>(message.note));
}

void KelvoController::subscribe(BridgeOwner owner, const BridgeMessage& message) {
    BridgeChannel& subscriber = channel(owner);
    subscriber.feeds = message.feeds;
    subscriber.rateHz = std::min(message.hz, DIAG_MAX_RATE_HZ);
    TransportState& transport = session_->transport;
    if (subscriber.sink && (message.feeds & DIAG_FEED_LIFECYCLE) != 0) {
        std::string text;
        if (writeDiagnosticLifecycleReplayJson(text, session_->lifecycleLog)) reply(owner, text);
    }
    if (transport.has && subscriber.sink && (message.feeds & DIAG_FEED_TRANSPORT) != 0) {
        std::string text;
        writeDiagnosticTransportJson(text, transport.fact);
        transport.lastSentMs = session_->lifecycleLog.nowMs();
        reply(owner, text);
    }
    // The processor reports its transport afresh; a poll it never got is
    // repeated with the next tick.
    transport.has = false;
    transport.resetPending = true;
    if (sendProcessorInt("kelvo.diag.transportPoll", "reset", 1)) transport.resetPending = false;
}

void KelvoController::sendHello(BridgeOwner owner) {
    double normalized[KELVO_PARAM_COUNT];
    for (ParamID id = 0; id < KELVO_PARAM_COUNT; ++id)
        normalized[id] = getParamNormalized(id);
    const Session& session = *session_;
    std::string text =
        "{\"type\":\"kelvo.hello\",\"plugin\":{\"id\":\"music.kelvo.drum-synth\","
        "\"name\":\"Tambro Synth\",\"vendor\":\"Kelvo Music\",\"version\":\"0.1.0\"}";
    appendHelloParams(text, normalized);
    appendHelloFactoryPresets(text);
    if (session.hasCcMap) {
        text += ",\"ccMap\":";
        writeCcMapJson(text, session.ccMap);
    }
    if (!session.lastRuntimeReport.empty())
        text += ",\"runtimeHealth\":" + session.lastRuntimeReport;
    refreshPresetFacts();
    appendDiagnosticHelloBlocks(text, DiagnosticTarget::Vst3, session.hostFacts,
                                session.presetState);
    text += '}';
    reply(owner, text);
    channel(owner).helloSent = true;
}

void KelvoController::loadFactoryPresetById(const std::string& id) {
    for (int32_t index = 0; index < KELVO_FACTORY_PRESET_COUNT; ++index) {
        if (id != KELVO_FACTORY_PRESETS[index].id) continue;
        const ParamValue value = static_cast<ParamValue>(index) / (KELVO_FACTORY_PRESET_COUNT - 1);
        beginEdit(KELVO_PROGRAM_LIST_ID);
        setParamNormalized(KELVO_PROGRAM_LIST_ID, value);
        performEdit(KELVO_PROGRAM_LIST_ID, value);
        endEdit(KELVO_PROGRAM_LIST_ID);
        return;
    }
}

bool KelvoController::offerToBankControl(const BridgeMessage& message) {
    BankMessage bank;
    bank.type = message.type;
    bank.id = message.id;
    bank.source = message.source;
    bank.bankPath = message.bankPath;
    bank.url = message.url;
    bank.sha256 = message.sha256;
    bank.instrument = message.instrument;
    bank.pads = message.pads;
    bank.hasPads = message.hasPads;
    BankCall call(*this);
    return session_->bankControl.handleMessage(bank);
}

// The page's value is a plain one. Its own echo is swallowed by the pending
// edit as the value is set here; a later change by the host is reported even
// when it brings the same value. An edit outside a gesture is made one, so
// the host records it and passes it on.
void KelvoController::pageSetParam(const BridgeMessage& message) {
    const int index = paramIndexForPath(message.path);
    if (index < 0) return;
    const auto id = static_cast<ParamID>(index);
    const ParamValue normalized = kelvo_param_normalize(&KELVO_PARAMS[id], message.value);
    const bool inGesture = (session_->pageGestures & (1u << id)) != 0;
    if (!inGesture) beginEdit(id);
    session_->pendingUiEdit = PendingUiEdit{index, normalized};
    setParamNormalized(id, normalized);
    performEdit(id, normalized);
    if (!inGesture) endEdit(id);
}

// A gesture is opened or closed once, however often the page asks.
void KelvoController::pageGesture(const std::string& path, bool begin) {
    const int index = paramIndexForPath(path);
    if (index < 0) return;
    const uint32_t bit = 1u << index;
    uint32_t& open = session_->pageGestures;
    if (begin == ((open & bit) != 0)) return;
    open ^= bit;
    if (begin)
        beginEdit(static_cast<ParamID>(index));
    else
        endEdit(static_cast<ParamID>(index));
}

void KelvoController::sendStateToPage(BridgeOwner owner) {
    double plain[KELVO_PARAM_COUNT];
    for (ParamID id = 0; id < KELVO_PARAM_COUNT; ++id)
        plain[id] = paramToPlainUnstepped(KELVO_PARAMS[id], getParamNormalized(id));
    const Session& session = *session_;
    const std::string document =
        writeStateJson(plain, -1, session.hasCcMap ? &session.ccMap : nullptr, 0, 0, nullptr,
                       &session.bankControl.padOverrides(), nullptr);
    session_->presetState.lastStateBytes = static_cast<int64_t>(document.size());
    recordLifecycle(DiagnosticLifecycleKind::StateSaved)
        .addNumber("stateBytes", static_cast<double>(document.size()))
        .addString("source", "ui");
    publishLastLifecycle();
    reply(owner, "{\"type\":\"kelvo.state\",\"state\":" + document + '}');
}

void KelvoController::restoreStateFromPage(const BridgeMessage& message, size_t length) {
    const StateChunk& state = message.state;
    for (ParamID id = 0; id < KELVO_PARAM_COUNT; ++id) {
        if (!state.paramPresent[id] || !std::isfinite(state.params[id])) continue;
        const ParamValue normalized = kelvo_param_normalize(&KELVO_PARAMS[id], state.params[id]);
        beginEdit(id);
        setParamNormalized(id, normalized);
        performEdit(id, normalized);
        endEdit(id);
    }
    if (state.ccMapPresent) adoptCcMap(state.ccMap, true);
    const SamplerPadOverrides pads = state.padsPresent ? state.pads : SamplerPadOverrides{};
    BankControl& bankControl = session_->bankControl;
    if (bankBridge_.applyPadOverrides(pads)) bankControl.adoptRestoredPadOverrides(pads);
    {
        BankCall call(*this);
        bankControl.sendBankState("restore");
    }
    recordLifecycle(DiagnosticLifecycleKind::StateRestored)
        .addNumber("stateBytes", static_cast<double>(length))
        .addString("source", "ui");
    publishLastLifecycle();
}

void KelvoController::onEditorOpened() {
    hostCall([&]() -> tresult {
        emitLifecycle(DiagnosticLifecycleKind::EditorOpened);
        return kResultOk;
    });
}

void KelvoController::onEditorClosed() {
    hostCall([&]() -> tresult {
        for (ParamID id = 0; id < KELVO_PARAM_COUNT; ++id)
            if ((session_->pageGestures & (1u << id)) != 0) endEdit(id);
        session_->pageGestures = 0;
        emitLifecycle(DiagnosticLifecycleKind::EditorClosed);
        BridgeChannel& editor = channel(BridgeOwner::Editor);
        editor.feeds = 0;
        editor.rateHz = 0;
        editor.helloSent = false;
        return kResultOk;
    });
}

void KelvoController::onEditorError(const char* reason) {
    hostCall([&]() -> tresult {
        recordLifecycle(DiagnosticLifecycleKind::EditorError)
            .addString("reason", withoutControlBytes(reason ? reason : "unknown").c_str());
        publishLastLifecycle();
        return kResultOk;
    });
}

}  // namespace kelvo
