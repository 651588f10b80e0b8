// Runtime diagnostic records: the fixed ring the engine keeps for the health
// report, and the lock-free queue through which the audio thread reports
// problems to the main thread without blocking or allocating.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace kelvo {

constexpr uint32_t RUNTIME_DIAGNOSTIC_RING_VERSION = 1;
constexpr uint32_t RUNTIME_DIAGNOSTIC_CAPACITY = 32;
constexpr size_t RUNTIME_DIAGNOSTIC_MESSAGE_BYTES = 192;
constexpr size_t RUNTIME_DIAGNOSTIC_DETAIL_BYTES = 128;
constexpr uint32_t REALTIME_DIAGNOSTIC_QUEUE_CAPACITY = 32;

// The codes this plug-in records itself; the name table knows 1...28.
constexpr uint32_t DIAGNOSTIC_KERNEL_CREATE_FAILED = 1;
constexpr uint32_t DIAGNOSTIC_RATE_ADAPTER_FAILED = 2;
constexpr uint32_t DIAGNOSTIC_PROCESS_FAILED = 4;
constexpr uint32_t DIAGNOSTIC_INVALID_CONFIGURATION = 14;
constexpr uint32_t DIAGNOSTIC_ENGINE_UNAVAILABLE = 15;
constexpr uint32_t DIAGNOSTIC_EVENT_REJECTED = 22;
constexpr uint32_t DIAGNOSTIC_QUEUE_OVERFLOW = 25;
constexpr uint32_t DIAGNOSTIC_UNKNOWN = 26;
constexpr uint32_t DIAGNOSTIC_BANK_MISSING = 27;
constexpr uint32_t DIAGNOSTIC_BANK_HASH_MISMATCH = 28;

constexpr uint8_t DIAGNOSTIC_SEVERITY_INFO = 0;
constexpr uint8_t DIAGNOSTIC_SEVERITY_WARNING = 1;
constexpr uint8_t DIAGNOSTIC_SEVERITY_ERROR = 2;
constexpr uint8_t DIAGNOSTIC_SEVERITY_FATAL = 3;

constexpr uint8_t DIAGNOSTIC_PHASE_LOAD = 4;
constexpr uint8_t DIAGNOSTIC_PHASE_CONFIGURE = 5;
constexpr uint8_t DIAGNOSTIC_PHASE_PROCESS = 7;
constexpr uint8_t DIAGNOSTIC_PHASE_STATE = 9;

// One record. No pointers, so a whole ring copies as one block.
struct kelvo_runtime_diagnostic {
    uint32_t sequence;
    uint32_t code;
    uint8_t severity;  // 0 info, 1 warning, 2 error, 3 fatal
    uint8_t phase;
    uint16_t reserved;
    char message[RUNTIME_DIAGNOSTIC_MESSAGE_BYTES];  // NUL-terminated
    char detail[RUNTIME_DIAGNOSTIC_DETAIL_BYTES];    // NUL-terminated, empty when none
};

// Filled once: after RUNTIME_DIAGNOSTIC_CAPACITY records, further records
// only use up a sequence number and count as dropped.
struct kelvo_runtime_diagnostic_ring {
    uint32_t version = RUNTIME_DIAGNOSTIC_RING_VERSION;
    uint32_t nextSequence = 1;
    uint32_t dropped = 0;
    uint32_t firstFailureSequence = 0;  // first record with severity >= 2; 0 = none
    uint32_t count = 0;
    kelvo_runtime_diagnostic records[RUNTIME_DIAGNOSTIC_CAPACITY] = {};
};

static_assert(sizeof(kelvo_runtime_diagnostic) ==
              12 + RUNTIME_DIAGNOSTIC_MESSAGE_BYTES + RUNTIME_DIAGNOSTIC_DETAIL_BYTES);
static_assert(offsetof(kelvo_runtime_diagnostic, message) == 12);
static_assert(sizeof(kelvo_runtime_diagnostic_ring) ==
              20 + RUNTIME_DIAGNOSTIC_CAPACITY * sizeof(kelvo_runtime_diagnostic));
static_assert(std::is_trivially_copyable_v<kelvo_runtime_diagnostic_ring>);
static_assert(std::is_standard_layout_v<kelvo_runtime_diagnostic_ring>);

// What the audio thread posts: the message and detail are chosen on drain.
struct kelvo_realtime_diagnostic_entry {
    uint32_t code;
    uint8_t severity;
    uint8_t phase;
    uint16_t reserved;
};
static_assert(sizeof(kelvo_realtime_diagnostic_entry) == 8);

// Names used in the JSON report; unknown numbers map to a fixed fallback.
const char* runtimeDiagnosticCodeName(uint32_t code);
const char* runtimeDiagnosticSeverityName(uint8_t severity);
const char* runtimeDiagnosticPhaseName(uint8_t phase);

// Stores one record into the ring (main thread). Null texts count as empty;
// texts longer than their field are cut, keeping the terminating NUL.
void appendRuntimeDiagnostic(kelvo_runtime_diagnostic_ring& ring, uint32_t code, uint8_t severity,
                             uint8_t phase, const char* message, const char* detail);

// A printf-formatted text sized for one record field; cut to fit.
template <size_t N>
struct DiagnosticText {
    char text[N];
    const char* c_str() const { return text; }
};
DiagnosticText<RUNTIME_DIAGNOSTIC_MESSAGE_BYTES> formatDiagnosticMessage(const char* format, ...)
    __attribute__((format(printf, 1, 2)));
DiagnosticText<RUNTIME_DIAGNOSTIC_DETAIL_BYTES> formatDiagnosticDetail(const char* format, ...)
    __attribute__((format(printf, 1, 2)));

// Single-producer single-consumer queue from the audio thread to the main
// thread. Indices run free and wrap; the slot is index mod capacity.
class RealtimeDiagnosticQueue {
  public:
    RealtimeDiagnosticQueue() noexcept;
    RealtimeDiagnosticQueue(const RealtimeDiagnosticQueue&) = delete;
    RealtimeDiagnosticQueue& operator=(const RealtimeDiagnosticQueue&) = delete;

    // Producer only. Returns false (and counts a drop) when the queue is full.
    bool post(uint32_t code, uint8_t severity, uint8_t phase) noexcept;
    // Consumer only. Moves up to `capacity` of the oldest entries to `out`.
    uint32_t take(kelvo_realtime_diagnostic_entry* out, uint32_t capacity) noexcept;
    // Consumer only. The drops since the last call.
    uint32_t takeDropped() noexcept;
    // Consumer side: entries posted and not yet taken.
    uint32_t pending() const noexcept;
    uint32_t dropped() const noexcept;

  private:
    kelvo_realtime_diagnostic_entry entries_[REALTIME_DIAGNOSTIC_QUEUE_CAPACITY];
    // Apart, so the producer's and the consumer's stores do not share a line.
    alignas(64) std::atomic<uint32_t> writeIndex_{0};
    alignas(64) std::atomic<uint32_t> readIndex_{0};
    std::atomic<uint32_t> dropped_{0};
};

// The engine's diagnostics: the ring, written by the main thread, and the
// queue the audio thread posts into. Only recordRealtimeDiagnostic may run on
// the audio thread; everything else belongs to the main thread.
class RuntimeDiagnostics {
  public:
    RuntimeDiagnostics() = default;
    RuntimeDiagnostics(const RuntimeDiagnostics&) = delete;
    RuntimeDiagnostics& operator=(const RuntimeDiagnostics&) = delete;

    void recordDiagnostic(uint32_t code, uint8_t severity, uint8_t phase, const char* message,
                          const char* detail);
    // Never blocks, allocates, locks or calls the system.
    void recordRealtimeDiagnostic(uint32_t code, uint8_t severity, uint8_t phase) noexcept;
    // Moves what the audio thread posted into the ring, followed by one
    // overflow record when entries were lost.
    void drainRuntimeDiagnostics();

    const kelvo_runtime_diagnostic_ring& ring() const { return ring_; }
    // Drains first, so the copy holds everything reported so far.
    kelvo_runtime_diagnostic_ring snapshot();
    // True when a drain would change the ring.
    bool hasPendingRealtime() const noexcept;
    uint32_t pendingRealtimeCount() const noexcept { return queue_.pending(); }
    uint32_t realtimeDroppedCount() const noexcept { return queue_.dropped(); }

  private:
    // Lets tests reach the queue's consumer side to stage rare interleavings.
    friend struct RuntimeDiagnosticsTestAccess;

    kelvo_runtime_diagnostic_ring ring_;
    RealtimeDiagnosticQueue queue_;
};

}  // namespace kelvo
