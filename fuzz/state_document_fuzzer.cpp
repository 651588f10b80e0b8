// The state document reader on arbitrary bytes: no crash, no overread, no
// runaway allocation, and every document it accepts writes back to a text
// that reads to the same state and writes back to the same text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "state_document.h"

namespace {

using namespace kelvo;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

bool sameText(const char* a, const char* b) {
    return std::strcmp(a, b) == 0;
}

// The bank reference a chunk holds, as the writer takes it.
bool bankOf(const StateChunk& chunk, BankStateRefOut* bank) {
    if (!chunk.hasBankRef || !chunk.bankId[0]) return false;
    *bank = {.id = chunk.bankId,
             .bankVersion = chunk.bankVersion,
             .sha256 = chunk.bankSha256,
             .source = chunk.bankSource,
             .presetId = chunk.hasBankPresetId ? chunk.bankPresetId : nullptr,
             .instrument = chunk.bankInstrument,
             .locator = chunk.hasBankLocator ? chunk.bankLocator : nullptr};
    return true;
}

std::string write(const StateChunk& chunk) {
    double params[KELVO_PARAM_COUNT];
    for (uint32_t id = 0; id < KELVO_PARAM_COUNT; ++id) {
        check(!chunk.paramPresent[id] || std::isfinite(chunk.params[id]));
        params[id] = chunk.paramPresent[id] ? chunk.params[id] : KELVO_PARAMS[id].defaultPlain;
    }
    BankStateRefOut bank;
    bool hasBank = bankOf(chunk, &bank);
    AuthoredStateOut authored{chunk.authoredBytes.data(), chunk.authoredBytes.size(),
                              chunk.authoredVersion};
    return writeStateJson(
        params, chunk.variation, chunk.ccMapPresent ? &chunk.ccMap : nullptr,
        chunk.samplerAssetFaultPresent ? static_cast<uint32_t>(chunk.samplerAssetFault) : 0u,
        chunk.samplerZoneProgram, hasBank ? &bank : nullptr,
        chunk.padsPresent ? &chunk.pads : nullptr, chunk.authoredPresent ? &authored : nullptr);
}

void checkSame(const StateChunk& a, const StateChunk& b) {
    for (uint32_t id = 0; id < KELVO_PARAM_COUNT; ++id) {
        check(b.paramPresent[id]);
        if (a.paramPresent[id])
            check(std::memcmp(&a.params[id], &b.params[id], sizeof(double)) == 0);
    }
    check(a.variation < 0 ? b.variation == -1 : b.variation == a.variation);
    check(a.ccMapPresent == b.ccMapPresent);
    if (a.ccMapPresent) check(a.ccMap == b.ccMap);
    check(a.samplerAssetFaultPresent == b.samplerAssetFaultPresent);
    check(a.samplerAssetFault == b.samplerAssetFault);
    check(a.samplerZoneProgram == b.samplerZoneProgram);
    check(a.pads == b.pads);
    check(b.padsPresent == !a.pads.empty());
    check(a.authoredPresent == b.authoredPresent);
    if (a.authoredPresent) {
        check(a.authoredBytes == b.authoredBytes);
        check(a.authoredVersion == b.authoredVersion);
    }
    BankStateRefOut bankA, bankB;
    bool hasA = bankOf(a, &bankA), hasB = bankOf(b, &bankB);
    check(hasA == hasB);
    if (!hasA) return;
    check(sameText(bankA.id, bankB.id));
    check(sameText(bankA.bankVersion, bankB.bankVersion));
    check(sameText(bankA.sha256, bankB.sha256));
    // The writer names an empty source "embedded".
    check(sameText(*bankA.source ? bankA.source : "embedded", bankB.source));
    check(sameText(bankA.instrument, bankB.instrument));
    check(a.hasBankLocator == b.hasBankLocator && a.hasBankPresetId == b.hasBankPresetId);
    check(sameText(a.bankLocator, b.bankLocator) && sameText(a.bankPresetId, b.bankPresetId));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    StateChunk chunk;
    if (!parseStateJson(reinterpret_cast<const char*>(data), size, chunk)) return 0;
    check(chunk.authoredBytes.size() <= AUTHORED_STATE_MAX_BYTES);
    check(chunk.pads.size() <= SAMPLER_PAD_OVERRIDES_MAX);
    std::string text = write(chunk);
    StateChunk back;
    check(parseStateJson(text.data(), text.size(), back));
    checkSame(chunk, back);
    check(write(back) == text);
    return 0;
}
