// kelvo::fdlibm, bit for bit: the scalar functions and the batch functions on
// every path this CPU runs (the scalar loop and AVX2 here) against fdlibm's
// own results, taken from Java's StrictMath by tests/kernel/vectors/
// FdlibmVectors.java (run scripts/gen-fdlibm-vectors). The data file holds
// explicit vectors plus bulk sets: millions of inputs drawn by a PRNG that
// this file reimplements, checked by chunk hashes. Inputs the file cannot
// hold (special values in every lane, the thresholds where fdlibm changes
// path) check the batch paths against the scalar function.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "fdlibm_batch.h"
#include "fdlibm_detail.h"
#include "fdlibm_math.h"

namespace kelvo::fdlibm {
namespace {

using detail::BatchPath;
using detail::fromWords;

constexpr std::uint64_t SIGN_BIT = 0x8000000000000000;
constexpr double INF = std::numeric_limits<double>::infinity();

struct Function {
    const char* name;
    double (*scalar)(double);
    void (*batch)(const double*, double*, std::size_t);  // null: no batch version
};

constexpr Function FUNCTIONS[] = {{"exp", &fdlibm::exp, &fdlibm::expBatch},
                                  {"log", &fdlibm::log, nullptr},
                                  {"sin", &fdlibm::sin, &fdlibm::sinBatch},
                                  {"cos", &fdlibm::cos, &fdlibm::cosBatch}};

struct Path {
    const char* name;
    std::optional<BatchPath> batch;  // none: the scalar function
};
constexpr Path PATHS[] = {
    {"Scalar", {}}, {"BatchScalar", BatchPath::Scalar}, {"BatchAvx2", BatchPath::Avx2}};

std::uint64_t bitsOf(double x) {
    return std::bit_cast<std::uint64_t>(x);
}
double fromBits(std::uint64_t b) {
    return std::bit_cast<double>(b);
}
// Java writes every NaN as the canonical quiet NaN; which NaN is no business
// of ours either.
std::uint64_t resultBits(double y) {
    return std::isnan(y) ? 0x7ff8000000000000 : bitsOf(y);
}

// ---------------------------------------------------------------------------
// Ports of the generator's PRNG, hash and input kinds; any change on one side
// must be made on the other (the input hashes catch a mismatch).

struct SplitMix64 {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
        return z ^ (z >> 31);
    }
};

// The generator's hash over the bits of values (inputs as they are, results
// with NaNs as one).
std::uint64_t hashBits(const std::vector<double>& values, std::uint64_t (*bits)(double)) {
    std::uint64_t h = 0xCBF29CE484222325;
    for (double value : values) {
        h = (h ^ bits(value)) * 0x100000001B3;
        h ^= h >> 32;
    }
    return h;
}

double unit(std::uint64_t r) {
    return static_cast<double>(r >> 11) * 0x1p-53;
}

struct BulkSet {
    std::string function, name, kind;
    std::uint64_t seed = 0;
    std::int64_t count = 0, chunk = 0, p1 = 0, p2 = 0;
    std::uint64_t inputHash = 0;
    std::vector<std::uint64_t> chunkHashes;
};

// Draws the next input of a bulk set, exactly as FdlibmVectors.Bulk.input.
std::uint64_t nextInput(const BulkSet& set, SplitMix64& rng) {
    const auto p1 = static_cast<std::uint64_t>(set.p1);
    const auto p2 = static_cast<std::uint64_t>(set.p2);
    if (set.kind == "uniform") {
        const double a = static_cast<double>(set.p1);
        const double b = static_cast<double>(set.p2);
        return bitsOf(a + (b - a) * unit(rng.next()));
    }
    if (set.kind == "bits") return rng.next();
    if (set.kind != "nearpio2") {  // exponent, posexponent, near1
        const std::uint64_t r1 = rng.next();
        const std::uint64_t e = p1 + rng.next() % (p2 - p1 + 1);
        const double d = unit(r1) * fromBits((1023 - e) << 52);
        if (set.kind == "near1") return bitsOf((r1 & 1) == 0 ? 1.0 + d : 1.0 - d);
        const std::uint64_t sign = set.kind == "exponent" ? (r1 & SIGN_BIT) : 0;
        return sign | (e << 52) | (r1 & ((std::uint64_t{1} << 52) - 1));
    }
    const std::uint64_t k = 1 + rng.next() % p1;
    const std::uint64_t r = rng.next();
    const std::uint64_t j = rng.next() % (p2 + 1);
    std::uint64_t offset = r & ((std::uint64_t{1} << j) - 1);
    if ((r & SIGN_BIT) != 0) offset = 0 - offset;  // wraps like Java's long
    const std::uint64_t sign = rng.next() & SIGN_BIT;
    return (bitsOf(static_cast<double>(k) * 1.5707963267948966) + offset) | sign;
}

std::vector<double> bulkInputs(const BulkSet& set) {
    SplitMix64 rng{set.seed};
    std::vector<double> inputs(static_cast<std::size_t>(set.count));
    for (double& x : inputs)
        x = fromBits(nextInput(set, rng));
    return inputs;
}

// ---------------------------------------------------------------------------
// The vector file.

struct Vector {
    std::string function;
    std::uint64_t input = 0, output = 0;
};

struct ReferenceData {
    std::vector<Vector> vectors;
    std::vector<BulkSet> bulkSets;
};

// Reads the vector file. A line the format does not expect leaves wrong
// values behind, which the comparisons below report.
const ReferenceData& referenceData() {
    static const ReferenceData data = [] {
        ReferenceData d;
        std::ifstream in(std::string(KELVO_TEST_DATA_DIR) + "/fdlibm_vectors.txt");
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string tag, name, index;
            std::uint64_t hash = 0;
            fields >> tag >> std::hex;
            if (tag == "v") {
                Vector& v = d.vectors.emplace_back();
                fields >> v.function >> v.input >> v.output;
            } else if (tag == "bulk") {
                BulkSet& set = d.bulkSets.emplace_back();
                fields >> set.function >> set.name >> set.kind >> set.seed >> std::dec >>
                    set.count >> set.chunk >> set.p1 >> set.p2 >> std::hex >> set.inputHash;
            } else if (tag == "chunk" && fields >> name >> index >> hash) {
                d.bulkSets.back().chunkHashes.push_back(hash);
            }
        }
        return d;
    }();
    return data;
}

// ---------------------------------------------------------------------------
// Input sets. Each is a list of groups: inputs with the bits a path must give
// for each (empty: the scalar function's), or only the hash of a bulk chunk.

struct Group {
    std::string what;
    std::vector<double> inputs = {};
    std::vector<std::uint64_t> want = {};
    std::optional<std::uint64_t> chunkHash = {};
};

// The explicit vectors of this function (the edges of the IEEE range, the
// thresholds, the hardest reductions modulo pi/2, domain errors) against
// their reference bits; the other functions' vectors too, whose hard cases
// are useful for all, against the scalar function.
std::vector<Group> referenceGroups(const Function& f) {
    Group own{"explicit vectors"}, others{"other functions' vector inputs"};
    for (const Vector& v : referenceData().vectors) {
        Group& group = v.function == f.name ? own : others;
        group.inputs.push_back(fromBits(v.input));
        if (&group == &own) own.want.push_back(v.output);
    }
    return {own, others};
}

// Inputs are hashed on their own so that a broken port of an input kind is
// not mistaken for a wrong result.
std::vector<Group> bulkGroups(const Function& f) {
    std::vector<Group> groups;
    for (const BulkSet& set : referenceData().bulkSets) {
        if (set.function != f.name) continue;
        const std::vector<double> inputs = bulkInputs(set);
        EXPECT_EQ(hashBits(inputs, bitsOf), set.inputHash)
            << set.name << ": inputs of kind " << set.kind << " differ from Java's";
        EXPECT_EQ(std::ssize(set.chunkHashes), (set.count + set.chunk - 1) / set.chunk);
        for (std::size_t i = 0; i < set.chunkHashes.size(); ++i) {
            const auto begin = inputs.begin() + static_cast<std::ptrdiff_t>(i * set.chunk);
            const auto end = i + 1 == set.chunkHashes.size() ? inputs.end() : begin + set.chunk;
            Group& group =
                groups.emplace_back("bulk set " + set.name + " chunk " + std::to_string(i));
            group.inputs.assign(begin, end);
            group.chunkHash = set.chunkHashes[i];
        }
    }
    return groups;
}

// Special values and the edges of the high words at which fdlibm's exp, sin
// or cos changes path (the comparisons are on |x|'s high word, those of n pi/2
// for n <= 32 included), with both signs, each in every lane position between
// ordinary arguments (so that a lane sent to the scalar function cannot
// disturb its neighbours) and side by side; then random low words next to the
// thresholds (some path changes happen inside one high word: ln2/2, the
// bounds of cos's qx).
std::vector<Group> specialGroups(const Function&) {
    std::vector<std::uint32_t> words = {
        detail::EXP_HW_LIMIT,  detail::EXP_HW_HALF_LN2, detail::EXP_HW_3HALF_LN2,
        detail::EXP_HW_TINY,   detail::HW_TWO_M27,      detail::HW_PI_OVER_4,
        detail::HW_3PI_OVER_4, detail::HW_PI_OVER_2,    detail::HW_MEDIUM_LIMIT,
        detail::COS_HW_QX_LOW, detail::COS_HW_QX_HIGH,  0x40862000,  // 708
    };
    words.insert(words.end(), detail::N_PIO2_HIGH_WORDS.begin(), detail::N_PIO2_HIGH_WORDS.end());
    std::vector<double> values = {
        0.0, INF, std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::signaling_NaN(),
        fromBits(0x7ff0000000000001),  // NaN, low payload only
        fromBits(0x7ff8dead0000beef),  // NaN with payload
        std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::min(),
        std::numeric_limits<double>::max(), 1.0, 1.5707963267948966, 3.141592653589793,
        detail::EXP_OVERFLOW, detail::EXP_UNDERFLOW,
        -0x1.6232bdd7abcd2p+9,   // exp's subnormal boundary
        0x1.6ac5b262ca1ffp+849,  // the double closest to a multiple of pi/2
        // sin or cos changes when the reduction subtracts the second part of
        // pi/2 at a cancellation of 16 instead of 17 bits, or 18 instead of 17.
        0x1.8fb12ac290d87p+16, 0x1.16eb32e6ae3f5p+12, 0x1.a2c5a3085442ap+13};
    for (std::uint32_t hw : words)
        for (std::uint32_t h : {hw - 1, hw, hw + 1})
            for (std::uint32_t low : {0u, 1u, 0x80000000u, 0xfffffffeu, 0xffffffffu})
                values.push_back(fromWords(h, low));
    const std::size_t positive = values.size();
    for (std::size_t i = 0; i < positive; ++i)
        values.push_back(-values[i]);

    Group lanes{"special values among ordinary ones"}, near{"next to thresholds"};
    for (double special : values)
        for (int position = 0; position < 8; ++position)
            for (int i = 0; i < 8; ++i)
                lanes.inputs.push_back(i == position ? special : -0.37 * (i + 1));
    SplitMix64 rng{0x6b656c766f};
    for (int i = 0; i < 300'000; ++i) {
        const std::uint64_t r = rng.next();
        const auto high = static_cast<std::uint32_t>(words[r % words.size()] - 1 + rng.next() % 3);
        const double x = fromWords(high, static_cast<std::uint32_t>(r >> 32));
        near.inputs.push_back((rng.next() & 1) != 0 ? -x : x);
    }
    return {lanes, {"special values side by side", values}, near};
}

struct InputSet {
    const char* name;
    std::vector<Group> (*groups)(const Function&);
};
constexpr InputSet INPUT_SETS[] = {
    {"Reference", referenceGroups}, {"Bulk", bulkGroups}, {"Special", specialGroups}};

// ---------------------------------------------------------------------------

using Param = std::tuple<Function, Path, InputSet>;

// Every function on every path it has, with every input set; the scalar
// function is not checked against itself.
std::vector<Param> params(bool batchOnly) {
    std::vector<Param> all;
    for (const Function& f : FUNCTIONS)
        for (const Path& path : PATHS)
            for (const InputSet& set : INPUT_SETS)
                if ((path.batch ? f.batch != nullptr : !batchOnly && set.groups != specialGroups) &&
                    (!batchOnly || set.groups == referenceGroups))
                    all.emplace_back(f, path, set);
    return all;
}

std::string paramName(const testing::TestParamInfo<Param>& info) {
    return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name + "_" +
           std::get<2>(info.param).name;
}

class FdlibmBits : public testing::TestWithParam<Param> {
  protected:
    void SetUp() override {
        if (path().batch && !detail::setBatchPathForTesting(*path().batch))
            GTEST_SKIP() << "this CPU cannot run the " << path().name << " path";
    }
    void TearDown() override { detail::setBatchPathForTesting(detail::bestBatchPath()); }

    const Function& function() const { return std::get<0>(GetParam()); }
    const Path& path() const { return std::get<1>(GetParam()); }

    std::vector<double> evaluate(const std::vector<double>& inputs) const {
        std::vector<double> out(inputs.size());
        if (!path().batch)
            std::transform(inputs.begin(), inputs.end(), out.begin(), function().scalar);
        else
            function().batch(inputs.data(), out.data(), inputs.size());
        return out;
    }

    // The one comparison: the result bits against the wanted bits (or the
    // scalar function's), NaNs as one; reports the first few differences.
    void expectBits(const std::vector<double>& inputs, const std::vector<double>& got,
                    const std::vector<std::uint64_t>& want, const std::string& what) const {
        int failures = 0;
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            const std::uint64_t expected =
                want.empty() ? resultBits(function().scalar(inputs[i])) : want[i];
            if (resultBits(got[i]) == expected || ++failures > 10) continue;
            ADD_FAILURE() << what << ": " << function().name << "(" << std::hexfloat << inputs[i]
                          << ") = " << got[i] << ", want " << fromBits(expected);
        }
        EXPECT_EQ(failures, 0) << what << ": " << failures << " of " << inputs.size() << " differ";
    }
};

TEST_P(FdlibmBits, MatchFdlibm) {
    std::size_t checked = 0;
    for (const Group& group : std::get<2>(GetParam()).groups(function())) {
        if (!path().batch && !group.chunkHash && group.want.empty()) continue;
        const std::vector<double> got = evaluate(group.inputs);
        checked += group.inputs.size();
        if (!group.chunkHash) {
            expectBits(group.inputs, got, group.want, group.what);
            continue;
        }
        EXPECT_EQ(hashBits(got, resultBits), group.chunkHash)
            << group.what << ": results differ from StrictMath; "
            << "scripts/gen-fdlibm-vectors --dump SET CHUNK names the inputs";
    }
    EXPECT_GT(checked, 0u) << "reference data missing";
}

INSTANTIATE_TEST_SUITE_P(All, FdlibmBits, testing::ValuesIn(params(false)), paramName);

class FdlibmBatch : public FdlibmBits {};

// Every length up to 67, at every alignment modulo 32 bytes, into a separate
// buffer (offsets 0 to 3) and in place (4 to 7). Elements outside [0, n) must keep their values.
// The inputs mix ordinary arguments with ones the vector code hands back to the scalar function, so
// that the tails see both.
TEST_P(FdlibmBatch, LengthsAlignmentsAndAliasing) {
    const double pattern[] = {1.5, -0.1,   3000.25, 1e-9,       800.0, -2.0, 0x1.921fb54442d18p+0,
                              INF, -703.5, 0.5,     12345678.0, -0.0,  40.0, 2e-300};
    constexpr double SENTINEL = -12345.0;  // 8 of them guard each side of the array
    for (std::size_t n = 0; n <= 67; ++n) {
        for (std::size_t offset = 0; offset < 8; ++offset) {
            const bool inPlace = offset >= 4;
            std::vector<double> inputs(n), source(8 + n + 8, SENTINEL), target = source;
            std::vector<double>& out = inPlace ? source : target;
            const std::size_t x = 8 + offset % 4, y = inPlace ? x : 8 + (offset + 1) % 4;
            for (std::size_t i = 0; i < n; ++i)
                inputs[i] = source[x + i] = pattern[(i + offset + n) % std::size(pattern)];
            function().batch(&source[x], &out[y], n);
            const std::string what =
                "n = " + std::to_string(n) + ", offset " + std::to_string(offset);
            const auto first = out.begin() + static_cast<std::ptrdiff_t>(y);
            expectBits(inputs, {first, first + static_cast<std::ptrdiff_t>(n)}, {}, what);
            std::fill(first, first + static_cast<std::ptrdiff_t>(n), SENTINEL);
            EXPECT_EQ(out, std::vector<double>(out.size(), SENTINEL))
                << what << ": wrote outside [0, n)";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, FdlibmBatch, testing::ValuesIn(params(true)), paramName);

}  // namespace
}  // namespace kelvo::fdlibm
