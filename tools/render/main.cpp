// tambro-render: renders a MIDI file, or a built-in groove, through any VST 3
// instrument bundle into a WAV file and optionally a picture, as a host that
// knows nothing of the plug-in beyond its VST 3 interfaces.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>

#include "arguments.h"
#include "audio_files.h"
#include "demo_pattern.h"
#include "midi_timeline.h"
#include "piece_summary.h"
#include "plugin_instance.h"
#include "progress.h"
#include "text_format.h"
#include "tool_error.h"

namespace tambro::render {
namespace {

template <typename Byte>
std::vector<Byte> readInput(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError(EXIT_INPUT, "cannot read " + path + ": " + std::strerror(errno));
    std::vector<Byte> bytes;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
        bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    if (in.bad()) throw ToolError(EXIT_INPUT, "cannot read " + path);
    return bytes;
}

Timeline loadTimeline(const Options& options) {
    if (!options.midiFile) return demoTimeline(options.rate);
    try {
        return timelineFromMidi(readMidiFile(readInput<uint8_t>(*options.midiFile)), options.rate);
    } catch (const MidiFormatError& error) {
        throw ToolError(EXIT_INPUT, *options.midiFile + ": " + error.what());
    }
}

// Every output is opened before the work starts: a path that cannot be
// written fails at once.
struct Outputs {
    std::unique_ptr<PendingFile> wav, picture, state;

    explicit Outputs(const Options& options) {
        if (options.output) wav = std::make_unique<PendingFile>(*options.output);
        if (options.picture) picture = std::make_unique<PendingFile>(*options.picture);
        if (options.saveState) state = std::make_unique<PendingFile>(*options.saveState);
    }
    void commit() {
        for (PendingFile* file : {wav.get(), picture.get(), state.get()})
            if (file != nullptr) file->commit();
    }
};

void listControls(const PluginInstance& instance) {
    std::printf("parameters:\n");
    for (const ParameterDescription& parameter : instance.parameters())
        std::printf("  #%-10u %s = %s%s%s\n", parameter.id, parameter.title.c_str(),
                    instance.valueText(parameter.id).c_str(), parameter.units.empty() ? "" : " ",
                    parameter.units.c_str());
    std::printf("presets:\n");
    for (const std::string& name : instance.programs().names)
        std::printf("  %s\n", name.c_str());
}

void configure(PluginInstance& instance, const Options& options) {
    if (options.state) instance.restoreState(readInput<char>(*options.state), *options.state);
    if (options.preset) instance.selectPreset(*options.preset);
    for (const std::string& assignment : options.assignments)
        instance.setParameter(assignment);
    instance.setup(options.rate.hertz(), options.blockFrames);
    instance.start();
}

std::string describe(const Rendering& rendering, const Options& options) {
    return fixed(static_cast<double>(rendering.frames) / options.rate.hertz(), 2) + " s, " +
           fixed(options.rate.hertz(), options.rate.denominator == 1 ? 0 : 3) + " Hz, " +
           std::to_string(rendering.channels) +
           (rendering.channels == 1 ? " channel" : " channels");
}

int run(int argc, const char* const* argv) {
    const Options options = parseArguments(argc, argv);
    if (options.help) {
        std::fputs(USAGE, stdout);
        return EXIT_OK;
    }
    const Timeline timeline = loadTimeline(options);
    Outputs outputs(options);
    PluginInstance instance(options.bundle);
    if (options.list) {
        listControls(instance);
        return EXIT_OK;
    }
    configure(instance, options);
    const auto tailLimit = static_cast<uint64_t>(options.tailLimitSeconds * options.rate.hertz());
    Progress* progress = Progress::forTerminal();
    const Rendering rendering = render(instance, timeline, tailLimit, progress);
    if (progress != nullptr) progress->finish();

    writeWav(rendering, options.rate.hertz(), *outputs.wav);
    const std::string source = options.midiFile.value_or("the built-in groove");
    if (outputs.picture)
        writePicture(rendering, options.rate.hertz(),
                     source + " (" + describe(rendering, options) + ")", *outputs.picture);
    if (outputs.state) {
        const std::vector<char> state = instance.saveState();
        outputs.state->write(state.data(), state.size());
    }
    std::vector<PieceSummary> pieces;
    if (options.summary) pieces = summarisePieces(instance, timeline, tailLimit);
    outputs.commit();

    for (const PieceSummary& piece : pieces)
        std::printf("%s\n", summaryLine(piece).c_str());
    std::printf("wrote %s (%s)\n", options.output->c_str(), describe(rendering, options).c_str());
    if (options.picture) std::printf("wrote %s\n", options.picture->c_str());
    if (options.saveState) std::printf("wrote %s\n", options.saveState->c_str());
    return EXIT_OK;
}

}  // namespace
}  // namespace tambro::render

int main(int argc, char** argv) {
    using namespace tambro::render;
    const auto fail = [](int code, const std::string& message) {
        if (Progress* progress = Progress::forTerminal()) progress->finish();
        std::fprintf(stderr, "tambro-render: %s\n", message.c_str());
        return code;
    };
    try {
        return run(argc, argv);
    } catch (const ToolError& error) {
        return fail(error.code(), error.what());
    } catch (const std::bad_alloc&) {
        return fail(EXIT_PLUGIN, "out of memory");
    } catch (const std::exception& error) {
        return fail(EXIT_PLUGIN, error.what());
    }
}
