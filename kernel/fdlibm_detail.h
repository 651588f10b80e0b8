// Private to the fdlibm translation units (scalar and batch): access to a
// double's two 32-bit halves, and the coefficients and thresholds that the
// scalar functions and their vector counterparts must share bit for bit.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

// Every translation unit of these functions relies on IEEE rounding of each
// operation: no fast-math, and no fusing of a*b+c (the build also passes
// -ffp-contract=off; clang honours this pragma as well).
#ifdef __FAST_MATH__
#error "the fdlibm functions must not be built with -ffast-math"
#endif
#ifdef __clang__
#pragma STDC FP_CONTRACT OFF
#endif

namespace kelvo::fdlibm::detail {

// fdlibm makes its decisions on the high 32 bits of a double (sign, exponent
// and the top 20 mantissa bits) and rebuilds doubles from two halves. These
// helpers do that through std::bit_cast, never through a union.
constexpr std::uint32_t highWord(double x) {
    return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(x) >> 32);
}

constexpr std::uint32_t lowWord(double x) {
    return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(x));
}

constexpr double fromWords(std::uint32_t high, std::uint32_t low) {
    return std::bit_cast<double>((std::uint64_t{high} << 32) | low);
}

constexpr std::uint32_t HW_ABS_MASK = 0x7fffffff;
constexpr std::uint32_t HW_INF = 0x7ff00000;  // inf or NaN at and above

// ---------------------------------------------------------------------------
// exp
//
// x = k ln2 + r with |r| <= ln2/2, ln2 split in a 32-bit-exact head and a
// tail so that k * head is exact. exp(r) comes from a degree-5 minimax
// polynomial R(r^2) for r (e^r + 1) / (e^r - 1), and 2^k is put into the
// exponent bits at the end.

constexpr double EXP_OVERFLOW = 0x1.62e42fefa39efp+9;    //  709.782712893383973096
constexpr double EXP_UNDERFLOW = -0x1.74910d52d3051p+9;  // -745.133219101941108420
constexpr double LN2_HI = 0x1.62e42feep-1;               // 6.93147180369123816490e-01
constexpr double LN2_LO = 0x1.a39ef35793c76p-33;         // 1.90821492927058770002e-10
constexpr double INV_LN2 = 0x1.71547652b82fep+0;         // 1.44269504088896338700e+00
constexpr double EXP_P1 = 0x1.555555555553ep-3;          //  1.66666666666666019037e-01
constexpr double EXP_P2 = -0x1.6c16c16bebd93p-9;         // -2.77777777770155933842e-03
constexpr double EXP_P3 = 0x1.1566aaf25de2cp-14;         //  6.61375632143793436117e-05
constexpr double EXP_P4 = -0x1.bbd41c5d26bf1p-20;        // -1.65339022054652515390e-06
constexpr double EXP_P5 = 0x1.6376972bea4d0p-25;         //  4.13813679705723846039e-08

// High words that choose exp's path: beyond EXP_HW_LIMIT overflow, underflow,
// inf and NaN are screened; above EXP_HW_HALF_LN2 x is reduced (k != 0),
// below EXP_HW_TINY the result is 1 + x; up to EXP_HW_3HALF_LN2 k is +-1.
constexpr std::uint32_t EXP_HW_LIMIT = 0x40862E42;      // |x| >= 709.78...
constexpr std::uint32_t EXP_HW_HALF_LN2 = 0x3fd62e42;   // ~ln2/2 (inclusive bound)
constexpr std::uint32_t EXP_HW_3HALF_LN2 = 0x3FF0A2B2;  // ~3ln2/2
constexpr std::uint32_t EXP_HW_TINY = 0x3e300000;       // 2^-28

// ---------------------------------------------------------------------------
// sin and cos kernels on [-pi/4, pi/4].

constexpr double SIN_S1 = -0x1.5555555555549p-3;   // -1.66666666666666324348e-01
constexpr double SIN_S2 = 0x1.111111110f8a6p-7;    //  8.33333333332248946124e-03
constexpr double SIN_S3 = -0x1.a01a019c161d5p-13;  // -1.98412698298579493134e-04
constexpr double SIN_S4 = 0x1.71de357b1fe7dp-19;   //  2.75573137070700676789e-06
constexpr double SIN_S5 = -0x1.ae5e68a2b9cebp-26;  // -2.50507602534068634195e-08
constexpr double SIN_S6 = 0x1.5d93a5acfd57cp-33;   //  1.58969099521155010221e-10

constexpr double COS_C1 = 0x1.555555555554cp-5;    //  4.16666666666666019037e-02
constexpr double COS_C2 = -0x1.6c16c16c15177p-10;  // -1.38888888888741095749e-03
constexpr double COS_C3 = 0x1.a01a019cb1590p-16;   //  2.48015872894767294178e-05
constexpr double COS_C4 = -0x1.27e4f809c52adp-22;  // -2.75573143513906633035e-07
constexpr double COS_C5 = 0x1.1ee9ebdb4b1c4p-29;   //  2.08757232129817482790e-09
constexpr double COS_C6 = -0x1.8fae9be8838d4p-37;  // -1.13596475577881948265e-11

constexpr std::uint32_t HW_TWO_M27 = 0x3e400000;    // 2^-27: below, the kernels' x^3 terms vanish
constexpr std::uint32_t HW_PI_OVER_4 = 0x3fe921fb;  // ~pi/4 (inclusive bound)

// cos's kernel subtracts qx = |x|/4 (high word only) from both 1 and x^2/2,
// except below COS_HW_QX_LOW (|x| < 0.3, qx = 0) and above COS_HW_QX_HIGH
// (|x| > 0.78125, qx = 0.28125).
constexpr std::uint32_t COS_HW_QX_LOW = 0x3fd33333;
constexpr std::uint32_t COS_HW_QX_HIGH = 0x3fe90000;
constexpr std::uint32_t COS_HW_QX_QUARTER = 0x00200000;  // subtracting it divides by 4
constexpr double COS_QX_MAX = 0.28125;

// ---------------------------------------------------------------------------
// Argument reduction x - n pi/2 = hi + lo for medium arguments.
//
// pi/2 is split into 33-bit heads (so n * head is exact for n < 2^20) and
// tails. Up to 2^20 pi/2, the reduction subtracts one, two or three
// head/tail pairs, as many as the cancellation in x - n pi/2 demands.

constexpr double INV_PIO2 = 0x1.45f306dc9c883p-1;   // 6.36619772367581382433e-01
constexpr double PIO2_1 = 0x1.921fb544p+0;          // first 33 bits of pi/2
constexpr double PIO2_1T = 0x1.0b4611a626331p-34;   // pi/2 - PIO2_1
constexpr double PIO2_2 = 0x1.0b4611a6p-34;         // second 33 bits
constexpr double PIO2_2T = 0x1.3198a2e037073p-69;   // pi/2 - (PIO2_1 + PIO2_2)
constexpr double PIO2_3 = 0x1.3198a2ep-69;          // third 33 bits
constexpr double PIO2_3T = 0x1.b839a252049c1p-104;  // pi/2 - (PIO2_1 + PIO2_2 + PIO2_3)

constexpr std::uint32_t HW_3PI_OVER_4 = 0x4002d97c;
constexpr std::uint32_t HW_PI_OVER_2 = 0x3ff921fb;
constexpr std::uint32_t HW_MEDIUM_LIMIT = 0x413921fb;  // ~2^20 pi/2 (inclusive bound)

// Exponent drops from |x| to the reduced argument beyond which the second and
// the third head/tail pair of pi/2 are subtracted.
constexpr int REDUCTION_DROP_2 = 16;
constexpr int REDUCTION_DROP_3 = 49;

// Below n = 32 only arguments sharing their high word with n pi/2 are
// checked for cancellation.
constexpr int N_PIO2_TABLE_SIZE = 32;

// High words of n pi/2 for n = 1 .. 32. When |x| shares its high word with
// one of them, x may lie close enough to n pi/2 for a heavy cancellation.
constexpr std::array<std::uint32_t, N_PIO2_TABLE_SIZE> N_PIO2_HIGH_WORDS = {
    0x3FF921FB, 0x400921FB, 0x4012D97C, 0x401921FB, 0x401F6A7A, 0x4022D97C, 0x4025FDBB, 0x402921FB,
    0x402C463A, 0x402F6A7A, 0x4031475C, 0x4032D97C, 0x40346B9C, 0x4035FDBB, 0x40378FDB, 0x403921FB,
    0x403AB41B, 0x403C463A, 0x403DD85A, 0x403F6A7A, 0x40407E4C, 0x4041475C, 0x4042106C, 0x4042D97C,
    0x4043A28C, 0x40446B9C, 0x404534AC, 0x4045FDBB, 0x4046C6CB, 0x40478FDB, 0x404858EB, 0x404921FB,
};

}  // namespace kelvo::fdlibm::detail
