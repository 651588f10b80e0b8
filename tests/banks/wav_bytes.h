// Builds WAV files in memory for the bank tests.
#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "pack_files.h"

namespace kelvo::test {

// A chunk whose header declares `declared` bytes, the body's size by default.
inline void putChunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& body,
                     uint64_t declared = UINT64_MAX) {
    out.insert(out.end(), id, id + 4);
    putLE(out, 4, {declared == UINT64_MAX ? body.size() : declared});
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() % 2) out.push_back(0);
}

// A "fmt " body; `subTag` > 0 makes it the 40-byte extensible form.
inline std::vector<uint8_t> fmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                                    uint16_t subTag = 0) {
    std::vector<uint8_t> body;
    putLE(body, 2, {subTag ? 0xFFFEu : tag, channels});
    putLE(body, 4, {rate, rate * channels * bits / 8u});
    putLE(body, 2, {channels * bits / 8u, bits});
    // The extension's size, the valid bits, no channel mask, and the
    // sub-format GUID: the tag, then the tail every such GUID shares.
    if (subTag)
        putLE(body, 2, {22, bits, 0, 0, subTag, 0, 0, 0x0010, 0x0080, 0xAA00, 0x3800, 0x719B});
    return body;
}

// "RIFF", a size, "WAVE" and the chunks as given.
inline std::vector<uint8_t> riff(const std::vector<uint8_t>& chunks) {
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
    putLE(out, 4, {chunks.size() + 4});
    out.insert(out.end(), {'W', 'A', 'V', 'E'});
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
}

inline std::vector<uint8_t> wav(const std::vector<uint8_t>& fmt, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> chunks;
    putChunk(chunks, "fmt ", fmt);
    putChunk(chunks, "data", data);
    return riff(chunks);
}

// Integer samples of `bytes` bytes each.
inline std::vector<uint8_t> pcm(int bytes, const std::vector<int32_t>& samples) {
    std::vector<uint8_t> out;
    for (int32_t sample : samples)
        putLE(out, bytes, {static_cast<uint32_t>(sample)});
    return out;
}

inline std::vector<uint8_t> float32(const std::vector<float>& samples) {
    std::vector<uint8_t> out;
    for (float sample : samples)
        putLE(out, 4, {std::bit_cast<uint32_t>(sample)});
    return out;
}

// A mono 16-bit file whose frame i holds `first + i`.
inline std::vector<uint8_t> rampWav(size_t frames, int16_t first = 0, uint32_t rate = 48000) {
    std::vector<int32_t> samples(frames);
    for (size_t i = 0; i < frames; ++i)
        samples[i] = static_cast<int16_t>(first + i);
    return wav(fmtBody(1, 1, rate, 16), pcm(2, samples));
}

}  // namespace kelvo::test
