#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "test_host.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;

// Hosts save, restore and message the processor on the main thread during
// playback: nothing the audio thread reads may be torn or raced.
TEST(ProcessorConcurrency, StateAndMessagesDuringPlayback) {
    ProcessorHost host;
    ASSERT_EQ(host.setup(48000, 256), kResultOk);
    ASSERT_EQ(host.activate(), kResultOk);
    std::atomic<bool> done{false};
    std::thread audio([&] {
        for (int block = 0; !done.load() || block < 50; ++block) {
            host.events().noteOn(block % 256, static_cast<int16>(36 + block % 10), 0.8f);
            host.parameters().add(13, 0, (block % 5) / 4.0);
            host.process(256);
        }
    });
    KelvoProcessor& processor = host.processor();
    for (int round = 0; round < 30; ++round) {
        IPtr<PieceStream> saved = owned(new PieceStream());
        ASSERT_EQ(processor.getState(saved), kResultOk);
        IPtr<PieceStream> restored = owned(new PieceStream(saved->bytes));
        ASSERT_EQ(processor.setState(restored), kResultOk);
        const std::string pads = R"({"kick":{"gain":)" + std::to_string(round % 4) + "}}";
        EXPECT_EQ(processor.notify(jsonMessage("kelvo.padOverrides", pads)), kResultOk);
    }
    done.store(true);
    audio.join();
}

}  // namespace
}  // namespace kelvo::test
