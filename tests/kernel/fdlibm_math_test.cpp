// kelvo::fdlibm against fdlibm's own results, taken from Java's StrictMath by
// tests/kernel/vectors/FdlibmVectors.java (run scripts/gen-fdlibm-vectors).
// The data file holds explicit vectors plus bulk sets: millions of inputs
// drawn by a PRNG that this file reimplements, checked by chunk hashes.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "fdlibm_math.h"

#ifndef KELVO_TEST_DATA_DIR
#error "KELVO_TEST_DATA_DIR must name the directory holding fdlibm_vectors.txt"
#endif

namespace kelvo::fdlibm {
namespace {

constexpr int FORMAT_VERSION = 1;
constexpr std::uint64_t CANONICAL_NAN = 0x7ff8000000000000;
constexpr std::uint64_t SIGN_BIT = 0x8000000000000000;
constexpr std::uint64_t MANTISSA_MASK = (std::uint64_t{1} << 52) - 1;

using MathFunction = double (*)(double);

struct NamedFunction {
    const char* name;
    MathFunction function;
};

void PrintTo(const NamedFunction& f, std::ostream* os) {
    *os << f.name;
}

constexpr NamedFunction FUNCTIONS[] = {
    {"exp", &fdlibm::exp},
    {"log", &fdlibm::log},
    {"sin", &fdlibm::sin},
    {"cos", &fdlibm::cos},
};

// ---------------------------------------------------------------------------
// Ports of the generator's PRNG, hash and input kinds; any change on one side
// must be made on the other (the reference-data test catches a mismatch).

class SplitMix64 {
  public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
        return z ^ (z >> 31);
    }

  private:
    std::uint64_t state_;
};

constexpr std::uint64_t HASH_START = 0xCBF29CE484222325;

std::uint64_t hashStep(std::uint64_t h, std::uint64_t value) {
    h = (h ^ value) * 0x100000001B3;
    return h ^ (h >> 32);
}

std::uint64_t bitsOf(double x) {
    return std::bit_cast<std::uint64_t>(x);
}
double fromBits(std::uint64_t b) {
    return std::bit_cast<double>(b);
}

// Java writes every NaN as the canonical quiet NaN.
std::uint64_t resultBits(double y) {
    return std::isnan(y) ? CANONICAL_NAN : bitsOf(y);
}

double unit(std::uint64_t r) {
    return static_cast<double>(r >> 11) * 0x1p-53;
}

struct BulkSet {
    std::string function;
    std::string name;
    std::string kind;
    std::uint64_t seed = 0;
    std::int64_t count = 0;
    std::int64_t chunk = 0;
    std::int64_t p1 = 0;
    std::int64_t p2 = 0;
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
    if (set.kind == "exponent" || set.kind == "posexponent") {
        const std::uint64_t r1 = rng.next();
        const std::uint64_t r2 = rng.next();
        const std::uint64_t e = p1 + r2 % (p2 - p1 + 1);
        const std::uint64_t sign = set.kind == "exponent" ? (r1 & SIGN_BIT) : 0;
        return sign | (e << 52) | (r1 & MANTISSA_MASK);
    }
    if (set.kind == "near1") {
        const std::uint64_t r1 = rng.next();
        const std::uint64_t r2 = rng.next();
        const std::uint64_t e = p1 + r2 % (p2 - p1 + 1);
        const double d = unit(r1) * fromBits((1023 - e) << 52);
        return bitsOf((r1 & 1) == 0 ? 1.0 + d : 1.0 - d);
    }
    if (set.kind == "nearpio2") {
        const std::uint64_t k = 1 + rng.next() % p1;
        const std::uint64_t r = rng.next();
        const std::uint64_t j = rng.next() % (p2 + 1);
        std::uint64_t offset = r & ((std::uint64_t{1} << j) - 1);
        if ((r & SIGN_BIT) != 0) offset = 0 - offset;  // wraps like Java's long
        const std::uint64_t sign = rng.next() & SIGN_BIT;
        return (bitsOf(static_cast<double>(k) * 1.5707963267948966) + offset) | sign;
    }
    return 0;  // unreachable: the reader accepts only the kinds above
}

bool isKnownKind(const std::string& kind) {
    for (const char* known : {"uniform", "bits", "exponent", "posexponent", "near1", "nearpio2"}) {
        if (kind == known) return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// The vector file.

struct Vector {
    std::string function;
    std::uint64_t input = 0;
    std::uint64_t output = 0;
    std::string origin;  // file:line, for failure messages
};

struct ReferenceData {
    int format = 0;
    std::uint64_t prngSeed = 0;
    std::array<std::uint64_t, 3> prngOutputs{};
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

// Reads explicit vectors ("v" lines) and, when allowed, the rest of the
// format; malformed lines are collected in data.errors.
void readVectorFile(const std::string& path, bool explicitOnly, ReferenceData& data) {
    std::ifstream in(path);
    if (!in) {
        data.errors.push_back("cannot open " + path);
        return;
    }
    std::string line;
    for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string tag;
        fields >> tag;
        const std::string origin = path + ":" + std::to_string(lineNumber);
        bool ok = true;
        if (tag == "v") {
            Vector v;
            std::string input, output;
            fields >> v.function >> input >> output;
            v.input = parseHex(input, ok);
            v.output = parseHex(output, ok);
            v.origin = origin;
            if (ok) data.vectors.push_back(std::move(v));
        } else if (explicitOnly) {
            ok = false;
        } else if (tag == "format") {
            ok = static_cast<bool>(fields >> data.format);
        } else if (tag == "prng") {
            std::string seed, a, b, c;
            fields >> seed >> a >> b >> c;
            data.prngSeed = parseHex(seed, ok);
            data.prngOutputs = {parseHex(a, ok), parseHex(b, ok), parseHex(c, ok)};
        } else if (tag == "bulk") {
            BulkSet set;
            std::string seed, inputHash;
            fields >> set.function >> set.name >> set.kind >> seed >> set.count >> set.chunk >>
                set.p1 >> set.p2 >> inputHash;
            set.seed = parseHex(seed, ok);
            set.inputHash = parseHex(inputHash, ok);
            ok = ok && fields && set.count > 0 && set.chunk > 0 && isKnownKind(set.kind);
            if (ok) data.bulkSets.push_back(std::move(set));
        } else if (tag == "chunk") {
            std::string name, hash;
            std::size_t index = 0;
            fields >> name >> index >> hash;
            const std::uint64_t value = parseHex(hash, ok);
            ok = ok && !data.bulkSets.empty() && data.bulkSets.back().name == name &&
                 data.bulkSets.back().chunkHashes.size() == index;
            if (ok) data.bulkSets.back().chunkHashes.push_back(value);
        } else {
            ok = false;
        }
        if (!ok) data.errors.push_back(origin + ": cannot parse '" + line + "'");
    }
}

const ReferenceData& referenceData() {
    static const ReferenceData data = [] {
        ReferenceData d;
        readVectorFile(std::string(KELVO_TEST_DATA_DIR) + "/fdlibm_vectors.txt", false, d);
        // Extra explicit vectors, e.g. a failing bulk chunk dumped with
        // scripts/gen-fdlibm-vectors --dump, to name the inputs behind it.
        if (const char* extra = std::getenv("KELVO_FDLIBM_EXTRA_VECTORS")) {
            readVectorFile(extra, true, d);
        }
        return d;
    }();
    return data;
}

std::string describe(double x) {
    char text[96];
    std::snprintf(text, sizeof text, "%a (%.17g, bits %016" PRIx64 ")", x, x, bitsOf(x));
    return text;
}

// Distance in representable doubles, for telling a last-bit slip from a
// wrong branch; meaningless across signs, where the bits suffice.
std::uint64_t ulpDistance(double a, double b) {
    const std::uint64_t ia = bitsOf(a) & ~SIGN_BIT;
    const std::uint64_t ib = bitsOf(b) & ~SIGN_BIT;
    return ia > ib ? ia - ib : ib - ia;
}

// ---------------------------------------------------------------------------

TEST(FdlibmReferenceData, IsCompleteAndMatchesTheGeneratorPorts) {
    const ReferenceData& data = referenceData();
    for (const std::string& error : data.errors)
        ADD_FAILURE() << error;
    ASSERT_EQ(data.format, FORMAT_VERSION) << "vector file written by another generator version";

    SplitMix64 rng(data.prngSeed);
    for (std::uint64_t expected : data.prngOutputs)
        EXPECT_EQ(rng.next(), expected);

    for (const NamedFunction& f : FUNCTIONS) {
        std::size_t explicitCount = 0;
        std::size_t bulkCount = 0;
        for (const Vector& v : data.vectors)
            explicitCount += (v.function == f.name);
        for (const BulkSet& set : data.bulkSets)
            bulkCount += (set.function == f.name);
        EXPECT_GE(explicitCount, 500u) << f.name;
        EXPECT_GE(bulkCount, 4u) << f.name;
    }
    // Inputs are hashed on their own so that a broken port of an input kind
    // is not mistaken for a wrong result.
    for (const BulkSet& set : data.bulkSets) {
        SCOPED_TRACE(set.name);
        EXPECT_EQ(static_cast<std::int64_t>(set.chunkHashes.size()),
                  (set.count + set.chunk - 1) / set.chunk);
        SplitMix64 draws(set.seed);
        std::uint64_t hash = HASH_START;
        for (std::int64_t i = 0; i < set.count; ++i)
            hash = hashStep(hash, nextInput(set, draws));
        EXPECT_EQ(hash, set.inputHash) << "inputs of kind " << set.kind << " differ from Java's";
    }
}

class FdlibmAgainstStrictMath : public testing::TestWithParam<NamedFunction> {};

TEST_P(FdlibmAgainstStrictMath, ExplicitVectors) {
    const NamedFunction f = GetParam();
    constexpr int MAX_REPORTED = 20;
    int checked = 0;
    int failures = 0;
    for (const Vector& v : referenceData().vectors) {
        if (v.function != f.name) continue;
        ++checked;
        const double x = fromBits(v.input);
        const double y = f.function(x);
        if (resultBits(y) == v.output) continue;
        if (++failures <= MAX_REPORTED) {
            const double want = fromBits(v.output);
            ADD_FAILURE() << f.name << "(" << describe(x) << ")\n  got  " << describe(y)
                          << "\n  want " << describe(want) << "\n  " << ulpDistance(y, want)
                          << " ulp apart; vector at " << v.origin;
        }
    }
    EXPECT_EQ(failures, 0) << failures << " of " << checked << " " << f.name << " vectors differ";
    EXPECT_GT(checked, 0);
}

TEST_P(FdlibmAgainstStrictMath, BulkSets) {
    const NamedFunction f = GetParam();
    std::int64_t checked = 0;
    for (const BulkSet& set : referenceData().bulkSets) {
        if (set.function != f.name) continue;
        SplitMix64 rng(set.seed);
        std::uint64_t hash = HASH_START;
        for (std::int64_t i = 0; i < set.count; ++i) {
            hash = hashStep(hash, resultBits(f.function(fromBits(nextInput(set, rng)))));
            if ((i + 1) % set.chunk != 0 && i + 1 != set.count) continue;
            const auto index = static_cast<std::size_t>(i / set.chunk);
            if (index < set.chunkHashes.size() && hash != set.chunkHashes[index]) {
                ADD_FAILURE() << "bulk set " << set.name << " (" << set.kind << "), chunk " << index
                              << ": results differ from StrictMath for some input in ["
                              << index * set.chunk << ", " << i + 1 << ").\n  To name them: "
                              << "scripts/gen-fdlibm-vectors --dump " << set.name << " " << index
                              << " > chunk.txt, then rerun with "
                              << "KELVO_FDLIBM_EXTRA_VECTORS=chunk.txt";
            }
            hash = HASH_START;
        }
        checked += set.count;
    }
    EXPECT_GT(checked, 0);
}

INSTANTIATE_TEST_SUITE_P(AllFunctions, FdlibmAgainstStrictMath, testing::ValuesIn(FUNCTIONS),
                         [](const testing::TestParamInfo<NamedFunction>& info) {
                             return std::string(info.param.name);
                         });

// Landmarks that hold whatever the data file says: the edges of the IEEE
// range, and arguments whose reduction modulo pi/2 is hardest. Results are
// fdlibm's (StrictMath's) values.
TEST(FdlibmLandmarks, ExactResultsAtTheEdges) {
    constexpr double INF = std::numeric_limits<double>::infinity();
    struct Case {
        MathFunction function;
        const char* label;
        double x;
        double expected;
    };
    const Case cases[] = {
        // exp: the largest finite result, overflow, the smallest subnormal
        // result, underflow to zero, the subnormal boundary.
        {&fdlibm::exp, "exp", 0x1.62e42fefa39efp+9, 0x1.fffffffffff2ap+1023},
        {&fdlibm::exp, "exp", 0x1.62e42fefa39f0p+9, INF},
        {&fdlibm::exp, "exp", -0x1.74910d52d3051p+9, 0x0.0000000000001p-1022},
        {&fdlibm::exp, "exp", -0x1.74910d52d3052p+9, 0.0},
        {&fdlibm::exp, "exp", -0x1.6232bdd7abcd2p+9, 0x1.000000000007cp-1022},
        {&fdlibm::exp, "exp", -INF, 0.0},
        {&fdlibm::exp, "exp", 1.0, 0x1.5bf0a8b14576ap+1},
        // log: zeros of both signs, 1, the extremes of the finite range.
        {&fdlibm::log, "log", 0.0, -INF},
        {&fdlibm::log, "log", -0.0, -INF},
        {&fdlibm::log, "log", 1.0, 0.0},
        {&fdlibm::log, "log", 0x0.0000000000001p-1022, -0x1.74385446d71c3p+9},
        {&fdlibm::log, "log", 0x1.fffffffffffffp+1023, 0x1.62e42fefa39efp+9},
        {&fdlibm::log, "log", INF, INF},
        // sin/cos: signed zero, pi/2 and pi as doubles, huge arguments
        // (2^1023, 1e300, the largest double) and 6381956970095103 * 2^797,
        // the double closest to a multiple of pi/2.
        {&fdlibm::sin, "sin", -0.0, -0.0},
        {&fdlibm::cos, "cos", -0.0, 1.0},
        {&fdlibm::cos, "cos", 0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54},
        {&fdlibm::sin, "sin", 0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53},
        {&fdlibm::cos, "cos", 0x1.2d97c7f3321d2p+2, -0x1.a79394c9e8a0ap-53},
        {&fdlibm::sin, "sin", 0x1.921fb54442d18p+19, -0x1.1a62633145c07p-35},
        {&fdlibm::sin, "sin", 0x1p1023, 0x1.205248cbdb76p-1},
        {&fdlibm::cos, "cos", 0x1p1023, -0x1.a719f26c232bep-1},
        {&fdlibm::sin, "sin", 1e300, -0x1.a2c16b010e385p-1},
        {&fdlibm::sin, "sin", 0x1.fffffffffffffp+1023, 0x1.452fc98b34e97p-8},
        {&fdlibm::cos, "cos", 0x1.6ac5b262ca1ffp+849, -0x1.14ae72e6ba22fp-61},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bitsOf(c.function(c.x)), bitsOf(c.expected))
            << c.label << "(" << describe(c.x) << ") = " << describe(c.function(c.x)) << ", want "
            << describe(c.expected);
    }

    // Domain errors give NaN.
    for (double x : {-1.0, -0x0.0000000000001p-1022, -INF}) {
        EXPECT_TRUE(std::isnan(fdlibm::log(x))) << describe(x);
    }
    for (double x : {INF, -INF, std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_TRUE(std::isnan(fdlibm::sin(x))) << describe(x);
        EXPECT_TRUE(std::isnan(fdlibm::cos(x))) << describe(x);
    }
}

}  // namespace
}  // namespace kelvo::fdlibm
