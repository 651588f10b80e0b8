// Reduction of huge arguments modulo pi/2, following fdlibm's
// __ieee754_rem_pio2 (large-argument branch) and __kernel_rem_pio2 with the
// double-precision setting. A double as large as 2^1023 needs about 1100 bits
// of 2/pi before the fraction of x * 2/pi is known to 53+ bits, so the product
// is formed exactly in 24-bit chunks held in doubles, and more chunks of 2/pi
// are pulled in when the leading fraction bits cancel.
//
// The floating-point operations and their order are exactly fdlibm's: the
// results must match its bits. Only the integer bookkeeping has been rewritten
// so that no signed value is shifted or overflows.
#include <array>
#include <cmath>
#include <cstdint>

#include "fdlibm_rem_pio2.h"

#ifdef __FAST_MATH__
#error "fdlibm_rem_pio2.cpp must not be built with -ffast-math: it relies on IEEE rounding"
#endif
#ifdef __clang__
#pragma STDC FP_CONTRACT OFF
#endif

namespace kelvo::fdlibm::detail {
namespace {

// 2/pi in binary, 24 bits per entry, most significant first. The largest
// double starts its product at entry 41 and needs five more plus any added for
// cancellation (at most 61 bits, three entries); the 66 entries (1584 bits)
// leave room to spare.
constexpr std::array<std::int32_t, 66> TWO_OVER_PI = {
    0xA2F983, 0x6E4E44, 0x1529FC, 0x2757D1, 0xF534DD, 0xC0DB62, 0x95993C, 0x439041, 0xFE5163,
    0xABDEBB, 0xC561B7, 0x246E3A, 0x424DD2, 0xE00649, 0x2EEA09, 0xD1921C, 0xFE1DEB, 0x1CB129,
    0xA73EE8, 0x8235F5, 0x2EBB44, 0x84E99C, 0x7026B4, 0x5F7E41, 0x3991D6, 0x398353, 0x39F49C,
    0x845F8B, 0xBDF928, 0x3B1FF8, 0x97FFDE, 0x05980F, 0xEF2F11, 0x8B5A0A, 0x6D1F6D, 0x367ECF,
    0x27CB09, 0xB74F46, 0x3F669E, 0x5FEA2D, 0x7527BA, 0xC7EBE5, 0xF17B3D, 0x0739F7, 0x8A5292,
    0xEA6BFB, 0x5FB11F, 0x8D5D08, 0x560330, 0x46FC7B, 0x6BABF0, 0xCFBC20, 0x9AF436, 0x1DA9E3,
    0x91615E, 0xE61B08, 0x659985, 0x5F14A0, 0x68408D, 0xFFD880, 0x4D7327, 0x310606, 0x1556CA,
    0x73A8C9, 0x60E27B, 0xC08C6B,
};

// pi/2 cut into 24-bit pieces: PI_OVER_2_CHUNKS[k] holds bits 24k .. 24k+23 of
// pi/2, so each product with a 24-bit integer chunk is exact. Double precision
// sums the first JP + 1 = 5 of them (about 120 bits of pi/2).
constexpr std::array<double, 5> PI_OVER_2_CHUNKS = {
    0x1.921fb4p+0,   // 1.57079625129699707031e+00
    0x1.4442d0p-24,  // 7.54978941586159635335e-08
    0x1.846988p-48,  // 5.39030252995776476554e-15
    0x1.8cc516p-72,  // 3.28200341580791294123e-22
    0x1.01b838p-96,  // 1.27065575308067607349e-29
};

constexpr double TWO_24 = 0x1p24;
constexpr double TWO_M24 = 0x1p-24;

// For double precision fdlibm starts with JK = 4 chunks of 2/pi beyond the
// first one that meets the leading chunk of x, and sums pi/2 to JP = 4 chunks.
constexpr int JK = 4;
constexpr int JP = JK;
static_assert(PI_OVER_2_CHUNKS.size() == JP + 1);

// Large enough for the initial terms plus every recomputation that a double
// argument can trigger (the worst case cancels 61 bits: three more chunks).
constexpr int MAX_TERMS = 20;

// 2^n * x for results that stay normal, which is all this file needs; exact,
// hence the same as fdlibm's scalbn on these arguments.
double scaleByPowerOf2(double x, int n) {
    return x * std::bit_cast<double>(static_cast<std::uint64_t>(n + 1023) << 52);
}

// x[0..nx) are 24-bit integer chunks of the argument, whose leading chunk has
// weight 2^e0. With x * 2/pi = n + f, n the nearest integer, writes f * pi/2
// to yHi + yLo and returns n mod 8.
int reduceChunks(const double* x, int nx, int e0, double& yHi, double& yLo) {
    std::array<std::int32_t, MAX_TERMS> iq{};
    std::array<double, MAX_TERMS> f{};
    std::array<double, MAX_TERMS> q{};
    std::array<double, MAX_TERMS> fq{};

    const int jx = nx - 1;
    // jv: the first chunk of 2/pi that matters. The products of x with the
    // chunks before it are multiples of 8, which change neither n mod 8 nor
    // the fraction.
    int jv = (e0 - 3) / 24;
    if (jv < 0) jv = 0;
    // q0: the weight of the last chunk of the product, as a power of 2.
    int q0 = e0 - 24 * (jv + 1);

    // f[i] = ipio2[jv - jx + i], zero before the start of the table.
    {
        int j = jv - jx;
        const int m = jx + JK;
        for (int i = 0; i <= m; ++i, ++j)
            f[i] = (j < 0) ? 0.0 : static_cast<double>(TWO_OVER_PI[j]);
    }

    // q[i] = sum_j x[j] * f[jx + i - j]: each term and the sum are exact.
    auto productTerm = [&](int i) {
        double fw = 0.0;
        for (int j = 0; j <= jx; ++j)
            fw += x[j] * f[jx + i - j];
        return fw;
    };
    for (int i = 0; i <= JK; ++i)
        q[i] = productTerm(i);

    int jz = JK;
    int n = 0;
    int ih = 0;
    double z = 0.0;
    for (;;) {
        // Propagate carries: fold q[jz..0] into 24-bit chunks iq[0..jz), least
        // significant first, leaving the leading part in z.
        z = q[jz];
        for (int i = 0, j = jz; j > 0; ++i, --j) {
            const double fw = static_cast<double>(static_cast<std::int32_t>(TWO_M24 * z));
            iq[i] = static_cast<std::int32_t>(z - TWO_24 * fw);
            z = q[j - 1] + fw;
        }

        // The integer part of the product, mod 8.
        z = scaleByPowerOf2(z, q0);
        z -= 8.0 * std::floor(z * 0.125);
        n = static_cast<std::int32_t>(z);
        z -= static_cast<double>(n);

        // ih > 0 when the fraction is >= 1/2: then round n up and reduce with
        // the complement 1 - fraction (a negative remainder).
        ih = 0;
        if (q0 > 0) {
            // The last integer bits live in iq[jz-1] as well.
            const int shift = 24 - q0;
            const std::int32_t i = iq[jz - 1] >> shift;
            n += i;
            iq[jz - 1] -= i << shift;
            ih = iq[jz - 1] >> (23 - q0);
        } else if (q0 == 0) {
            ih = iq[jz - 1] >> 23;
        } else if (z >= 0.5) {
            ih = 2;
        }

        if (ih > 0) {
            n += 1;
            bool borrow = false;
            for (int i = 0; i < jz; ++i) {
                const std::int32_t j = iq[i];
                if (!borrow) {
                    if (j != 0) {
                        borrow = true;
                        iq[i] = 0x1000000 - j;
                    }
                } else {
                    iq[i] = 0xffffff - j;
                }
            }
            if (q0 == 1) {
                iq[jz - 1] &= 0x7fffff;
            } else if (q0 == 2) {
                iq[jz - 1] &= 0x3fffff;
            }
            if (ih == 2) {
                z = 1.0 - z;
                if (borrow) z -= scaleByPowerOf2(1.0, q0);
            }
        }

        // If every fraction bit computed so far cancelled, the result is not
        // yet known: add as many chunks of 2/pi as there are zero chunks at the
        // top of iq and start over.
        if (z != 0.0) break;
        std::int32_t any = 0;
        for (int i = jz - 1; i >= JK; --i)
            any |= iq[i];
        if (any != 0) break;
        int k = 1;
        while (iq[JK - k] == 0)
            ++k;
        for (int i = jz + 1; i <= jz + k; ++i) {
            f[jx + i] = static_cast<double>(TWO_OVER_PI[jv + i]);
            q[i] = productTerm(i);
        }
        jz += k;
    }

    // Drop the zero chunks at the top, or split a leading part of z that has
    // grown past 24 bits.
    if (z == 0.0) {
        jz -= 1;
        q0 -= 24;
        while (iq[jz] == 0) {
            --jz;
            q0 -= 24;
        }
    } else {
        z = scaleByPowerOf2(z, -q0);
        if (z >= TWO_24) {
            const double fw = static_cast<double>(static_cast<std::int32_t>(TWO_M24 * z));
            iq[jz] = static_cast<std::int32_t>(z - TWO_24 * fw);
            jz += 1;
            q0 += 24;
            iq[jz] = static_cast<std::int32_t>(fw);
        } else {
            iq[jz] = static_cast<std::int32_t>(z);
        }
    }

    // The fraction as doubles q[i] = iq[i] * 2^(q0 - 24 (jz - i)).
    {
        double fw = scaleByPowerOf2(1.0, q0);
        for (int i = jz; i >= 0; --i) {
            q[i] = fw * static_cast<double>(iq[i]);
            fw *= TWO_M24;
        }
    }

    // fq[jz - i] = sum_k pi/2 chunk k * q[i + k]: the fraction times pi/2.
    for (int i = jz; i >= 0; --i) {
        double fw = 0.0;
        for (int k = 0; k <= JP && k <= jz - i; ++k)
            fw += PI_OVER_2_CHUNKS[k] * q[i + k];
        fq[jz - i] = fw;
    }

    // Sum from the smallest term up into hi, and the rounding error into lo.
    double fw = 0.0;
    for (int i = jz; i >= 0; --i)
        fw += fq[i];
    yHi = (ih == 0) ? fw : -fw;
    fw = fq[0] - fw;
    for (int i = 1; i <= jz; ++i)
        fw += fq[i];
    yLo = (ih == 0) ? fw : -fw;
    return n & 7;
}

}  // namespace

ReducedArgument reduceLargeArgument(double a) {
    // Write a = (c0 + c1 2^-24 + c2 2^-48) * 2^e0 with 24-bit integers c_i:
    // first rescale a into [2^23, 2^24) by rewriting its exponent.
    const std::uint32_t ia = highWord(a) & 0x7fffffffu;
    const int e0 = static_cast<int>(ia >> 20) - 1046;
    double z = fromWords(ia - (static_cast<std::uint32_t>(e0) << 20), lowWord(a));

    std::array<double, 3> chunks{};
    for (int i = 0; i < 2; ++i) {
        chunks[i] = static_cast<double>(static_cast<std::int32_t>(z));
        z = (z - chunks[i]) * TWO_24;
    }
    chunks[2] = z;
    int count = 3;
    while (chunks[count - 1] == 0.0)
        --count;  // chunks[0] >= 2^23, never zero

    ReducedArgument r{};
    r.quadrant = reduceChunks(chunks.data(), count, e0, r.hi, r.lo);
    return r;
}

}  // namespace kelvo::fdlibm::detail
