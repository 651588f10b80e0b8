#include <sndfile.h>

#include <cmath>

#include "audio_files.h"
#include "tool_error.h"

namespace tambro::render {

void writeWav(const Rendering& rendering, double sampleRate, PendingFile& file) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(std::lround(sampleRate));
    info.channels = rendering.channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* sound = sf_open(file.temporaryPath().c_str(), SFM_WRITE, &info);
    if (sound == nullptr)
        throw ToolError(EXIT_USAGE, "cannot write " + file.path() + ": " + sf_strerror(nullptr));
    sf_command(sound, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    const auto frames = static_cast<sf_count_t>(rendering.frames);
    const bool written = sf_writef_float(sound, rendering.interleaved.data(), frames) == frames;
    const std::string error = sf_strerror(sound);
    if (sf_close(sound) != 0 || !written)
        throw ToolError(EXIT_USAGE, "cannot write " + file.path() + ": " + error);
}

}  // namespace tambro::render
