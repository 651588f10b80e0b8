// The WAV decoder on arbitrary bytes: no crash, no overread, and whatever it
// accepts is at least one frame, each sample equal bit for bit to the plain
// computation with round() (so finite and on the 16-bit grid).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "wav_decoder.h"

namespace {

void check(bool condition) {
    if (!condition) __builtin_trap();
}

double sampleAt(const uint8_t* at, uint16_t bits) {
    if (bits == 16) return static_cast<int16_t>(at[0] | at[1] << 8) / 32768.0;
    if (bits == 24) {
        int32_t value = at[0] | at[1] << 8 | at[2] << 16;
        if (value & 0x800000) value -= 0x1000000;
        return value / 8388608.0;
    }
    float value;
    std::memcpy(&value, at, 4);
    return value;
}

// Average, scale by 32767, round half away from zero, clamp, scale back.
float reference(const kelvo::WavLayout& layout, size_t frame) {
    size_t width = layout.bitsPerSample / 8;
    const uint8_t* at = layout.data + frame * layout.channels * width;
    double sum = sampleAt(at, layout.bitsPerSample);  // -0 alone stays -0
    for (int channel = 1; channel < layout.channels; ++channel)
        sum += sampleAt(at + channel * width, layout.bitsPerSample);
    double mean = sum / layout.channels;
    if (std::isnan(mean)) return 0.0f;
    double level = std::round(mean * 32767.0);
    level = std::fmin(std::fmax(level, -32768.0), 32767.0);
    return static_cast<float>(level * (1.0 / 32768.0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kelvo::WavAudio audio;
    std::string error;
    if (!kelvo::decodeWav(data, size, audio, error)) {
        check(!error.empty());
        return 0;
    }
    check(size >= 44);
    check(!audio.samples.empty() && audio.samples.size() <= size / 2);
    check(audio.sampleRate > 0 && audio.sampleRate <= 4294967295.0);
    kelvo::WavLayout layout;
    check(kelvo::probeWav(data, size, layout, error) && layout.frames == audio.samples.size());
    for (size_t frame = 0; frame < layout.frames; ++frame) {
        float expected = reference(layout, frame);
        check(std::memcmp(&expected, &audio.samples[frame], sizeof expected) == 0);
    }
    return 0;
}
