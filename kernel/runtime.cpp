#include "runtime.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace kelvo::kernel {
namespace {

// Process-wide: one sink for every thread, and a trap on any thread poisons
// the library for all. Trivially destructible, so they stay valid while
// static destructors run at exit.
std::atomic<PanicSink> panicSink{nullptr};
std::atomic<void*> panicSinkContext{nullptr};
std::atomic<bool> poisoned{false};

// Per thread, since hosts run distinct instances on several threads at once.
// Initial-exec keeps each access a plain thread-pointer load and places the
// variables in static TLS, so an audio thread's first call into a loaded
// plug-in does not allocate its TLS block.
[[gnu::tls_model("initial-exec")]] thread_local const char* currentEntry = nullptr;
// Non-zero while the panic sink runs on this thread; a sink that calls back
// into the library traps, and one that keeps doing so is cut short.
[[gnu::tls_model("initial-exec")]] thread_local int hostCallbackDepth = 0;

constexpr uint8_t RECORD_START = 0x01;
constexpr uint8_t RECORD_SEPARATOR = 0x1F;

double wrapModulo32(double value) {
    if (!std::isfinite(value)) return 0.0;
    double wrapped = std::fmod(std::trunc(value), 4294967296.0);
    return wrapped < 0 ? wrapped + 4294967296.0 : wrapped;
}

}  // namespace

uint32_t toUint32(double value) {
    return static_cast<uint32_t>(wrapModulo32(value));
}

int32_t toInt32(double value) {
    return static_cast<int32_t>(toUint32(value));
}

uint8_t toUint8(double value) {
    return static_cast<uint8_t>(toUint32(value) & 0xFFu);
}

std::string_view trapCodeFor(std::string_view message) {
    struct Prefix {
        std::string_view text;
        std::string_view code;
    };
    static constexpr Prefix prefixes[] = {
        {"Uncaught ", "SC4013"},
        {"trelc: RangeError: ", "SC4014"},
        {"trelc: TypeError: ", "SC4015"},
        {"trelc: SyntaxError: ", "SC4016"},
        {"trelc: out of memory", "SC4017"},
        {"trelc: internal error: ", "SC4018"},
        {"trelc: library callback", "SC4025"},
        {"trelc: library entry ", "SC4026"},
    };
    for (const Prefix& prefix : prefixes)
        if (message.starts_with(prefix.text)) return prefix.code;
    return "SC4019";
}

size_t buildTrapRecord(std::string_view message, std::string_view entry, uint8_t* out) {
    constexpr size_t limit = TRAP_RECORD_CAPACITY - 1;
    if (!message.empty() && static_cast<uint8_t>(message[0]) == RECORD_START) {
        size_t length = std::min(message.size(), limit);
        std::memcpy(out, message.data(), length);
        return length;
    }
    std::string_view code = trapCodeFor(message);
    entry = entry.substr(0, limit - 3 - code.size());
    size_t room = limit - 3 - code.size() - entry.size();
    size_t length = 0;
    out[length++] = RECORD_START;
    for (size_t i = 0; i < message.size() && i < room; ++i) {
        auto byte = static_cast<uint8_t>(message[i]);
        out[length++] = (byte == RECORD_START || byte == RECORD_SEPARATOR) ? ' ' : byte;
    }
    out[length++] = RECORD_SEPARATOR;
    std::memcpy(out + length, code.data(), code.size());
    length += code.size();
    out[length++] = RECORD_SEPARATOR;
    std::memcpy(out + length, entry.data(), entry.size());
    return length + entry.size();
}

void trap(std::string_view message) {
    poisoned.store(true);
    uint8_t record[TRAP_RECORD_CAPACITY];
    size_t length = buildTrapRecord(message, currentEntry ? currentEntry : "", record);
    const PanicSink sink = panicSink.load(std::memory_order_acquire);
    if (sink == nullptr || hostCallbackDepth >= 2) std::abort();
    ++hostCallbackDepth;
    sink(panicSinkContext.load(std::memory_order_relaxed), record, length,
         reinterpret_cast<uintptr_t>(__builtin_return_address(0)));
    std::abort();
}

void trapIndexOutOfBounds(int64_t index, size_t length) {
    char message[160];
    std::snprintf(message, sizeof message,
                  "trelc: RangeError: typed array index %lld out of bounds (length %zu)\n",
                  static_cast<long long>(index), length);
    trap(message);
}

// The context is stored first, so a trap that sees the new sink also sees
// its context. The host sets the sink once, before any instance exists.
void setPanicSink(PanicSink sink, void* context) {
    panicSinkContext.store(context, std::memory_order_relaxed);
    panicSink.store(sink, std::memory_order_release);
}

LibraryEntry::LibraryEntry(const char* symbol) : previous_(currentEntry) {
    currentEntry = symbol;
    if (hostCallbackDepth > 0) {
        char message[256];
        std::snprintf(message, sizeof message,
                      "trelc: library entry '%s' invoked from a host callback\n", symbol);
        trap(message);
    }
    if (poisoned.load(std::memory_order_relaxed)) std::abort();
}

LibraryEntry::~LibraryEntry() {
    currentEntry = previous_;
}

}  // namespace kelvo::kernel
