// exp, log, sin and cos with fdlibm's algorithms and coefficients, written so
// that every floating-point operation happens in fdlibm's order: the results
// are fdlibm's, bit for bit, on any IEEE-754 machine that does not fuse a*b+c
// (the build passes -ffp-contract=off). Nothing here allocates, locks, touches
// errno or the floating-point environment.
//
// Where fdlibm computes a fixed special result with an expression that only
// serves to raise a floating-point exception (huge*huge, -two54/zero, ...),
// the value is returned directly; NaN-producing operations are kept, so a NaN
// argument comes back as the same (quieted) NaN and an invalid one produces
// the machine's default NaN, as fdlibm's would.
#include "fdlibm_math.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "fdlibm_rem_pio2.h"

namespace kelvo::fdlibm {
namespace {

// The coefficients and thresholds live in fdlibm_detail.h, shared with the
// batch functions in fdlibm_batch.cpp.
using namespace detail;

constexpr double INF = std::numeric_limits<double>::infinity();

// ---------------------------------------------------------------------------
// exp (the method is outlined in fdlibm_detail.h)

constexpr double TWO_M1000 = 0x1p-1000;

// y * 2^k by adding k to the exponent field; y is near 1 and the caller
// keeps the result normal. Unsigned arithmetic makes a negative k wrap
// exactly like fdlibm's addition to the high word.
inline double addToExponent(double y, int k) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(y);
    return std::bit_cast<double>(bits + (static_cast<std::uint64_t>(k) << 52));
}

// ---------------------------------------------------------------------------
// log
//
// x = 2^k (1 + f) with sqrt(2)/2 < 1 + f < sqrt(2); log(1 + f) = f - f^2/2 +
// s (f^2/2 + R(s^2)) with s = f / (2 + f) and a degree-7 minimax R.

constexpr double TWO_54 = 0x1p54;
constexpr double LOG_LG1 = 0x1.5555555555593p-1;  // 6.666666666666735130e-01
constexpr double LOG_LG2 = 0x1.999999997fa04p-2;  // 3.999999999940941908e-01
constexpr double LOG_LG3 = 0x1.2492494229359p-2;  // 2.857142874366239149e-01
constexpr double LOG_LG4 = 0x1.c71c51d8e78afp-3;  // 2.222219843214978396e-01
constexpr double LOG_LG5 = 0x1.7466496cb03dep-3;  // 1.818357216161805012e-01
constexpr double LOG_LG6 = 0x1.39a09d078c69fp-3;  // 1.531383769920937332e-01
constexpr double LOG_LG7 = 0x1.2f112df3e5244p-3;  // 1.479819860511658591e-01

// ---------------------------------------------------------------------------
// sin and cos kernels on [-pi/4, pi/4]; x + y is the reduced argument, y the
// tail left over by the reduction.

// condition ? a : b through bit masks: compilers turn a floating-point ?:
// into a branch, which mispredicts when the condition follows the data.
inline double select(bool condition, double a, double b) {
    const std::uint64_t mask = 0 - static_cast<std::uint64_t>(condition);
    return std::bit_cast<double>((std::bit_cast<std::uint64_t>(a) & mask) |
                                 (std::bit_cast<std::uint64_t>(b) & ~mask));
}

// sin(x) for |x| <= ~pi/4 when x is exact (y == 0): sin x = x + x^3 P(x^2).
inline double sinKernelExact(double x) {
    if ((highWord(x) & HW_ABS_MASK) < HW_TWO_M27) return x;  // x^3/6 is below half an ulp
    const double z = x * x;
    const double v = z * x;
    const double r = SIN_S2 + z * (SIN_S3 + z * (SIN_S4 + z * (SIN_S5 + z * SIN_S6)));
    return x + v * (SIN_S1 + z * r);
}

// sin(x + y) for a reduced argument: the tail y enters to first order,
// sin(x + y) ~ sin x + y cos x ~ sin x + y (1 - x^2/2).
inline double sinKernel(double x, double y) {
    if ((highWord(x) & HW_ABS_MASK) < HW_TWO_M27) return x;
    const double z = x * x;
    const double v = z * x;
    const double r = SIN_S2 + z * (SIN_S3 + z * (SIN_S4 + z * (SIN_S5 + z * SIN_S6)));
    return x - ((z * (0.5 * y - v * r) - y) - v * SIN_S1);
}

// cos(x + y) = 1 - x^2/2 + x^4 C(x^2) - x y. For |x| >= 0.3, 1 - x^2/2 would
// round badly, so it is evaluated as (1 - qx) - (x^2/2 - qx) with qx = |x|/4
// cut to its high word (0.28125 past |x| = 0.78125): both differences are
// exact and only the final subtraction rounds.
inline double cosKernel(double x, double y) {
    const std::uint32_t ix = highWord(x) & HW_ABS_MASK;
    if (ix < HW_TWO_M27) return 1.0;  // x^2/2 is below half an ulp of 1
    const double z = x * x;
    const double r =
        z * (COS_C1 + z * (COS_C2 + z * (COS_C3 + z * (COS_C4 + z * (COS_C5 + z * COS_C6)))));
    // Below |x| = 0.3 fdlibm returns 1 - (x^2/2 - (x^4 C - x y)); that is the
    // same expression with qx = 0 (both extra operations are exact), which
    // spares an unpredictable branch.
    double qx = fromWords(ix - COS_HW_QX_QUARTER, 0);  // |x|/4, high word only
    qx = select(ix > COS_HW_QX_HIGH, COS_QX_MAX, qx);  // |x| > 0.78125
    qx = select(ix < COS_HW_QX_LOW, 0.0, qx);          // |x| < 0.3
    const double hz = 0.5 * z - qx;
    const double a = 1.0 - qx;
    return a - (hz - (z * r - x * y));
}

// ---------------------------------------------------------------------------
// Argument reduction: x - n pi/2 = hi + lo.
//
// For |x| < 3pi/4, n = +-1 and one head plus its tail of pi/2 suffices except
// right next to pi/2. Up to 2^20 pi/2, one to three head/tail pairs are
// subtracted (fdlibm_detail.h). Beyond that, the multi-precision path in
// fdlibm_rem_pio2.cpp takes over.

constexpr double HALF = 0.5;
// Exponent of a double from its high word (sign already cleared or ignored).
inline int exponentField(std::uint32_t hw) {
    return static_cast<int>((hw >> 20) & 0x7ff);
}

// x - (+-pi/2) for pi/4 < |x| < 3pi/4; ix is the high word of |x|.
[[gnu::noinline]] ReducedArgument reduceNearPiOver2(double x, std::uint32_t ix) {
    ReducedArgument r{};
    if ((highWord(x) >> 31) == 0) {
        double z = x - PIO2_1;
        if (ix != HW_PI_OVER_2) {  // 33 + 53 bits of pi/2 are enough
            r.hi = z - PIO2_1T;
            r.lo = (z - r.hi) - PIO2_1T;
        } else {  // next to pi/2: 33 + 33 + 53 bits
            z -= PIO2_2;
            r.hi = z - PIO2_2T;
            r.lo = (z - r.hi) - PIO2_2T;
        }
        r.quadrant = 1;
    } else {
        double z = x + PIO2_1;
        if (ix != HW_PI_OVER_2) {
            r.hi = z + PIO2_1T;
            r.lo = (z - r.hi) + PIO2_1T;
        } else {
            z += PIO2_2;
            r.hi = z + PIO2_2T;
            r.lo = (z - r.hi) + PIO2_2T;
        }
        r.quadrant = -1;
    }
    return r;
}

inline ReducedArgument negateIf(bool negative, ReducedArgument r) {
    if (negative) {
        r.hi = -r.hi;
        r.lo = -r.lo;
        r.quadrant = -r.quadrant;
    }
    return r;
}

// Beyond 2^20 pi/2: out of line, so that the common path stays small.
[[gnu::noinline]] ReducedArgument reduceHuge(double x) {
    return negateIf((highWord(x) >> 31) != 0, detail::reduceLargeArgument(std::fabs(x)));
}

// Requires pi/4 < |x| (high word above HW_PI_OVER_4) and x finite; ix is the
// high word of |x|. Medium arguments, the synth's, are reduced inline.
inline ReducedArgument reduce(double x, std::uint32_t ix) {
    if (ix < HW_3PI_OVER_4) [[unlikely]]
        return reduceNearPiOver2(x, ix);
    if (ix > HW_MEDIUM_LIMIT) [[unlikely]]
        return reduceHuge(x);

    const double t = std::fabs(x);
    const int n = static_cast<int>(t * INV_PIO2 + HALF);
    const double fn = static_cast<double>(n);
    double rem = t - fn * PIO2_1;  // exact: fn * PIO2_1 has at most 53 bits
    double w = fn * PIO2_1T;       // good to about 85 bits
    double hi = rem - w;
    if (n >= N_PIO2_TABLE_SIZE || ix == N_PIO2_HIGH_WORDS[n - 1]) {
        // Possibly close to n pi/2: measure the cancellation by the drop in
        // exponent from |x| to the result, and refine with further bits of
        // pi/2 as needed. (Below n = 32 the high-word test rules it out.)
        const int j = static_cast<int>(ix >> 20);
        if (j - exponentField(highWord(hi)) > REDUCTION_DROP_2) {  // good to 118 bits
            double prev = rem;
            w = fn * PIO2_2;
            rem = prev - w;
            w = fn * PIO2_2T - ((prev - rem) - w);
            hi = rem - w;
            if (j - exponentField(highWord(hi)) > REDUCTION_DROP_3) {  // 151 bits: covers all
                prev = rem;
                w = fn * PIO2_3;
                rem = prev - w;
                w = fn * PIO2_3T - ((prev - rem) - w);
                hi = rem - w;
            }
        }
    }
    return negateIf((highWord(x) >> 31) != 0, {hi, (rem - hi) - w, n});
}

// sin of a reduced argument shifted by q quadrants: sin, cos, -sin, -cos.
// Both kernels are evaluated and the answer picked without a branch on q,
// which is unpredictable for the phases a synth passes. The sign flip is
// exactly a negation.
inline double sinOfReduced(const ReducedArgument& r, int q) {
    const double s = sinKernel(r.hi, r.lo);
    const double c = cosKernel(r.hi, r.lo);
    const std::uint64_t v = std::bit_cast<std::uint64_t>(select((q & 1) != 0, c, s));
    const std::uint64_t flip = static_cast<std::uint64_t>(q & 2) << 62;
    return std::bit_cast<double>(v ^ flip);
}

}  // namespace

double exp(double x) {
    const std::uint32_t hw = highWord(x);
    const int sign = static_cast<int>(hw >> 31);
    const std::uint32_t hx = hw & HW_ABS_MASK;

    if (hx >= EXP_HW_LIMIT) {  // |x| >= 709.78..., or inf or NaN
        if (hx >= HW_INF) {
            if (((hx & 0xfffff) | lowWord(x)) != 0) return x + x;  // NaN
            return (sign == 0) ? x : 0.0;                          // exp(+-inf) = inf, 0
        }
        if (x > EXP_OVERFLOW) return INF;
        if (x < EXP_UNDERFLOW) return 0.0;
    }

    double hi = 0.0;
    double lo = 0.0;
    int k = 0;
    if (hx > EXP_HW_HALF_LN2) {       // |x| > ln2/2
        if (hx < EXP_HW_3HALF_LN2) {  // and |x| < 3 ln2/2: k = +-1
            hi = (sign == 0) ? x - LN2_HI : x + LN2_HI;
            lo = (sign == 0) ? LN2_LO : -LN2_LO;
            k = 1 - sign - sign;
        } else {
            k = static_cast<int>(INV_LN2 * x + ((sign == 0) ? HALF : -HALF));
            const double t = k;
            hi = x - t * LN2_HI;  // exact: LN2_HI has 32 significant bits
            lo = t * LN2_LO;
        }
        x = hi - lo;
    } else if (hx < EXP_HW_TINY) {  // |x| < 2^-28: exp(x) rounds to 1 + x
        return 1.0 + x;
    }

    const double t = x * x;
    const double c = x - t * (EXP_P1 + t * (EXP_P2 + t * (EXP_P3 + t * (EXP_P4 + t * EXP_P5))));
    if (k == 0) return 1.0 - ((x * c) / (c - 2.0) - x);
    const double y = 1.0 - ((lo - (x * c) / (2.0 - c)) - hi);
    if (k >= -1021) return addToExponent(y, k);
    // The result is subnormal: scale in two steps so it rounds only once.
    return addToExponent(y, k + 1000) * TWO_M1000;
}

double log(double x) {
    std::uint32_t hx = highWord(x);
    const std::uint32_t lx = lowWord(x);

    int k = 0;
    if (hx < 0x00100000 || (hx >> 31) != 0) {             // x < 2^-1022, or negative
        if (((hx & HW_ABS_MASK) | lx) == 0) return -INF;  // log(+-0)
        // log(negative) is NaN. fdlibm divides x - x by zero; multiplying by
        // infinity raises the same invalid operation and yields the same NaN
        // (the default one, or -NaN's own) without a division by zero.
        if ((hx >> 31) != 0) return (x - x) * INF;
        k -= 54;  // subnormal: scale up
        x *= TWO_54;
        hx = highWord(x);
    }
    if (hx >= HW_INF) return x + x;  // +inf or NaN

    k += static_cast<int>(hx >> 20) - 1023;
    hx &= 0x000fffff;
    // Pick the exponent so that the mantissa lands in [sqrt(2)/2, sqrt(2)):
    // i is 0x100000 when the mantissa is at least sqrt(2).
    const std::uint32_t i = (hx + 0x95f64) & 0x100000;
    x = fromWords(hx | (i ^ 0x3ff00000), lowWord(x));
    k += static_cast<int>(i >> 20);
    const double f = x - 1.0;

    if ((0x000fffff & (2 + hx)) < 3) {  // |f| < 2^-20: a short series suffices
        if (f == 0.0) {
            if (k == 0) return 0.0;
            const double dk = k;
            return dk * LN2_HI + dk * LN2_LO;
        }
        const double r = f * f * (0.5 - 0.33333333333333333 * f);
        if (k == 0) return f - r;
        const double dk = k;
        return dk * LN2_HI - ((r - dk * LN2_LO) - f);
    }

    const double s = f / (2.0 + f);
    const double dk = k;
    const double z = s * s;
    const double w = z * z;
    const double t1 = w * (LOG_LG2 + w * (LOG_LG4 + w * LOG_LG6));
    const double t2 = z * (LOG_LG1 + w * (LOG_LG3 + w * (LOG_LG5 + w * LOG_LG7)));
    const double r = t2 + t1;
    // fdlibm takes the form with f^2/2 for mantissas in [0x6147a, 0x6b851]
    // (about 1.38 .. 1.42), where |f| is largest after normalisation.
    const std::int32_t i0 = static_cast<std::int32_t>(hx) - 0x6147a;
    const std::int32_t j0 = 0x6b851 - static_cast<std::int32_t>(hx);
    const bool useHalfSquare = (i0 | j0) > 0;
    if (useHalfSquare) {
        const double hfsq = 0.5 * f * f;
        if (k == 0) return f - (hfsq - s * (hfsq + r));
        return dk * LN2_HI - ((hfsq - (s * (hfsq + r) + dk * LN2_LO)) - f);
    }
    if (k == 0) return f - s * (f - r);
    return dk * LN2_HI - ((s * (f - r) - dk * LN2_LO) - f);
}

double sin(double x) {
    const std::uint32_t ix = highWord(x) & HW_ABS_MASK;
    if (ix <= HW_PI_OVER_4) return sinKernelExact(x);
    if (ix >= HW_INF) return x - x;  // NaN for inf and NaN
    const ReducedArgument r = reduce(x, ix);
    return sinOfReduced(r, r.quadrant);  // sin, cos, -sin, -cos by quadrant
}

double cos(double x) {
    const std::uint32_t ix = highWord(x) & HW_ABS_MASK;
    if (ix <= HW_PI_OVER_4) return cosKernel(x, 0.0);
    if (ix >= HW_INF) return x - x;
    const ReducedArgument r = reduce(x, ix);
    return sinOfReduced(r, r.quadrant + 1);  // cos, -sin, -cos, sin by quadrant
}

}  // namespace kelvo::fdlibm
