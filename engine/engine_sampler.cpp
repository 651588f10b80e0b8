// Sampler support: what the controller and recalled states publish to the
// audio path (pad overrides, the runtime bank, the velocity sensitivity
// table), velocity resolution, and bank failures recorded as diagnostics.
// This engine has no sample arena, so every runtime bank is refused.
#include <cstring>

#include "kelvo_params.h"
#include "kernel_engine.h"

namespace kelvo {
namespace {

constexpr uint32_t VELOCITY_SENSITIVITY_FLAG = PAD_VELOCITY_SENSITIVITY;

int32_t parameterIndexOf(const char* key) {
    for (int32_t i = 0; i < ENGINE_PARAMETER_COUNT; ++i)
        if (std::strcmp(KELVO_PARAMS[i].path, key) == 0) return i;
    return -1;
}

const char* orEmpty(const char* text) {
    return text != nullptr ? text : "";
}

bool padOverridesAcceptable(const SamplerPadOverrides& overrides) {
    if (overrides.size() > SAMPLER_PAD_OVERRIDES_MAX) return false;
    for (const SamplerPadOverride& entry : overrides)
        if (entry.pad.empty() || entry.pad.size() > SAMPLER_PAD_ID_MAX_BYTES || entry.mask == 0)
            return false;
    return true;
}

}  // namespace

void KernelEngine::lookUpVelocityParameters() {
    velocityModeIndex_ = parameterIndexOf("velocity.mode");
    velocityFixedIndex_ = parameterIndexOf("velocity.fixed");
    velocityVariationIndex_ = parameterIndexOf("velocity.variation");
    for (auto& entry : velocitySensitivity_)
        entry.store(1.0f, std::memory_order_relaxed);
}

bool KernelEngine::publishRuntimeBank(std::shared_ptr<const StagedBank>) {
    return false;  // no sample arena: the published bank stays as it is
}

void KernelEngine::withdrawRuntimeBank() {
    publishedBank_.reset();
    refreshSamplerPadVelocitySensitivity(publishedPads_.get(), nullptr);
}

bool KernelEngine::publishSamplerPadOverrides(const SamplerPadOverrides& overrides) {
    if (!padOverridesAcceptable(overrides)) return false;
    publishedPads_ = std::make_shared<const SamplerPadOverrides>(overrides);
    refreshSamplerPadVelocitySensitivity(publishedPads_.get(), publishedBank_.get());
    return true;
}

void KernelEngine::refreshSamplerPadVelocitySensitivity(const SamplerPadOverrides* overrides,
                                                        const StagedBank* bank) {
    for (auto& entry : velocitySensitivity_)
        entry.store(1.0f, std::memory_order_relaxed);
    if (overrides == nullptr || overrides->empty() || bank == nullptr) return;
    std::array<bool, MIDI_NOTE_COUNT> set{};
    for (const StagedZone& zone : bank->zones) {
        // A zone is a pad when it plays one fixed note; its id names the pad.
        if (zone.id.empty() || zone.keyTracking != 0 || zone.lowKey >= MIDI_NOTE_COUNT ||
            zone.lowKey != zone.highKey || set[zone.lowKey])
            continue;
        for (const SamplerPadOverride& entry : *overrides) {
            if (entry.pad != zone.id) continue;
            if ((entry.mask & VELOCITY_SENSITIVITY_FLAG) != 0) {
                velocitySensitivity_[zone.lowKey].store(
                    static_cast<float>(entry.velocitySensitivity), std::memory_order_relaxed);
                set[zone.lowKey] = true;
            }
            break;
        }
    }
}

float KernelEngine::velocitySensitivity(uint32_t note) const {
    return note < MIDI_NOTE_COUNT ? velocitySensitivity_[note].load(std::memory_order_relaxed)
                                  : 1.0f;
}

double KernelEngine::resolveSamplerVelocity(uint32_t note, double velocity) noexcept {
    if (velocityModeIndex_ < 0 || velocityFixedIndex_ < 0 || velocityVariationIndex_ < 0)
        return velocity;
    const SamplerVelocityControls controls{
        mirror_[velocityModeIndex_].load(std::memory_order_relaxed),
        mirror_[velocityFixedIndex_].load(std::memory_order_relaxed),
        mirror_[velocityVariationIndex_].load(std::memory_order_relaxed)};
    return resolveVelocity(velocity, controls, velocitySensitivity(note), randomState_);
}

int32_t KernelEngine::recallSampleBank(const StateChunk& chunk) {
    if (!chunk.hasBankRef || chunk.bankId[0] == '\0') return 0;
    recordBankRecallFailure(BANK_RECALL_NOT_CONTAINED, chunk.bankId);
    return BANK_RECALL_NOT_CONTAINED;
}

void KernelEngine::recordBankRecallFailure(int32_t outcome, const char* bankId) {
    if (outcome != BANK_RECALL_NOT_CONTAINED && outcome != BANK_RECALL_HASH_DIFFERS) return;
    const bool missing = outcome == BANK_RECALL_NOT_CONTAINED;
    diagnostics_.recordDiagnostic(
        missing ? DIAGNOSTIC_BANK_MISSING : DIAGNOSTIC_BANK_HASH_MISMATCH,
        DIAGNOSTIC_SEVERITY_ERROR, DIAGNOSTIC_PHASE_STATE,
        missing ? "state recall named a bank this build does not contain; parameters kept, "
                  "output silent, no bank substituted"
                : "state recall named a bank whose manifest hash differs from the one compiled "
                  "in; parameters kept, output silent",
        formatDiagnosticDetail("{\"bank\":\"%s\",\"banks\":%u}", orEmpty(bankId), 0u).c_str());
}

void KernelEngine::recordRuntimeBankFailure(int32_t outcome, const char* error,
                                            const char* source) {
    if (outcome == RUNTIME_BANK_OK) return;
    const char* name = runtimeBankOutcomeName(outcome);
    diagnostics_.recordDiagnostic(
        outcome == RUNTIME_BANK_HASH_MISMATCH ? DIAGNOSTIC_BANK_HASH_MISMATCH
                                              : DIAGNOSTIC_BANK_MISSING,
        DIAGNOSTIC_SEVERITY_ERROR, DIAGNOSTIC_PHASE_LOAD,
        formatDiagnosticMessage("runtime bank load refused (%s): %s", name, orEmpty(error)).c_str(),
        formatDiagnosticDetail("{\"reason\":\"%s\",\"source\":\"%s\"}", name, orEmpty(source))
            .c_str());
}

}  // namespace kelvo
