// The tool's failures: each carries the exit code a script sees and the one
// line printed for it on standard error.
#pragma once

#include <stdexcept>
#include <string>

namespace tambro::render {

enum ExitCode : int {
    EXIT_OK = 0,
    EXIT_USAGE = 1,   // bad arguments, or an output path that cannot be written
    EXIT_INPUT = 2,   // an input file that cannot be read or makes no sense
    EXIT_BUNDLE = 3,  // the bundle failed to load or holds no instrument
    EXIT_PLUGIN = 4,  // the plug-in failed while being set up or rendering
};

class ToolError : public std::runtime_error {
  public:
    ToolError(ExitCode code, const std::string& message)
        : std::runtime_error(message), code_(code) {}
    ExitCode code() const { return code_; }

  private:
    ExitCode code_;
};

}  // namespace tambro::render
