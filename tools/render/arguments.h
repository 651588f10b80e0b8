// The command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "rate.h"

namespace tambro::render {

struct Options {
    std::string bundle;
    std::optional<std::string> midiFile;  // none: the built-in groove
    std::optional<std::string> output;
    std::optional<std::string> picture;
    std::optional<std::string> state;
    std::optional<std::string> saveState;
    std::optional<std::string> preset;
    std::vector<std::string> assignments;  // "Title=value", in order
    Rate rate;
    int blockFrames = 512;
    double tailLimitSeconds = 30;
    bool summary = false;
    bool list = false;
    bool help = false;
};

// Throws ToolError(EXIT_USAGE) with what is wrong.
Options parseArguments(int argc, const char* const* argv);

extern const char* const USAGE;

}  // namespace tambro::render
