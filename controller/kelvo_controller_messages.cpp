// The controller's messages: what it sends the processor and the page, what
// it does with the processor's messages, and the lifecycle records.
#include <cstring>
#include <string>
#include <string_view>

#include "json_writer.h"
#include "kelvo_controller.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "ui_bridge_text.h"
#include "vst_io.h"

namespace kelvo {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr size_t RUNTIME_REPORT_MAX_BYTES = 65536;
constexpr size_t LIFECYCLE_NAME_MAX_BYTES = 63;

template <typename Record>
Record recordFromBytes(std::string_view bytes) {
    Record record;
    std::memcpy(&record, bytes.data(), sizeof record);
    return record;
}

}  // namespace

tresult PLUGIN_API KelvoController::connect(IConnectionPoint* other) {
    return hostCall([&] {
        const tresult result = EditControllerEx1::connect(other);
        if (result == kResultOk) resendToProcessor();
        return result;
    });
}

// Hosts may restore the state before they connect the two components, and
// messages sent without a connection are lost.
void KelvoController::resendToProcessor() {
    const Session& session = *session_;
    if (session.hasCcMap) {
        std::string document;
        writeCcMapJson(document, session.ccMap);
        sendProcessorJson("kelvo.ccMap", document);
    }
    if (const SamplerPadOverrides& pads = session.bankControl.padOverrides(); !pads.empty()) {
        std::string document;
        writeSamplerPadOverridesJson(document, pads);
        sendProcessorJson("kelvo.padOverrides", document);
    }
}

tresult PLUGIN_API KelvoController::notify(IMessage* message) {
    return hostCall([&]() -> tresult {
        if (message == nullptr) return kInvalidArgument;
        const std::string_view id = message->getMessageID() ? message->getMessageID() : "";
        struct Rule {
            std::string_view id;
            size_t minBytes, maxBytes;
            void (KelvoController::*adopt)(std::string_view payload);
        };
        static constexpr Rule RULES[] = {
            {"kelvo.runtimeBankResult", 0, SIZE_MAX, &KelvoController::adoptRuntimeBankReply},
            {"kelvo.diag.lifecycle", 1, LIFECYCLE_NAME_MAX_BYTES,
             &KelvoController::adoptLifecycleName},
            {"kelvo.diag.transport", sizeof(TransportFact), sizeof(TransportFact),
             &KelvoController::adoptTransportBytes},
            {"kelvo.diag.signal", 0, SIZE_MAX, nullptr},
            {"kelvo.diag.hostFacts", sizeof(HostFacts), sizeof(HostFacts),
             &KelvoController::adoptHostFactsBytes},
            {"kelvo.runtimeDiagnostics", 1, RUNTIME_REPORT_MAX_BYTES,
             &KelvoController::adoptRuntimeReport},
        };
        for (const Rule& rule : RULES) {
            if (rule.id != id) continue;
            std::string_view payload;
            if (jsonPayload(message, payload) && payload.size() >= rule.minBytes &&
                payload.size() <= rule.maxBytes && rule.adopt != nullptr)
                (this->*rule.adopt)(payload);
            return kResultOk;
        }
        // The SDK's default reads the attributes unchecked.
        if (message->getAttributes() == nullptr) return kResultFalse;
        return EditControllerEx1::notify(message);
    });
}

void KelvoController::adoptRuntimeBankReply(std::string_view reply) {
    session_->bankControl.adoptRuntimeBankReply(reply);
}

void KelvoController::adoptLifecycleName(std::string_view name) {
    const std::string text(name);
    DiagnosticLifecycleKind kind;
    if (!diagnosticLifecycleKindFromName(text.c_str(), kind)) return;
    recordLifecycle(kind);
    publishLastLifecycle();
}

void KelvoController::adoptTransportBytes(std::string_view bytes) {
    adoptTransportFact(recordFromBytes<TransportFact>(bytes));
}

void KelvoController::adoptHostFactsBytes(std::string_view bytes) {
    adoptHostFacts(recordFromBytes<HostFacts>(bytes));
}

// The report is inserted into the hello and a page message as it is: one
// that is not a single JSON value would break both, so it is dropped.
void KelvoController::adoptRuntimeReport(std::string_view report) {
    std::string compact;
    if (!appendCompactJson(compact, report)) return;
    session_->lastRuntimeReport = std::move(compact);
    recordLifecycle(DiagnosticLifecycleKind::RuntimeDiagnostic)
        .addNumber("reportBytes", static_cast<double>(report.size()));
    publishLastLifecycle();
    if (listener() == nullptr) return;
    sendToUi("{\"type\":\"kelvo.runtimeDiagnostics\",\"report\":" + session_->lastRuntimeReport +
             '}');
}

void KelvoController::sendToUi(const std::string& text) {
    // A copy: the sink may replace itself while it runs.
    if (const BridgeChannel* listening = listener()) {
        UiSink sink = listening->sink;
        sink(text);
    }
}

void KelvoController::sendParamChanged(ParamID id, ParamValue normalized) {
    if (id >= KELVO_PARAM_COUNT || listener() == nullptr) return;
    sendToUi(paramChangedJson(id, normalized));
}

// The page's own edit coming back from the host is not sent back to it.
void KelvoController::reportParamChange(ParamID id, ParamValue normalized) {
    PendingUiEdit& pending = session_->pendingUiEdit;
    if (pending.id >= 0 && static_cast<ParamID>(pending.id) == id && pending.value == normalized) {
        pending = PendingUiEdit{};
        return;
    }
    sendParamChanged(id, normalized);
}

// beginEdit, the value, the page, the host, endEdit: a change the user made.
void KelvoController::editAsUser(ParamID id, ParamValue normalized) {
    beginEdit(id);
    EditControllerEx1::setParamNormalized(id, normalized);
    sendParamChanged(id, normalized);
    performEdit(id, normalized);
    endEdit(id);
}

bool KelvoController::sendProcessorJson(const char* id, std::string_view json) {
    IPtr<IMessage> message = owned(allocateMessage());
    if (!message) return false;
    message->setMessageID(id);
    IAttributeList* attributes = message->getAttributes();
    if (attributes == nullptr) return false;
    // An empty payload goes as no attribute, which the processor reads the
    // same way: the SDK's host attribute list never frees an empty binary.
    if (!json.empty() &&
        attributes->setBinary("json", json.data(), static_cast<uint32>(json.size())) != kResultOk)
        return false;
    return sendMessage(message) == kResultOk;
}

bool KelvoController::sendProcessorInt(const char* id, const char* attribute, int64_t value) {
    IPtr<IMessage> message = owned(allocateMessage());
    if (!message) return false;
    message->setMessageID(id);
    IAttributeList* attributes = message->getAttributes();
    if (attributes == nullptr || attributes->setInt(attribute, value) != kResultOk) return false;
    return sendMessage(message) == kResultOk;
}

DiagnosticLifecycleEvent& KelvoController::recordLifecycle(DiagnosticLifecycleKind kind,
                                                           int64_t frame) {
    return session_->lifecycleLog.record(kind, frame);
}

// Only the page that subscribed to the lifecycle feed hears of each event.
void KelvoController::publishLastLifecycle() {
    const Session& session = *session_;
    const DiagnosticLifecycleLog& log = session.lifecycleLog;
    const BridgeChannel* listening = listener();
    if (listening == nullptr || (listening->feeds & DIAG_FEED_LIFECYCLE) == 0 || log.empty())
        return;
    std::string text;
    writeDiagnosticLifecycleJson(text, &log.at(log.count() - 1), 1, 0);
    sendToUi(text);
}

void KelvoController::emitLifecycle(DiagnosticLifecycleKind kind) {
    recordLifecycle(kind);
    publishLastLifecycle();
}

}  // namespace kelvo
