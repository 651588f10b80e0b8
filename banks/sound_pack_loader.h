// Loading one sound pack directory ("bank.json", instrument documents, WAV
// files) into a StagedBank. Every byte read is untrusted: each failure ends
// the load with an outcome code and a message, never an exception.
#pragma once

#include <cstdint>
#include <string>

#include "staged_bank.h"

namespace kelvo {

struct RuntimeBankLoad {
    int32_t outcome = RUNTIME_BANK_OK;
    StagedBank bank;
    std::string message;  // empty on success
};

// Reads the pack in `directory`, verifies every declared asset (size, then
// digest), selects the instrument or kit `requested` (empty: the first one
// with a document) and decodes the samples its zones use into one arena.
// `arenaFrames` is the engine's arena capacity in frames, 0 for no limit.
// The bank is meaningful only for outcome 0; it is returned empty for the
// arena, unknown-instrument and no-zones failures.
RuntimeBankLoad loadRuntimeBank(const std::string& directory, uint32_t arenaFrames,
                                const std::string& requested);

}  // namespace kelvo
