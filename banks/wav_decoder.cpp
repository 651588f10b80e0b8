#include "wav_decoder.h"

#include <cmath>
#include <cstring>
#include <new>

namespace kelvo {

namespace {

uint16_t readU16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

uint32_t readU32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

bool isChunk(const uint8_t* at, const char* id) {
    return std::memcmp(at, id, 4) == 0;
}

struct WavFormat {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;
};

struct ChunkWalk {
    WavFormat format;
    const uint8_t* data = nullptr;
    size_t dataSize = 0;
};

// Every chunk is checked against the file size before its body is touched;
// sizes are 32-bit, offsets 64-bit, so nothing here can wrap.
ChunkWalk walkChunks(const uint8_t* bytes, size_t size) {
    ChunkWalk walk;
    uint64_t offset = 12;
    while (offset + 8 <= size) {
        const uint8_t* header = bytes + offset;
        uint64_t chunkSize = readU32(header + 4);
        uint64_t body = offset + 8;
        if (chunkSize > size || body + chunkSize > size) {
            // A data chunk cut short by the end of the file keeps what is there.
            if (isChunk(header, "data") && body < size) {
                walk.data = bytes + body;
                walk.dataSize = static_cast<size_t>(size - body);
            }
            break;
        }
        const uint8_t* at = bytes + body;
        if (isChunk(header, "fmt ") && chunkSize >= 16) {
            walk.format.tag = readU16(at);
            walk.format.channels = readU16(at + 2);
            walk.format.sampleRate = readU32(at + 4);
            walk.format.bitsPerSample = readU16(at + 14);
            // WAVE_FORMAT_EXTENSIBLE: the real tag opens the sub-format GUID.
            if (chunkSize >= 40 && walk.format.tag == 0xFFFE) walk.format.tag = readU16(at + 24);
        } else if (isChunk(header, "data")) {
            walk.data = at;
            walk.dataSize = static_cast<size_t>(chunkSize);
        }
        offset = body + chunkSize + (chunkSize & 1);
    }
    return walk;
}

double pcm16(const uint8_t* at) {
    return static_cast<int16_t>(readU16(at)) / 32768.0;
}

double pcm24(const uint8_t* at) {
    int32_t value = static_cast<int32_t>(static_cast<uint32_t>(at[0]) << 8 |
                                         static_cast<uint32_t>(at[1]) << 16 |
                                         static_cast<uint32_t>(at[2]) << 24) >>
                    8;
    return value / 8388608.0;
}

double float32(const uint8_t* at) {
    uint32_t bits = readU32(at);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The mean of the channels at 16-bit resolution: scaled by 32767, rounded
// half away from zero, clamped to -32768…32767, and scaled back by 1/32768.
// Gives what round() gives, without a library call or a data-dependent
// branch per sample: the remainder after truncation is exact, and twice it
// truncates to -1, 0 or 1 exactly when it is at least a half away from zero.
// Integer samples lie in [-1, 1) and need neither the NaN check nor the
// clamp, which lets their loops vectorise.
template <bool integerSamples>
inline float quantise(double mean) {
    double scaled = mean * 32767.0;
    if constexpr (!integerSamples) {
        // A NaN in a float file would otherwise pass every clamp into the arena.
        if (std::isnan(mean)) return 0.0f;
        if (scaled <= -32768.0) return -1.0f;
        if (scaled >= 32767.0) return static_cast<float>(32767.0 / 32768.0);
    }
    int32_t whole = static_cast<int32_t>(scaled);
    int32_t level = whole + static_cast<int32_t>((scaled - whole) * 2.0);
    // round() keeps the sign of a value that rounds to zero.
    return static_cast<float>(std::copysign(level * (1.0 / 32768.0), scaled));
}

template <double (*convert)(const uint8_t*), int channels, size_t bytesPerSample>
void decodeFrames(const uint8_t* at, size_t frames, float* out) {
    constexpr bool integerSamples = bytesPerSample != 4;
    for (size_t frame = 0; frame < frames; ++frame, at += channels * bytesPerSample) {
        double mean = convert(at);
        if constexpr (channels == 2) mean = (mean + convert(at + bytesPerSample)) / 2.0;
        out[frame] = quantise<integerSamples>(mean);
    }
}

}  // namespace

bool probeWav(const uint8_t* bytes, size_t size, WavLayout& layout, std::string& error) {
    if (size < 44 || !isChunk(bytes, "RIFF") || !isChunk(bytes + 8, "WAVE")) {
        error = "not a RIFF/WAVE file";
        return false;
    }
    ChunkWalk walk = walkChunks(bytes, size);
    const WavFormat& format = walk.format;
    if (!walk.data || walk.dataSize == 0) {
        error = "no data chunk";
        return false;
    }
    if (format.channels != 1 && format.channels != 2) {
        error = "unsupported channel count " + std::to_string(format.channels);
        return false;
    }
    size_t frameSize = format.channels * (format.bitsPerSample / 8);
    if (format.bitsPerSample < 8 || walk.dataSize < frameSize) {
        error = "empty or unreadable data chunk";
        return false;
    }
    bool supported = (format.tag == 1 && format.bitsPerSample == 16) ||
                     (format.tag == 1 && format.bitsPerSample == 24) ||
                     (format.tag == 3 && format.bitsPerSample == 32);
    if (!supported) {
        error = "unsupported WAV format tag " + std::to_string(format.tag) + " / " +
                std::to_string(format.bitsPerSample) + "-bit";
        return false;
    }
    layout.data = walk.data;
    layout.frames = walk.dataSize / frameSize;
    layout.channels = format.channels;
    layout.bitsPerSample = format.bitsPerSample;
    layout.sampleRate = format.sampleRate ? format.sampleRate : 48000.0;
    return true;
}

void decodeWavFrames(const WavLayout& layout, float* out) {
    const uint8_t* at = layout.data;
    size_t frames = layout.frames;
    bool stereo = layout.channels == 2;
    switch (layout.bitsPerSample) {
        case 16:
            stereo ? decodeFrames<pcm16, 2, 2>(at, frames, out)
                   : decodeFrames<pcm16, 1, 2>(at, frames, out);
            break;
        case 24:
            stereo ? decodeFrames<pcm24, 2, 3>(at, frames, out)
                   : decodeFrames<pcm24, 1, 3>(at, frames, out);
            break;
        default:
            stereo ? decodeFrames<float32, 2, 4>(at, frames, out)
                   : decodeFrames<float32, 1, 4>(at, frames, out);
            break;
    }
}

bool decodeWav(const uint8_t* bytes, size_t size, WavAudio& audio, std::string& error) {
    WavLayout layout;
    if (!probeWav(bytes, size, layout, error)) return false;
    try {
        audio.samples.resize(layout.frames);
    } catch (const std::bad_alloc&) {
        error = "too large to decode";
        return false;
    }
    audio.sampleRate = layout.sampleRate;
    decodeWavFrames(layout, audio.samples.data());
    return true;
}

bool decodeWav(const std::vector<uint8_t>& bytes, WavAudio& audio, std::string& error) {
    return decodeWav(bytes.data(), bytes.size(), audio, error);
}

}  // namespace kelvo
