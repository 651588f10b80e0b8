#include "staged_bank.h"

#include <iterator>

#include "name_table.h"

namespace kelvo {
namespace {

constexpr const char* OUTCOME_NAMES[] = {
    "ok",
    "bank-missing",
    "bank-hash-mismatch",
    "bank-malformed",
    "bank-unsupported-codec",
    "bank-too-large",
    "bank-instrument-unknown",
};
static_assert(std::size(OUTCOME_NAMES) == RUNTIME_BANK_INSTRUMENT_UNKNOWN + 1);

// Indexed by StagedZone::trigger.
constexpr const char* TRIGGER_NAMES[] = {"attack", "release", "legato"};

}  // namespace

const char* runtimeBankOutcomeName(int32_t outcome) {
    return nameAt(OUTCOME_NAMES, outcome, "bank-missing");
}

uint32_t triggerCode(std::string_view text) {
    return static_cast<uint32_t>(nameIndex(TRIGGER_NAMES, text).value_or(0));
}

}  // namespace kelvo
