// process() must never touch the heap: the host lists are built before the
// counted scope, and the same lists are handed to every block.
#include <gtest/gtest.h>

#include "allocation_counter.h"
#include "test_host.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

TEST(ProcessorAllocations, ProcessNeverAllocates) {
    ProcessorHost host;
    ASSERT_EQ(host.setup(44100, 512), kResultOk);
    ASSERT_EQ(host.activate(), kResultOk);
    EventList events;
    ParameterChanges parameters;
    for (int16 note = 36; note < 58; ++note)
        events.noteOn(note * 7 % 512, note, 0.8f);
    events.noteOff(500, 36);
    for (ParamID id = 0; id < 20; ++id)
        parameters.add(id, static_cast<int32>(id * 20), 0.3);

    std::vector<float> left(512), right(512);
    float* channels[2] = {left.data(), right.data()};
    AudioBusBuffers output;
    ProcessData data = host::outputBlock(output, channels, 2, 512);
    data.inputEvents = &events;
    data.inputParameterChanges = &parameters;
    ASSERT_EQ(host.processor().process(data), kResultOk);  // warm-up

    kelvo::test::AllocationScope scope;
    for (int block = 0; block < 200; ++block)
        host.processor().process(data);
    data.numSamples = 0;
    host.processor().process(data);  // a flush
    EXPECT_EQ(scope.allocations(), 0u);
}

}  // namespace
}  // namespace kelvo::test
