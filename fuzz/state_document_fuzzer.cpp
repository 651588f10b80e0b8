// The state document reader on arbitrary bytes: no crash, no overread, no
// runaway allocation, and every document it accepts writes back to a text
// that reads to the same parameter bits and writes back to the same text.
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

std::string write(const StateChunk& chunk) {
    double params[KELVO_PARAM_COUNT];
    for (uint32_t id = 0; id < KELVO_PARAM_COUNT; ++id) {
        check(!chunk.paramPresent[id] || std::isfinite(chunk.params[id]));
        params[id] = chunk.paramPresent[id] ? chunk.params[id] : KELVO_PARAMS[id].defaultPlain;
    }
    const bool hasBank = chunk.hasBankRef && chunk.bankId[0];
    BankStateRefOut bank{.id = chunk.bankId,
                         .bankVersion = chunk.bankVersion,
                         .sha256 = chunk.bankSha256,
                         .source = chunk.bankSource,
                         .presetId = chunk.hasBankPresetId ? chunk.bankPresetId : nullptr,
                         .instrument = chunk.bankInstrument,
                         .locator = chunk.hasBankLocator ? chunk.bankLocator : nullptr};
    AuthoredStateOut authored{chunk.authoredBytes.data(), chunk.authoredBytes.size(),
                              chunk.authoredVersion};
    return writeStateJson(
        params, chunk.variation, chunk.ccMapPresent ? &chunk.ccMap : nullptr,
        chunk.samplerAssetFaultPresent ? static_cast<uint32_t>(chunk.samplerAssetFault) : 0u,
        chunk.samplerZoneProgram, hasBank ? &bank : nullptr,
        chunk.padsPresent ? &chunk.pads : nullptr, chunk.authoredPresent ? &authored : nullptr);
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
    for (uint32_t id = 0; id < KELVO_PARAM_COUNT; ++id)
        check(!chunk.paramPresent[id] ||
              std::memcmp(&chunk.params[id], &back.params[id], sizeof(double)) == 0);
    check(write(back) == text);
    return 0;
}
