// Writes the reference vectors for kelvo::fdlibm (kernel/fdlibm_math.cpp).
//
// Java's StrictMath.exp, log, sin and cos are defined to return exactly what
// fdlibm returns, so they are the reference. The file holds:
//   - explicit vectors: input and expected output bits for special values,
//     thresholds and sweeps over every exponent range;
//   - bulk sets: a million or so pseudo-random inputs each, drawn with
//     splitmix64 by a generator that fdlibm_test.cpp reimplements, with
//     a hash of the inputs and one hash per chunk of expected outputs.
//
// Usage:
//   java FdlibmVectors OUTPUT            write the vector file
//   java FdlibmVectors --dump SET CHUNK  print one chunk of a bulk set as
//                                        explicit vectors (to find the exact
//                                        inputs behind a failing chunk hash)
//
// Everything here is integer arithmetic or single IEEE-754 double operations,
// which Java (17 and later) and C++ built with -ffp-contract=off evaluate the
// same way.

import java.io.IOException;
import java.io.PrintWriter;
import java.math.BigDecimal;
import java.math.MathContext;
import java.math.RoundingMode;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.PriorityQueue;
import java.util.Set;
import java.util.function.DoubleUnaryOperator;

public final class FdlibmVectors {
    // Bump when the file layout or the input generators change.
    static final int FORMAT_VERSION = 1;
    static final int CHUNK = 1 << 16;

    enum Fn {
        EXP("exp", StrictMath::exp),
        LOG("log", StrictMath::log),
        SIN("sin", StrictMath::sin),
        COS("cos", StrictMath::cos);

        final String label;
        final DoubleUnaryOperator op;

        Fn(String label, DoubleUnaryOperator op) {
            this.label = label;
            this.op = op;
        }

        // NaN results are written as the canonical quiet NaN: NaN payloads are
        // not something the two languages can be compared on.
        long apply(long inputBits) {
            return Double.doubleToLongBits(op.applyAsDouble(Double.longBitsToDouble(inputBits)));
        }
    }

    // ------------------------------------------------------------------
    // Shared with the C++ test: PRNG, hash and input generators.

    static final class SplitMix64 {
        private long state;

        SplitMix64(long seed) {
            state = seed;
        }

        long next() {
            long z = (state += 0x9E3779B97F4A7C15L);
            z = (z ^ (z >>> 30)) * 0xBF58476D1CE4E5B9L;
            z = (z ^ (z >>> 27)) * 0x94D049BB133111EBL;
            return z ^ (z >>> 31);
        }
    }

    static final long HASH_START = 0xCBF29CE484222325L;

    static long hashStep(long h, long value) {
        h = (h ^ value) * 0x100000001B3L;
        return h ^ (h >>> 32);
    }

    static final long MANTISSA_MASK = (1L << 52) - 1;
    static final double PIO2 = 1.5707963267948966;  // 0x3ff921fb54442d18

    // Uniform double in [0, 1) with 53 random bits.
    static double unit(long r) {
        return (r >>> 11) * 0x1.0p-53;
    }

    // A bulk set: `count` inputs of one kind, parameters p1 and p2.
    //   uniform a b        a + (b - a) u, u uniform in [0, 1)
    //   bits - -           any 64-bit pattern (NaNs, infinities, everything)
    //   exponent lo hi     random sign and mantissa, biased exponent in [lo, hi]
    //   posexponent lo hi  the same with the sign clear
    //   near1 lo hi        1 +- u 2^-e with e in [lo, hi]
    //   nearpio2 kmax m    k pi/2 (k in [1, kmax]) moved by +-[0, 2^j) ulps, j in
    //                      [0, m], random sign: the reduction loses every number
    //                      of bits from 52 - m to about 60
    record Bulk(Fn fn, String name, String kind, long seed, int count, long p1, long p2) {
        long input(SplitMix64 rng) {
            switch (kind) {
                case "uniform": {
                    double a = p1;
                    double b = p2;
                    return Double.doubleToRawLongBits(a + (b - a) * unit(rng.next()));
                }
                case "bits":
                    return rng.next();
                case "exponent":
                case "posexponent": {
                    long r1 = rng.next();
                    long r2 = rng.next();
                    long e = p1 + Long.remainderUnsigned(r2, p2 - p1 + 1);
                    long sign = kind.equals("exponent") ? (r1 & 0x8000000000000000L) : 0;
                    return sign | (e << 52) | (r1 & MANTISSA_MASK);
                }
                case "near1": {
                    long r1 = rng.next();
                    long r2 = rng.next();
                    long e = p1 + Long.remainderUnsigned(r2, p2 - p1 + 1);
                    double d = unit(r1) * Double.longBitsToDouble((1023 - e) << 52);
                    return Double.doubleToRawLongBits((r1 & 1) == 0 ? 1.0 + d : 1.0 - d);
                }
                case "nearpio2": {
                    long k = 1 + Long.remainderUnsigned(rng.next(), p1);
                    long r = rng.next();
                    long j = Long.remainderUnsigned(rng.next(), p2 + 1);
                    long offset = r & ((1L << j) - 1);
                    if (r < 0) offset = -offset;
                    long sign = rng.next() & 0x8000000000000000L;
                    return (Double.doubleToRawLongBits(k * PIO2) + offset) | sign;
                }
                default:
                    throw new IllegalArgumentException(kind);
            }
        }
    }

    static final long M = 1L << 20;  // default bulk set size

    static final List<Bulk> BULK = List.of(
            new Bulk(Fn.EXP, "exp-synth", "uniform", 0x6578700000000001L, (int) M, -50, 0),
            new Bulk(Fn.EXP, "exp-range", "uniform", 0x6578700000000002L, (int) M, -746, 710),
            new Bulk(Fn.EXP, "exp-exponent", "exponent", 0x6578700000000003L, (int) M, 0, 1034),
            new Bulk(Fn.EXP, "exp-bits", "bits", 0x6578700000000004L, (int) M / 4, 0, 0),
            new Bulk(Fn.LOG, "log-exponent", "posexponent", 0x6c6f670000000001L, (int) M, 0, 2046),
            new Bulk(Fn.LOG, "log-near1", "near1", 0x6c6f670000000002L, (int) M, 1, 60),
            new Bulk(Fn.LOG, "log-range", "uniform", 0x6c6f670000000003L, (int) M, 0, 4),
            new Bulk(Fn.LOG, "log-bits", "bits", 0x6c6f670000000004L, (int) M / 4, 0, 0),
            new Bulk(Fn.SIN, "sin-synth", "uniform", 0x7472690000000001L, (int) M, 0, 2000),
            new Bulk(Fn.SIN, "sin-medium", "exponent", 0x7472690000000002L, (int) M, 993, 1043),
            new Bulk(Fn.SIN, "sin-large", "exponent", 0x7472690000000003L, (int) M, 1043, 2046),
            new Bulk(Fn.SIN, "sin-nearpio2", "nearpio2", 0x7472690000000004L, (int) M, 1 << 20, 40),
            new Bulk(Fn.SIN, "sin-nearpio2-large", "nearpio2", 0x7472690000000005L, (int) M / 4,
                    1L << 50, 40),
            new Bulk(Fn.SIN, "sin-bits", "bits", 0x7472690000000006L, (int) M / 4, 0, 0),
            new Bulk(Fn.COS, "cos-synth", "uniform", 0x7472690000000001L, (int) M, 0, 2000),
            new Bulk(Fn.COS, "cos-medium", "exponent", 0x7472690000000002L, (int) M, 993, 1043),
            new Bulk(Fn.COS, "cos-large", "exponent", 0x7472690000000003L, (int) M, 1043, 2046),
            new Bulk(Fn.COS, "cos-nearpio2", "nearpio2", 0x7472690000000004L, (int) M, 1 << 20, 40),
            new Bulk(Fn.COS, "cos-nearpio2-large", "nearpio2", 0x7472690000000005L, (int) M / 4,
                    1L << 50, 40),
            new Bulk(Fn.COS, "cos-bits", "bits", 0x7472690000000006L, (int) M / 4, 0, 0));

    // ------------------------------------------------------------------
    // Explicit inputs.

    static long bits(double x) {
        return Double.doubleToRawLongBits(x);
    }

    static long words(long high, long low) {
        return (high << 32) | (low & 0xffffffffL);
    }

    static final long SIGN = 0x8000000000000000L;

    // Values every function sees: zeros, subnormal and normal extremes,
    // infinities and NaNs of either sign, quiet and signalling.
    static void addCommon(Set<Long> in) {
        long[] positive = {
            0L, 1L, 2L, 0x000fffffffffffffL, 0x0008000000000000L, 0x0010000000000000L,
            0x0010000000000001L, 0x7fefffffffffffffL, 0x7fe0000000000000L, bits(1.0), bits(0.5),
            bits(2.0), bits(Math.nextDown(1.0)), bits(Math.nextUp(1.0)),
            0x7ff0000000000000L, 0x7ff8000000000000L, 0x7ff0000000000001L, 0x7ff4000000000000L,
            0x7fffffffffffffffL, 0x7ff8dead0000beefL,
        };
        for (long b : positive) {
            in.add(b);
            in.add(b | SIGN);
        }
    }

    // Values around a high-word threshold hw: the last double below it, the
    // first with it, the last with it and the first above, both signs.
    // Also a few random doubles that share the threshold's high word.
    static void addHighWordEdges(Set<Long> in, SplitMix64 rng, long... highWords) {
        for (long hw : highWords) {
            long[] edges = {words(hw, 0) - 1, words(hw, 0), words(hw, 0xffffffffL),
                words(hw + 1, 0), words(hw, rng.next()), words(hw, rng.next())};
            for (long b : edges) {
                in.add(b);
                in.add(b | SIGN);
            }
        }
    }

    // x and its neighbours up to `ulps` away on either side.
    static void addNeighbours(Set<Long> in, double x, int ulps) {
        long b = bits(x);
        for (int d = -ulps; d <= ulps; d++) in.add(b + d);
    }

    // One power of two and one random mantissa for each biased exponent in
    // [lo, hi] stepping by `step` (exponent 0: subnormal), signs alternating.
    static void addExponentSweep(Set<Long> in, SplitMix64 rng, int lo, int hi, int step,
                                 boolean negativesToo) {
        for (int e = lo; e <= hi; e += step) {
            long sign = (negativesToo && (e & 1) != 0) ? SIGN : 0;
            long power = (e == 0) ? 1L << 51 : (long) e << 52;
            in.add(power | sign);
            in.add(((long) e << 52) | (rng.next() & MANTISSA_MASK) | sign);
        }
    }

    static Set<Long> expInputs() {
        Set<Long> in = new LinkedHashSet<>();
        SplitMix64 rng = new SplitMix64(0x0e0e0e0e0e0e0e01L);
        addCommon(in);
        // Overflow and underflow thresholds and the largest and smallest
        // finite results.
        addNeighbours(in, 7.09782712893383973096e+02, 8);
        addNeighbours(in, -7.45133219101941108420e+02, 8);
        addNeighbours(in, -7.4444007192138126e+02, 2);  // result 2^-1074 * 2
        addNeighbours(in, -7.0839641853226408e+02, 4);  // result near 2^-1022
        addNeighbours(in, 709.0, 2);
        addNeighbours(in, -709.0, 2);
        // Branch points on |x|: 709.78 (overflow check), ln2/2 and 3 ln2/2
        // (choice of k), 2^-28 (tiny).
        addHighWordEdges(in, rng, 0x40862E42L, 0x3fd62e42L, 0x3FF0A2B2L, 0x3e300000L);
        // x = (k + 1/2) ln2 switches k; around k = -1021 the result turns
        // subnormal and the scaling takes two steps.
        double ln2 = 0.6931471805599453;
        for (int k = -1080; k <= 1030; k++) {
            boolean subnormalEdge = k >= -1077 && k <= -1017 && k % 4 == 0;
            if (subnormalEdge || k >= 1020 || (k >= -4 && k <= 4)) {
                addNeighbours(in, (k + 0.5) * ln2, 1);
                addNeighbours(in, k * ln2, 1);
            } else if (k % 97 == 0) {
                addNeighbours(in, (k + 0.5) * ln2, 1);
            }
        }
        for (int i = -746; i <= 710; i += (i >= -20 && i <= 20) ? 1 : 13) in.add(bits(i));
        for (double x = -746.0; x <= -707.0; x += 0.75) in.add(bits(x));
        // Tiny arguments, all the way into the subnormals.
        addExponentSweep(in, rng, 0, 1026, 17, true);
        return in;
    }

    static Set<Long> logInputs() {
        Set<Long> in = new LinkedHashSet<>();
        SplitMix64 rng = new SplitMix64(0x1091091091091001L);
        addCommon(in);
        // Around 1, where log is smallest and the |f| < 2^-20 series is used.
        addNeighbours(in, 1.0, 16);
        for (int e = 1; e <= 60; e++) {
            double d = StrictMath.scalb(1.0, -e);
            in.add(bits(1.0 + d));
            in.add(bits(1.0 - d));
        }
        // Mantissa thresholds: sqrt(2) (normalisation), 0x6147a and 0x6b851
        // (choice of formula), 2^-20 about 1 (series), at several exponents.
        for (long exp : new long[] {0x001L, 0x3fe, 0x3ff, 0x400, 0x433, 0x7fe}) {
            for (long mant : new long[] {0x6a09cL, 0x6a09dL, 0x6147aL, 0x6147bL, 0x6b851L,
                    0x6b852L, 0xffffdL, 0xffffeL, 0x00001L, 0x00002L}) {
                long hw = (exp << 20) | mant;
                in.add(words(hw, 0) - 1);
                in.add(words(hw, 0));
                in.add(words(hw, 0xffffffffL));
            }
        }
        // Subnormals: the scaling by 2^54.
        for (int i = 0; i < 52; i += 3) {
            in.add(1L << i);
            in.add((1L << i) | (rng.next() & ((1L << i) - 1)));
        }
        addExponentSweep(in, rng, 1, 2046, 13, false);
        for (int i = 2; i <= 40; i++) in.add(bits(i));
        return in;
    }

    // pi to 60 digits by Machin's formula: pi = 16 atan(1/5) - 4 atan(1/239).
    static BigDecimal pi(MathContext mc) {
        return arctanInverse(5, mc).multiply(BigDecimal.valueOf(16))
                .subtract(arctanInverse(239, mc).multiply(BigDecimal.valueOf(4)), mc);
    }

    static BigDecimal arctanInverse(int n, MathContext mc) {
        BigDecimal x = BigDecimal.ONE.divide(BigDecimal.valueOf(n), mc);
        BigDecimal x2 = x.multiply(x, mc);
        BigDecimal term = x;
        BigDecimal sum = x;
        BigDecimal eps = BigDecimal.ONE.movePointLeft(mc.getPrecision() + 5);
        for (int k = 1; term.abs().compareTo(eps) > 0; k++) {
            term = term.multiply(x2, mc).negate();
            sum = sum.add(term.divide(BigDecimal.valueOf(2L * k + 1), mc), mc);
        }
        return sum;
    }

    // The doubles in (0, 2^20 pi/2] closest to a multiple of pi/2, relative to
    // their ulp: there the reduction cancels the most bits.
    static List<Double> closestToMultiplesOfPio2(int howMany) {
        MathContext mc = new MathContext(60, RoundingMode.HALF_EVEN);
        BigDecimal halfPi = pi(mc).divide(BigDecimal.valueOf(2), mc);
        record Candidate(double x, double closeness) {}
        PriorityQueue<Candidate> worst =
                new PriorityQueue<>((a, b) -> Double.compare(b.closeness, a.closeness));
        for (long k = 1; k <= (1L << 20); k++) {
            BigDecimal target = halfPi.multiply(BigDecimal.valueOf(k), mc);
            double guess = k * PIO2;
            for (double x : new double[] {Math.nextDown(guess), guess, Math.nextUp(guess)}) {
                double closeness = new BigDecimal(x).subtract(target, mc).abs()
                        .divide(new BigDecimal(Math.ulp(x)), mc).doubleValue();
                if (worst.size() < howMany || closeness < worst.peek().closeness) {
                    worst.add(new Candidate(x, closeness));
                    if (worst.size() > howMany) worst.poll();
                }
            }
        }
        List<Double> out = new ArrayList<>();
        for (Candidate c : worst) out.add(c.x);
        out.sort(Double::compare);
        return out;
    }

    static Set<Long> trigInputs() {
        Set<Long> in = new LinkedHashSet<>();
        SplitMix64 rng = new SplitMix64(0x7219721972197201L);
        addCommon(in);
        // Branch points: 2^-27 (kernels return x or 1), pi/4 (no reduction),
        // 3pi/4 (n = +-1), pi/2 itself, 2^19 pi/2 (multi-precision reduction);
        // 0.3 and 0.78125 split the cosine kernel.
        addHighWordEdges(in, rng, 0x3e400000L, 0x3fe921fbL, 0x4002d97cL, 0x3ff921fbL, 0x413921fbL,
                0x3fd33333L, 0x3fe90000L);
        addNeighbours(in, Math.PI / 4, 2);
        addNeighbours(in, 3 * Math.PI / 4, 2);
        addNeighbours(in, 0x1.0p19 * PIO2, 2);
        addNeighbours(in, 0x1.0p20 * PIO2, 2);
        addNeighbours(in, 0x1.0p20, 2);
        // Multiples of pi/2: small k, where the n < 32 shortcut applies, and
        // powers of two times 1 and 3 up to the large path.
        for (int k = 1; k <= 64; k++) addNeighbours(in, k * PIO2, 1);
        for (int j = 6; j <= 60; j += 2) {
            addNeighbours(in, StrictMath.scalb(PIO2, j), 1);
            addNeighbours(in, 3 * StrictMath.scalb(PIO2, j), 1);
        }
        for (double x : closestToMultiplesOfPio2(100)) in.add(bits(x));
        // The double closest to a multiple of pi/2 overall: 6381956970095103 *
        // 2^797, whose reduction cancels about 61 bits.
        addNeighbours(in, StrictMath.scalb(6381956970095103.0, 797), 1);
        for (int i = 1; i <= 64; i++) in.add(bits(i));
        for (double x : new double[] {1e6, 1e10, 1e15, 1e16, 1e22, 1e100, 1e200, 1e300, 1.7e308})
            in.add(bits(x));
        // Every exponent range, subnormal to the largest.
        addExponentSweep(in, rng, 0, 992, 31, true);
        addExponentSweep(in, rng, 993, 2046, 6, true);
        return in;
    }

    // ------------------------------------------------------------------

    static String hex(long b) {
        return String.format("%016x", b);
    }

    static void writeVectors(Path out) throws IOException {
        Set<Long> trig = trigInputs();
        List<String> lines = new ArrayList<>();
        lines.add("# Reference vectors for kelvo::fdlibm (kernel/fdlibm_math.cpp), from Java "
                + Runtime.version().feature() + "'s StrictMath.");
        lines.add("# Generated by scripts/gen-fdlibm-vectors (tests/kernel/vectors/FdlibmVectors.java)"
                + "; do not edit by hand.");
        lines.add("#");
        lines.add("# format VERSION");
        lines.add("# prng SEED OUT1 OUT2 OUT3         first splitmix64 outputs, to check the C++ port");
        lines.add("# v FN INPUT OUTPUT                explicit vector, IEEE-754 bits in hex; any NaN");
        lines.add("#                                  result is written as 7ff8000000000000");
        lines.add("# bulk FN SET KIND SEED COUNT CHUNK P1 P2 INPUTHASH");
        lines.add("# chunk SET INDEX HASH             hash of the output bits of inputs");
        lines.add("#                                  [INDEX*CHUNK, (INDEX+1)*CHUNK) of SET");
        lines.add("format " + FORMAT_VERSION);
        SplitMix64 check = new SplitMix64(0x0123456789abcdefL);
        lines.add("prng 0123456789abcdef " + hex(check.next()) + " " + hex(check.next()) + " "
                + hex(check.next()));

        int explicitCount = 0;
        for (Fn fn : Fn.values()) {
            Set<Long> inputs = switch (fn) {
                case EXP -> expInputs();
                case LOG -> logInputs();
                default -> trig;
            };
            for (long x : inputs) {
                lines.add("v " + fn.label + " " + hex(x) + " " + hex(fn.apply(x)));
                explicitCount++;
            }
        }

        long bulkCount = 0;
        for (Bulk set : BULK) {
            SplitMix64 rng = new SplitMix64(set.seed());
            long inputHash = HASH_START;
            List<String> chunkLines = new ArrayList<>();
            long chunkHash = HASH_START;
            for (int i = 0; i < set.count(); i++) {
                long x = set.input(rng);
                inputHash = hashStep(inputHash, x);
                chunkHash = hashStep(chunkHash, set.fn().apply(x));
                if ((i + 1) % CHUNK == 0 || i + 1 == set.count()) {
                    chunkLines.add("chunk " + set.name() + " " + (i / CHUNK) + " " + hex(chunkHash));
                    chunkHash = HASH_START;
                }
            }
            lines.add(String.join(" ", "bulk", set.fn().label, set.name(), set.kind(),
                    hex(set.seed()), Integer.toString(set.count()), Integer.toString(CHUNK),
                    Long.toString(set.p1()), Long.toString(set.p2()), hex(inputHash)));
            lines.addAll(chunkLines);
            bulkCount += set.count();
        }
        Files.write(out, lines, StandardCharsets.US_ASCII);
        System.err.printf("%s: %d explicit vectors, %d bulk vectors in %d sets%n", out,
                explicitCount, bulkCount, BULK.size());
    }

    static void dumpChunk(String name, int chunk) {
        Bulk set = BULK.stream().filter(b -> b.name().equals(name)).findFirst()
                .orElseThrow(() -> new IllegalArgumentException("no bulk set " + name));
        SplitMix64 rng = new SplitMix64(set.seed());
        PrintWriter out = new PrintWriter(System.out);
        for (int i = 0; i < set.count(); i++) {
            long x = set.input(rng);
            if (i / CHUNK == chunk) out.println("v " + set.fn().label + " " + hex(x) + " "
                    + hex(set.fn().apply(x)));
        }
        out.flush();
    }

    public static void main(String[] args) throws IOException {
        if (args.length == 3 && args[0].equals("--dump")) {
            dumpChunk(args[1], Integer.parseInt(args[2]));
        } else if (args.length == 1 && !args[0].startsWith("-")) {
            writeVectors(Path.of(args[0]));
        } else {
            System.err.println("usage: FdlibmVectors OUTPUT | --dump SET CHUNK");
            System.exit(2);
        }
    }
}
