#include "host_facts.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "host_facts_compare.h"
#include "lifecycle_log.h"
#include "name_table.h"

namespace kelvo {
namespace {

constexpr const char* TARGET_NAMES[] = {"vst3", "clap", "au", "standalone", "offline"};
static_assert(std::size(TARGET_NAMES) == static_cast<size_t>(DiagnosticTarget::Offline) + 1);

constexpr const char* VALIDATOR_NAMES[] = {
    nullptr,  // an ordinary host
    "pluginval", "clap-validator", "auval", "steinberg-validator", "kelvo-probe",
};
static_assert(std::size(VALIDATOR_NAMES) == HOST_VALIDATOR_KELVO_PROBE + 1);

}  // namespace

HostFacts::HostFacts() = default;

void HostFacts::addBus(const char* id, bool isInput, int32_t channels, bool active,
                       const char* layout) {
    if (busCount >= HOST_FACTS_MAX_BUSES) return;
    HostBusFacts& bus = buses[busCount++];
    bus = HostBusFacts{};
    copyFixedText(bus.id, id);
    bus.isInput = isInput ? 1 : 0;
    bus.channels = channels;
    bus.active = active ? 1 : 0;
    copyFixedText(bus.layout, layout);
}

bool TransportFact::differsFrom(const TransportFact& other) const {
    // The nine state and capability bytes run from `source` to `canSetTempo`.
    constexpr size_t first = offsetof(TransportFact, source);
    constexpr size_t count = offsetof(TransportFact, reserved) - first;
    static_assert(count == 9);
    const auto* a = reinterpret_cast<const unsigned char*>(this) + first;
    const auto* b = reinterpret_cast<const unsigned char*>(&other) + first;
    return std::memcmp(a, b, count) != 0 || !sameNumber(tempo, other.tempo) ||
           numerator != other.numerator || denominator != other.denominator ||
           !sameNumber(loopStartPpq, other.loopStartPpq) ||
           !sameNumber(loopEndPpq, other.loopEndPpq) || !sameNumber(sampleRate, other.sampleRate);
}

uint32_t compiledBankCount() {
    return 0;
}

bool describeCompiledBank(uint32_t /*index*/, BankFacts& out) {
    out.reset();
    return false;
}

const char* diagnosticTargetName(DiagnosticTarget target) {
    return nameAt(TARGET_NAMES, static_cast<uint8_t>(target), "offline");
}

const char* diagnosticValidatorKindName(uint8_t validatorKind) {
    return nameAt(VALIDATOR_NAMES, validatorKind, nullptr);
}

uint32_t storedBusCount(const HostFacts& facts) {
    return std::min(facts.busCount, HOST_FACTS_MAX_BUSES);
}

bool busesDiffer(const HostFacts& a, const HostFacts& b) {
    if (a.busCount != b.busCount) return true;
    for (uint32_t i = 0; i < storedBusCount(a); ++i) {
        const HostBusFacts& x = a.buses[i];
        const HostBusFacts& y = b.buses[i];
        if ((x.isInput != 0) != (y.isInput != 0) || x.channels != y.channels ||
            (x.active != 0) != (y.active != 0) || !fixedTextEquals(x.id, y.id) ||
            !fixedTextEquals(x.layout, y.layout))
            return true;
    }
    return false;
}

bool bypassChanged(const HostFacts& previous, const HostFacts& current) {
    return current.bypassKnown != 0 &&
           (previous.bypassKnown == 0 || (previous.bypassed != 0) != (current.bypassed != 0));
}

bool tailChanged(const HostFacts& previous, const HostFacts& current) {
    return previous.tailKind != current.tailKind || previous.tailSamples != current.tailSamples;
}

const char* diagnosticHostChangeKind(const HostFacts& previous, const HostFacts& current) {
    DiagnosticLifecycleKind kind;
    if (!sameNumber(previous.sampleRate, current.sampleRate))
        kind = DiagnosticLifecycleKind::SampleRateChanged;
    else if (previous.maxBlockFrames != current.maxBlockFrames)
        kind = DiagnosticLifecycleKind::BlockSizeChanged;
    else if (busesDiffer(previous, current))
        kind = DiagnosticLifecycleKind::BusLayoutChanged;
    else if (previous.latencySamples != current.latencySamples)
        kind = DiagnosticLifecycleKind::LatencyChanged;
    else if (tailChanged(previous, current))
        kind = DiagnosticLifecycleKind::TailChanged;
    else if (previous.processMode != current.processMode)
        kind = DiagnosticLifecycleKind::ProcessModeChanged;
    else if (bypassChanged(previous, current))
        kind = DiagnosticLifecycleKind::BypassChanged;
    else if (previous.lastBlockFrames != current.lastBlockFrames)
        kind = DiagnosticLifecycleKind::BlockSizeChanged;
    else if (previous.sampleSize != current.sampleSize)
        kind = DiagnosticLifecycleKind::Configured;
    else if (!sameNumber(previous.internalSampleRate, current.internalSampleRate))
        kind = DiagnosticLifecycleKind::SampleRateChanged;
    else
        return nullptr;
    return diagnosticLifecycleKindName(kind);
}

}  // namespace kelvo
