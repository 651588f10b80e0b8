// Hands CC maps from the main thread (one writer) to a reading thread (one
// reader, e.g. the audio thread) without locks, and frees replaced maps once
// the reader has moved on. The reader loads current() once per use and calls
// advanceEpoch() when it no longer uses what it loaded; a replaced map lives
// until the epoch has advanced twice past its retirement.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "cc_map.h"

namespace kelvo {

class CcMapStore {
  public:
    CcMapStore();
    ~CcMapStore();
    CcMapStore(const CcMapStore&) = delete;
    CcMapStore& operator=(const CcMapStore&) = delete;

    // Writer: makes a copy of `map` current. False, with nothing changed,
    // when memory for the copy runs out.
    bool publish(const CcMap& map);
    // Writer: frees the retired maps the reader can no longer hold.
    void collect();
    // Writer: maps replaced but not yet freed.
    size_t retiredCount() const { return retired_.size(); }

    // Reader: the map to use until the next advanceEpoch().
    const CcMap* current() const { return current_.load(std::memory_order_seq_cst); }
    // Reader: the map loaded before this call is no longer used.
    void advanceEpoch() { epoch_.fetch_add(1, std::memory_order_seq_cst); }
    // Reader: whether a map was published since the last call.
    bool takeChanged() { return changed_.exchange(false, std::memory_order_acq_rel); }

  private:
    CcMap embedded_;
    std::atomic<const CcMap*> current_;
    std::atomic<uint64_t> epoch_{0};
    std::atomic<bool> changed_{false};
    // (map, epoch when it was replaced), oldest first.
    std::vector<std::pair<const CcMap*, uint64_t>> retired_;
};

}  // namespace kelvo
