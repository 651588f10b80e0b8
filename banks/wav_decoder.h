// Decoding sound pack assets (RIFF/WAVE) into uniform mono samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvo {

struct WavAudio {
    std::vector<float> samples;  // one per frame, 16-bit resolution
    double sampleRate = 48000;
};

// Decodes 16- and 24-bit PCM and 32-bit float WAV files, mono or stereo
// (folded to mono), with every sample quantised to 16-bit resolution. On
// failure returns false with `error` set and `audio` unspecified. Accepts a
// data chunk cut short by the end of the file. Never throws.
bool decodeWav(const uint8_t* bytes, size_t size, WavAudio& audio, std::string& error);
bool decodeWav(const std::vector<uint8_t>& bytes, WavAudio& audio, std::string& error);

// decodeWav in two steps, for a caller that places the samples itself:
// probeWav applies every check (failing with decodeWav's messages) and finds
// the frames; decodeWavFrames then writes `frames` samples to `out` and
// cannot fail. The layout points into `bytes`, which must outlive it.
struct WavLayout {
    const uint8_t* data = nullptr;
    size_t frames = 0;
    uint16_t channels = 0;
    uint16_t bitsPerSample = 0;  // 16 or 24 (PCM), 32 (float)
    double sampleRate = 48000;
};

bool probeWav(const uint8_t* bytes, size_t size, WavLayout& layout, std::string& error);
void decodeWavFrames(const WavLayout& layout, float* out);

}  // namespace kelvo
