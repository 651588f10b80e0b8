#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "runtime_diagnostics.h"

namespace kelvo {
namespace {

// The producer numbers its entries through the code; the consumer must see
// them in order, each at most once, and whatever it misses must be counted.
// Between bursts the producer waits for the consumer to catch up, so the
// indices wrap the slots many times however the threads are scheduled.
TEST(RealtimeDiagnosticQueueConcurrency, NothingLostOrDuplicatedBeyondTheDropCount) {
    constexpr uint32_t POSTS = 40000, BURST = 500;
    RealtimeDiagnosticQueue queue;
    std::atomic<uint32_t> consumed{0};
    std::atomic<bool> producerDone{false};
    std::thread producer([&] {
        uint32_t posted = 0;
        for (uint32_t code = 1; code <= POSTS; ++code) {
            if (queue.post(code, 2, 7))
                ++posted;
            else
                std::this_thread::yield();  // a full queue: give the consumer a turn
            if (code % BURST != 0) continue;
            while (consumed.load(std::memory_order_acquire) != posted)
                std::this_thread::yield();
        }
        producerDone.store(true, std::memory_order_release);
    });

    uint32_t drained = 0, dropped = 0, lastCode = 0;
    bool ordered = true;
    kelvo_realtime_diagnostic_entry entries[REALTIME_DIAGNOSTIC_QUEUE_CAPACITY];
    for (bool last = false; !last;) {
        last = producerDone.load(std::memory_order_acquire);
        uint32_t taken = queue.take(entries, REALTIME_DIAGNOSTIC_QUEUE_CAPACITY);
        for (uint32_t i = 0; i < taken; ++i) {
            ordered &=
                entries[i].code > lastCode && entries[i].severity == 2 && entries[i].phase == 7;
            lastCode = entries[i].code;
        }
        drained += taken;
        dropped += queue.takeDropped();
        consumed.store(drained, std::memory_order_release);
        if (taken == 0) std::this_thread::yield();
    }
    producer.join();

    EXPECT_TRUE(ordered);
    EXPECT_EQ(queue.pending(), 0u);
    EXPECT_EQ(drained + dropped, POSTS);
    EXPECT_GE(drained, POSTS / BURST * REALTIME_DIAGNOSTIC_QUEUE_CAPACITY);
}

}  // namespace
}  // namespace kelvo
