#include "render_cache.h"

#include <cmath>

#include "fdlibm_math.h"
#include "recipes.h"
#include "script_math.h"

namespace kelvo::kernel {
namespace {

constexpr uint32_t NOISE_ZERO_STATE_REPLACEMENT = 2463534242u;
constexpr double NOISE_SCALE = 4.656612873077393e-10;  // 2^-31

uint32_t nonZeroSeed(uint32_t seed) {
    return seed == 0 ? NOISE_ZERO_STATE_REPLACEMENT : seed;
}

float nextNoise(uint32_t& state) {
    uint32_t s = nonZeroSeed(state);
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    state = s;
    return static_cast<float>(static_cast<double>(s) * NOISE_SCALE - 1);
}

bool keyDiffers(const DrumSynth& synth, const TypedArray<double>& key, int64_t offset) {
    for (int k = 0; k < CACHE_KEY_STRIDE; ++k)
        if (synth.scratchKey[k] != key[offset + k]) return true;
    return false;
}

void stopRender(DrumSynth& s) {
    s.renderPiece = -1;
    s.renderStage = STAGE_DONE;
    s.renderCursor = 0;
}

void startRender(DrumSynth& s, int piece) {
    s.renderFrames = renderFrameCount(s, piece);
    s.renderPiece = piece;
    s.renderCursor = 0;
    s.renderPeak = 0;
    s.renderPhase = 0;
    s.normalizeGain = 1;
    s.fadeFrames = 0;
    s.noiseState = nonZeroSeed(drumVoiceNoiseSeed(piece));
    s.metalEnvelopeDone = false;
    s.filterState.fill(0);
    s.tilt.fill(0);
    writeRecipe(s, piece, s.renderFrames);
    writeCacheKey(s, s.renderKey, piece, 0);

    double tone = s.parameters[DRUM_PARAM_KIT_TONE];
    double t = std::isfinite(tone) ? jsMin(1, jsMax(-1, 2 * (jsMin(1, jsMax(0, tone)) - 0.5))) : 0;
    s.tilt[TILT_COEFFICIENT] = fdlibm::exp(-TWO_PI * 900 / s.renderRate());
    s.tilt[TILT_LOW_GAIN] = 1 - 0.75 * t;
    s.tilt[TILT_HIGH_GAIN] = 1 + 0.75 * t;
    s.renderStage = STAGE_CLEAR;
}

// Switches to the next stage and performs its set-up.
void enterStage(DrumSynth& s, int stage) {
    const int piece = s.renderPiece;
    s.renderStage = stage;
    s.renderCursor = 0;
    switch (stage) {
        case STAGE_FILTER_A:
            writeRenderFilter(s, piece, 0);
            break;
        case STAGE_FILTER_B:
            writeRenderFilter(s, piece, 1);
            break;
        case STAGE_CLICK_NOISE:
            s.noiseState = nonZeroSeed(drumVoiceNoiseSeed(piece));
            break;
        case STAGE_FADE: {
            double fade = jsMax(1, std::floor(s.renderRate() * 0.004));
            s.fadeFrames = static_cast<int64_t>(jsMin(static_cast<double>(s.renderFrames), fade));
            break;
        }
        default:
            break;
    }
}

int stageAfterFilter(const DrumSynth& s) {
    const int piece = s.renderPiece;
    if (s.renderStage == STAGE_FILTER_A && hasSecondFilter(piece)) return STAGE_FILTER_B;
    return filtersNoiseRow(piece) ? STAGE_RECIPE : STAGE_TILT;
}

int stageAfterNormalize(const DrumSynth& s) {
    return s.renderPiece == DRUM_PIECE_KICK ? STAGE_CLICK_NOISE : STAGE_FADE;
}

int stageAfterPeak(DrumSynth& s) {
    double level = PIECE_LEVEL[s.renderPiece];
    if (s.renderPeak > 1e-9) {
        s.normalizeGain = level * 0.96 / s.renderPeak;
        return STAGE_NORMALIZE;
    }
    s.normalizeGain = 1;
    return stageAfterNormalize(s);
}

int publishBank(const DrumSynth& s, int piece) {
    return s.published[piece] == 0 ? 0 : 1 - s.publishedBank[piece];
}

void finishPublish(DrumSynth& s) {
    const int piece = s.renderPiece;
    s.publishedBank[piece] = publishBank(s, piece);
    s.publishedLength[piece] = static_cast<int32_t>(s.renderFrames);
    s.published[piece] = 1;
    writeCacheKey(s, s.cacheKeys, piece, static_cast<int64_t>(piece) * CACHE_KEY_STRIDE);
    s.dirty[piece] = 0;
    stopRender(s);
}

void clearWindow(TypedArray<float>& row, int64_t start, int64_t count) {
    float* data = row.window(start, count);
    for (int64_t k = 0; k < count; ++k)
        data[k] = 0;
}

void noiseWindow(DrumSynth& s, int64_t start, int64_t count, int64_t fillEnd) {
    float* data = s.noiseRow.window(start, count);
    for (int64_t k = 0; k < count; ++k)
        data[k] = start + k < fillEnd ? nextNoise(s.noiseState) : 0.0f;
}

void tiltWindow(DrumSynth& s, int64_t start, int64_t count) {
    float* row = s.renderRow.window(start, count);
    const double c = s.tilt[TILT_COEFFICIENT];
    const double low = s.tilt[TILT_LOW_GAIN], high = s.tilt[TILT_HIGH_GAIN];
    double lp = s.tilt[TILT_LOWPASS];
    for (int64_t k = 0; k < count; ++k) {
        double x = row[k];
        lp = c * lp + (1 - c) * x;
        row[k] = static_cast<float>(low * lp + high * (x - lp));
    }
    s.tilt[TILT_LOWPASS] = lp;
}

void peakWindow(DrumSynth& s, int64_t start, int64_t count) {
    const float* row = s.renderRow.window(start, count);
    for (int64_t k = 0; k < count; ++k)
        s.renderPeak = jsMax(s.renderPeak, std::fabs(row[k]));
}

void scaleWindow(DrumSynth& s, int64_t start, int64_t count, double gain) {
    float* row = s.renderRow.window(start, count);
    for (int64_t k = 0; k < count; ++k)
        row[k] = static_cast<float>(row[k] * gain);
}

void fadeWindow(DrumSynth& s, int64_t start, int64_t count) {
    const int64_t first = s.renderFrames - s.fadeFrames;
    float* row = s.renderRow.window(first + start, count);
    const double length = static_cast<double>(s.fadeFrames);
    for (int64_t k = 0; k < count; ++k)
        row[k] = static_cast<float>(row[k] * (1 - static_cast<double>(start + k) / length));
}

void publishWindow(DrumSynth& s, int64_t start, int64_t count) {
    const int piece = s.renderPiece;
    const int64_t base = publishBank(s, piece) * DRUM_SYNTH_CACHE_FRAMES + PIECE_OFFSET[piece];
    float* target = s.cache.window(base + start, count);
    const float* row = s.renderRow.window(start, count);
    for (int64_t k = 0; k < count; ++k)
        target[k] = row[k];
}

int64_t clickFrames(const DrumSynth& s) {
    auto frames = static_cast<int64_t>(std::floor(s.renderRate() * 0.01)) + 1;
    return frames < s.renderFrames ? frames : s.renderFrames;
}

// The tilt stage: for the metal pieces their amplitude envelope first (once
// per render), then the kit-tone tilt unless it is flat.
int64_t tiltPass(DrumSynth& s, int64_t remaining) {
    const int piece = s.renderPiece;
    const int64_t start = s.renderCursor;
    const int64_t count = std::min(remaining, s.renderFrames - start);
    if (isMetalPiece(piece) && !s.metalEnvelopeDone) {
        metalEnvelopeWindow(s, piece, start, count);
        s.renderCursor += count;
        if (s.renderCursor >= s.renderFrames) {
            s.metalEnvelopeDone = true;
            s.renderCursor = 0;
        }
        return count;
    }
    if (s.tilt[TILT_LOW_GAIN] == 1 && s.tilt[TILT_HIGH_GAIN] == 1) {
        enterStage(s, STAGE_PEAK);
        return 0;
    }
    tiltWindow(s, start, count);
    s.renderCursor += count;
    if (s.renderCursor >= s.renderFrames) enterStage(s, STAGE_PEAK);
    return count;
}

// One pass of the current stage over at most `remaining` frames of its
// range; returns the frames processed. Reaching the end of the range
// switches to the next stage within the same pass.
int64_t stagePass(DrumSynth& s, int64_t remaining) {
    const int piece = s.renderPiece;
    const int stage = s.renderStage;
    if (stage == STAGE_TILT) return tiltPass(s, remaining);

    int64_t end = s.renderFrames;
    if (stage == STAGE_CLICK_NOISE || stage == STAGE_CLICK) end = clickFrames(s);
    if (stage == STAGE_FADE) end = s.fadeFrames;
    const int64_t start = s.renderCursor;
    const int64_t count = std::min(remaining, end - start);
    int next = STAGE_DONE;
    switch (stage) {
        case STAGE_CLEAR:
            clearWindow(s.renderRow, start, count);
            next = (piece == DRUM_PIECE_KICK || piece == DRUM_PIECE_COWBELL) ? STAGE_RECIPE
                                                                             : STAGE_NOISE;
            break;
        case STAGE_NOISE:
            noiseWindow(s, start, count, noiseFillEnd(s, piece, s.renderFrames));
            next = filtersNoiseRow(piece) ? STAGE_FILTER_A : STAGE_RECIPE;
            break;
        case STAGE_FILTER_A:
        case STAGE_FILTER_B:
            biquadWindow(s, filtersNoiseRow(piece) ? s.noiseRow : s.renderRow, start, count);
            next = stageAfterFilter(s);
            break;
        case STAGE_RECIPE:
            renderRecipeWindow(s, piece, start, count);
            next = filtersRenderRow(piece) ? STAGE_FILTER_A : STAGE_TILT;
            break;
        case STAGE_PEAK:
            peakWindow(s, start, count);
            next = STAGE_PEAK;  // decided below, once the peak is known
            break;
        case STAGE_NORMALIZE:
            scaleWindow(s, start, count, s.normalizeGain);
            next = stageAfterNormalize(s);
            break;
        case STAGE_CLICK_NOISE:
            noiseWindow(s, start, count, end);
            next = STAGE_CLICK;
            break;
        case STAGE_CLICK:
            kickClickWindow(s, start, count);
            next = STAGE_FADE;
            break;
        case STAGE_FADE:
            fadeWindow(s, start, count);
            next = STAGE_PUBLISH;
            break;
        case STAGE_PUBLISH:
            publishWindow(s, start, count);
            break;
        default:
            break;
    }
    s.renderCursor += count;
    if (s.renderCursor < end) return count;
    if (stage == STAGE_PUBLISH) {
        finishPublish(s);
        return count;
    }
    if (stage == STAGE_FILTER_A || stage == STAGE_FILTER_B) s.filterState.fill(0);
    enterStage(s, stage == STAGE_PEAK ? stageAfterPeak(s) : next);
    return count;
}

}  // namespace

uint32_t drumVoiceNoiseSeed(int piece) {
    constexpr std::string_view prefix = "drum-noise|";
    uint32_t hash = 2166136261u ^ DRUM_SEED;
    auto mix = [&hash](std::string_view bytes) {
        for (char byte : bytes) {
            hash ^= static_cast<uint8_t>(byte);
            hash *= 16777619u;  // modulo 2^32
        }
    };
    mix(prefix);
    mix(PIECE_LABEL[checkedIndex(piece, PIECE_LABEL.size())]);
    return hash;
}

void writeCacheKey(const DrumSynth& s, TypedArray<double>& destination, int piece, int64_t offset) {
    double key[CACHE_KEY_STRIDE] = {0, 0, 0, s.parameter(DRUM_PARAM_KIT_TONE)};
    switch (piece) {
        case DRUM_PIECE_KICK:
            key[0] = s.parameter(DRUM_PARAM_KICK_TUNE);
            key[1] = s.parameter(DRUM_PARAM_KICK_DECAY);
            key[2] = s.parameter(DRUM_PARAM_KICK_CLICK);
            break;
        case DRUM_PIECE_SNARE:
            key[2] = s.parameter(DRUM_PARAM_SNARE_SNAP);
            [[fallthrough]];
        case DRUM_PIECE_RIM:
            key[0] = s.parameter(DRUM_PARAM_SNARE_TUNE);
            key[1] = s.parameter(DRUM_PARAM_SNARE_DECAY);
            break;
        case DRUM_PIECE_CLAP:
            key[0] = s.parameter(DRUM_PARAM_CLAP_DECAY);
            break;
        case DRUM_PIECE_TOM_LOW:
        case DRUM_PIECE_TOM_MID:
            key[0] = s.parameter(DRUM_PARAM_TOM_TUNE);
            key[1] = s.parameter(DRUM_PARAM_TOM_DECAY);
            break;
        case DRUM_PIECE_HAT_CLOSED:
        case DRUM_PIECE_HAT_OPEN:
        case DRUM_PIECE_CYMBAL:
            key[0] = s.parameter(piece == DRUM_PIECE_HAT_CLOSED ? DRUM_PARAM_HAT_CLOSED_DECAY
                                 : piece == DRUM_PIECE_HAT_OPEN ? DRUM_PARAM_HAT_OPEN_DECAY
                                                                : DRUM_PARAM_CYMBAL_DECAY);
            key[1] = s.parameter(DRUM_PARAM_HAT_METAL);
            break;
        default:
            break;
    }
    for (int k = 0; k < CACHE_KEY_STRIDE; ++k)
        destination[offset + k] = key[k];
}

int64_t renderFrameCount(const DrumSynth& s, int piece) {
    double seconds = jsMin(5, jsMax(0.01, renderDurationSeconds(s, piece)));
    double wanted = jsMax(8, std::floor(s.renderRate() * seconds));
    return static_cast<int64_t>(
        jsMin(PIECE_CAPACITY[checkedIndex(piece, DRUM_PIECE_COUNT)], wanted));
}

void drumSynthInvalidateAllRows(DrumSynth& s) {
    for (int p = 0; p < DRUM_PIECE_COUNT; ++p) {
        s.dirty[p] = 1;
        s.published[p] = 0;
    }
    stopRender(s);
}

void invalidateChangedPieces(DrumSynth& s) {
    for (int p = 0; p < DRUM_PIECE_COUNT; ++p) {
        writeCacheKey(s, s.scratchKey, p, 0);
        if (keyDiffers(s, s.cacheKeys, static_cast<int64_t>(p) * CACHE_KEY_STRIDE)) s.dirty[p] = 1;
        if (p == s.renderPiece && keyDiffers(s, s.renderKey, 0)) {
            s.dirty[p] = 1;
            stopRender(s);
        }
    }
}

void drumSynthAdvanceRender(DrumSynth& s) {
    if (s.renderPiece < 0) {
        int piece = -1;
        for (int p = 0; p < DRUM_PIECE_COUNT && piece < 0; ++p)
            if (s.dirty[p] != 0) piece = p;
        if (piece < 0) return;
        startRender(s, piece);
    }
    int64_t remaining = DRUM_SYNTH_RENDER_BUDGET;
    int passes = 0;
    while (s.renderStage != STAGE_DONE) {
        remaining -= stagePass(s, remaining);
        ++passes;
        if (passes >= DRUM_SYNTH_RENDER_STAGE_PASSES || remaining <= 0) break;
    }
}

void drumSynthRenderAllPending(DrumSynth& s) {
    for (int step = 0; step < DRUM_SYNTH_RENDER_DRAIN_LIMIT; ++step) {
        bool pending = s.renderPiece >= 0;
        for (int p = 0; p < DRUM_PIECE_COUNT && !pending; ++p)
            pending = s.dirty[p] != 0;
        if (!pending) return;
        drumSynthAdvanceRender(s);
    }
}

}  // namespace kelvo::kernel
