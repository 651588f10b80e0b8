#include "rate.h"

namespace tambro::render {

namespace {

constexpr uint64_t MAX_DENOMINATOR = 1000000;  // six decimals
constexpr uint64_t MAX_HERTZ = 10000000;

}  // namespace

bool parseRate(std::string_view text, Rate& rate) {
    uint64_t numerator = 0, denominator = 1;
    bool digits = false, point = false;
    for (const char c : text) {
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9') return false;
        if (point && denominator == MAX_DENOMINATOR) return false;
        numerator = numerator * 10 + static_cast<uint64_t>(c - '0');
        if (point) denominator *= 10;
        digits = true;
        if (numerator > MAX_HERTZ * MAX_DENOMINATOR) return false;
    }
    if (!digits || numerator == 0 || numerator > MAX_HERTZ * denominator) return false;
    while (denominator > 1 && numerator % 10 == 0) {
        numerator /= 10;
        denominator /= 10;
    }
    rate = {numerator, denominator};
    return true;
}

uint64_t frameAt(Wide secondsNumerator, Wide secondsDenominator, const Rate& rate) {
    const Wide numerator = secondsNumerator * rate.numerator;
    const Wide denominator = secondsDenominator * rate.denominator;
    return static_cast<uint64_t>((2 * numerator + denominator) / (2 * denominator));
}

}  // namespace tambro::render
