#include "drum_voices.h"

#include "fdlibm_math.h"
#include "script_math.h"

namespace kelvo::kernel {
namespace {

int64_t retireBase(int voice) {
    return voice * DRUM_SYNTH_RETIRE_FRAMES;
}

// Where the voice's source sample at position 0 lives, and in which array.
const float* voiceSource(DrumSynth& s, int v, int64_t position, int64_t count) {
    if (s.voiceRetired[v] < 1) {
        int64_t base = s.voiceBank[v] * DRUM_SYNTH_CACHE_FRAMES +
                       PIECE_OFFSET[checkedIndex(s.voicePiece[v], DRUM_PIECE_COUNT)];
        return s.cache.window(base + position, count);
    }
    return s.retireBuffer.window(retireBase(v) + position, count);
}

// The cut ramp: from the start gain down to 0.0001 at the fade length.
float rampGain(const DrumSynth& s, int v, double k) {
    double start = s.fadeStartGain[v], length = s.fadeLength[v];
    if (!(start > 0 && length > 0)) return 0;
    return static_cast<float>(start * fdlibm::exp((k / length) * s.fadeLogSpan[v]));
}

int chooseVoice(const DrumSynth& s) {
    int oldest = 0;
    for (int v = 0; v < DRUM_SYNTH_MAX_VOICES; ++v) {
        if (s.voiceActive[v] == 0) return v;
        if (s.voiceSerial[v] < s.voiceSerial[oldest]) oldest = v;
    }
    return oldest;
}

void clearVoice(DrumSynth& s, int v) {
    s.voiceActive[v] = 0;
    s.voicePiece[v] = 0;
    s.voiceBank[v] = 0;
    s.voicePosition[v] = 0;
    s.voiceLength[v] = 0;
    s.voiceGain[v] = 0;
    s.voiceSerial[v] = 0;
    s.voiceFading[v] = 0;
    s.fadePosition[v] = 0;
    s.fadeLength[v] = 0;
    s.fadeStartGain[v] = 0;
    s.fadeLogSpan[v] = 0;
    s.voiceRetired[v] = 0;
}

// Mixes one voice into sum; returns when the block ends or the voice stops.
void mixVoice(DrumSynth& s, int v, double* sum, int64_t frames) {
    int64_t i = 0;
    while (i < frames) {
        double position = s.voicePosition[v];
        if (position >= s.voiceLength[v]) {
            s.voiceActive[v] = 0;
            return;
        }
        auto start = static_cast<int64_t>(position);
        if (s.voiceFading[v] == 0) {
            int64_t count = std::min(frames - i, static_cast<int64_t>(s.voiceLength[v]) - start);
            const float* source = voiceSource(s, v, start, count);
            const double gain = s.voiceGain[v];
            for (int64_t k = 0; k < count; ++k)
                sum[i + k] += gain * source[k];
            s.voicePosition[v] = position + static_cast<double>(count);
            i += count;
            continue;
        }
        if (s.fadePosition[v] >= s.fadeLength[v]) {
            s.voiceActive[v] = 0;
            return;
        }
        double gain = rampGain(s, v, s.fadePosition[v]);
        s.fadePosition[v] += 1;
        sum[i] += gain * *voiceSource(s, v, start, 1);
        s.voicePosition[v] = position + 1;
        ++i;
    }
}

}  // namespace

void cutPiece(DrumSynth& s, int piece, double fadeSeconds) {
    for (int v = 0; v < DRUM_SYNTH_MAX_VOICES; ++v) {
        if (s.voiceActive[v] == 0 || s.voicePiece[v] != piece) continue;
        double gain = s.voiceFading[v] != 0 ? rampGain(s, v, s.fadePosition[v]) : s.voiceGain[v];
        double fadeFrames = jsMax(1, jsRound(jsMax(0.001, fadeSeconds) * s.renderRate()));
        auto position = static_cast<int64_t>(s.voicePosition[v]);
        double available = s.voiceLength[v] - s.voicePosition[v];
        auto copied = static_cast<int64_t>(jsMax(
            0, jsMin(static_cast<double>(DRUM_SYNTH_RETIRE_FRAMES), jsMin(fadeFrames, available))));
        // A voice already retired moves its own data down to the start; the
        // forward copy never overwrites a sample it still has to read.
        const float* source = voiceSource(s, v, position, copied);
        float* target = s.retireBuffer.window(retireBase(v), copied);
        for (int64_t k = 0; k < copied; ++k)
            target[k] = source[k];

        s.voiceRetired[v] = static_cast<int32_t>(copied);
        s.voicePosition[v] = 0;
        s.voiceLength[v] = static_cast<double>(copied);
        s.voiceFading[v] = 1;
        s.fadeStartGain[v] = gain;
        s.fadeLogSpan[v] = gain > 0 ? LOG_RAMP_EPSILON - fdlibm::log(gain) : 0;
        s.fadePosition[v] = 0;
        s.fadeLength[v] = fadeFrames;
    }
}

void strikePiece(DrumSynth& s, int piece, double velocity) {
    cutPiece(s, piece, DRUM_CUT_FADE);
    const int32_t group = PIECE_CHOKE_GROUP[checkedIndex(piece, DRUM_PIECE_COUNT)];
    if (group >= 0) {
        for (int other = 0; other < DRUM_PIECE_COUNT; ++other)
            if (other != piece && PIECE_CHOKE_GROUP[other] == group)
                cutPiece(s, other, DRUM_CUT_FADE);
    }
    if (s.published[piece] == 0) return;

    const int v = chooseVoice(s);
    s.strikeCounter += 1;
    double scaled = jsMin(127, jsMax(0, velocity * 127)) / 127;
    clearVoice(s, v);
    s.voiceActive[v] = 1;
    s.voicePiece[v] = piece;
    s.voiceBank[v] = s.publishedBank[piece];
    s.voiceLength[v] = s.publishedLength[piece];
    s.voiceGain[v] = scaled * scaled * DRUM_STRIKE_HEADROOM;
    s.voiceSerial[v] = s.strikeCounter;
}

void mixVoices(DrumSynth& s, double* sum, int64_t frames) {
    for (int v = 0; v < DRUM_SYNTH_MAX_VOICES; ++v)
        if (s.voiceActive[v] != 0) mixVoice(s, v, sum, frames);
}

void resetVoices(DrumSynth& s) {
    for (int v = 0; v < DRUM_SYNTH_MAX_VOICES; ++v)
        clearVoice(s, v);
}

}  // namespace kelvo::kernel
