// The last value of every MIDI controller number, recorded on the audio
// thread and drained on the main thread for display, at most one record per
// controller every 33 ms. Each controller is one atomic word.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace kelvo {

struct CcActivityRecord {
    uint8_t cc;
    uint8_t channel;
    uint8_t value;
};

class CcActivityFeed {
  public:
    static constexpr int CONTROLLERS = 128;
    static constexpr int64_t MIN_INTERVAL_MS = 33;

    CcActivityFeed();

    // Any thread, realtime-safe (no allocation, no lock). Ignored for a
    // controller number outside 0..127; the value is clamped to 0..127.
    void record(int cc, int channel, int value);
    // One thread (the main thread): takes the pending values of controllers
    // not sent in the last 33 ms, in controller order, at most `capacity`.
    // What is left stays pending for a later call.
    uint32_t drain(int64_t nowMs, CcActivityRecord* out, uint32_t capacity);
    // Whether some value may be waiting to be drained.
    bool pending() const { return pending_.load(std::memory_order_acquire); }
    // The steady clock in whole milliseconds.
    static int64_t nowMs();

  private:
    static constexpr uint32_t PENDING = 1u << 16;
    static constexpr int64_t NEVER = INT64_MIN;

    std::atomic<uint32_t> slots_[CONTROLLERS];
    std::atomic<bool> pending_{false};
    int64_t lastSent_[CONTROLLERS];
};

// {"type":"kelvo.midiCc","cc":n,"channel":n,"value":n}
void writeMidiCcJson(std::string& out, const CcActivityRecord& record);

}  // namespace kelvo
