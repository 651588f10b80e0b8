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
#include <cstdlib>
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

enum class Path { Scalar, BatchScalar, BatchAvx2 };
constexpr const char* PATH_NAMES[] = {"Scalar", "BatchScalar", "BatchAvx2"};

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
// must be made on the other (the reference-file test catches a mismatch).

struct SplitMix64 {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
        return z ^ (z >> 31);
    }
};

constexpr std::uint64_t HASH_START = 0xCBF29CE484222325;

std::uint64_t hashStep(std::uint64_t h, std::uint64_t value) {
    h = (h ^ value) * 0x100000001B3;
    return h ^ (h >> 32);
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
    std::vector<std::string> errors;
};

std::uint64_t parseHex(const std::string& text, bool& ok) {
    char* end = nullptr;
    const std::uint64_t value = std::strtoull(text.c_str(), &end, 16);
    ok = ok && !text.empty() && *end == '\0';
    return value;
}

// Reads the vector file; malformed lines are collected in errors.
const ReferenceData& referenceData() {
    static const ReferenceData data = [] {
        ReferenceData d;
        std::ifstream in(std::string(KELVO_TEST_DATA_DIR) + "/fdlibm_vectors.txt");
        if (!in) d.errors.push_back("the file cannot be opened");
        std::string line, a, b;
        for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
            std::istringstream fields(line);
            std::string tag;
            fields >> tag;
            bool ok = true;
            if (tag == "v") {
                Vector v;
                fields >> v.function >> a >> b;
                v.input = parseHex(a, ok);
                v.output = parseHex(b, ok);
                if (ok) d.vectors.push_back(v);
            } else if (tag == "bulk") {
                BulkSet set;
                fields >> set.function >> set.name >> set.kind >> a >> set.count >> set.chunk >>
                    set.p1 >> set.p2 >> b;
                set.seed = parseHex(a, ok);
                set.inputHash = parseHex(b, ok);
                ok = ok && fields && set.count > 0 && set.chunk > 0 &&
                     std::string(" uniform bits exponent posexponent near1 nearpio2 ")
                             .find(" " + set.kind + " ") != std::string::npos;
                if (ok) d.bulkSets.push_back(std::move(set));
            } else if (tag == "chunk") {
                std::size_t index = 0;
                fields >> a >> index >> b;
                const std::uint64_t value = parseHex(b, ok);
                ok = ok && !d.bulkSets.empty() && d.bulkSets.back().name == a &&
                     d.bulkSets.back().chunkHashes.size() == index;
                if (ok) d.bulkSets.back().chunkHashes.push_back(value);
            } else {
                // A changed format fails the lines after "format"; a broken
                // PRNG port, the input hashes.
                ok = tag.empty() || tag[0] == '#' || tag == "format" || tag == "prng";
            }
            if (!ok) d.errors.push_back(std::to_string(lineNumber) + ": " + line);
        }
        return d;
    }();
    return data;
}

TEST(FdlibmReferenceFile, IsCompleteAndMatchesTheGeneratorPorts) {
    const ReferenceData& data = referenceData();
    for (const std::string& error : data.errors)
        ADD_FAILURE() << "cannot parse " << error;
    ASSERT_FALSE(data.bulkSets.empty());
    // Inputs are hashed on their own so that a broken port of an input kind
    // is not mistaken for a wrong result.
    for (const BulkSet& set : data.bulkSets) {
        std::uint64_t hash = HASH_START;
        for (double x : bulkInputs(set))
            hash = hashStep(hash, bitsOf(x));
        EXPECT_EQ(hash, set.inputHash)
            << set.name << ": inputs of kind " << set.kind << " differ from Java's";
        EXPECT_EQ(std::ssize(set.chunkHashes), (set.count + set.chunk - 1) / set.chunk);
    }
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

std::vector<Group> bulkGroups(const Function& f) {
    std::vector<Group> groups;
    for (const BulkSet& set : referenceData().bulkSets) {
        if (set.function != f.name) continue;
        const std::vector<double> inputs = bulkInputs(set);
        for (std::size_t i = 0; i < set.chunkHashes.size(); ++i) {
            const auto begin = inputs.begin() + static_cast<std::ptrdiff_t>(i * set.chunk);
            const auto end = i + 1 == set.chunkHashes.size() ? inputs.end() : begin + set.chunk;
            groups.push_back({"bulk set " + set.name + " chunk " + std::to_string(i),
                              {begin, end},
                              {},
                              set.chunkHashes[i]});
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
        for (Path path : {Path::Scalar, Path::BatchScalar, Path::BatchAvx2})
            for (const InputSet& set : INPUT_SETS)
                if ((path == Path::Scalar ? !batchOnly && set.groups != specialGroups
                                          : f.batch != nullptr) &&
                    (!batchOnly || set.groups == referenceGroups))
                    all.emplace_back(f, path, set);
    return all;
}

std::string paramName(const testing::TestParamInfo<Param>& info) {
    return std::string(std::get<0>(info.param).name) + "_" +
           PATH_NAMES[int(std::get<1>(info.param))] + "_" + std::get<2>(info.param).name;
}

class FdlibmBits : public testing::TestWithParam<Param> {
  protected:
    void SetUp() override {
        if (path() == Path::Scalar) return;
        const BatchPath batchPath = path() == Path::BatchAvx2 ? BatchPath::Avx2 : BatchPath::Scalar;
        if (!detail::setBatchPathForTesting(batchPath))
            GTEST_SKIP() << "this CPU cannot run the " << PATH_NAMES[int(path())] << " path";
    }
    void TearDown() override { detail::setBatchPathForTesting(detail::bestBatchPath()); }

    const Function& function() const { return std::get<0>(GetParam()); }
    Path path() const { return std::get<1>(GetParam()); }

    std::vector<double> evaluate(const std::vector<double>& inputs) const {
        std::vector<double> out(inputs.size());
        if (path() == Path::Scalar)
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
        if (path() == Path::Scalar && !group.chunkHash && group.want.empty()) continue;
        const std::vector<double> got = evaluate(group.inputs);
        checked += group.inputs.size();
        if (!group.chunkHash) {
            expectBits(group.inputs, got, group.want, group.what);
            continue;
        }
        std::uint64_t hash = HASH_START;
        for (double y : got)
            hash = hashStep(hash, resultBits(y));
        EXPECT_EQ(hash, group.chunkHash)
            << group.what << ": results differ from StrictMath; "
            << "scripts/gen-fdlibm-vectors --dump SET CHUNK names the inputs";
    }
    EXPECT_GT(checked, 0u) << "reference data missing";
}

INSTANTIATE_TEST_SUITE_P(All, FdlibmBits, testing::ValuesIn(params(false)), paramName);

class FdlibmBatch : public FdlibmBits {};

// Every length up to 67, at every alignment modulo 32 bytes, into a separate
// buffer and in place. Elements outside [0, n) must keep their values. The
// inputs mix ordinary arguments with ones the vector code hands back to the
// scalar function, so that the tails see both.
TEST_P(FdlibmBatch, LengthsAlignmentsAndAliasing) {
    const double pattern[] = {1.5, -0.1,   3000.25, 1e-9,       800.0, -2.0, 0x1.921fb54442d18p+0,
                              INF, -703.5, 0.5,     12345678.0, -0.0,  40.0, 2e-300};
    constexpr double SENTINEL = -12345.0;  // 8 of them guard each side of the array
    for (std::size_t n = 0; n <= 67; ++n) {
        for (std::size_t offset = 0; offset < 4; ++offset) {
            std::vector<double> inputs(n), source(8 + n + 8, SENTINEL), target = source;
            const std::size_t xStart = 8 + offset, yStart = 8 + (offset + 1) % 4;
            for (std::size_t i = 0; i < n; ++i)
                inputs[i] = source[xStart + i] = pattern[(i + offset + n) % std::size(pattern)];
            function().batch(&source[xStart], &target[yStart], n);
            function().batch(&source[xStart], &source[xStart], n);  // in place
            for (auto [buffer, start] : {std::pair{&target, yStart}, {&source, xStart}}) {
                const std::string what = "n = " + std::to_string(n) + ", offset " +
                                         std::to_string(offset) +
                                         (buffer == &source ? ", in place" : ", separate");
                const auto first = buffer->begin() + static_cast<std::ptrdiff_t>(start);
                expectBits(inputs, {first, first + static_cast<std::ptrdiff_t>(n)}, {}, what);
                std::fill(first, first + static_cast<std::ptrdiff_t>(n), SENTINEL);
                EXPECT_EQ(*buffer, std::vector<double>(buffer->size(), SENTINEL))
                    << what << ": wrote outside [0, n)";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, FdlibmBatch, testing::ValuesIn(params(true)), paramName);

}  // namespace
}  // namespace kelvo::fdlibm
