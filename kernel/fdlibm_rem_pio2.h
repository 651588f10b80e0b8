// Private to the fdlibm translation units: access to a double's two 32-bit
// halves, and the multi-precision reduction of huge arguments modulo pi/2.
#pragma once

#include <bit>
#include <cstdint>

namespace kelvo::fdlibm::detail {

// fdlibm makes its decisions on the high 32 bits of a double (sign, exponent
// and the top 20 mantissa bits) and rebuilds doubles from two halves. These
// helpers do that through std::bit_cast, never through a union.
inline std::uint32_t highWord(double x) {
    return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(x) >> 32);
}

inline std::uint32_t lowWord(double x) {
    return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(x));
}

inline double fromWords(std::uint32_t high, std::uint32_t low) {
    return std::bit_cast<double>((std::uint64_t{high} << 32) | low);
}

// x - quadrant * pi/2 == hi + lo to well beyond double precision, with
// |hi| <= about pi/4. Only quadrant mod 4 matters to sin and cos.
struct ReducedArgument {
    double hi;
    double lo;
    int quadrant;
};

// Reduces a finite a >= 2^19 * pi/2 (the range where the three-step
// subtraction of pi/2 in fdlibm_math.cpp is no longer used), with every bit of
// 2/pi that the cancellation needs.
ReducedArgument reduceLargeArgument(double a);

}  // namespace kelvo::fdlibm::detail
