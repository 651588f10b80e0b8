#include "cc_activity_feed.h"

#include <algorithm>
#include <chrono>

#include "json_writer.h"

namespace kelvo {

CcActivityFeed::CcActivityFeed() {
    for (int cc = 0; cc < CONTROLLERS; ++cc) {
        slots_[cc].store(0, std::memory_order_relaxed);
        lastSent_[cc] = NEVER;
    }
}

void CcActivityFeed::record(int cc, int channel, int value) {
    if (cc < 0 || cc >= CONTROLLERS) return;
    uint32_t word = PENDING | (static_cast<uint32_t>(channel) & 0xFFu) << 8 |
                    static_cast<uint32_t>(std::clamp(value, 0, 127));
    slots_[cc].store(word, std::memory_order_release);
    pending_.store(true, std::memory_order_release);
}

uint32_t CcActivityFeed::drain(int64_t nowMs, CcActivityRecord* out, uint32_t capacity) {
    if (!out || capacity == 0) return 0;
    uint32_t count = 0;
    bool workLeft = false;
    for (int cc = 0; cc < CONTROLLERS; ++cc) {
        if (!(slots_[cc].load(std::memory_order_acquire) & PENDING)) continue;
        if (count == capacity ||
            (lastSent_[cc] != NEVER && nowMs - lastSent_[cc] < MIN_INTERVAL_MS)) {
            workLeft = true;
            continue;
        }
        uint32_t taken = slots_[cc].exchange(0, std::memory_order_acq_rel);
        if (!(taken & PENDING)) continue;
        out[count++] = {static_cast<uint8_t>(cc), static_cast<uint8_t>(taken >> 8),
                        static_cast<uint8_t>(taken & 0x7Fu)};
        lastSent_[cc] = nowMs;
    }
    pending_.store(workLeft, std::memory_order_release);
    if (!workLeft) {
        // A value recorded during the scan may have had its flag overwritten
        // by the store above.
        for (int cc = 0; cc < CONTROLLERS; ++cc) {
            if (slots_[cc].load(std::memory_order_acquire) & PENDING) {
                pending_.store(true, std::memory_order_release);
                break;
            }
        }
    }
    return count;
}

int64_t CcActivityFeed::nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void writeMidiCcJson(std::string& out, const CcActivityRecord& record) {
    out += "{\"type\":\"kelvo.midiCc\",\"cc\":";
    jsonAppendNumber(out, record.cc);
    out += ",\"channel\":";
    jsonAppendNumber(out, record.channel);
    out += ",\"value\":";
    jsonAppendNumber(out, record.value);
    out += '}';
}

}  // namespace kelvo
