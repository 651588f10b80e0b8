// The kernel trace: with KELVO_KERNEL_TRACE set, setup, block and event lines
// are appended to the named file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "engine_fixture.h"

namespace kelvo::test {
namespace {

TEST(EngineTrace, WritesSetupBlockAndEventLines) {
    const std::string path = ::testing::TempDir() + "kelvo_trace_test.txt";
    std::remove(path.c_str());
    setenv("KELVO_KERNEL_TRACE", path.c_str(), 1);  // read once, at the first setup

    FakeRig rig;
    rig.fake.refuseNotes = true;
    KernelEngine& engine = rig.engine;
    ASSERT_TRUE(engine.setup(44100, 256));
    ASSERT_TRUE(engine.pushNoteOn(36, 0.5, 130, 0, 0));
    ASSERT_TRUE(engine.pushParamNormalized(0, 0.5, 3));
    HostOutput out(2, 256);
    render(engine, out, 256);

    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<void*>(&engine));
    const std::string self = std::string("this=") + address;
    const std::string expected = "S " + self + " rate=44100 kernelRate=44100 handle=1\n" + "B " +
                                 self + " blk=1 off=0 chunk=128 frames=256 events=2\n" + "E " +
                                 self + " blk=1 frame=3 kind=1 a=0 value=75 src=queue status=0\n" +
                                 "B " + self + " blk=1 off=128 chunk=128 frames=256 events=2\n" +
                                 "E " + self +
                                 " blk=1 frame=2 kind=2 a=36 value=0.5 src=queue status=2\n";
    EXPECT_EQ(text.str(), expected);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace kelvo::test
