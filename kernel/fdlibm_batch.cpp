// Batch exp, sin and cos: the scalar functions of fdlibm_math.cpp, four lanes
// at a time with AVX2 where the CPU has it, one call per element otherwise.
//
// Bit-exactness: every lane performs the scalar code's IEEE operations in the
// scalar code's order, with the coefficients of fdlibm_detail.h. Nothing may
// fuse a multiply into an add: the build passes -ffp-contract=off and the
// vector code is compiled for AVX2 only, never for FMA. Where the scalar code
// branches, the vector code either computes both sides and picks per lane,
// or, for the branches the synth's arguments do not take (overflow,
// underflow, huge or non-finite arguments, heavy cancellation near a multiple
// of pi/2), marks the lane and redoes it with the scalar function: exact by
// definition, and rare.
//
// Like the scalar code, this assumes round-to-nearest, which nothing in the
// library changes.
//
// Only the x86-64 build has the vector path; the rest of the library stays
// baseline x86-64: the AVX2 functions carry a target attribute and are only
// called after the CPU check at load time.
#include "fdlibm_batch.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "fdlibm_detail.h"
#include "fdlibm_math.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KELVO_FDLIBM_AVX2 1
#include <immintrin.h>
#else
#define KELVO_FDLIBM_AVX2 0
#endif

namespace kelvo::fdlibm {
namespace {

using detail::BatchPath;

template <double (*F)(double)>
void scalarLoop(const double* x, double* y, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        y[i] = F(x[i]);
}

#if KELVO_FDLIBM_AVX2

using namespace detail;

// Every function that touches a 256-bit vector is compiled for AVX2; the
// small helpers are forced inline so that no vector crosses a call.
#define KELVO_AVX2 [[gnu::target("avx2")]]
#define KELVO_AVX2_INLINE [[gnu::target("avx2"), gnu::always_inline]] inline

using Vec = __m256d;  // four doubles; comparisons give all-ones lanes for true
constexpr std::size_t LANES = 4;

// Arithmetic uses the compilers' vector operators (+ - * /), one IEEE
// operation each, so that every line can be read against the scalar code.

KELVO_AVX2_INLINE Vec splat(double v) {
    return _mm256_set1_pd(v);
}

KELVO_AVX2_INLINE __m256i splatBits(std::uint64_t bits) {
    return _mm256_set1_epi64x(static_cast<long long>(bits));
}

KELVO_AVX2_INLINE Vec fromBits(std::uint64_t bits) {
    return _mm256_castsi256_pd(splatBits(bits));
}

KELVO_AVX2_INLINE Vec absolute(Vec v) {
    return _mm256_andnot_pd(fromBits(0x8000000000000000), v);
}

KELVO_AVX2_INLINE Vec signBit(Vec v) {
    return _mm256_and_pd(fromBits(0x8000000000000000), v);
}

KELVO_AVX2_INLINE Vec less(Vec a, Vec b) {
    return _mm256_cmp_pd(a, b, _CMP_LT_OQ);
}

// !(a < b): also true where a is NaN, so NaN lanes count as out of range.
KELVO_AVX2_INLINE Vec notLess(Vec a, Vec b) {
    return _mm256_cmp_pd(a, b, _CMP_NLT_UQ);
}

KELVO_AVX2_INLINE Vec select(Vec condition, Vec ifTrue, Vec ifFalse) {
    return _mm256_blendv_pd(ifFalse, ifTrue, condition);
}

// condition ? 0 : v
KELVO_AVX2_INLINE Vec zeroWhere(Vec condition, Vec v) {
    return _mm256_andnot_pd(condition, v);
}

KELVO_AVX2_INLINE int laneBits(Vec condition) {
    return _mm256_movemask_pd(condition);
}

// Toward zero, like the scalar code's static_cast<int> for |v| < 2^31.
KELVO_AVX2_INLINE Vec truncate(Vec v) {
    return _mm256_round_pd(v, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
}

// The integer k of an integral double |k| < 2^51, as the low bits of a
// 64-bit lane: adding 1.5 * 2^52 puts k (two's complement) at the bottom of
// the mantissa.
KELVO_AVX2_INLINE __m256i integerBits(Vec k) {
    return _mm256_castpd_si256(k + splat(0x1.8p52));
}

// fdlibm branches on the high word of |x|. For a |x| that is not NaN,
// highWord(|x|) > H is |x| >= fromWords(H + 1, 0) and highWord(|x|) < H is
// |x| < fromWords(H, 0), so the vector code compares doubles against such
// bounds.

// ---------------------------------------------------------------------------
// exp

// Below this |x| fdlibm's exp takes its common path with a normal result:
// k = trunc(x / ln2 -+ 1/2) stays within [-1021, 1021]. Beyond it, and for
// NaN, the lane goes to the scalar function.
constexpr double EXP_VECTOR_LIMIT = 708.0;
static_assert(highWord(EXP_VECTOR_LIMIT) < EXP_HW_LIMIT);
static_assert(static_cast<int>(INV_LN2 * -EXP_VECTOR_LIMIT - 0.5) >= -1021);

constexpr double EXP_HALF_LN2_BOUND = fromWords(EXP_HW_HALF_LN2 + 1, 0);  // hx > EXP_HW_HALF_LN2
constexpr double EXP_TINY_BOUND = fromWords(EXP_HW_TINY, 0);              // hx < EXP_HW_TINY

// y * 2^k by adding k to the exponent field, as the scalar addToExponent.
KELVO_AVX2_INLINE Vec addToExponent(Vec y, Vec k) {
    const __m256i shift = _mm256_slli_epi64(integerBits(k), 52);
    return _mm256_castsi256_pd(_mm256_add_epi64(_mm256_castpd_si256(y), shift));
}

struct ExpLanes {
    static double scalar(double x) { return fdlibm::exp(x); }

    // fdlibm has two reductions and two final formulas; one of each serves
    // all lanes:
    //  - for ln2/2 < |x| < 3ln2/2 fdlibm subtracts +-LN2_HI and +-LN2_LO
    //    directly, which is what k * LN2_HI and k * LN2_LO give for the
    //    k = +-1 that the general formula yields there;
    //  - for k == 0 fdlibm returns 1 - (x c / (c - 2) - x). With k = 0,
    //    hi = x and lo = -0 the general 1 - ((lo - x c / (2 - c)) - hi) is the
    //    same value: c - 2 is exactly -(2 - c), so the quotient only changes
    //    sign, and -0 - q is exactly -q.
    KELVO_AVX2_INLINE static Vec lanes(Vec x, int& scalarLanes) {
        const Vec ax = absolute(x);
        scalarLanes = laneBits(notLess(ax, splat(EXP_VECTOR_LIMIT)));

        // A rounding offset of +-1/2 where fdlibm reduces (|x| > ln2/2), and
        // of 0 below, where |x| / ln2 < 1 truncates to k = 0 (-0 for x < 0).
        const Vec reduced = notLess(ax, splat(EXP_HALF_LN2_BOUND));
        const Vec half = _mm256_and_pd(reduced, _mm256_or_pd(splat(0.5), signBit(x)));
        const Vec k = truncate(splat(INV_LN2) * x + half);
        const Vec hi = x - k * splat(LN2_HI);  // exact: LN2_HI has 32 significant bits
        const Vec lo = k * splat(LN2_LO);
        const Vec r = hi - lo;

        const Vec t = r * r;
        const Vec c = r - t * (splat(EXP_P1) +
                               t * (splat(EXP_P2) +
                                    t * (splat(EXP_P3) + t * (splat(EXP_P4) + t * splat(EXP_P5)))));
        const Vec y = splat(1.0) - ((lo - (r * c) / (splat(2.0) - c)) - hi);
        const Vec scaled = addToExponent(y, k);
        // |x| < 2^-28: exp(x) rounds to 1 + x.
        return select(less(ax, splat(EXP_TINY_BOUND)), splat(1.0) + x, scaled);
    }
};

// ---------------------------------------------------------------------------
// sin and cos
//
// The vector code works on |x| and puts the sign back at the end: fdlibm's
// reduction of -x is exactly the negation of that of x, its sine kernel is
// exactly odd and its cosine kernel exactly even (IEEE rounding is symmetric),
// so sin(-x) is exactly -sin(x) and cos(-x) exactly cos(x).

constexpr double PI_OVER_4_BOUND = fromWords(HW_PI_OVER_4 + 1, 0);      // ix <= HW_PI_OVER_4
constexpr double MEDIUM_BOUND = fromWords(HW_MEDIUM_LIMIT + 1, 0);      // ix <= HW_MEDIUM_LIMIT
constexpr double KERNEL_TINY_BOUND = fromWords(HW_TWO_M27, 0);          // ix < HW_TWO_M27
constexpr double COS_QX_HIGH_BOUND = fromWords(COS_HW_QX_HIGH + 1, 0);  // ix > COS_HW_QX_HIGH
constexpr double COS_QX_LOW_BOUND = fromWords(COS_HW_QX_LOW, 0);        // ix < COS_HW_QX_LOW

constexpr double twoToMinus(int d) {
    double v = 1.0;
    for (int i = 0; i < d; ++i)
        v *= 0.5;
    return v;
}
constexpr double DROP_2_SCALE = twoToMinus(REDUCTION_DROP_2);

// A medium x is below 2^21, so a cancellation deep enough for fdlibm's third
// pair of pi/2 (a drop of more than REDUCTION_DROP_3) leaves |hi| < 2^-28:
// such lanes are already sent to the scalar function as kernel-tiny.
static_assert(MEDIUM_BOUND < 0x1p21);
static_assert(0x1p21 * twoToMinus(REDUCTION_DROP_3) <= KERNEL_TINY_BOUND);

// x - n pi/2 = hi + lo for a non-negative x; n is an integral double.
struct Reduced {
    Vec hi;
    Vec lo;
    Vec n;
};

// fdlibm's medium reduction for x > pi/4. The second head/tail pair of pi/2
// is computed for every lane and kept where fdlibm would use it (a branch
// would mispredict: for phases of a few thousand radians several percent of
// the lanes need it). Lanes the vector code does not reproduce are marked in
// scalarLanes:
//  - beyond 2^20 pi/2, inf and NaN;
//  - cancellation below n = 32, where fdlibm refines only when |x| shares
//    its high word with n pi/2 (N_PIO2_HIGH_WORDS);
//  - |hi| < 2^-27, where the kernels take their early exits; this includes
//    every lane that needs the third pair.
// Below 3pi/4 fdlibm uses its own n = 1 reduction (reduceNearPiOver2): the
// same operations as here, except that next to pi/2 (|x| sharing pi/2's high
// word) it always takes the second pair; those lanes show a drop of more
// than 16 and so fall under the second rule.
//
// fdlibm measures the cancellation as the drop in binary exponent from x to
// hi; a drop of more than d is |hi| < 2^(e - d) (zero and subnormal hi
// included), with 2^e the power of two at or below x, which the exponent bits
// of x give directly.
KELVO_AVX2_INLINE Reduced reduceMedium(Vec x, int& scalarLanes) {
    const Vec n = truncate(x * splat(INV_PIO2) + splat(0.5));
    const Vec rem1 = x - n * splat(PIO2_1);  // exact: n * PIO2_1 has at most 53 bits
    const Vec w1 = n * splat(PIO2_1T);
    const Vec hi1 = rem1 - w1;

    const Vec w2a = n * splat(PIO2_2);
    const Vec rem2 = rem1 - w2a;
    const Vec w2 = n * splat(PIO2_2T) - ((rem1 - rem2) - w2a);
    const Vec hi2 = rem2 - w2;

    const Vec powerOfX = _mm256_and_pd(x, fromBits(0x7ff0000000000000));
    const Vec refine = less(absolute(hi1), powerOfX * splat(DROP_2_SCALE));
    const Vec hi = select(refine, hi2, hi1);

    const Vec belowTable = less(n, splat(static_cast<double>(N_PIO2_TABLE_SIZE)));
    const Vec scalar = _mm256_or_pd(
        _mm256_or_pd(notLess(x, splat(MEDIUM_BOUND)), _mm256_and_pd(refine, belowTable)),
        less(absolute(hi), splat(KERNEL_TINY_BOUND)));
    scalarLanes = laneBits(scalar);

    const Vec rem = select(refine, rem2, rem1);
    const Vec w = select(refine, w2, w1);
    return {hi, (rem - hi) - w, n};
}

// sin(x + y) for |x| >= 2^-27, as the scalar sinKernel.
KELVO_AVX2_INLINE Vec sinKernel(Vec x, Vec y) {
    const Vec z = x * x;
    const Vec v = z * x;
    const Vec r =
        splat(SIN_S2) +
        z * (splat(SIN_S3) + z * (splat(SIN_S4) + z * (splat(SIN_S5) + z * splat(SIN_S6))));
    return x - ((z * (splat(0.5) * y - v * r) - y) - v * splat(SIN_S1));
}

// sin(x) for 2^-27 <= |x| <= ~pi/4 exact, as the scalar sinKernelExact.
KELVO_AVX2_INLINE Vec sinKernelExact(Vec x) {
    const Vec z = x * x;
    const Vec v = z * x;
    const Vec r =
        splat(SIN_S2) +
        z * (splat(SIN_S3) + z * (splat(SIN_S4) + z * (splat(SIN_S5) + z * splat(SIN_S6))));
    return x + v * (splat(SIN_S1) + z * r);
}

// cos(x + y) for |x| >= 2^-27, as the scalar cosKernel; qx is built from the
// high word of |x| with integer lanes.
KELVO_AVX2_INLINE Vec cosKernel(Vec x, Vec y) {
    const Vec z = x * x;
    const Vec r =
        z *
        (splat(COS_C1) +
         z * (splat(COS_C2) +
              z * (splat(COS_C3) + z * (splat(COS_C4) + z * (splat(COS_C5) + z * splat(COS_C6))))));
    const Vec ax = absolute(x);
    const __m256i highOnly =
        _mm256_and_si256(_mm256_castpd_si256(ax), splatBits(0xffffffff00000000));
    Vec qx = _mm256_castsi256_pd(
        _mm256_sub_epi64(highOnly, splatBits(std::uint64_t{COS_HW_QX_QUARTER} << 32)));
    qx = select(notLess(ax, splat(COS_QX_HIGH_BOUND)), splat(COS_QX_MAX), qx);
    qx = zeroWhere(less(ax, splat(COS_QX_LOW_BOUND)), qx);
    const Vec hz = splat(0.5) * z - qx;
    const Vec a = splat(1.0) - qx;
    return a - (hz - (z * r - x * y));
}

// sin (COSINE = false) or cos of four lanes.
template <bool COSINE>
struct SinCosLanes {
    static double scalar(double x) {
        if constexpr (COSINE) return fdlibm::cos(x);
        return fdlibm::sin(x);
    }

    KELVO_AVX2_INLINE static Vec lanes(Vec x, int& scalarLanes) {
        const Vec ax = absolute(x);
        Reduced r = reduceMedium(ax, scalarLanes);
        Vec s = sinKernel(r.hi, r.lo);
        Vec c = cosKernel(r.hi, r.lo);

        // |x| <= ~pi/4: no reduction, and sin has its own kernel. Rare in a
        // synth's phases, hence the branch.
        const Vec small = less(ax, splat(PI_OVER_4_BOUND));
        if (const int smallLanes = laneBits(small); smallLanes != 0) [[unlikely]] {
            scalarLanes &= ~smallLanes;
            const Vec zero = _mm256_setzero_pd();
            const Vec tiny = less(ax, splat(KERNEL_TINY_BOUND));
            r.n = zeroWhere(small, r.n);
            s = select(small, select(tiny, ax, sinKernelExact(ax)), s);
            c = select(small, select(tiny, splat(1.0), cosKernel(ax, zero)), c);
        }

        // Quadrant q = n (sin) or n + 1 (cos): odd q takes the cosine kernel,
        // q & 2 flips the sign.
        __m256i q = integerBits(r.n);
        if constexpr (COSINE) q = _mm256_add_epi64(q, splatBits(1));
        const Vec odd = _mm256_castsi256_pd(_mm256_slli_epi64(q, 63));
        Vec flip = _mm256_castsi256_pd(_mm256_slli_epi64(_mm256_srli_epi64(q, 1), 63));
        if constexpr (!COSINE) flip = _mm256_xor_pd(flip, signBit(x));
        return _mm256_xor_pd(select(odd, c, s), flip);
    }
};

// ---------------------------------------------------------------------------
// The array loop: whole vectors, then the tail through a padded buffer, so
// every element takes the same vector path. Lanes marked for the scalar
// function are redone from the inputs kept in a register, which also holds
// when x == y.

template <typename F>
KELVO_AVX2_INLINE void redoLanes(Vec input, int scalarLanes, double* y) {
    alignas(32) double in[LANES];
    _mm256_store_pd(in, input);
    for (std::size_t lane = 0; lane < LANES; ++lane) {
        if ((scalarLanes >> lane) & 1) y[lane] = F::scalar(in[lane]);
    }
}

template <typename F>
KELVO_AVX2 void avx2Loop(const double* x, double* y, std::size_t n) {
    std::size_t i = 0;
    for (; i + LANES <= n; i += LANES) {
        const Vec input = _mm256_loadu_pd(x + i);
        int scalarLanes = 0;
        _mm256_storeu_pd(y + i, F::lanes(input, scalarLanes));
        if (scalarLanes != 0) [[unlikely]]
            redoLanes<F>(input, scalarLanes, y + i);
    }
    if (i == n) return;

    // 1.0 fills the unused lanes: it takes the fast path of all three.
    alignas(32) double buffer[LANES] = {1.0, 1.0, 1.0, 1.0};
    const std::size_t rest = n - i;
    for (std::size_t lane = 0; lane < rest; ++lane)
        buffer[lane] = x[i + lane];
    const Vec input = _mm256_load_pd(buffer);
    int scalarLanes = 0;
    _mm256_store_pd(buffer, F::lanes(input, scalarLanes));
    redoLanes<F>(input, scalarLanes & ((1 << rest) - 1), buffer);
    for (std::size_t lane = 0; lane < rest; ++lane)
        y[i + lane] = buffer[lane];
}

#undef KELVO_AVX2
#undef KELVO_AVX2_INLINE

#endif  // KELVO_FDLIBM_AVX2

BatchPath detectBestPath() {
#if KELVO_FDLIBM_AVX2
    __builtin_cpu_init();  // a load-time constructor may run before libgcc's own
    if (__builtin_cpu_supports("avx2")) return BatchPath::Avx2;
#endif
    return BatchPath::Scalar;
}

// The path in use. Constant-initialised to the scalar path, so that a call
// from another library's static initialiser still gets the right bits; set to
// the best path when this library is loaded. A relaxed load is a plain move.
std::atomic<BatchPath> activePath{BatchPath::Scalar};

[[gnu::constructor]] void selectPathAtLoad() {
    activePath.store(detectBestPath(), std::memory_order_relaxed);
}

#if KELVO_FDLIBM_AVX2
bool useAvx2() {
    return activePath.load(std::memory_order_relaxed) == BatchPath::Avx2;
}
#endif

}  // namespace

void expBatch(const double* x, double* y, std::size_t n) {
#if KELVO_FDLIBM_AVX2
    if (useAvx2()) return avx2Loop<ExpLanes>(x, y, n);
#endif
    scalarLoop<&fdlibm::exp>(x, y, n);
}

void sinBatch(const double* x, double* y, std::size_t n) {
#if KELVO_FDLIBM_AVX2
    if (useAvx2()) return avx2Loop<SinCosLanes<false>>(x, y, n);
#endif
    scalarLoop<&fdlibm::sin>(x, y, n);
}

void cosBatch(const double* x, double* y, std::size_t n) {
#if KELVO_FDLIBM_AVX2
    if (useAvx2()) return avx2Loop<SinCosLanes<true>>(x, y, n);
#endif
    scalarLoop<&fdlibm::cos>(x, y, n);
}

namespace detail {

BatchPath bestBatchPath() {
    return detectBestPath();
}

bool setBatchPathForTesting(BatchPath path) {
    if (path > detectBestPath()) return false;
    activePath.store(path, std::memory_order_relaxed);
    return true;
}

}  // namespace detail
}  // namespace kelvo::fdlibm
