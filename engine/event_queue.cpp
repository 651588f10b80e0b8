#include "event_queue.h"

namespace kelvo {

bool EventQueue::push(const EngineEvent& event) noexcept {
    if (count_ >= CAPACITY) return false;
    events_[count_++] = event;
    return true;
}

template <typename Key>
void EventQueue::insertionSort(Key key) noexcept {
    for (int32_t i = 1; i < count_; ++i) {
        const EngineEvent moving = events_[i];
        int32_t j = i;
        while (j > 0 && key(events_[j - 1]) > key(moving)) {
            events_[j] = events_[j - 1];
            --j;
        }
        events_[j] = moving;
    }
}

void EventQueue::sortByFrame() noexcept {
    insertionSort([](const EngineEvent& e) { return e.frame; });
}

void EventQueue::sortByStamp() noexcept {
    insertionSort([](const EngineEvent& e) { return e.stamp; });
}

}  // namespace kelvo
