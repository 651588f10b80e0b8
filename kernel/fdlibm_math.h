// exp, log, sin and cos following the fdlibm algorithms, so that the kernel's
// results are the same bits on every machine, whatever the C library does.
#pragma once

namespace kelvo::fdlibm {

double exp(double x);
double log(double x);
double sin(double x);
double cos(double x);

}  // namespace kelvo::fdlibm
