// Host and transport facts from the processor: kept, turned into lifecycle
// records, and reported to the page.
#include <cstring>
#include <string>

#include "fixed_text.h"
#include "kelvo_controller.h"
#include "ui_bridge_text.h"

namespace kelvo {

void KelvoController::adoptHostFacts(const HostFacts& facts) {
    Session& session = *session_;
    // The identity is the controller's: the processor cannot know it.
    HostFacts current = facts;
    const HostFacts& own = session.hostFacts;
    std::memcpy(current.hostName, own.hostName, sizeof current.hostName);
    std::memcpy(current.hostVersion, own.hostVersion, sizeof current.hostVersion);
    std::memcpy(current.hostPath, own.hostPath, sizeof current.hostPath);
    current.validatorKind = own.validatorKind;
    // The record came as raw bytes; its texts end up in JSON.
    for (HostBusFacts& bus : current.buses) {
        replaceControlBytes(bus.id, sizeof bus.id);
        replaceControlBytes(bus.layout, sizeof bus.layout);
    }

    const HostFacts previous = session.hostFacts;
    session.hostFacts = current;
    if (const char* kind = diagnosticHostChangeKind(previous, current))
        recordHostChange(kind, previous, current);
    const BridgeChannel* listening = listener();
    if (listening == nullptr || !listening->helloSent) return;
    std::string text;
    if (writeDiagnosticHostChangedJson(text, previous, current, session.hostChangeSequence + 1,
                                       0)) {
        ++session.hostChangeSequence;
        sendToUi(text);
    }
}

void KelvoController::recordHostChange(const char* kindName, const HostFacts& previous,
                                       const HostFacts& current) {
    DiagnosticLifecycleKind kind;
    if (!diagnosticLifecycleKindFromName(kindName, kind)) return;
    DiagnosticLifecycleEvent& event = recordLifecycle(kind);
    switch (kind) {
        case DiagnosticLifecycleKind::LatencyChanged:
            event.addNumber("latencySamples", current.latencySamples)
                .addNumber("previous", previous.latencySamples)
                .addBool("reported", true);
            break;
        case DiagnosticLifecycleKind::SampleRateChanged:
            event.addNumber("sampleRate", current.sampleRate)
                .addNumber("previous", previous.sampleRate);
            break;
        case DiagnosticLifecycleKind::BlockSizeChanged:
            event.addNumber("maxBlockFrames", current.maxBlockFrames)
                .addNumber("previous", previous.maxBlockFrames);
            break;
        case DiagnosticLifecycleKind::BusLayoutChanged: {
            // The record came as raw bytes: the layout may lack its NUL.
            char layout[sizeof current.buses[0].layout + 1] = {};
            if (current.busCount > 0)
                std::memcpy(layout, current.buses[0].layout,
                            fixedTextLength(current.buses[0].layout));
            event.addNumber("buses", current.busCount).addString("layout", layout);
            break;
        }
        case DiagnosticLifecycleKind::ProcessModeChanged:
            event.addNumber("processMode", current.processMode);
            break;
        case DiagnosticLifecycleKind::BypassChanged:
            event.addBool("bypassed", current.bypassed != 0);
            break;
        default:
            break;
    }
    publishLastLifecycle();
}

void KelvoController::adoptTransportFact(const TransportFact& fact) {
    Session& session = *session_;
    TransportState& transport = session.transport;
    recordTransportChanges(fact);
    const bool changed = !transport.has || fact.differsFrom(transport.fact);
    transport.fact = fact;
    transport.has = true;
    const BridgeChannel* listening = listener();
    if (listening == nullptr || (listening->feeds & DIAG_FEED_TRANSPORT) == 0) return;

    // A transport that runs unchanged is reported at most at the rate the
    // subscriber asked for.
    const double now = session.lifecycleLog.nowMs();
    if (!changed) {
        if (!fact.playing) return;
        const double rateHz = listening->rateHz > 0 ? listening->rateHz : DIAG_MAX_RATE_HZ;
        if (transport.lastSentMs >= 0 && now - transport.lastSentMs < 1000.0 / rateHz) return;
    }
    transport.lastSentMs = now;
    std::string text;
    writeDiagnosticTransportJson(text, fact);
    sendToUi(text);
}

void KelvoController::recordTransportChanges(const TransportFact& fact) {
    TransportState& transport = session_->transport;
    const auto frame = static_cast<int64_t>(fact.atFrame);
    if (fact.hasTempo) {
        if (transport.has && transport.fact.hasTempo && fact.tempo != transport.lastTempo) {
            recordLifecycle(DiagnosticLifecycleKind::TempoChanged, frame)
                .addNumber("tempo", fact.tempo)
                .addNumber("previous", transport.lastTempo);
            publishLastLifecycle();
        }
        transport.lastTempo = fact.tempo;
    }
    if (fact.hasTimeSignature) {
        if (transport.has && transport.fact.hasTimeSignature &&
            (fact.numerator != transport.lastNumerator ||
             fact.denominator != transport.lastDenominator)) {
            recordLifecycle(DiagnosticLifecycleKind::TimeSignatureChanged, frame)
                .addNumber("numerator", fact.numerator)
                .addNumber("denominator", fact.denominator)
                .addNumber("previousNumerator", transport.lastNumerator)
                .addNumber("previousDenominator", transport.lastDenominator);
            publishLastLifecycle();
        }
        transport.lastNumerator = fact.numerator;
        transport.lastDenominator = fact.denominator;
    }
}

}  // namespace kelvo
