#include "engine_trace.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace kelvo {
namespace {

std::atomic<std::FILE*> traceFile{nullptr};
std::atomic<uint64_t> blockCounter{0};
std::once_flag traceOpened;

}  // namespace

std::FILE* openEngineTrace() {
    std::call_once(traceOpened, [] {
        const char* path = std::getenv("KELVO_KERNEL_TRACE");
        if (path != nullptr && path[0] != '\0') traceFile.store(std::fopen(path, "a"));
    });
    return traceFile.load();
}

std::FILE* engineTrace() noexcept {
    return traceFile.load(std::memory_order_acquire);
}

uint64_t advanceTraceBlock() noexcept {
    return blockCounter.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint64_t traceBlock() noexcept {
    return blockCounter.load(std::memory_order_relaxed);
}

}  // namespace kelvo
