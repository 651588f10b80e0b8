// The processor's state stream and its side of the controller messages.
// Everything here runs on the host's main thread; the audio thread sees only
// what the engine publishes for it (mirror values, immutable override sets).
#include <cstring>
#include <string_view>

#include "kelvo_processor.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "runtime_bank.h"
#include "runtime_bank_reply.h"
#include "vst_io.h"

namespace kelvo {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// The four lines of a load request; missing ones are empty and text after a
// fourth line feed is ignored.
struct LoadRequest {
    std::string source, locator, sha256, instrument;
};

LoadRequest parseLoadRequest(std::string_view payload) {
    std::string* fields[] = {nullptr, nullptr, nullptr, nullptr};
    LoadRequest request;
    fields[0] = &request.source;
    fields[1] = &request.locator;
    fields[2] = &request.sha256;
    fields[3] = &request.instrument;
    for (std::string* field : fields) {
        const size_t end = payload.find('\n');
        field->assign(payload.substr(0, end));
        if (end == std::string_view::npos) break;
        payload.remove_prefix(end + 1);
    }
    if (request.source.empty()) request.source = "user-folder";
    return request;
}

}  // namespace

tresult PLUGIN_API KelvoProcessor::getState(IBStream* stream) {
    // Nothing may throw into the host (out of memory included).
    try {
        return getStateUnguarded(stream);
    } catch (...) {
        return kResultFalse;
    }
}

tresult KelvoProcessor::getStateUnguarded(IBStream* stream) {
    if (stream == nullptr) return kResultFalse;
    RuntimeDiagnostics& diagnostics = engine_.diagnostics();
    if (diagnostics.hasPendingRealtime() || diagnostics.realtimeDroppedCount() > 0)
        sendRuntimeDiagnostics(false);

    double params[KELVO_PARAM_COUNT];
    for (uint32 i = 0; i < KELVO_PARAM_COUNT; ++i)
        params[i] = engine_.paramValue(i);
    const std::shared_ptr<const SamplerPadOverrides> pads = engine_.publishedPadOverrides();
    BankStateRefOut bank;
    std::shared_ptr<const StagedBank> heldBank;
    // A hosted reference carries the archive digest its download is cached
    // under, so recall finds the cached folder.
    const std::string digest = runtimeBankSource_ == "hosted" ? runtimeBankSha256_ : "";
    const bool hasBank = fillBankStateRef(engine_, runtimeBankSource_, runtimeBankLocator_,
                                          loadedPresetId_, digest, bank, heldBank);
    const std::string document =
        writeStateJson(params, engine_.variation(), ccMapPresent_ ? &ccMap_ : nullptr, 0, 0,
                       hasBank ? &bank : nullptr, pads.get(), nullptr);

    return writeWholeStream(stream, document) == kResultOk ? kResultOk : kResultFalse;
}

tresult PLUGIN_API KelvoProcessor::setState(IBStream* stream) {
    // Nothing may throw into the host (out of memory included).
    try {
        return setStateUnguarded(stream);
    } catch (...) {
        return kResultFalse;
    }
}

tresult KelvoProcessor::setStateUnguarded(IBStream* stream) {
    if (stream == nullptr) return kResultFalse;
    std::string bytes;
    if (!readWholeStream(stream, bytes)) return kResultFalse;
    // A damaged document changes nothing: parse whole, then apply.
    auto chunk = std::make_unique<StateChunk>();
    if (!parseStateJson(bytes.data(), bytes.size(), *chunk)) return kResultFalse;

    for (uint32 i = 0; i < KELVO_PARAM_COUNT; ++i)
        if (chunk->paramPresent[i]) engine_.setParamValue(i, chunk->params[i]);
    if (chunk->variation >= 0) engine_.setVariation(chunk->variation);
    if (chunk->ccMapPresent) {
        ccMap_ = chunk->ccMap;
        ccMapPresent_ = true;
    }
    engine_.publishSamplerPadOverrides(chunk->padsPresent ? chunk->pads : SamplerPadOverrides{});
    recallRuntimeBank(*chunk);
    return kResultOk;
}

void KelvoProcessor::recallRuntimeBank(const StateChunk& chunk) {
    const bool hadBank = !runtimeBankLocator_.empty();
    if (recallRuntimeBankFromChunk(engine_, chunk, runtimeBankSource_, runtimeBankLocator_,
                                   runtimeBankSha256_, runtimeBankInstrument_))
        return;
    if (bankRefRecallable(chunk)) sendRuntimeDiagnostics(false);  // reports the failed load
    runtimeBankSource_.clear();
    runtimeBankLocator_.clear();
    runtimeBankSha256_.clear();
    runtimeBankInstrument_.clear();
    if (hadBank || chunk.hasBankLocator) engine_.withdrawRuntimeBank();
    engine_.recallSampleBank(chunk);
}

RuntimeBankAttempt KelvoProcessor::offerRuntimeBank(const std::string& locator,
                                                    const std::string& source,
                                                    const std::string& instrument) {
    RuntimeBankAttempt attempt = loadAndOfferRuntimeBank(engine_, locator, source, instrument);
    if (attempt.outcome != RUNTIME_BANK_OK) sendRuntimeDiagnostics(false);
    return attempt;
}

int32_t KelvoProcessor::loadRuntimeBankFromPath(const std::string& locator,
                                                const std::string& source,
                                                const std::string& instrument, std::string& error) {
    RuntimeBankAttempt attempt = offerRuntimeBank(locator, source, instrument);
    error = attempt.message;
    return attempt.outcome;
}

tresult PLUGIN_API KelvoProcessor::notify(IMessage* message) {
    // Nothing may throw into the host (out of memory included).
    try {
        return notifyUnguarded(message);
    } catch (...) {
        return kResultFalse;
    }
}

tresult KelvoProcessor::notifyUnguarded(IMessage* message) {
    if (message == nullptr) return kResultFalse;
    const std::string_view id = message->getMessageID() ? message->getMessageID() : "";
    std::string_view payload;
    const bool hasPayload = jsonPayload(message, payload);
    if (id == "kelvo.ccMap") {
        CcMap map;
        if (hasPayload && parseCcMapJson(payload.data(), payload.size(), map)) {
            ccMap_ = map;
            ccMapPresent_ = true;
        }
        return kResultOk;
    }
    if (id == "kelvo.padOverrides") {
        // The controller must not believe a set is applied that was refused.
        SamplerPadOverrides pads;
        return hasPayload && parseSamplerPadOverridesJson(payload.data(), payload.size(), pads) &&
                       engine_.publishSamplerPadOverrides(pads)
                   ? kResultOk
                   : kResultFalse;
    }
    if (id == "kelvo.loadRuntimeBank") {
        answerLoadRequest(hasPayload ? payload : std::string_view());
        return kResultOk;
    }
    if (id == "kelvo.diag.presetLoaded") {
        loadedPresetId_.assign(hasPayload ? payload : std::string_view());
        return kResultOk;
    }
    // This processor sends no transport reports and keeps no signal feed or
    // counters, so the polls have nothing to reset or drain.
    if (id == "kelvo.diag.transportPoll" || id == "kelvo.diag.feedDrain" ||
        id == "kelvo.diag.resetCounters")
        return kResultOk;
    if (id == "kelvo.stageResourceSlot") return kResultFalse;
    return AudioEffect::notify(message);
}

void KelvoProcessor::answerLoadRequest(std::string_view payload) {
    const LoadRequest request = parseLoadRequest(payload);
    std::string reply;
    if (request.locator.empty()) {
        reply = encodeRuntimeBankReply(runtimeBankOutcomeName(RUNTIME_BANK_MISSING), "", nullptr);
    } else {
        RuntimeBankAttempt attempt =
            offerRuntimeBank(request.locator, request.source, request.instrument);
        if (attempt.outcome == RUNTIME_BANK_OK) {
            runtimeBankSource_ = request.source;
            runtimeBankLocator_ = request.locator;
            runtimeBankSha256_ = request.sha256;
            runtimeBankInstrument_ = attempt.published->instrumentId.empty()
                                         ? request.instrument
                                         : attempt.published->instrumentId;
        }
        reply = encodeRuntimeBankReply(runtimeBankOutcomeName(attempt.outcome), attempt.message,
                                       attempt.published.get());
    }
    sendJsonMessage("kelvo.runtimeBankResult", reply.data(), static_cast<uint32>(reply.size()));
}

}  // namespace kelvo
