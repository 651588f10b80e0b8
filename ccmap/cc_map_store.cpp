#include "cc_map_store.h"

#include <new>

namespace kelvo {

CcMapStore::CcMapStore() : current_(&embedded_) {}

CcMapStore::~CcMapStore() {
    for (const auto& [map, epoch] : retired_)
        delete map;
    const CcMap* map = current_.load(std::memory_order_acquire);
    if (map != &embedded_) delete map;
}

bool CcMapStore::publish(const CcMap& map) {
    CcMap* copy = new (std::nothrow) CcMap(map);
    if (!copy) return false;
    try {
        // Room for the retirement first, so that nothing can fail after the
        // exchange.
        retired_.reserve(retired_.size() + 1);
    } catch (const std::bad_alloc&) {
        delete copy;
        return false;
    }
    const CcMap* old = current_.exchange(copy, std::memory_order_seq_cst);
    if (old != &embedded_) retired_.emplace_back(old, epoch_.load(std::memory_order_seq_cst));
    collect();
    changed_.store(true, std::memory_order_release);
    return true;
}

void CcMapStore::collect() {
    const uint64_t epoch = epoch_.load(std::memory_order_seq_cst);
    size_t kept = 0;
    for (const auto& entry : retired_) {
        if (entry.second + 2 <= epoch)
            delete entry.first;
        else
            retired_[kept++] = entry;
    }
    retired_.resize(kept);
}

}  // namespace kelvo
