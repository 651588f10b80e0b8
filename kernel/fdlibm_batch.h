// Array versions of kelvo::fdlibm's exp, sin and cos for the render loops:
// y[i] = f(x[i]) for i < n, the same bits as the scalar function for every
// input, several elements at a time where the CPU allows (AVX2, chosen at load
// time). x and y may be the same array but must not overlap otherwise. No
// call allocates, locks or makes a system call.
#pragma once

#include <cstddef>

namespace kelvo::fdlibm {

void expBatch(const double* x, double* y, std::size_t n);
void sinBatch(const double* x, double* y, std::size_t n);
void cosBatch(const double* x, double* y, std::size_t n);

namespace detail {

// The implementation behind the batch functions. Only tests and benchmarks
// choose one, to check or time every path on a machine that has them all.
enum class BatchPath {
    Scalar,  // one scalar call per element: any CPU
    Avx2,    // four lanes (x86-64 with AVX2)
};

// The fastest path this CPU supports.
BatchPath bestBatchPath();

// Makes the batch functions use path, which must be supported by this CPU
// (path <= bestBatchPath()); returns false and changes nothing otherwise.
// Every path gives the same bits, so concurrent callers are unaffected.
bool setBatchPathForTesting(BatchPath path);

}  // namespace detail
}  // namespace kelvo::fdlibm
