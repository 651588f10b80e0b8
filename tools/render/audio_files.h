// The rendering written out: a WAV file through libsndfile and a picture of
// its waveform over its spectrogram drawn with Cairo.
#pragma once

#include <string>

#include "output_file.h"
#include "render_loop.h"

namespace tambro::render {

// 32-bit float WAV, without a PEAK chunk (it holds a time stamp, and the
// same render must give the same bytes). Throws ToolError(EXIT_USAGE).
void writeWav(const Rendering& rendering, double sampleRate, PendingFile& file);

// A PNG picture; `title` heads it. Throws ToolError(EXIT_USAGE).
void writePicture(const Rendering& rendering, double sampleRate, const std::string& title,
                  PendingFile& file);

}  // namespace tambro::render
