#include "recipes.h"

#include <cmath>

#include "fdlibm_batch.h"
#include "fdlibm_math.h"
#include "script_math.h"

namespace kelvo::kernel {
namespace {

// The per-sample formulas are evaluated a chunk of frames at a time so the
// transcendental functions run in their batch form; every value is still the
// scalar function's result, operation for operation.
constexpr int64_t CHUNK = 128;

struct Chunk {
    int64_t first;  // frame index of element 0
    int64_t count;
    double t[CHUNK];
};

// Frame times of frames first .. first + count - 1.
void fillTimes(Chunk& c, const DrumSynth& s, int64_t first, int64_t count) {
    const double rate = s.renderRate();
    c.first = first;
    c.count = count;
    for (int64_t k = 0; k < count; ++k)
        c.t[k] = static_cast<double>(first + k) / rate;
}

// out = exp(-LN_1000 * t / T): the decay envelope, -60 dB at t = T.
void envelopes(const Chunk& c, double T, double* out) {
    for (int64_t k = 0; k < c.count; ++k)
        out[k] = -LN_1000 * c.t[k] / T;
    fdlibm::expBatch(out, out, static_cast<size_t>(c.count));
}

// out = exp(-(t - shift) / tau).
void decays(const Chunk& c, double shift, double tau, double* out) {
    for (int64_t k = 0; k < c.count; ++k)
        out[k] = -(c.t[k] - shift) / tau;
    fdlibm::expBatch(out, out, static_cast<size_t>(c.count));
}

// out = sin(TWO_PI * frequency * t).
void sines(const Chunk& c, double frequency, double* out) {
    for (int64_t k = 0; k < c.count; ++k)
        out[k] = TWO_PI * frequency * c.t[k];
    fdlibm::sinBatch(out, out, static_cast<size_t>(c.count));
}

inline double frac(double x) {
    return x - std::floor(x);
}

// Runs body(chunk, offset into the window) over the window in chunks.
template <typename Body>
void forChunks(const DrumSynth& s, int64_t start, int64_t count, Body&& body) {
    Chunk c;
    for (int64_t done = 0; done < count; done += CHUNK) {
        fillTimes(c, s, start + done, std::min(CHUNK, count - done));
        body(c, done);
    }
}

// Kick and toms: a sine whose pitch glides from sweepHz down to baseHz with
// time constant tau; the phase (in cycles) advances before use and is carried
// across windows.
void glidingSines(DrumSynth& s, const Chunk& c, double tau, double* out) {
    const double rate = s.renderRate(), base = s.recipe.baseHz, sweep = s.recipe.sweepHz;
    decays(c, 0, tau, out);
    double phase = s.renderPhase;
    for (int64_t k = 0; k < c.count; ++k) {
        phase += (base + (sweep - base) * out[k]) / rate;
        out[k] = TWO_PI * phase;
    }
    s.renderPhase = phase;
    fdlibm::sinBatch(out, out, static_cast<size_t>(c.count));
}

void renderKick(DrumSynth& s, float* row, int64_t start, int64_t count) {
    const double decay = s.recipe.toneDecay;
    forChunks(s, start, count, [&](const Chunk& c, int64_t at) {
        double tone[CHUNK], env[CHUNK];
        glidingSines(s, c, KICK_SWEEP_TAU, tone);
        envelopes(c, decay, env);
        for (int64_t k = 0; k < c.count; ++k)
            row[at + k] = static_cast<float>(tone[k] * env[k]);
    });
}

void renderSnare(DrumSynth& s, float* row, const float* noise, int64_t start, int64_t count) {
    const PieceRecipe& r = s.recipe;
    forChunks(s, start, count, [&](const Chunk& c, int64_t at) {
        double low[CHUNK], high[CHUNK], toneEnv[CHUNK], noiseEnv[CHUNK];
        sines(c, r.lowModeHz, low);
        sines(c, r.highModeHz, high);
        envelopes(c, r.toneDecay, toneEnv);
        envelopes(c, r.noiseDecay, noiseEnv);
        for (int64_t k = 0; k < c.count; ++k) {
            double tone = 0.7 * low[k] + 0.45 * high[k];
            row[at + k] = static_cast<float>(r.toneWeight * tone * toneEnv[k] +
                                             r.noiseWeight * noise[at + k] * noiseEnv[k]);
        }
    });
}

void renderRim(DrumSynth& s, float* row, const float* noise, int64_t start, int64_t count) {
    const PieceRecipe& r = s.recipe;
    forChunks(s, start, count, [&](const Chunk& c, int64_t at) {
        double low[CHUNK], high[CHUNK], toneEnv[CHUNK], noiseEnv[CHUNK];
        sines(c, r.lowModeHz, low);
        sines(c, r.highModeHz, high);
        envelopes(c, r.toneDecay, toneEnv);
        envelopes(c, 0.6 * r.toneDecay, noiseEnv);
        for (int64_t k = 0; k < c.count; ++k) {
            double tone = low[k] + 0.8 * high[k];
            row[at + k] =
                static_cast<float>(0.7 * tone * toneEnv[k] + 0.5 * noise[at + k] * noiseEnv[k]);
        }
    });
}

void renderClap(DrumSynth& s, float* row, const float* noise, int64_t start, int64_t count) {
    const double tailDecay = s.recipe.tailDecay;
    forChunks(s, start, count, [&](const Chunk& c, int64_t at) {
        double taps[CLAP_TAP_COUNT][CHUNK], tail[CHUNK];
        for (int i = 0; i < CLAP_TAP_COUNT; ++i)
            decays(c, CLAP_TAPS[i], 0.0045, taps[i]);
        for (int64_t k = 0; k < c.count; ++k)
            tail[k] = -LN_1000 * (c.t[k] - CLAP_TAIL_AT) / tailDecay;
        fdlibm::expBatch(tail, tail, static_cast<size_t>(c.count));
        for (int64_t k = 0; k < c.count; ++k) {
            const double t = c.t[k];
            double burst = 0;
            for (int i = 0; i < CLAP_TAP_COUNT; ++i)
                if (t >= CLAP_TAPS[i]) burst += taps[i][k];
            if (t >= CLAP_TAIL_AT) burst += 0.75 * tail[k];
            row[at + k] = static_cast<float>(noise[at + k] * jsMin(1.6, burst));
        }
    });
}

void renderTom(DrumSynth& s, float* row, const float* noise, int64_t start, int64_t count) {
    const double decay = s.recipe.toneDecay, thumpFrames = s.recipe.noiseFrames;
    forChunks(s, start, count, [&](const Chunk& c, int64_t at) {
        double tone[CHUNK], env[CHUNK], thump[CHUNK];
        glidingSines(s, c, 0.05, tone);
        envelopes(c, decay, env);
        const bool thumping = static_cast<double>(c.first) < thumpFrames;
        if (thumping) decays(c, 0, 0.0012, thump);
        for (int64_t k = 0; k < c.count; ++k) {
            double v = tone[k] * env[k];
            if (thumping && static_cast<double>(c.first + k) < thumpFrames)
                v += noise[at + k] * 0.22 * thump[k];
            row[at + k] = static_cast<float>(v);
        }
    });
}

inline double cowbellSquare(double t, double frequency) {
    return frac(t * frequency) < 0.5 ? 0.5 : -0.5;
}

void renderCowbell(DrumSynth& s, float* row, int64_t start, int64_t count) {
    forChunks(s, start, count, [&](const Chunk& c, int64_t at) {
        double env[CHUNK], click[CHUNK];
        envelopes(c, 0.32, env);
        decays(c, 0, 0.004, click);
        for (int64_t k = 0; k < c.count; ++k) {
            const double t = c.t[k];
            double square = cowbellSquare(t, COWBELL_LOW) + cowbellSquare(t, COWBELL_HIGH);
            row[at + k] = static_cast<float>(square * (0.8 * env[k] + 0.4 * click[k]));
        }
    });
}

void renderMetal(DrumSynth& s, float* row, const float* noise, int64_t start, int64_t count) {
    const double squareWeight = 0.45 * s.recipe.metal + 0.55;
    const double noiseWeight = s.recipe.noiseWeight;
    forChunks(s, start, count, [&](const Chunk& c, int64_t at) {
        for (int64_t k = 0; k < c.count; ++k) {
            double sum = 0;
            for (double ratio : METAL_RATIOS)
                sum += frac(c.t[k] * METAL_BASE_HZ * ratio) < 0.5 ? 1 : -1;
            double metal = sum / METAL_RATIO_COUNT;
            row[at + k] = static_cast<float>(squareWeight * metal + noiseWeight * noise[at + k]);
        }
    });
}

PieceRecipe kickRecipe(const DrumSynth& s) {
    const double tune = s.parameter(DRUM_PARAM_KICK_TUNE);
    return {.baseHz = tune,
            .sweepHz = tune * KICK_SWEEP,
            .toneDecay = s.parameter(DRUM_PARAM_KICK_DECAY),
            .clickAmount = s.parameter(DRUM_PARAM_KICK_CLICK)};
}

// The snap moves weight from the body to the noise.
PieceRecipe snareRecipe(const DrumSynth& s) {
    const double tune = s.parameter(DRUM_PARAM_SNARE_TUNE);
    const double decay = s.parameter(DRUM_PARAM_SNARE_DECAY);
    const double snap = s.parameter(DRUM_PARAM_SNARE_SNAP);
    return {.lowModeHz = tune,
            .highModeHz = tune * SNARE_MODE_RATIO,
            .toneDecay = decay * 0.55,
            .noiseDecay = decay,
            .toneWeight = (1 - snap) * 0.75 + 0.25,
            .noiseWeight = snap * 0.65 + 0.35};
}

// The rim shares the snare's tune and decay, pitched up and much shorter.
PieceRecipe rimRecipe(const DrumSynth& s) {
    const double tune = s.parameter(DRUM_PARAM_SNARE_TUNE);
    return {.lowModeHz = tune * 3.1,
            .highModeHz = tune * 4.73,
            .toneDecay = jsMin(0.045, jsMax(0.02, s.parameter(DRUM_PARAM_SNARE_DECAY) * 0.17))};
}

// The mid tom is the low tom a fifth up with 85 % of its decay.
PieceRecipe tomRecipe(const DrumSynth& s, int piece, int64_t frames) {
    const bool low = piece == DRUM_PIECE_TOM_LOW;
    const double tune = s.parameter(DRUM_PARAM_TOM_TUNE);
    const double decay = s.parameter(DRUM_PARAM_TOM_DECAY);
    const double base = low ? tune : tune * 1.5;
    return {.baseHz = base,
            .sweepHz = base * 1.7,
            .toneDecay = low ? decay : decay * 0.85,
            .noiseFrames = static_cast<double>(noiseFillEnd(s, piece, frames))};
}

// Hats and cymbal share the metal amount; each has its own decay, and the
// cymbal's high-pass sits lower.
PieceRecipe metalRecipe(const DrumSynth& s, int piece) {
    const double metal = s.parameter(DRUM_PARAM_HAT_METAL);
    const int decay = piece == DRUM_PIECE_HAT_CLOSED ? DRUM_PARAM_HAT_CLOSED_DECAY
                      : piece == DRUM_PIECE_HAT_OPEN ? DRUM_PARAM_HAT_OPEN_DECAY
                                                     : DRUM_PARAM_CYMBAL_DECAY;
    return {.envelopeDecay = s.parameter(decay),
            .noiseWeight = (1 - metal) * 0.5,
            .metal = metal,
            .highpassHz = (piece == DRUM_PIECE_CYMBAL ? 3200 : 6200) + 3200 * metal};
}

}  // namespace

double renderDurationSeconds(const DrumSynth& s, int piece) {
    switch (piece) {
        case DRUM_PIECE_KICK:
            return s.parameter(DRUM_PARAM_KICK_DECAY) + 0.02;
        case DRUM_PIECE_SNARE:
            return s.parameter(DRUM_PARAM_SNARE_DECAY) + 0.02;
        case DRUM_PIECE_RIM:
            return 0.07;
        case DRUM_PIECE_CLAP:
            return s.parameter(DRUM_PARAM_CLAP_DECAY) + 0.05;
        case DRUM_PIECE_TOM_LOW:
            return s.parameter(DRUM_PARAM_TOM_DECAY) + 0.03;
        case DRUM_PIECE_TOM_MID:
            return s.parameter(DRUM_PARAM_TOM_DECAY) * 0.85 + 0.03;
        case DRUM_PIECE_HAT_CLOSED:
            return s.parameter(DRUM_PARAM_HAT_CLOSED_DECAY) + 0.01;
        case DRUM_PIECE_HAT_OPEN:
            return s.parameter(DRUM_PARAM_HAT_OPEN_DECAY) + 0.02;
        case DRUM_PIECE_CYMBAL:
            return s.parameter(DRUM_PARAM_CYMBAL_DECAY) + 0.03;
        default:
            return 0.42;
    }
}

int64_t noiseFillEnd(const DrumSynth& s, int piece, int64_t frames) {
    if (piece != DRUM_PIECE_TOM_LOW && piece != DRUM_PIECE_TOM_MID) return frames;
    auto burst = static_cast<int64_t>(std::floor(s.renderRate() * 0.006)) + 1;
    return burst < frames ? burst : frames;
}

void writeRecipe(DrumSynth& s, int piece, int64_t frames) {
    switch (piece) {
        case DRUM_PIECE_KICK:
            s.recipe = kickRecipe(s);
            break;
        case DRUM_PIECE_SNARE:
            s.recipe = snareRecipe(s);
            break;
        case DRUM_PIECE_RIM:
            s.recipe = rimRecipe(s);
            break;
        case DRUM_PIECE_CLAP:
            s.recipe = {.tailDecay = s.parameter(DRUM_PARAM_CLAP_DECAY)};
            break;
        case DRUM_PIECE_TOM_LOW:
        case DRUM_PIECE_TOM_MID:
            s.recipe = tomRecipe(s, piece, frames);
            break;
        case DRUM_PIECE_HAT_CLOSED:
        case DRUM_PIECE_HAT_OPEN:
        case DRUM_PIECE_CYMBAL:
            s.recipe = metalRecipe(s, piece);
            break;
        default:
            s.recipe = {};
            break;
    }
}

bool isMetalPiece(int piece) {
    return piece == DRUM_PIECE_HAT_CLOSED || piece == DRUM_PIECE_HAT_OPEN ||
           piece == DRUM_PIECE_CYMBAL;
}

bool filtersNoiseRow(int piece) {
    return piece == DRUM_PIECE_SNARE || piece == DRUM_PIECE_RIM || piece == DRUM_PIECE_CLAP;
}

bool filtersRenderRow(int piece) {
    return isMetalPiece(piece) || piece == DRUM_PIECE_COWBELL;
}

bool hasSecondFilter(int piece) {
    return piece == DRUM_PIECE_SNARE || piece == DRUM_PIECE_CLAP;
}

void bandpassCoefficients(TypedArray<double>& out, double frequency, double q, double rate) {
    double w = TWO_PI * jsMin(frequency, 0.45 * rate) / rate;
    double cosW = fdlibm::cos(w);
    double alpha = fdlibm::sin(w) / (2 * jsMax(0.05, q));
    double a0 = 1 + alpha;
    out[BIQUAD_B0] = alpha / a0;
    out[BIQUAD_B1] = 0;
    out[BIQUAD_B2] = -alpha / a0;
    out[BIQUAD_A1] = -2 * cosW / a0;
    out[BIQUAD_A2] = (1 - alpha) / a0;
}

void highpassCoefficients(TypedArray<double>& out, double frequency, double rate) {
    double w = TWO_PI * jsMin(frequency, 0.45 * rate) / rate;
    double cosW = fdlibm::cos(w);
    double alpha = fdlibm::sin(w) / 1.4;
    double a0 = 1 + alpha;
    out[BIQUAD_B0] = (1 + cosW) / 2 / a0;
    out[BIQUAD_B1] = -(1 + cosW) / a0;
    out[BIQUAD_B2] = out[BIQUAD_B0];
    out[BIQUAD_A1] = -2 * cosW / a0;
    out[BIQUAD_A2] = (1 - alpha) / a0;
}

void writeRenderFilter(DrumSynth& s, int piece, int which) {
    const double rate = s.renderRate();
    TypedArray<double>& c = s.filterCoefficients;
    switch (piece) {
        case DRUM_PIECE_SNARE:
            if (which == 0)
                bandpassCoefficients(c, 1750, 0.7, rate);
            else
                highpassCoefficients(c, 420, rate);
            break;
        case DRUM_PIECE_RIM:
            bandpassCoefficients(c, 2400, 2.2, rate);
            break;
        case DRUM_PIECE_CLAP:
            if (which == 0)
                bandpassCoefficients(c, 1000, 1.1, rate);
            else
                highpassCoefficients(c, 600, rate);
            break;
        case DRUM_PIECE_COWBELL:
            bandpassCoefficients(c, 1400, 1.6, rate);
            break;
        default:  // hats and cymbal
            highpassCoefficients(c, s.recipe.highpassHz, rate);
            break;
    }
    s.filterState.fill(0);
}

void biquadWindow(DrumSynth& s, TypedArray<float>& row, int64_t start, int64_t count) {
    float* data = row.window(start, count);
    const double b0 = s.filterCoefficients[BIQUAD_B0], b1 = s.filterCoefficients[BIQUAD_B1];
    const double b2 = s.filterCoefficients[BIQUAD_B2], a1 = s.filterCoefficients[BIQUAD_A1];
    const double a2 = s.filterCoefficients[BIQUAD_A2];
    double x1 = s.filterState[0], x2 = s.filterState[1];
    double y1 = s.filterState[2], y2 = s.filterState[3];
    for (int64_t k = 0; k < count; ++k) {
        double x = data[k];
        double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        data[k] = static_cast<float>(y);
    }
    s.filterState[0] = x1;
    s.filterState[1] = x2;
    s.filterState[2] = y1;
    s.filterState[3] = y2;
}

void renderRecipeWindow(DrumSynth& s, int piece, int64_t start, int64_t count) {
    float* row = s.renderRow.window(start, count);
    const float* noise = s.noiseRow.window(start, count);
    switch (piece) {
        case DRUM_PIECE_KICK:
            renderKick(s, row, start, count);
            break;
        case DRUM_PIECE_SNARE:
            renderSnare(s, row, noise, start, count);
            break;
        case DRUM_PIECE_RIM:
            renderRim(s, row, noise, start, count);
            break;
        case DRUM_PIECE_CLAP:
            renderClap(s, row, noise, start, count);
            break;
        case DRUM_PIECE_TOM_LOW:
        case DRUM_PIECE_TOM_MID:
            renderTom(s, row, noise, start, count);
            break;
        case DRUM_PIECE_COWBELL:
            renderCowbell(s, row, start, count);
            break;
        default:
            renderMetal(s, row, noise, start, count);
            break;
    }
}

void metalEnvelopeWindow(DrumSynth& s, int piece, int64_t start, int64_t count) {
    float* row = s.renderRow.window(start, count);
    const double decay = s.recipe.envelopeDecay;
    forChunks(s, start, count, [&](const Chunk& c, int64_t at) {
        double env[CHUNK], fast[CHUNK];
        envelopes(c, decay, env);
        if (piece == DRUM_PIECE_HAT_CLOSED) {
            for (int64_t k = 0; k < c.count; ++k)
                row[at + k] = static_cast<float>(row[at + k] * env[k]);
            return;
        }
        const bool open = piece == DRUM_PIECE_HAT_OPEN;
        decays(c, 0, open ? 0.006 : 0.02, fast);
        for (int64_t k = 0; k < c.count; ++k) {
            double gain = open ? 0.75 * env[k] + 0.35 * fast[k] : 0.8 * env[k] + 0.45 * fast[k];
            row[at + k] = static_cast<float>(row[at + k] * gain);
        }
    });
}

void kickClickWindow(DrumSynth& s, int64_t start, int64_t count) {
    float* row = s.renderRow.window(start, count);
    const float* noise = s.noiseRow.window(start, count);
    const double level = PIECE_LEVEL[DRUM_PIECE_KICK], click = s.recipe.clickAmount;
    forChunks(s, start, count, [&](const Chunk& c, int64_t at) {
        double burst[CHUNK];
        decays(c, 0, 0.0015, burst);
        for (int64_t k = 0; k < c.count; ++k) {
            double sample = row[at + k] + burst[k] * level * click * noise[at + k] * 0.35;
            row[at + k] = static_cast<float>(jsMin(0.95, jsMax(-0.95, sample)));
        }
    });
}

}  // namespace kelvo::kernel
