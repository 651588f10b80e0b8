// tambro-render as scripts meet it: identical files whatever the block size,
// a saved state that renders the same again, and bad inputs refused with one
// line, the documented exit code and nothing left behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "temp_dir.h"
#include "tool_run.h"

namespace tambro::test {
namespace {

namespace fs = std::filesystem;

class RenderTool : public kelvo::test::TempDirTest {
  protected:
    // Renders with the folders "in" and "out"; arguments starting with
    // either are taken relative to the test's folder.
    ToolRun render(std::vector<std::string> arguments) {
        fs::create_directories(dir / "out");
        for (std::string& argument : arguments)
            if (argument.starts_with("out/") || argument.starts_with("in/"))
                argument = (dir / argument).string();
        return runTool(arguments, dir / "logs");
    }
    Bytes output(const std::string& name) { return readBytes(dir / "out" / name); }
};

TEST_F(RenderTool, EveryBlockSizeGivesTheSameFile) {
    for (const char* block : {"32", "512", "4096"}) {
        const ToolRun run =
            render({BUNDLE, "-o", std::string("out/") + block + ".wav", "--block", block});
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }
    const Bytes reference = output("512.wav");
    ASSERT_GT(reference.size(), 48000u * 2 * 4 * 8);  // at least the groove's eight seconds
    EXPECT_TRUE(output("32.wav") == reference);
    EXPECT_TRUE(output("4096.wav") == reference);
}

TEST_F(RenderTool, ASavedStateRendersTheSameFileAgain) {
    ASSERT_EQ(render({BUNDLE, "-o", "out/default.wav"}).exitCode, 0);
    const ToolRun saved =
        render({BUNDLE, "-o", "out/saved.wav", "--preset", "metal shop", "--set", "Level=0.5",
                "--save-state", "out/state.vstpreset", "--png", "out/saved.png"});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    const ToolRun restored = render(
        {BUNDLE, "-o", "out/restored.wav", "--state", "out/state.vstpreset", "--block", "96"});
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_TRUE(output("restored.wav") == output("saved.wav"));
    EXPECT_FALSE(output("saved.wav") == output("default.wav"));  // the preset and value took
    const Bytes png = output("saved.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
}

// A device or pipe named as output is written in place; moving a finished
// file over it would replace /dev/null itself when run as root.
TEST_F(RenderTool, APipeAsOutputIsWrittenNotReplaced) {
    fs::create_directories(dir / "out");
    const fs::path pipe = dir / "out/pipe.wav";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // Opened without waiting for a writer, so a tool that never writes the
    // pipe fails the test instead of hanging it.
    const int reading = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reading, 0);
    std::atomic<bool> finished = false;
    std::string received;
    std::thread reader([&] {
        char chunk[65536];
        for (;;) {
            const bool last = finished;
            const ssize_t got = read(reading, chunk, sizeof chunk);
            if (got > 0)
                received.append(chunk, static_cast<size_t>(got));
            else if (last)
                break;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const ToolRun run = render({BUNDLE, "-o", "out/pipe.wav"});
    finished = true;
    reader.join();
    close(reading);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_TRUE(received.starts_with("RIFF")) << received.size();
}

TEST_F(RenderTool, BadInputsFailWithOneLineAndLeaveNoFile) {
    const Bytes good = midiFile(0, 96, {TrackBytes().event(0, {0x99, 36, 100}).end(96)});
    const Bytes riff = {'R', 'I', 'F', 'F', 0, 0, 0, 4, 'W', 'A', 'V', 'E'};
    TrackBytes acrossMeta, zeroTempo;  // running status across a meta event; a tempo of 0
    acrossMeta.event(0, {0x99, 36, 100}).event(0, {0xFF, 0x01, 0x01, 'x'});
    acrossMeta.event(0, {38, 100}).end(96);
    zeroTempo.tempo(0, 0).event(0, {0x99, 36, 1}).end(9);
    const struct {
        Bytes midi;  // written to in/song.mid when not empty
        std::string bundle, output;
        int exitCode;
        std::string says;
    } cases[] = {
        {Bytes(good.begin(), good.end() - 3), BUNDLE, "out/a.wav", 2, "truncated"},
        {riff, BUNDLE, "out/a.wav", 2, "no MThd header"},
        {midiFile(0, 96, {acrossMeta}), BUNDLE, "out/a.wav", 2,
         "data byte without a running status"},
        {midiFile(0, 96, {zeroTempo}), BUNDLE, "out/a.wav", 2, "tempo of 0"},
        {{}, "in/Missing.vst3", "out/a.wav", 3, "no such bundle"},
        {{}, TEST_EFFECT_BUNDLE, "out/a.wav", 3, "not an instrument"},
        {{}, BUNDLE, "out/missing/a.wav", 1, "cannot write"},
    };
    fs::create_directories(dir / "in");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        fs::remove_all(dir / "out");
        fs::remove(dir / "in/song.mid");
        std::vector<std::string> arguments{c.bundle, "-o", c.output, "--png", "out/a.png"};
        if (!c.midi.empty()) {
            writeBytes(dir / "in/song.mid", c.midi);
            arguments.push_back("in/song.mid");
        }
        const ToolRun run = render(arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_THAT(run.err, testing::MatchesRegex("tambro-render: [^\n]*" + c.says + "[^\n]*\n"));
        EXPECT_TRUE(fs::is_empty(dir / "out"));
    }
}

}  // namespace
}  // namespace tambro::test
