// The runtime bank reply: the text the processor sends the controller after
// every bank load. Lines are separated by LF and fields by TAB: the outcome
// name, the loader's message, and for a published bank its instrument,
// positionings and presets.
#pragma once

#include <string>
#include <string_view>

#include "staged_bank.h"

namespace kelvo {

inline constexpr char RUNTIME_BANK_PRESET_MARK = '\x01';  // starts a preset line
inline constexpr char RUNTIME_BANK_PAIR_SEPARATOR = '\x1f';

// The reply; `bank` is null for a failure (two lines). A byte below 0x20
// inside any field is written as a space, so a pack's odd name can never
// split or shift the reply's lines and fields.
std::string encodeRuntimeBankReply(std::string_view outcomeName, std::string_view message,
                                   const StagedBank* bank);

}  // namespace kelvo
