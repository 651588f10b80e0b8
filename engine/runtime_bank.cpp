#include "runtime_bank.h"

#include "hosted_bank.h"
#include "runtime_bank_reply.h"
#include "sound_pack_loader.h"

namespace kelvo {
namespace {

bool isSha256Hex(const char* text) {
    size_t length = 0;
    for (; text[length] != '\0'; ++length)
        if (!((text[length] >= '0' && text[length] <= '9') ||
              (text[length] >= 'a' && text[length] <= 'f')))
            return false;
    return length == 64;
}

}  // namespace

RuntimeBankAttempt loadAndOfferRuntimeBank(KernelEngine& engine, const std::string& directory,
                                           const std::string& source,
                                           const std::string& requested) {
    RuntimeBankLoad load = loadRuntimeBank(directory, 0, requested);
    RuntimeBankAttempt attempt{load.outcome, std::move(load.message), nullptr};
    if (attempt.outcome == RUNTIME_BANK_OK) {
        auto bank = std::make_shared<const StagedBank>(std::move(load.bank));
        if (engine.publishRuntimeBank(bank)) {
            attempt.published = std::move(bank);
            return attempt;
        }
        attempt.outcome = RUNTIME_BANK_TOO_LARGE;
        attempt.message = ENGINE_REFUSED_BANK_MESSAGE;
    }
    engine.recordRuntimeBankFailure(attempt.outcome, attempt.message.c_str(), source.c_str());
    return attempt;
}

std::string loadAndPublishRuntimeBank(KernelEngine& engine, const std::string& directory,
                                      const std::string& source, const std::string& requested) {
    const RuntimeBankAttempt attempt =
        loadAndOfferRuntimeBank(engine, directory, source, requested);
    return encodeRuntimeBankReply(runtimeBankOutcomeName(attempt.outcome), attempt.message,
                                  attempt.published.get());
}

std::string recallDirectory(const StateChunk& chunk, const std::string& hostedCacheRoot) {
    if (std::string_view(chunk.bankSource) == "hosted" && !hostedCacheRoot.empty() &&
        isSha256Hex(chunk.bankSha256))
        return hostedCacheRoot + "/" + chunk.bankSha256;
    return chunk.bankLocator;
}

bool bankRefRecallable(const StateChunk& chunk) {
    return chunk.hasBankRef && chunk.hasBankLocator && chunk.bankLocator[0] != '\0' &&
           std::string_view(chunk.bankSource) != "embedded";
}

bool recallRuntimeBankFromChunk(KernelEngine& engine, const StateChunk& chunk, std::string& source,
                                std::string& locator, std::string& sha256,
                                std::string& instrument) {
    if (!bankRefRecallable(chunk)) return false;
    const bool hosted = std::string_view(chunk.bankSource) == "hosted";
    const std::string directory = recallDirectory(chunk, hosted ? hostedBankCacheRoot() : "");
    const bool published =
        loadAndOfferRuntimeBank(engine, directory, chunk.bankSource, chunk.bankInstrument)
            .outcome == RUNTIME_BANK_OK;
    source = published ? chunk.bankSource : "";
    locator = published ? chunk.bankLocator : "";
    sha256 = published ? chunk.bankSha256 : "";
    instrument = published ? chunk.bankInstrument : "";
    return published;
}

bool fillBankStateRef(const KernelEngine& engine, const std::string& source,
                      const std::string& locator, const std::string& presetId,
                      const std::string& digest, BankStateRefOut& out,
                      std::shared_ptr<const StagedBank>& hold) {
    hold = engine.publishedRuntimeBank();
    if (!hold || source.empty()) return false;
    out = BankStateRefOut{};
    out.id = hold->id.c_str();
    out.bankVersion = hold->version.c_str();
    out.sha256 = digest.empty() ? hold->sha256.c_str() : digest.c_str();
    out.source = source.c_str();
    out.presetId = presetId.empty() ? nullptr : presetId.c_str();
    out.instrument = hold->instrumentId.empty() ? nullptr : hold->instrumentId.c_str();
    out.locator = locator.c_str();
    return true;
}

}  // namespace kelvo
