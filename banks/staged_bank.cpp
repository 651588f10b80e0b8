#include "staged_bank.h"

namespace kelvo {

const char* runtimeBankOutcomeName(int32_t outcome) {
    switch (outcome) {
        case RUNTIME_BANK_OK:
            return "ok";
        case RUNTIME_BANK_HASH_MISMATCH:
            return "bank-hash-mismatch";
        case RUNTIME_BANK_MALFORMED:
            return "bank-malformed";
        case RUNTIME_BANK_UNSUPPORTED_CODEC:
            return "bank-unsupported-codec";
        case RUNTIME_BANK_TOO_LARGE:
            return "bank-too-large";
        case RUNTIME_BANK_INSTRUMENT_UNKNOWN:
            return "bank-instrument-unknown";
        default:
            return "bank-missing";
    }
}

uint32_t triggerCode(std::string_view text) {
    if (text == "release") return 1;
    if (text == "legato") return 2;
    return 0;
}

}  // namespace kelvo
