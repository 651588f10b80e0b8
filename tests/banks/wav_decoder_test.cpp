#include <gtest/gtest.h>

#include <cmath>

#include "wav_bytes.h"
#include "wav_decoder.h"

namespace kelvo {
namespace {

using namespace kelvo::test;

std::string decodeError(const std::vector<uint8_t>& bytes) {
    WavAudio audio;
    std::string error;
    if (decodeWav(bytes, audio, error)) return "decoded";
    return error;
}

std::vector<float> decoded(const std::vector<uint8_t>& bytes, double* rate = nullptr) {
    WavAudio audio;
    std::string error;
    EXPECT_TRUE(decodeWav(bytes, audio, error)) << error;
    if (rate) *rate = audio.sampleRate;
    return audio.samples;
}

TEST(WavDecoder, RefusesWithTheMessageOfTheFirstRuleBroken) {
    const std::vector<uint8_t> mono16 = fmtBody(1, 1, 48000, 16);
    std::vector<uint8_t> valid = wav(mono16, pcm16({1, 2, 3, 4}));
    std::vector<uint8_t> wrongMagic = valid;
    wrongMagic[8] = 'X';
    std::vector<uint8_t> noData, emptyData, hugeFmt;
    putChunk(noData, "fmt ", mono16);
    putChunk(noData, "LIST", std::vector<uint8_t>(8));
    putChunk(emptyData, "fmt ", mono16);
    putChunk(emptyData, "data", {});
    putChunk(emptyData, "junk", std::vector<uint8_t>(8));
    // A "fmt " chunk that claims more than the file holds stops the walk
    // before it is read.
    putChunk(hugeFmt, "data", pcm16({1, 2}));
    putChunk(hugeFmt, "fmt ", mono16, 0xFFFFFFF0u);
    // Extensible, but too short to hold the sub-format.
    std::vector<uint8_t> shortExtensible = fmtBody(0, 1, 48000, 16, 1);
    shortExtensible.resize(18);

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string error;
    };
    const Case cases[] = {
        {"43 bytes", std::vector<uint8_t>(valid.begin(), valid.begin() + 43),
         "not a RIFF/WAVE file"},
        {"not WAVE", wrongMagic, "not a RIFF/WAVE file"},
        {"no data", riff(noData), "no data chunk"},
        {"empty data", riff(emptyData), "no data chunk"},
        {"no fmt", riff(hugeFmt), "unsupported channel count 0"},
        {"3 channels", wav(fmtBody(1, 3, 48000, 16), pcm16({1, 2, 3, 4, 5, 6})),
         "unsupported channel count 3"},
        {"4-bit", wav(fmtBody(1, 1, 48000, 4), pcm16({1, 2})), "empty or unreadable data chunk"},
        {"less than a frame", wav(fmtBody(1, 2, 48000, 24), pcm24({1})),
         "empty or unreadable data chunk"},
        {"8-bit PCM", wav(fmtBody(1, 1, 48000, 8), pcm16({1, 2})),
         "unsupported WAV format tag 1 / 8-bit"},
        {"32-bit PCM", wav(fmtBody(1, 1, 48000, 32), pcm16({1, 2})),
         "unsupported WAV format tag 1 / 32-bit"},
        {"64-bit float", wav(fmtBody(3, 1, 48000, 64), pcm16({1, 2, 3, 4})),
         "unsupported WAV format tag 3 / 64-bit"},
        {"extensible float 24-bit", wav(fmtBody(0, 2, 48000, 24, 3), pcm24({1, 2, 3, 4})),
         "unsupported WAV format tag 3 / 24-bit"},
        {"extensible too short", wav(shortExtensible, pcm16({1, 2})),
         "unsupported WAV format tag 65534 / 16-bit"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decodeError(c.bytes), c.error) << c.name;
}

TEST(WavDecoder, QuantisesEveryDepthTo16Bits) {
    constexpr double step = 1.0 / 32768;
    // 16-bit values are scaled by 32767 before rounding, so full scale
    // loses one step.
    EXPECT_EQ(decoded(wav(fmtBody(1, 1, 48000, 16), pcm16({32767, -32768, 0, 1, -1}))),
              (std::vector<float>{32766 * step, -32767 * step, 0, 1 * step, -1 * step}));
    // 24-bit: 0.5 scales to 16383.5, which rounds away from zero.
    EXPECT_EQ(decoded(wav(fmtBody(1, 1, 48000, 24),
                          pcm24({0x400000, -0x400000, 0x7FFFFF, -0x800000, 0x80}))),
              (std::vector<float>{16384 * step, -16384 * step, 32767 * step, -32767 * step, 0}));
    EXPECT_EQ(
        decoded(wav(fmtBody(3, 1, 48000, 32),
                    float32({1.5f, -1.0f, -7.0f, 0.25f, std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN()}))),
        (std::vector<float>{32767 * step, -32767 * step, -32768 * step, 8192 * step, 32767 * step,
                            0}));
    // What rounds to zero keeps its sign, as round() does.
    EXPECT_TRUE(std::signbit(decoded(wav(fmtBody(3, 1, 48000, 32), float32({-1e-9f})))[0]));
    // Extensible PCM decodes like plain PCM.
    EXPECT_EQ(decoded(wav(fmtBody(0, 1, 48000, 24, 1), pcm24({0x400000}))),
              (std::vector<float>{16384 * step}));
}

TEST(WavDecoder, FoldsStereoToMono) {
    constexpr double step = 1.0 / 32768;
    EXPECT_EQ(decoded(wav(fmtBody(1, 2, 48000, 16), pcm16({32767, -32768, 8192, 8192, 4, 0}))),
              (std::vector<float>{0, 8192 * step, 2 * step}));
    EXPECT_EQ(decoded(wav(fmtBody(3, 2, 48000, 32), float32({1.0f, -1.0f, 1.0f, 0.0f}))),
              (std::vector<float>{0, 16384 * step}));
}

TEST(WavDecoder, WalksChunks) {
    const std::vector<uint8_t> mono16 = fmtBody(1, 1, 44100, 16);
    double rate = 0;

    // An odd-sized chunk is followed by a pad byte; a later data chunk wins.
    std::vector<uint8_t> chunks;
    putChunk(chunks, "data", pcm16({9}));
    putChunk(chunks, "LIST", {1, 2, 3});
    putChunk(chunks, "fmt ", mono16);
    putChunk(chunks, "data", pcm16({5, 6, 7}));
    EXPECT_EQ(decoded(riff(chunks), &rate).size(), 3u);
    EXPECT_EQ(rate, 44100);

    // A data chunk cut short keeps the whole frames that are present.
    std::vector<uint8_t> truncated;
    putChunk(truncated, "fmt ", mono16);
    putChunk(truncated, "data", pcm16({100, 200, 300}), 1000);
    truncated.pop_back();
    EXPECT_EQ(decoded(riff(truncated)).size(), 2u);

    // The trailing byte of an odd data chunk is ignored, and a rate of 0
    // reads as 48 kHz.
    std::vector<uint8_t> oddData = pcm16({1, 2});
    oddData.push_back(7);
    EXPECT_EQ(decoded(wav(fmtBody(1, 1, 0, 16), oddData), &rate).size(), 2u);
    EXPECT_EQ(rate, 48000);
}

}  // namespace
}  // namespace kelvo
