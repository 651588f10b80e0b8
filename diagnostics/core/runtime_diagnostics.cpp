#include "runtime_diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "name_table.h"

namespace kelvo {
namespace {

constexpr const char* CODE_NAMES[] = {
    "runtime.unknown",  // 0 is not a code
    "runtime.kernel-create-failed",
    "runtime.rate-adapter-init-failed",
    "runtime.unsupported-processing-configuration",
    "runtime.process-failed",
    "runtime.suspicious-silence",
    "preset.bank-mismatch",
    "preset.processor-apply-failed",
    "state.decode-failed",
    "state.restore-failed",
    "editor.bundle-identity-mismatch",
    "editor.bridge-timeout",
    "install.artifact-stale",
    "install.duplicate-scan-candidate",
    "runtime.invalid-configuration",
    "runtime.engine-unavailable",
    "build.dependency-missing",
    "build.artifact-missing",
    "host.validator-missing",
    "runtime.realtime-violation",
    "runtime.nonfinite-audio",
    "runtime.callback-missing",
    "runtime.event-rejected",
    "runtime.host-connection-failed",
    "runtime.closed",
    "runtime.diagnostics-overflow",
    "runtime.unknown",
    "bank.missing",
    "bank.hash-mismatch",
};
static_assert(std::size(CODE_NAMES) == DIAGNOSTIC_BANK_HASH_MISMATCH + 1);

constexpr const char* SEVERITY_NAMES[] = {"info", "warning", "error", "fatal"};
static_assert(std::size(SEVERITY_NAMES) == DIAGNOSTIC_SEVERITY_FATAL + 1);

constexpr const char* PHASE_NAMES[] = {
    "build",    "package", "install", "scan",  "load",   "configure",
    "activate", "process", "preset",  "state", "editor", "shutdown",
};
static_assert(std::size(PHASE_NAMES) == 12);

// Copies at most capacity - 1 bytes and always terminates.
void copyText(char* field, size_t capacity, const char* text) {
    size_t length = text ? strnlen(text, capacity - 1) : 0;
    std::memcpy(field, text ? text : "", length);
    field[length] = '\0';
}

void formatInto(char* field, size_t capacity, const char* format, va_list args) {
    int written = std::vsnprintf(field, capacity, format, args);
    if (written < 0) field[0] = '\0';
}

const char* realtimeMessage(uint32_t code) {
    switch (code) {
        case DIAGNOSTIC_PROCESS_FAILED:
            return "audio process callback failed; output was cleared";
        case DIAGNOSTIC_RATE_ADAPTER_FAILED:
            return "sample-rate adapter failed; output was cleared";
        default:
            return "runtime diagnostic observed on the audio callback";
    }
}

}  // namespace

const char* runtimeDiagnosticCodeName(uint32_t code) {
    return nameAt(CODE_NAMES, code, "runtime.unknown");
}

const char* runtimeDiagnosticSeverityName(uint8_t severity) {
    return nameAt(SEVERITY_NAMES, severity, "error");
}

const char* runtimeDiagnosticPhaseName(uint8_t phase) {
    return nameAt(PHASE_NAMES, phase, "process");
}

void appendRuntimeDiagnostic(kelvo_runtime_diagnostic_ring& ring, uint32_t code, uint8_t severity,
                             uint8_t phase, const char* message, const char* detail) {
    uint32_t sequence = ring.nextSequence++;
    if (ring.count >= RUNTIME_DIAGNOSTIC_CAPACITY) {
        ++ring.dropped;
        return;
    }
    kelvo_runtime_diagnostic& record = ring.records[ring.count++];
    record.sequence = sequence;
    record.code = code;
    record.severity = severity;
    record.phase = phase;
    record.reserved = 0;
    copyText(record.message, sizeof record.message, message);
    copyText(record.detail, sizeof record.detail, detail);
    if (severity >= DIAGNOSTIC_SEVERITY_ERROR && ring.firstFailureSequence == 0)
        ring.firstFailureSequence = sequence;
}

DiagnosticText<RUNTIME_DIAGNOSTIC_MESSAGE_BYTES> formatDiagnosticMessage(const char* format, ...) {
    DiagnosticText<RUNTIME_DIAGNOSTIC_MESSAGE_BYTES> result;
    va_list args;
    va_start(args, format);
    formatInto(result.text, sizeof result.text, format, args);
    va_end(args);
    return result;
}

DiagnosticText<RUNTIME_DIAGNOSTIC_DETAIL_BYTES> formatDiagnosticDetail(const char* format, ...) {
    DiagnosticText<RUNTIME_DIAGNOSTIC_DETAIL_BYTES> result;
    va_list args;
    va_start(args, format);
    formatInto(result.text, sizeof result.text, format, args);
    va_end(args);
    return result;
}

RealtimeDiagnosticQueue::RealtimeDiagnosticQueue() noexcept {
    // A slot read by mistake still reads as an error from the audio callback.
    for (kelvo_realtime_diagnostic_entry& entry : entries_)
        entry = {DIAGNOSTIC_UNKNOWN, DIAGNOSTIC_SEVERITY_ERROR, DIAGNOSTIC_PHASE_PROCESS, 0};
}

bool RealtimeDiagnosticQueue::post(uint32_t code, uint8_t severity, uint8_t phase) noexcept {
    uint32_t write = writeIndex_.load(std::memory_order_relaxed);
    // Acquire: the consumer has finished reading the slot we are about to reuse.
    uint32_t read = readIndex_.load(std::memory_order_acquire);
    if (write - read >= REALTIME_DIAGNOSTIC_QUEUE_CAPACITY) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    entries_[write % REALTIME_DIAGNOSTIC_QUEUE_CAPACITY] = {code, severity, phase, 0};
    writeIndex_.store(write + 1, std::memory_order_release);
    return true;
}

uint32_t RealtimeDiagnosticQueue::take(kelvo_realtime_diagnostic_entry* out,
                                       uint32_t capacity) noexcept {
    uint32_t write = writeIndex_.load(std::memory_order_acquire);
    uint32_t read = readIndex_.load(std::memory_order_relaxed);
    uint32_t taken = 0;
    for (; read != write && taken < capacity; ++read)
        out[taken++] = entries_[read % REALTIME_DIAGNOSTIC_QUEUE_CAPACITY];
    // Release: the slots are free for the producer only after they were read.
    readIndex_.store(read, std::memory_order_release);
    return taken;
}

uint32_t RealtimeDiagnosticQueue::takeDropped() noexcept {
    return dropped_.exchange(0, std::memory_order_relaxed);
}

uint32_t RealtimeDiagnosticQueue::pending() const noexcept {
    return writeIndex_.load(std::memory_order_acquire) - readIndex_.load(std::memory_order_relaxed);
}

uint32_t RealtimeDiagnosticQueue::dropped() const noexcept {
    return dropped_.load(std::memory_order_relaxed);
}

void RuntimeDiagnostics::recordDiagnostic(uint32_t code, uint8_t severity, uint8_t phase,
                                          const char* message, const char* detail) {
    appendRuntimeDiagnostic(ring_, code, severity, phase, message, detail);
}

void RuntimeDiagnostics::recordRealtimeDiagnostic(uint32_t code, uint8_t severity,
                                                  uint8_t phase) noexcept {
    queue_.post(code, severity, phase);
}

void RuntimeDiagnostics::drainRuntimeDiagnostics() {
    // Everything posted before the write index was loaded; later posts wait
    // for the next drain.
    kelvo_realtime_diagnostic_entry entries[REALTIME_DIAGNOSTIC_QUEUE_CAPACITY];
    uint32_t taken = queue_.take(entries, REALTIME_DIAGNOSTIC_QUEUE_CAPACITY);
    for (uint32_t i = 0; i < taken; ++i) {
        const kelvo_realtime_diagnostic_entry& entry = entries[i];
        recordDiagnostic(entry.code, entry.severity, entry.phase, realtimeMessage(entry.code),
                         "audio callback");
    }
    uint32_t lost = queue_.takeDropped();
    if (lost > 0) {
        recordDiagnostic(DIAGNOSTIC_QUEUE_OVERFLOW, DIAGNOSTIC_SEVERITY_WARNING,
                         DIAGNOSTIC_PHASE_PROCESS, "audio diagnostic queue overflowed",
                         formatDiagnosticDetail("dropped=%u; source=audio callback", lost).c_str());
    }
}

kelvo_runtime_diagnostic_ring RuntimeDiagnostics::snapshot() {
    drainRuntimeDiagnostics();
    return ring_;
}

bool RuntimeDiagnostics::hasPendingRealtime() const noexcept {
    return queue_.pending() > 0 || queue_.dropped() > 0;
}

}  // namespace kelvo
