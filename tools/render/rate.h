// Sample rates as exact fractions, and the rounding every timeline position
// goes through: a time given exactly as a fraction of seconds becomes the
// nearest frame, halves rounded up, with no floating point on the way.
#pragma once

#include <cstdint>
#include <string_view>

namespace tambro::render {

struct Rate {
    uint64_t numerator = 48000;  // frames per `denominator` seconds
    uint64_t denominator = 1;
    double hertz() const {
        return static_cast<double>(numerator) / static_cast<double>(denominator);
    }
};

// "48000", "44100.5": at most six decimals, above 0 and at most 10 MHz;
// false for anything else. Never depends on the process locale.
bool parseRate(std::string_view text, Rate& rate);

using Wide = unsigned __int128;

// The frame nearest to `seconds numerator / seconds denominator`.
uint64_t frameAt(Wide secondsNumerator, Wide secondsDenominator, const Rate& rate);

}  // namespace tambro::render
