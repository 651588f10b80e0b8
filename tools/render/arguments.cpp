#include "arguments.h"

#include <charconv>
#include <string_view>

#include "tool_error.h"

namespace tambro::render {

const char* const USAGE = R"(usage: tambro-render [options] BUNDLE.vst3 [SONG.mid] -o OUT.wav

Renders a Standard MIDI File (format 0 or 1), or without one a built-in
four-bar drum groove, through the VST 3 instrument in BUNDLE.vst3, and
writes a 32-bit float WAV file, with the instrument's tail after the end.

options:
  -o, --output FILE      the WAV file to write
  --png FILE             also draw the waveform and spectrogram as a PNG picture
  --rate HZ              sample rate (default 48000)
  --block FRAMES         frames per processing block, 1 to 65536 (default 512)
  --state FILE           restore a state saved with --save-state first
  --preset NAME          select one of the instrument's presets
  --set "TITLE=VALUE"    set a parameter by its title ("#ID=VALUE" by its number);
                         repeatable, applied after the preset
  --save-state FILE      save the instance's state after rendering (.vstpreset)
  --tail-limit SECONDS   longest tail rendered after the end (default 30)
  --summary              also print each note's peak level and length played alone
  --list                 print the instrument's parameters and presets, render nothing
  -h, --help             this text

exit codes: 0 done; 1 bad arguments, or an output that cannot be written;
2 an input file that cannot be read; 3 the bundle failed to load or is not
an instrument; 4 the plug-in failed while being set up or rendering.
)";

namespace {

[[noreturn]] void bad(const std::string& reason) {
    throw ToolError(EXIT_USAGE, reason + " (tambro-render --help lists the options)");
}

template <typename Number>
Number number(std::string_view option, std::string_view text, Number low, Number high,
              const char* range) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !(value >= low) ||
        !(value <= high))
        bad(std::string(option) + " takes a number " + range + ", not \"" + std::string(text) +
            "\"");
    return value;
}

class ArgumentReader {
  public:
    ArgumentReader(int argc, const char* const* argv) : argc_(argc), argv_(argv) {}

    bool next(std::string_view& argument) {
        if (index_ >= argc_) return false;
        argument = argv_[index_++];
        inlineValue_.reset();
        if (argument.starts_with("--") && argument.find('=') != std::string_view::npos) {
            inlineValue_ = argument.substr(argument.find('=') + 1);
            argument = argument.substr(0, argument.find('='));
        }
        return true;
    }
    std::string value(std::string_view option) {
        if (inlineValue_) return std::string(*inlineValue_);
        if (index_ >= argc_) bad(std::string(option) + " needs a value");
        return argv_[index_++];
    }

  private:
    int argc_;
    const char* const* argv_;
    int index_ = 1;
    std::optional<std::string_view> inlineValue_;
};

// True when `argument` was an option this reads.
bool readOption(std::string_view argument, ArgumentReader& in, Options& options) {
    if (argument == "-o" || argument == "--output")
        return (options.output = in.value(argument)), true;
    if (argument == "--png") return (options.picture = in.value(argument)), true;
    if (argument == "--state") return (options.state = in.value(argument)), true;
    if (argument == "--save-state") return (options.saveState = in.value(argument)), true;
    if (argument == "--preset") return (options.preset = in.value(argument)), true;
    if (argument == "--set") return options.assignments.push_back(in.value(argument)), true;
    if (argument == "--rate") {
        const std::string text = in.value(argument);
        if (!parseRate(text, options.rate))
            bad("--rate takes a rate in hertz above 0 and at most 10000000, not \"" + text + "\"");
        return true;
    }
    if (argument == "--block")
        return (options.blockFrames =
                    number(argument, in.value(argument), 1, 65536, "from 1 to 65536")),
               true;
    if (argument == "--tail-limit")
        return (options.tailLimitSeconds =
                    number(argument, in.value(argument), 0.0, 3600.0, "of seconds up to 3600")),
               true;
    if (argument == "--summary") return options.summary = true;
    if (argument == "--list") return options.list = true;
    if (argument == "-h" || argument == "--help") return options.help = true;
    return false;
}

}  // namespace

Options parseArguments(int argc, const char* const* argv) {
    Options options;
    ArgumentReader in(argc, argv);
    std::vector<std::string> positional;
    std::string_view argument;
    while (in.next(argument)) {
        if (readOption(argument, in, options)) continue;
        if (argument.starts_with("-") && argument != "-")
            bad("unknown option " + std::string(argument));
        positional.emplace_back(argument);
    }
    if (options.help) return options;
    if (positional.empty()) bad("no bundle given");
    if (positional.size() > 2) bad("one bundle and at most one MIDI file, please");
    options.bundle = positional[0];
    if (positional.size() == 2) options.midiFile = positional[1];
    if (!options.list && !options.output) bad("no output given (-o FILE.wav)");
    return options;
}

}  // namespace tambro::render
