#include <gtest/gtest.h>

#include <cmath>

#include "wav_bytes.h"
#include "wav_decoder.h"

namespace kelvo {
namespace {

using namespace kelvo::test;

constexpr double STEP = 1.0 / 32768;

std::vector<float> decoded(const std::vector<uint8_t>& bytes, double* rate = nullptr) {
    WavAudio audio;
    std::string error;
    EXPECT_TRUE(decodeWav(bytes, audio, error)) << error;
    if (rate) *rate = audio.sampleRate;
    return audio.samples;
}

TEST(WavDecoder, RefusesWithTheMessageOfTheFirstRuleBroken) {
    const std::vector<uint8_t> mono16 = fmtBody(1, 1, 48000, 16);
    std::vector<uint8_t> emptyData, hugeFmt;
    putChunk(emptyData, "fmt ", mono16);
    putChunk(emptyData, "data", {});
    putChunk(emptyData, "junk", std::vector<uint8_t>(8));
    // A "fmt " chunk that claims more than the file holds stops the walk
    // before it is read.
    putChunk(hugeFmt, "data", pcm(2, {1, 2}));
    putChunk(hugeFmt, "fmt ", mono16, 0xFFFFFFF0u);
    // Extensible, but too short to hold the sub-format.
    std::vector<uint8_t> shortExtensible = fmtBody(0, 1, 48000, 16, 1);
    shortExtensible.resize(18);
    const std::pair<std::vector<uint8_t>, std::string> cases[] = {
        {riff(emptyData), "no data chunk"},
        {riff(hugeFmt), "unsupported channel count 0"},
        {wav(fmtBody(1, 3, 48000, 16), pcm(2, {1, 2, 3})), "unsupported channel count 3"},
        {wav(fmtBody(1, 2, 48000, 24), pcm(3, {1})), "empty or unreadable data chunk"},
        {wav(fmtBody(1, 1, 48000, 8), pcm(2, {1})), "unsupported WAV format tag 1 / 8-bit"},
        {wav(fmtBody(0, 2, 48000, 24, 3), pcm(3, {1, 2})), "unsupported WAV format tag 3 / 24-bit"},
        {wav(shortExtensible, pcm(2, {1})), "unsupported WAV format tag 65534 / 16-bit"},
    };
    WavAudio audio;
    std::string error;
    for (const auto& [bytes, message] : cases) {
        EXPECT_FALSE(decodeWav(bytes, audio, error));
        EXPECT_EQ(error, message);
    }
}

TEST(WavDecoder, QuantisesEveryDepthTo16BitsAndFoldsStereo) {
    // 16-bit values are scaled by 32767 before rounding, so full scale
    // loses one step.
    EXPECT_EQ(decoded(wav(fmtBody(1, 1, 48000, 16), pcm(2, {32767, -32768, 0, 1, -1}))),
              (std::vector<float>{32766 * STEP, -32767 * STEP, 0, 1 * STEP, -1 * STEP}));
    // 24-bit: 0.5 scales to 16383.5, which rounds away from zero; extensible
    // PCM decodes like plain PCM.
    EXPECT_EQ(decoded(wav(fmtBody(0, 1, 48000, 24, 1),
                          pcm(3, {0x400000, -0x400000, 0x7FFFFF, -0x800000, 0x80}))),
              (std::vector<float>{16384 * STEP, -16384 * STEP, 32767 * STEP, -32767 * STEP, 0}));
    EXPECT_EQ(
        decoded(wav(fmtBody(3, 1, 48000, 32),
                    float32({1.5f, -1.0f, -7.0f, 0.25f, std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN()}))),
        (std::vector<float>{32767 * STEP, -32767 * STEP, -32768 * STEP, 8192 * STEP, 32767 * STEP,
                            0}));
    // What rounds to zero keeps its sign, as round() does.
    EXPECT_TRUE(std::signbit(decoded(wav(fmtBody(3, 1, 48000, 32), float32({-1e-9f})))[0]));
    EXPECT_EQ(decoded(wav(fmtBody(1, 2, 48000, 16), pcm(2, {32767, -32768, 8192, 8192, 4, 0}))),
              (std::vector<float>{0, 8192 * STEP, 2 * STEP}));
    EXPECT_EQ(decoded(wav(fmtBody(3, 2, 48000, 32), float32({1.0f, -1.0f, 1.0f, 0.0f}))),
              (std::vector<float>{0, 16384 * STEP}));
}

// An odd chunk's pad byte is skipped, a later data chunk wins and keeps the
// whole frames present when cut short, and a rate of 0 reads as 48 kHz.
TEST(WavDecoder, WalksChunks) {
    std::vector<uint8_t> chunks;
    putChunk(chunks, "data", pcm(2, {9}));
    putChunk(chunks, "LIST", {1, 2, 3});
    putChunk(chunks, "fmt ", fmtBody(1, 1, 0, 16));
    putChunk(chunks, "data", pcm(2, {5, 6, 7}), 1000);
    chunks.pop_back();
    double rate = 0;
    EXPECT_EQ(decoded(riff(chunks), &rate), (std::vector<float>{5 * STEP, 6 * STEP}));
    EXPECT_EQ(rate, 48000);
}

}  // namespace
}  // namespace kelvo
