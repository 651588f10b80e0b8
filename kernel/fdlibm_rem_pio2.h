// Private to the fdlibm translation units: the multi-precision reduction of
// huge arguments modulo pi/2.
#pragma once

#include "fdlibm_detail.h"

namespace kelvo::fdlibm::detail {

// x - quadrant * pi/2 == hi + lo to well beyond double precision, with
// |hi| <= about pi/4. Only quadrant mod 4 matters to sin and cos.
struct ReducedArgument {
    double hi;
    double lo;
    int quadrant;
};

// Reduces a finite a beyond ~2^20 * pi/2 (the range where the three-step
// subtraction of pi/2 in fdlibm_math.cpp is no longer used), with every bit of
// 2/pi that the cancellation needs.
ReducedArgument reduceLargeArgument(double a);

}  // namespace kelvo::fdlibm::detail
