// Builds WAV files in memory for the bank tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kelvo::test {

inline void putU16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void putU32(std::vector<uint8_t>& out, uint32_t value) {
    putU16(out, value & 0xFFFF);
    putU16(out, value >> 16);
}

inline void putChunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& body,
                     uint32_t declared) {
    out.insert(out.end(), id, id + 4);
    putU32(out, declared);
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() % 2) out.push_back(0);
}

inline void putChunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& body) {
    putChunk(out, id, body, static_cast<uint32_t>(body.size()));
}

// A "fmt " body; `subTag` > 0 makes it the 40-byte extensible form.
inline std::vector<uint8_t> fmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                                    uint16_t subTag = 0) {
    std::vector<uint8_t> body;
    putU16(body, subTag ? 0xFFFE : tag);
    putU16(body, channels);
    putU32(body, rate);
    putU32(body, rate * channels * bits / 8);
    putU16(body, channels * bits / 8);
    putU16(body, bits);
    if (subTag) {
        putU16(body, 22);
        putU16(body, bits);
        putU32(body, 0);
        putU16(body, subTag);
        static const uint8_t guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        body.insert(body.end(), guidTail, guidTail + 14);
    }
    return body;
}

// "RIFF", a size, "WAVE" and the chunks as given.
inline std::vector<uint8_t> riff(const std::vector<uint8_t>& chunks) {
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
    putU32(out, static_cast<uint32_t>(chunks.size() + 4));
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

inline std::vector<uint8_t> pcm16(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out;
    for (int16_t sample : samples)
        putU16(out, static_cast<uint16_t>(sample));
    return out;
}

inline std::vector<uint8_t> pcm24(const std::vector<int32_t>& samples) {
    std::vector<uint8_t> out;
    for (int32_t sample : samples)
        for (int shift : {0, 8, 16})
            out.push_back(static_cast<uint8_t>(sample >> shift));
    return out;
}

inline std::vector<uint8_t> float32(const std::vector<float>& samples) {
    std::vector<uint8_t> out;
    for (float sample : samples) {
        uint32_t bits;
        std::memcpy(&bits, &sample, 4);
        putU32(out, bits);
    }
    return out;
}

// A mono 16-bit file whose frame i holds `first + i`.
inline std::vector<uint8_t> rampWav(size_t frames, int16_t first = 0, uint32_t rate = 48000) {
    std::vector<int16_t> samples(frames);
    for (size_t i = 0; i < frames; ++i)
        samples[i] = static_cast<int16_t>(first + i);
    return wav(fmtBody(1, 1, rate, 16), pcm16(samples));
}

}  // namespace kelvo::test
