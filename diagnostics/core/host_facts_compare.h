// Comparisons shared by the change rules and the delta writer, so that a
// change kind and the delta members always agree.
#pragma once

#include <cstdint>
#include <cstring>

#include "host_facts.h"

namespace kelvo {

// Bit for bit, as the numbers would be written: NaN equals itself (no change
// reported on every record), 0 and -0 differ ("0" and "-0").
inline bool sameNumber(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// busCount clamped to the records that exist (the record may come from raw
// message bytes).
uint32_t storedBusCount(const HostFacts& facts);
bool busesDiffer(const HostFacts& previous, const HostFacts& current);
bool bypassChanged(const HostFacts& previous, const HostFacts& current);
bool tailChanged(const HostFacts& previous, const HostFacts& current);

}  // namespace kelvo
