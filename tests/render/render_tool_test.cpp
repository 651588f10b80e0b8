// tambro-render as scripts meet it: identical files whatever the block size,
// a saved state that renders the same again, and bad inputs refused with one
// line, the documented exit code and nothing left behind.
#include <gtest/gtest.h>

#include "temp_dir.h"
#include "tool_run.h"

namespace tambro::test {
namespace {

namespace fs = std::filesystem;

class RenderTool : public kelvo::test::TempDirTest {
  protected:
    // Renders into the folder "out"; arguments ending in ".wav" etc. are
    // taken relative to it.
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

struct BadInput {
    const char* name;
    Bytes midi;  // written to in/song.mid when not empty
    std::string bundle;
    std::string output;
    int exitCode;
    const char* says;
};

TEST_F(RenderTool, BadInputsFailWithOneLineAndLeaveNoFile) {
    const Bytes good = midiFile(0, 96, {TrackBytes().event(0, {0x99, 36, 100}).end(96)});
    const BadInput cases[] = {
        {"truncated", Bytes(good.begin(), good.end() - 3), BUNDLE, "out/a.wav", 2, "truncated"},
        {"wrong header",
         {'R', 'I', 'F', 'F', 0, 0, 0, 4, 'W', 'A', 'V', 'E'},
         BUNDLE,
         "out/a.wav",
         2,
         "no MThd header"},
        {"running status across a meta event",
         midiFile(0, 96,
                  {TrackBytes()
                       .event(0, {0x99, 36, 100})
                       .event(0, {0xFF, 0x01, 0x01, 'x'})
                       .event(0, {38, 100})
                       .end(96)}),
         BUNDLE, "out/a.wav", 2, "data byte without a running status"},
        {"zero tempo", midiFile(0, 96, {TrackBytes().tempo(0, 0).event(0, {0x99, 36, 1}).end(9)}),
         BUNDLE, "out/a.wav", 2, "tempo of 0"},
        {"missing bundle", {}, "in/Missing.vst3", "out/a.wav", 3, "no such bundle"},
        {"not an instrument", {}, TEST_EFFECT_BUNDLE, "out/a.wav", 3, "not an instrument"},
        {"unwritable output", {}, BUNDLE, "out/missing/a.wav", 1, "cannot write"},
    };
    for (const BadInput& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "in");
        std::vector<std::string> arguments{c.bundle, "-o", c.output, "--png", "out/a.png"};
        if (!c.midi.empty()) {
            writeBytes(dir / "in/song.mid", c.midi);
            arguments.push_back("in/song.mid");
        }
        const ToolRun run = render(arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.err.starts_with("tambro-render: ")) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_TRUE(fs::is_empty(dir / "out"));
        fs::remove(dir / "in/song.mid");
    }
}

}  // namespace
}  // namespace tambro::test
