#include "allocation_counter.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>

// The C++ allocation functions of libstdc++ end in malloc or one of the
// aligned allocators, so replacing these counts every heap allocation.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
}

namespace {

std::atomic<bool> counting{false};
std::atomic<size_t> counted{0};

void note() {
    if (counting.load(std::memory_order_relaxed)) counted.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

namespace kelvo::test {

AllocationScope::AllocationScope() {
    counted.store(0);
    counting.store(true);
}

AllocationScope::~AllocationScope() {
    counting.store(false);
}

size_t AllocationScope::allocations() const {
    return counted.load();
}

}  // namespace kelvo::test

extern "C" {
void* malloc(size_t size) {
    note();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    note();
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
    note();
    return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) {
    note();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    return memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    void* p = memalign(alignment, size);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}
}
