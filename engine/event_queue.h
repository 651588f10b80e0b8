// The engine's queue of host events for the block being rendered: parameter
// changes and notes stamped with their sample offset, sorted stably before
// delivery to the kernel.
#pragma once

#include <cstdint>

namespace kelvo {

enum EngineEventKind : uint32_t {
    ENGINE_EVENT_PARAMETER = 0,
    ENGINE_EVENT_NOTE_ON = 1,
    ENGINE_EVENT_NOTE_OFF = 2,
};

struct EngineEvent {
    uint32_t kind;
    int32_t frame;   // sample offset within the host block
    uint32_t index;  // parameter index (parameter events)
    double value;    // plain value, resolved velocity, or 0 for a note-off
    uint32_t note;   // note events
    uint64_t stamp;  // absolute host frame, set behind the rate adapter
    bool stamped;
};

class EventQueue {
  public:
    static constexpr int32_t CAPACITY = 2048;

    // False (and the event dropped) when the queue is full.
    bool push(const EngineEvent& event) noexcept;
    void clear() noexcept { count_ = 0; }
    int32_t size() const noexcept { return count_; }
    EngineEvent& operator[](int32_t i) noexcept { return events_[i]; }
    const EngineEvent& operator[](int32_t i) const noexcept { return events_[i]; }

    // Stable insertion sorts: an event moves left only past events with a
    // strictly greater key, so equal keys keep their push order.
    void sortByFrame() noexcept;
    void sortByStamp() noexcept;
    // Keeps only the events for which keep(event) is true, in order.
    template <typename Keep>
    void retain(Keep keep) noexcept {
        int32_t kept = 0;
        for (int32_t i = 0; i < count_; ++i)
            if (keep(events_[i])) events_[kept++] = events_[i];
        count_ = kept;
    }

  private:
    template <typename Key>
    void insertionSort(Key key) noexcept;

    EngineEvent events_[CAPACITY] = {};
    int32_t count_ = 0;
};

}  // namespace kelvo
