// The staged, budgeted renderer must produce exactly the row that the
// formulas give when a piece is computed in one straight pass.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fdlibm_math.h"
#include "recipes.h"
#include "render_cache.h"
#include "synth_fixture.h"

namespace kelvo::kernel {
namespace {

using fdlibm::exp;
using fdlibm::sin;
using Row = std::vector<double>;

double env(double t, double T) {
    return exp(-LN_1000 * t / T);
}
float f32(double v) {
    return static_cast<float>(v);
}

Row noise(uint32_t seed, size_t frames) {
    Row row(frames);
    uint32_t s = seed;
    for (double& v : row) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        v = f32(s * 4.656612873077393e-10 - 1);
    }
    return row;
}

void biquad(Row& row, const double c[5]) {
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (double& v : row) {
        double y = c[0] * v + c[1] * x1 + c[2] * x2 - c[3] * y1 - c[4] * y2;
        x2 = x1, x1 = v, y2 = y1, y1 = y;
        v = f32(y);
    }
}

void bandpass(Row& row, double f, double q, double rate) {
    double w = TWO_PI * std::min(f, 0.45 * rate) / rate;
    double alpha = sin(w) / (2 * std::max(0.05, q)), a0 = 1 + alpha;
    double c[5] = {alpha / a0, 0, -alpha / a0, -2 * fdlibm::cos(w) / a0, (1 - alpha) / a0};
    biquad(row, c);
}

void highpass(Row& row, double f, double rate) {
    double w = TWO_PI * std::min(f, 0.45 * rate) / rate, cw = fdlibm::cos(w);
    double alpha = sin(w) / 1.4, a0 = 1 + alpha;
    double c[5] = {(1 + cw) / 2 / a0, -(1 + cw) / a0, (1 + cw) / 2 / a0, -2 * cw / a0,
                   (1 - alpha) / a0};
    biquad(row, c);
}

void finish(Row& row, double rate, double tone, double level, int piece, double click) {
    double t = 2 * (tone - 0.5), low = 1 - 0.75 * t, high = 1 + 0.75 * t;
    if (low != 1 || high != 1) {
        double c = exp(-TWO_PI * 900 / rate), lp = 0;
        for (double& v : row) {
            lp = c * lp + (1 - c) * v;
            v = f32(low * lp + high * (v - lp));
        }
    }
    double peak = 0;
    for (double v : row)
        peak = std::max(peak, std::fabs(v));
    for (double& v : row)
        v = f32(v * (level * 0.96 / peak));
    if (piece == DRUM_PIECE_KICK) {
        size_t n = std::min(row.size(), static_cast<size_t>(std::floor(rate * 0.01)) + 1);
        Row hit = noise(drumVoiceNoiseSeed(piece), n);
        for (size_t i = 0; i < n; ++i) {
            double sample = row[i] + exp(-(i / rate) / 0.0015) * level * click * hit[i] * 0.35;
            row[i] = f32(std::min(0.95, std::max(-0.95, sample)));
        }
    }
    size_t fade =
        std::min(row.size(), static_cast<size_t>(std::max(1.0, std::floor(rate * 0.004))));
    for (size_t k = 0; k < fade; ++k)
        row[row.size() - fade + k] = f32(row[row.size() - fade + k] * (1 - double(k) / fade));
}

Row kick(double rate, double tune, double decay, double click, double tone) {
    Row row(static_cast<size_t>(std::floor(rate * (decay + 0.02))));
    double phase = 0;
    for (size_t i = 0; i < row.size(); ++i) {
        double t = i / rate;
        phase += (tune + (tune * 4.2 - tune) * exp(-t / 0.03)) / rate;
        row[i] = f32(sin(TWO_PI * phase) * env(t, decay));
    }
    finish(row, rate, tone, 1.0, DRUM_PIECE_KICK, click);
    return row;
}

Row snare(double rate, double tune, double decay, double snap, double tone) {
    size_t frames = static_cast<size_t>(std::floor(rate * (decay + 0.02)));
    Row n = noise(drumVoiceNoiseSeed(DRUM_PIECE_SNARE), frames), row(frames);
    bandpass(n, 1750, 0.7, rate);
    highpass(n, 420, rate);
    for (size_t i = 0; i < frames; ++i) {
        double t = i / rate;
        double tone = 0.7 * sin(TWO_PI * tune * t) + 0.45 * sin(TWO_PI * (tune * 1.593) * t);
        row[i] = f32(((1 - snap) * 0.75 + 0.25) * tone * env(t, decay * 0.55) +
                     (snap * 0.65 + 0.35) * n[i] * env(t, decay));
    }
    finish(row, rate, tone, 0.82, DRUM_PIECE_SNARE, 0);
    return row;
}

Row openHat(double rate, double decay, double metal, double tone) {
    size_t frames = static_cast<size_t>(std::floor(rate * (decay + 0.02)));
    Row n = noise(drumVoiceNoiseSeed(DRUM_PIECE_HAT_OPEN), frames), row(frames);
    const double ratios[] = {2, 3, 4.16, 5.43, 6.79, 8.21};
    for (size_t i = 0; i < frames; ++i) {
        double t = i / rate, sum = 0;
        for (double r : ratios)
            sum += (t * 40 * r - std::floor(t * 40 * r)) < 0.5 ? 1 : -1;
        row[i] = f32((0.45 * metal + 0.55) * (sum / 6) + (1 - metal) * 0.5 * n[i]);
    }
    highpass(row, 6200 + 3200 * metal, rate);
    for (size_t i = 0; i < frames; ++i) {
        double t = i / rate;
        row[i] = f32(row[i] * (0.75 * env(t, decay) + 0.35 * exp(-t / 0.006)));
    }
    finish(row, rate, tone, 0.5, DRUM_PIECE_HAT_OPEN, 0);
    return row;
}

void expectRow(const DrumSynth& s, int piece, const Row& expected) {
    std::vector<float> row = publishedRow(s, piece);
    ASSERT_EQ(row.size(), expected.size());
    for (size_t i = 0; i < row.size(); ++i)
        ASSERT_EQ(row[i], static_cast<float>(expected[i])) << "piece " << piece << " frame " << i;
}

TEST(Recipes, StagedRenderMatchesStraightFormulas) {
    struct Case {
        double rate, tone;
    };
    for (Case c : {Case{48000, 0.5}, Case{44100, 0.8}, Case{96000, 0.15}}) {
        SCOPED_TRACE(c.rate);
        auto state = preparedState(c.rate);
        ASSERT_TRUE(setParameter(*state, "kit.tone", c.tone));
        ASSERT_TRUE(setParameter(*state, "kick.tune", 61));
        ASSERT_TRUE(setParameter(*state, "snare.snap", 0.3));
        ASSERT_TRUE(setParameter(*state, "hat.metal", 0.25));
        stepsUntilClean(*state->synth);
        expectRow(*state->synth, DRUM_PIECE_KICK, kick(c.rate, 61, 0.42, 0.35, c.tone));
        expectRow(*state->synth, DRUM_PIECE_SNARE, snare(c.rate, 190, 0.19, 0.3, c.tone));
        expectRow(*state->synth, DRUM_PIECE_HAT_OPEN, openHat(c.rate, 0.42, 0.25, c.tone));
    }
}

TEST(Recipes, RecipeValuesFollowTheParameters) {
    auto state = preparedState(48000);
    DrumSynth& s = *state->synth;
    struct Case {
        int piece;
        const char* name;
        double value;
        double PieceRecipe::*field;
        double expected;
    };
    const Case cases[] = {
        {DRUM_PIECE_SNARE, "snare.snap", 0, &PieceRecipe::toneWeight, 1.0},
        {DRUM_PIECE_SNARE, "snare.snap", 0, &PieceRecipe::noiseWeight, 0.35},
        {DRUM_PIECE_SNARE, "snare.snap", 1, &PieceRecipe::toneWeight, 0.25},
        {DRUM_PIECE_SNARE, "snare.snap", 1, &PieceRecipe::noiseWeight, 1.0},
        {DRUM_PIECE_RIM, "snare.decay", 0.6, &PieceRecipe::toneDecay, 0.045},
        {DRUM_PIECE_RIM, "snare.decay", NAN, &PieceRecipe::toneDecay, 0.19 * 0.17},
        {DRUM_PIECE_TOM_MID, "tom.tune", 100, &PieceRecipe::baseHz, 150},
        {DRUM_PIECE_TOM_LOW, "tom.tune", 100, &PieceRecipe::noiseFrames, 289},
        {DRUM_PIECE_HAT_CLOSED, "hat.metal", 1, &PieceRecipe::highpassHz, 9400},
        {DRUM_PIECE_CYMBAL, "hat.metal", 0, &PieceRecipe::highpassHz, 3200},
        {DRUM_PIECE_HAT_OPEN, "hat.metal", 0, &PieceRecipe::noiseWeight, 0.5},
        {DRUM_PIECE_KICK, "kick.tune", 52, &PieceRecipe::sweepHz, 52 * 4.2},
    };
    for (const Case& c : cases) {
        s.parameters[drumParamIndex(c.name)] = c.value;
        writeRecipe(s, c.piece, 100000);
        EXPECT_EQ(s.recipe.*c.field, c.expected) << c.name << " " << c.value;
        s.parameters[drumParamIndex(c.name)] = DRUM_PARAM_INITIAL[drumParamIndex(c.name)];
    }
}

TEST(Recipes, FiltersStayBelowNyquist) {
    TypedArray<double> at30k(5), atLimit(5);
    bandpassCoefficients(at30k, 30000, 1, 48000);
    bandpassCoefficients(atLimit, 21600, 1, 48000);
    for (int i = 0; i < BIQUAD_STRIDE; ++i)
        EXPECT_EQ(at30k[i], atLimit[i]);
}

}  // namespace
}  // namespace kelvo::kernel
