// ns per call of kelvo::fdlibm's exp, log, sin and cos next to the C
// library's, over the arguments a synth feeds them: phases of 0 .. 2000 rad,
// decay exponents of -50 .. 0 (and of -ln2/2 .. 0, where exp takes its k = 0
// formula), logs of gains and frequencies. One row also times the
// multi-precision reduction of huge sine arguments.
//
// Each iteration evaluates a table of arguments whose results are summed, so
// the rows measure throughput of independent calls, as in a render loop.
// The batch rows time expBatch, sinBatch and cosBatch over arrays of 64 to
// 8192 elements of the same ranges, on each path this CPU has; their ns/call
// counter is per element.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "fdlibm_batch.h"
#include "fdlibm_math.h"

namespace {

constexpr std::size_t TABLE_SIZE = 4096;

enum class Range { Phase, Decay, ShortDecay, Level, Huge };

std::vector<double> arguments(Range range, std::size_t size = TABLE_SIZE) {
    std::mt19937_64 rng(0x6b656c766fULL);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> args(size);
    for (double& x : args) {
        const double u = unit(rng);
        switch (range) {
            case Range::Phase:  // sin/cos of phases in radians
                x = 2000.0 * u;
                break;
            case Range::Decay:  // exp of envelope exponents
                x = -50.0 * u;
                break;
            case Range::ShortDecay:  // exp's k = 0 range, |x| < ln2/2
                x = -0.34 * u;
                break;
            case Range::Level:  // log of gains and frequencies, 1e-5 .. 1e5
                x = std::pow(10.0, -5.0 + 10.0 * u);
                break;
            case Range::Huge:  // 1e6 .. 1e300, nearly all beyond 2^20 pi/2
                x = std::pow(10.0, 6.0 + 294.0 * u);
                break;
        }
    }
    return args;
}

template <typename Function>
void run(benchmark::State& state, Function f, Range range) {
    const std::vector<double> args = arguments(range);
    for (auto _ : state) {
        double sum = 0.0;
        for (double x : args)
            sum += f(x);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(args.size()));
    // Report time per call rather than per table.
    state.counters["ns/call"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(args.size()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

using BatchFunction = void (*)(const double*, double*, std::size_t);
using kelvo::fdlibm::detail::BatchPath;

// One batch call per iteration over state.range(0) arguments, on the given
// path (skipped where the CPU lacks it).
void runBatch(benchmark::State& state, BatchFunction f, BatchPath path, Range range) {
    if (!kelvo::fdlibm::detail::setBatchPathForTesting(path)) {
        state.SkipWithError("path not supported by this CPU");
        return;
    }
    const std::vector<double> args = arguments(range, static_cast<std::size_t>(state.range(0)));
    std::vector<double> out(args.size());
    for (auto _ : state) {
        f(args.data(), out.data(), args.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    kelvo::fdlibm::detail::setBatchPathForTesting(kelvo::fdlibm::detail::bestBatchPath());
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(args.size()));
    state.counters["ns/call"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(args.size()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Lambdas rather than function pointers, so that both sides are direct calls.
const auto fdlibmSin = [](double x) { return kelvo::fdlibm::sin(x); };
const auto fdlibmCos = [](double x) { return kelvo::fdlibm::cos(x); };
const auto fdlibmExp = [](double x) { return kelvo::fdlibm::exp(x); };
const auto fdlibmLog = [](double x) { return kelvo::fdlibm::log(x); };
const auto libcSin = [](double x) { return std::sin(x); };
const auto libcCos = [](double x) { return std::cos(x); };
const auto libcExp = [](double x) { return std::exp(x); };
const auto libcLog = [](double x) { return std::log(x); };

BENCHMARK_CAPTURE(run, sin_fdlibm, fdlibmSin, Range::Phase);
BENCHMARK_CAPTURE(run, sin_libc, libcSin, Range::Phase);
BENCHMARK_CAPTURE(run, cos_fdlibm, fdlibmCos, Range::Phase);
BENCHMARK_CAPTURE(run, cos_libc, libcCos, Range::Phase);
BENCHMARK_CAPTURE(run, exp_fdlibm, fdlibmExp, Range::Decay);
BENCHMARK_CAPTURE(run, exp_libc, libcExp, Range::Decay);
BENCHMARK_CAPTURE(run, exp_short_fdlibm, fdlibmExp, Range::ShortDecay);
BENCHMARK_CAPTURE(run, exp_short_libc, libcExp, Range::ShortDecay);
BENCHMARK_CAPTURE(run, log_fdlibm, fdlibmLog, Range::Level);
BENCHMARK_CAPTURE(run, log_libc, libcLog, Range::Level);
BENCHMARK_CAPTURE(run, sin_huge_fdlibm, fdlibmSin, Range::Huge);
BENCHMARK_CAPTURE(run, sin_huge_libc, libcSin, Range::Huge);

// Array sizes of a render chunk, up to a whole render step.
#define KELVO_BATCH_BENCHMARK(name, function, path, range) \
    BENCHMARK_CAPTURE(runBatch, name, function, path, range)->Arg(64)->Arg(512)->Arg(8192)

KELVO_BATCH_BENCHMARK(sin_batch_avx2, kelvo::fdlibm::sinBatch, BatchPath::Avx2, Range::Phase);
KELVO_BATCH_BENCHMARK(sin_batch_scalar, kelvo::fdlibm::sinBatch, BatchPath::Scalar, Range::Phase);
KELVO_BATCH_BENCHMARK(cos_batch_avx2, kelvo::fdlibm::cosBatch, BatchPath::Avx2, Range::Phase);
KELVO_BATCH_BENCHMARK(cos_batch_scalar, kelvo::fdlibm::cosBatch, BatchPath::Scalar, Range::Phase);
KELVO_BATCH_BENCHMARK(exp_batch_avx2, kelvo::fdlibm::expBatch, BatchPath::Avx2, Range::Decay);
KELVO_BATCH_BENCHMARK(exp_batch_scalar, kelvo::fdlibm::expBatch, BatchPath::Scalar, Range::Decay);
KELVO_BATCH_BENCHMARK(exp_short_batch_avx2, kelvo::fdlibm::expBatch, BatchPath::Avx2,
                      Range::ShortDecay);
KELVO_BATCH_BENCHMARK(exp_short_batch_scalar, kelvo::fdlibm::expBatch, BatchPath::Scalar,
                      Range::ShortDecay);

}  // namespace
