// kelvo::fdlibm's batch functions against the scalar ones, bit for bit, on
// every implementation this CPU can run (the scalar loop and AVX2 here):
// the reference vectors' inputs, millions of random inputs over the synth's
// ranges, all exponents and the thresholds where fdlibm changes path, special
// values in every lane position, and every length, alignment and aliasing
// the render loops can produce.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "fdlibm_batch.h"
#include "fdlibm_detail.h"
#include "fdlibm_math.h"

#ifndef KELVO_TEST_DATA_DIR
#error "KELVO_TEST_DATA_DIR must name the directory holding fdlibm_vectors.txt"
#endif

namespace kelvo::fdlibm {
namespace {

using detail::BatchPath;
using detail::fromWords;

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double PI = 3.141592653589793;

struct BatchFunction {
    const char* name;
    double (*scalar)(double);
    void (*batch)(const double*, double*, std::size_t);
};

constexpr BatchFunction FUNCTIONS[] = {
    {"exp", &fdlibm::exp, &fdlibm::expBatch},
    {"sin", &fdlibm::sin, &fdlibm::sinBatch},
    {"cos", &fdlibm::cos, &fdlibm::cosBatch},
};

struct NamedPath {
    const char* name;
    BatchPath path;
};

void PrintTo(const BatchFunction& f, std::ostream* os) {
    *os << f.name;
}

void PrintTo(const NamedPath& p, std::ostream* os) {
    *os << p.name;
}

constexpr NamedPath PATHS[] = {
    {"Scalar", BatchPath::Scalar},
    {"Avx2", BatchPath::Avx2},
};

std::uint64_t bitsOf(double x) {
    return std::bit_cast<std::uint64_t>(x);
}

std::string describe(double x) {
    char text[96];
    std::snprintf(text, sizeof text, "%a (%.17g, bits %016" PRIx64 ")", x, x, bitsOf(x));
    return text;
}

// Same bits, or both NaN (which NaN is the scalar function's business).
bool sameResult(double a, double b) {
    return bitsOf(a) == bitsOf(b) || (std::isnan(a) && std::isnan(b));
}

// ---------------------------------------------------------------------------
// Inputs

// The inputs of the explicit vectors in the reference file, whatever function
// they were written for: fdlibm's hard cases for one are useful for all.
std::vector<double> referenceInputs() {
    std::vector<double> inputs;
    std::ifstream in(std::string(KELVO_TEST_DATA_DIR) + "/fdlibm_vectors.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string tag, function, input;
        if (!(fields >> tag >> function >> input) || tag != "v") continue;
        inputs.push_back(std::bit_cast<double>(std::stoull(input, nullptr, 16)));
    }
    return inputs;
}

// High words at which fdlibm's exp, sin or cos changes path (the comparisons
// are on |x|'s high word), including those of n pi/2 for n <= 32.
std::vector<std::uint32_t> thresholdHighWords() {
    std::vector<std::uint32_t> words = {
        detail::EXP_HW_LIMIT,  detail::EXP_HW_HALF_LN2, detail::EXP_HW_3HALF_LN2,
        detail::EXP_HW_TINY,   detail::HW_TWO_M27,      detail::HW_PI_OVER_4,
        detail::HW_3PI_OVER_4, detail::HW_PI_OVER_2,    detail::HW_MEDIUM_LIMIT,
        detail::COS_HW_QX_LOW, detail::COS_HW_QX_HIGH,  0x40862000,  // 708
    };
    words.insert(words.end(), detail::N_PIO2_HIGH_WORDS.begin(), detail::N_PIO2_HIGH_WORDS.end());
    return words;
}

// Special values and the edges of the threshold high words, with both signs.
std::vector<double> specialValues() {
    std::vector<double> values = {
        0.0,
        INF,
        std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::signaling_NaN(),
        std::bit_cast<double>(std::uint64_t{0x7ff0000000000001}),  // NaN, low payload only
        std::bit_cast<double>(std::uint64_t{0x7ff8dead0000beef}),  // NaN with payload
        std::numeric_limits<double>::denorm_min(),
        std::numeric_limits<double>::min(),
        std::numeric_limits<double>::max(),
        1.0,
        PI / 2,
        PI,
        detail::EXP_OVERFLOW,
        detail::EXP_UNDERFLOW,
        -0x1.6232bdd7abcd2p+9,   // exp's subnormal boundary
        0x1.6ac5b262ca1ffp+849,  // the double closest to a multiple of pi/2
        // sin or cos changes when the reduction subtracts the second part of
        // pi/2 at a cancellation of 16 instead of 17 bits, or 18 instead of 17.
        0x1.8fb12ac290d87p+16,
        0x1.16eb32e6ae3f5p+12,
        0x1.a2c5a3085442ap+13,
    };
    for (std::uint32_t hw : thresholdHighWords()) {
        for (std::uint32_t h : {hw - 1, hw, hw + 1}) {
            for (std::uint32_t low : {0u, 1u, 0x80000000u, 0xfffffffeu, 0xffffffffu})
                values.push_back(fromWords(h, low));
        }
    }
    const std::size_t positive = values.size();
    for (std::size_t i = 0; i < positive; ++i)
        values.push_back(-values[i]);
    return values;
}

// A generator of random inputs, drawn from a seeded engine.
using Draw = std::function<double(std::mt19937_64&)>;

struct RandomSet {
    const char* name;
    Draw draw;
};

Draw uniform(double a, double b) {
    return
        [a, b](std::mt19937_64& rng) { return std::uniform_real_distribution<double>(a, b)(rng); };
}

Draw withRandomSign(Draw draw) {
    return [draw](std::mt19937_64& rng) {
        const double x = draw(rng);
        return (rng() & 1) != 0 ? -x : x;
    };
}

// Random sign, exponent and mantissa: every binade equally, with zeros,
// subnormals, infinities and NaNs among them.
double anyExponent(std::mt19937_64& rng) {
    const std::uint64_t r = rng();
    const std::uint64_t exponent = rng() % 2048;
    return std::bit_cast<double>((r & 0x800fffffffffffff) | (exponent << 52));
}

// Close to n pi/2 for n up to maxN, a random number of ulps away (up to
// 2^40): the medium reduction's second and third steps, and reduced
// arguments small enough for the kernels' early exits.
Draw nearMultipleOfPiOver2(std::uint64_t maxN) {
    return [maxN](std::mt19937_64& rng) {
        const double nearest = static_cast<double>(1 + rng() % maxN) * (PI / 2);
        const std::uint64_t r = rng();
        std::uint64_t offset = r & ((std::uint64_t{1} << (rng() % 41)) - 1);
        if ((r >> 63) != 0) offset = 0 - offset;
        const double x = std::bit_cast<double>(bitsOf(nearest) + offset);
        return (rng() & 1) != 0 ? -x : x;
    };
}

// Anywhere in the high words next to a threshold: some path changes happen
// inside one high word (ln2/2, the bounds of cos's qx), a 2^-32 sliver of
// the other sets.
double nearThreshold(std::mt19937_64& rng) {
    static const std::vector<std::uint32_t> words = thresholdHighWords();
    const std::uint64_t r = rng();
    const std::uint32_t high = words[r % words.size()] - 1 + static_cast<std::uint32_t>(rng() % 3);
    const double x = fromWords(high, static_cast<std::uint32_t>(r >> 32));
    return (rng() & 1) != 0 ? -x : x;
}

constexpr int RANDOM_SET_SIZE = 300'000;

// Phases of sines up to 5000 rad, exponents of decays down to -700 (and the
// k = 0 and k = +-1 ranges of exp near zero), and everything beyond.
std::vector<RandomSet> randomSets() {
    const double ln2 = 0.6931471805599453;
    return {
        {"phases 0..5000", uniform(0.0, 5000.0)},
        {"negative phases", uniform(-5000.0, 0.0)},
        {"first turn", uniform(-2 * PI, 2 * PI)},
        {"around pi/4", uniform(-1.0, 1.0)},
        {"medium range", uniform(0.0, 1.1 * 0x1p20 * PI / 2)},
        {"decays -700..0", uniform(-700.0, 0.0)},
        {"decays -ln2/2..0", uniform(-0.5 * ln2, 0.0)},
        {"k = -1..1", uniform(-1.6 * ln2, 1.6 * ln2)},
        // fdlibm's exp compares only high words: up to the end of ln2/2's
        // high word it keeps k = 0 where rounding x / ln2 would give +-1.
        {"ln2/2's high word",
         withRandomSign(uniform(0.5 * ln2, fromWords(detail::EXP_HW_HALF_LN2 + 1, 0)))},
        {"near zero", uniform(-1e-6, 1e-6)},
        {"exp range", uniform(-750.0, 720.0)},
        {"exp limits", uniform(-710.0, -706.0)},
        {"all exponents", anyExponent},
        {"next to thresholds", nearThreshold},
        {"all bits", [](std::mt19937_64& rng) { return std::bit_cast<double>(rng()); }},
        {"near n pi/2, n < 40", nearMultipleOfPiOver2(40)},
        {"near n pi/2, n < 2^20", nearMultipleOfPiOver2(std::uint64_t{1} << 20)},
    };
}

std::vector<double> drawSet(const RandomSet& set, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<double> inputs(RANDOM_SET_SIZE);
    for (double& x : inputs)
        x = set.draw(rng);
    return inputs;
}

// ---------------------------------------------------------------------------
// Fixture: one batch function on one path.

class BatchMatchesScalar : public testing::TestWithParam<std::tuple<NamedPath, BatchFunction>> {
  protected:
    void SetUp() override {
        const NamedPath path = std::get<0>(GetParam());
        if (!detail::setBatchPathForTesting(path.path))
            GTEST_SKIP() << "this CPU cannot run the " << path.name << " path";
    }
    void TearDown() override { detail::setBatchPathForTesting(detail::bestBatchPath()); }

    const BatchFunction& function() const { return std::get<1>(GetParam()); }

    // Batch results for inputs (out of place) against the scalar function;
    // reports the first few differences.
    void expectSameAsScalar(const std::vector<double>& inputs, const std::string& what) const {
        const BatchFunction& f = function();
        std::vector<double> out(inputs.size());
        f.batch(inputs.data(), out.data(), inputs.size());
        expectResults(inputs, out, what);
    }

    void expectResults(const std::vector<double>& inputs, const std::vector<double>& out,
                       const std::string& what) const {
        const BatchFunction& f = function();
        constexpr int MAX_REPORTED = 10;
        int failures = 0;
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            const double want = f.scalar(inputs[i]);
            if (sameResult(out[i], want)) continue;
            if (++failures <= MAX_REPORTED) {
                ADD_FAILURE() << what << ": " << f.name << "Batch, element " << i << " of "
                              << inputs.size() << ", x = " << describe(inputs[i]) << "\n  got  "
                              << describe(out[i]) << "\n  want " << describe(want);
            }
        }
        EXPECT_EQ(failures, 0) << what << ": " << failures << " of " << inputs.size()
                               << " results differ";
    }
};

TEST_P(BatchMatchesScalar, ReferenceVectorInputs) {
    const std::vector<double> inputs = referenceInputs();
    ASSERT_GE(inputs.size(), 2000u) << "reference vectors missing";
    expectSameAsScalar(inputs, "reference inputs");
}

TEST_P(BatchMatchesScalar, RandomInputs) {
    std::uint64_t seed = 0x6b656c766f;
    for (const RandomSet& set : randomSets())
        expectSameAsScalar(drawSet(set, seed++), set.name);
}

// Each special value in each lane position, between ordinary arguments, so
// that a lane sent to the scalar function cannot disturb its neighbours.
TEST_P(BatchMatchesScalar, SpecialValuesInEveryLane) {
    std::vector<double> inputs;
    for (double special : specialValues()) {
        for (int position = 0; position < 8; ++position) {
            for (int i = 0; i < 8; ++i)
                inputs.push_back(i == position ? special : -0.37 * (i + 1));
        }
    }
    expectSameAsScalar(inputs, "special values among ordinary ones");
    expectSameAsScalar(specialValues(), "special values side by side");
}

// Every length up to 67, at every alignment modulo 32 bytes, into a separate
// buffer and in place. Elements outside [0, n) must keep their values. The
// inputs mix ordinary arguments with ones the vector code hands back to the
// scalar function, so that the tails see both.
TEST_P(BatchMatchesScalar, LengthsAlignmentsAndAliasing) {
    const double pattern[] = {1.5, -0.1,   3000.25, 1e-9,       800.0, -2.0, 0x1.921fb54442d18p+0,
                              INF, -703.5, 0.5,     12345678.0, -0.0,  40.0, 2e-300};
    constexpr std::size_t MAX_LENGTH = 67;
    constexpr std::size_t GUARD = 8;  // doubles before and after the array
    constexpr double SENTINEL = -12345.0;
    const BatchFunction& f = function();

    // Checks the n results at buffer[start] and that nothing else changed.
    const auto check = [&](const std::vector<double>& inputs, const std::vector<double>& buffer,
                           std::size_t start, const std::string& what) {
        const std::size_t n = inputs.size();
        expectResults(inputs, {buffer.begin() + start, buffer.begin() + start + n}, what);
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            if (i < start || i >= start + n) {
                EXPECT_EQ(buffer[i], SENTINEL) << what << ": wrote to index " << i - start;
            }
        }
    };

    for (std::size_t n = 0; n <= MAX_LENGTH; ++n) {
        for (std::size_t offset = 0; offset < 4; ++offset) {
            std::vector<double> inputs(n);
            for (std::size_t i = 0; i < n; ++i)
                inputs[i] = pattern[(i + offset + n) % std::size(pattern)];
            const std::string what =
                "n = " + std::to_string(n) + ", offset " + std::to_string(offset);

            // Separate arrays, misaligned differently.
            const std::size_t xStart = GUARD + offset;
            const std::size_t yStart = GUARD + (offset + 1) % 4;
            std::vector<double> source(GUARD + n + GUARD, SENTINEL);
            std::vector<double> target(GUARD + n + GUARD, SENTINEL);
            std::copy(inputs.begin(), inputs.end(), source.begin() + xStart);
            f.batch(source.data() + xStart, target.data() + yStart, n);
            check(inputs, target, yStart, what + ", separate");

            // In place (x == y).
            f.batch(source.data() + xStart, source.data() + xStart, n);
            check(inputs, source, xStart, what + ", in place");
        }
    }
}

// The render loops' own argument streams: consecutive frames of a decay
// exp(-t / tau) and of a phase 2 pi f t, from the first frame on.
TEST_P(BatchMatchesScalar, RenderLoopSequences) {
    constexpr double RATE = 48000.0;
    constexpr std::size_t FRAMES = 8192;
    for (double scale : {1.0 / 0.002, 1.0 / 0.3, 1.0 / 4.0, 2 * PI * 55.0, 2 * PI * 3500.0}) {
        std::vector<double> inputs(FRAMES);
        for (std::size_t i = 0; i < FRAMES; ++i)
            inputs[i] = -(static_cast<double>(i) / RATE) * scale;
        expectSameAsScalar(inputs, "decay/phase sequence, scale " + std::to_string(scale));
        for (double& x : inputs)
            x = -x;
        expectSameAsScalar(inputs, "rising sequence, scale " + std::to_string(scale));
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllPaths, BatchMatchesScalar,
    testing::Combine(testing::ValuesIn(PATHS), testing::ValuesIn(FUNCTIONS)),
    [](const testing::TestParamInfo<std::tuple<NamedPath, BatchFunction>>& info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

}  // namespace
}  // namespace kelvo::fdlibm
