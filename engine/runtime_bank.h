// Runtime banks between the processor and the engine: loading a sound pack
// and offering it to the engine (answered with the runtime bank reply),
// recalling the bank a restored state names, and the bank reference a saved
// state stores. Main thread.
#pragma once

#include <string>

#include "kernel_engine.h"
#include "state_document.h"

namespace kelvo {

inline constexpr const char* ENGINE_REFUSED_BANK_MESSAGE =
    "the engine refused the staged bank (arena capacity)";

struct RuntimeBankAttempt {
    int32_t outcome = RUNTIME_BANK_OK;
    std::string message;                          // the loader's or the refusal's text
    std::shared_ptr<const StagedBank> published;  // set on outcome 0
};

// Loads the pack in `directory` (no arena limit: the engine decides) and
// offers it to the engine; a failure is recorded on the engine.
RuntimeBankAttempt loadAndOfferRuntimeBank(KernelEngine& engine, const std::string& directory,
                                           const std::string& source, const std::string& requested);
// The same, answered with the runtime bank reply text.
std::string loadAndPublishRuntimeBank(KernelEngine& engine, const std::string& directory,
                                      const std::string& source, const std::string& requested);

// The folder a recalled reference is loaded from. A hosted bank lives in the
// download cache under the archive digest it was requested with, which is the
// digest a hosted reference carries; a digest that is not exactly 64
// lower-case hexadecimal characters (say "../x") never names a cache folder,
// so a state file cannot make the plug-in read outside the cache.
std::string recallDirectory(const StateChunk& chunk, const std::string& hostedCacheRoot);

// Whether a restored state names a bank that recall loads: a reference with a
// locator, from any source but "embedded".
bool bankRefRecallable(const StateChunk& chunk);

// Loads and publishes the bank a restored state names (never "embedded").
// On success the four outputs hold the reference's source, locator, digest
// and instrument; otherwise they are emptied (untouched when the state names
// no loadable bank).
bool recallRuntimeBankFromChunk(KernelEngine& engine, const StateChunk& chunk, std::string& source,
                                std::string& locator, std::string& sha256, std::string& instrument);

// The bank reference of a saved state, when the engine holds a published bank
// and `source` is not empty. `digest` is the reference's digest: the caller's
// pinned archive digest for a hosted bank, else empty for the manifest
// digest. `out` points into `hold`, which keeps the bank alive.
bool fillBankStateRef(const KernelEngine& engine, const std::string& source,
                      const std::string& locator, const std::string& presetId,
                      const std::string& digest, BankStateRefOut& out,
                      std::shared_ptr<const StagedBank>& hold);

}  // namespace kelvo
