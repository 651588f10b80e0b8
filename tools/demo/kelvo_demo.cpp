// Renders a short demo groove through the plug-in's audio processor, driven
// block by block as a host drives it, into a stereo 48 kHz 32-bit float WAV
// file, and prints the level and length of every piece.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "kelvo_params.h"
#include "test_host.h"

namespace {

constexpr double RATE = 48000;
constexpr int32_t BLOCK = 512;
constexpr uint32_t STEP_FRAMES = 6000;  // a sixteenth note at 120 BPM
constexpr int STEPS = 64;               // four bars
constexpr uint32_t NOTE_ON = 2, PARAMETER = 1;
using kelvo::test::ProcessorHost;

struct Piece {
    const char* name;
    uint32_t note;
};
constexpr Piece PIECES[] = {{"kick", 36},   {"snare", 38},  {"rim", 40},       {"clap", 39},
                            {"tomLow", 41}, {"tomMid", 45}, {"hatClosed", 42}, {"hatOpen", 46},
                            {"cymbal", 49}, {"cowbell", 56}};

// One row per piece, one character per sixteenth of a bar: 'X' full
// velocity, 'x' soft, '.' rest.
constexpr const char* PATTERN[] = {
    "X.....x...X.....",  // kick
    "....X.......X...",  // snare
    "..........x....x",  // rim
    "............X...",  // clap
    "..............x.",  // tomLow
    ".............x..",  // tomMid
    "x.x.x.x.x.x.x...",  // hatClosed
    "..............X.",  // hatOpen
    "X...............",  // cymbal
    "...x.....x......",  // cowbell
};

struct Change {
    int step;
    uint32_t parameter;
    double value;
};
constexpr Change CHANGES[] = {
    {16, 0, 64},     // kick.tune
    {16, 10, 0.25},  // hat.metal
    {32, 3, 240},    // snare.tune
    {32, 13, 0.68},  // kit.tone
    {48, 1, 0.75},   // kick.decay
    {48, 11, 2.6},   // cymbal.decay
};

struct TimedEvent {
    uint32_t frame, kind, a;
    double value;
};

std::vector<TimedEvent> grooveEvents() {
    std::vector<TimedEvent> events;
    for (int step = 0; step < STEPS; ++step) {
        const uint32_t frame = static_cast<uint32_t>(step) * STEP_FRAMES;
        for (const Change& change : CHANGES)
            if (change.step == step)
                events.push_back({frame, PARAMETER, change.parameter, change.value});
        for (size_t p = 0; p < std::size(PIECES); ++p) {
            char hit = PATTERN[p][step % 16];
            if (hit != '.')
                events.push_back({frame, NOTE_ON, PIECES[p].note, hit == 'X' ? 1.0 : 0.55});
        }
    }
    return events;  // already in frame order, parameters first within a frame
}

// Renders `frames` frames in host blocks, handing each block its events as
// the host's note and parameter lists.
bool render(ProcessorHost& host, const std::vector<TimedEvent>& events, uint32_t frames,
            std::vector<float>& interleaved) {
    interleaved.assign(size_t{frames} * 2, 0.0f);
    size_t next = 0;
    for (uint32_t offset = 0; offset < frames; offset += BLOCK) {
        const uint32_t count = std::min<uint32_t>(BLOCK, frames - offset);
        for (; next < events.size() && events[next].frame < offset + count; ++next) {
            const TimedEvent& e = events[next];
            const auto at = static_cast<int32_t>(e.frame - offset);
            if (e.kind == PARAMETER)
                host.parameters().add(
                    e.a, at, kelvo::kelvo_param_normalize(&kelvo::KELVO_PARAMS[e.a], e.value));
            else
                host.events().noteOn(at, static_cast<int16_t>(e.a), static_cast<float>(e.value));
        }
        if (host.process(static_cast<int32_t>(count)) != Steinberg::kResultOk) return false;
        for (uint32_t i = 0; i < count; ++i) {
            interleaved[2 * (offset + i)] = host.left()[i];
            interleaved[2 * (offset + i) + 1] = host.right()[i];
        }
    }
    return true;
}

bool startHost(ProcessorHost& host) {
    return host.setup(RATE, BLOCK) == Steinberg::kResultOk &&
           host.activate() == Steinberg::kResultOk;
}

void reportPiece(const Piece& piece) {
    std::vector<float> audio;
    ProcessorHost host;
    if (!startHost(host) ||
        !render(host, {{0, NOTE_ON, piece.note, 1.0}}, static_cast<uint32_t>(RATE * 2), audio))
        return;
    float peak = 0;
    size_t last = 0;
    for (size_t i = 0; i < audio.size(); i += 2) {
        peak = std::max(peak, std::fabs(audio[i]));
        if (audio[i] != 0) last = i / 2 + 1;
    }
    std::printf("%-10s peak %6.2f dBFS  length %7.1f ms\n", piece.name, 20 * std::log10(peak),
                1000.0 * static_cast<double>(last) / RATE);
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "demo.wav";
    for (const Piece& piece : PIECES)
        reportPiece(piece);

    ProcessorHost host;
    if (!startHost(host)) {
        std::fprintf(stderr, "kelvo_demo: the processor refused to start at %.0f Hz\n", RATE);
        return 1;
    }
    std::vector<float> audio;
    const uint32_t frames =
        STEPS * STEP_FRAMES + static_cast<uint32_t>(RATE * 2);  // let the tail ring
    if (!render(host, grooveEvents(), frames, audio)) {
        std::fprintf(stderr, "kelvo_demo: the processor failed a block\n");
        return 1;
    }

    SF_INFO info{};
    info.samplerate = static_cast<int>(RATE);
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path, SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "kelvo_demo: cannot write %s: %s\n", path, sf_strerror(nullptr));
        return 1;
    }
    // No PEAK chunk: it carries a time stamp, and the same groove should give
    // the same file byte for byte.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    const sf_count_t written = sf_writef_float(file, audio.data(), frames);
    sf_close(file);
    if (written != frames) {
        std::fprintf(stderr, "kelvo_demo: short write to %s\n", path);
        return 1;
    }
    std::printf("wrote %s (%.2f s, stereo, 48 kHz, 32-bit float)\n", path, frames / RATE);
    return 0;
}
