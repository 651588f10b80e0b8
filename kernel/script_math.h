// The number rules the kernel's formulas are written against: min and max
// propagate NaN, round takes halves toward +infinity, and parameters are
// clamped with a fallback for non-finite values.
#pragma once

#include <cmath>

namespace kelvo::kernel {

inline double jsMin(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return NAN;
    if (a == b) return std::signbit(a) ? a : b;  // min(0, -0) is -0
    return a < b ? a : b;
}

inline double jsMax(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return NAN;
    if (a == b) return std::signbit(a) ? b : a;  // max(-0, 0) is 0
    return a > b ? a : b;
}

inline double jsRound(double x) {
    if (!std::isfinite(x)) return x;
    double below = std::floor(x);
    return x - below >= 0.5 ? below + 1.0 : below;
}

inline double clampParam(double value, double fallback, double low, double high) {
    return std::isfinite(value) ? jsMin(high, jsMax(low, value)) : fallback;
}

}  // namespace kelvo::kernel
