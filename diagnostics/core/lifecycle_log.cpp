#include "lifecycle_log.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>
#include <optional>

#include "fixed_text.h"
#include "json_writer.h"
#include "name_table.h"

namespace kelvo {
namespace {

constexpr const char* KIND_NAMES[] = {
    "created",
    "configured",
    "activated",
    "deactivated",
    "reset",
    "destroyed",
    "editorOpened",
    "editorClosed",
    "editorError",
    "stateSaved",
    "stateRestored",
    "presetLoaded",
    "presetSaved",
    "latencyChanged",
    "tailChanged",
    "tempoChanged",
    "timeSignatureChanged",
    "sampleRateChanged",
    "blockSizeChanged",
    "busLayoutChanged",
    "processModeChanged",
    "bypassChanged",
    "ccMapChanged",
    "stimulus",
    "runtimeDiagnostic",
};
static_assert(std::size(KIND_NAMES) == DIAGNOSTIC_LIFECYCLE_KIND_COUNT);
static_assert(static_cast<uint32_t>(DiagnosticLifecycleKind::RuntimeDiagnostic) + 1 ==
              DIAGNOSTIC_LIFECYCLE_KIND_COUNT);

// 0 when the clock cannot be read.
uint64_t monotonicNanoseconds() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
    return ns > 0 ? static_cast<uint64_t>(ns) : 0;
}

DiagnosticLifecycleField* nextField(DiagnosticLifecycleEvent& event, const char* name,
                                    DiagnosticLifecycleFieldType type) {
    if (event.fieldCount >= DIAGNOSTIC_LIFECYCLE_MAX_FIELDS) return nullptr;
    DiagnosticLifecycleField& field = event.fields[event.fieldCount++];
    field = DiagnosticLifecycleField{};
    copyFixedText(field.name, name);
    field.type = type;
    return &field;
}

void appendFieldValue(std::string& out, const DiagnosticLifecycleField& field) {
    switch (field.type) {
        case DiagnosticLifecycleFieldType::Number:
            jsonAppendNumber(out, field.number);
            return;
        case DiagnosticLifecycleFieldType::String:
            jsonAppendFixedText(out, field.text);
            return;
        case DiagnosticLifecycleFieldType::Bool:
            jsonAppendBool(out, field.flag);
            return;
        default:  // Null, and any type byte we do not know
            out += "null";
            return;
    }
}

// Writes the batch message for `n` events taken through `eventAt(i)`.
template <typename EventAt>
bool writeBatch(std::string& out, size_t n, uint32_t dropped, EventAt eventAt) {
    if (n == 0) return false;
    n = std::min<size_t>(n, DIAGNOSTIC_LIFECYCLE_CAPACITY);
    out += "{\"type\":\"kelvo.lifecycle\",\"events\":[";
    for (size_t i = 0; i < n; ++i) {
        if (i > 0) out += ',';
        writeDiagnosticLifecycleEventJson(out, eventAt(i));
    }
    out += ']';
    if (dropped != 0) {
        out += ",\"dropped\":";
        jsonAppendNumber(out, dropped);
    }
    out += '}';
    return true;
}

}  // namespace

const char* diagnosticLifecycleKindName(DiagnosticLifecycleKind kind) {
    return nameAt(KIND_NAMES, static_cast<uint8_t>(kind), nullptr);
}

bool diagnosticLifecycleKindFromName(const char* text, DiagnosticLifecycleKind& kind) {
    if (!text) return false;
    const std::optional<size_t> index = nameIndex(KIND_NAMES, text);
    if (index) kind = static_cast<DiagnosticLifecycleKind>(*index);
    return index.has_value();
}

DiagnosticLifecycleEvent& DiagnosticLifecycleEvent::addNumber(const char* name, double value) {
    if (auto* field = nextField(*this, name, DiagnosticLifecycleFieldType::Number))
        field->number = value;
    return *this;
}

DiagnosticLifecycleEvent& DiagnosticLifecycleEvent::addString(const char* name, const char* text) {
    if (auto* field = nextField(*this, name, DiagnosticLifecycleFieldType::String))
        copyFixedText(field->text, text);
    return *this;
}

DiagnosticLifecycleEvent& DiagnosticLifecycleEvent::addBool(const char* name, bool value) {
    if (auto* field = nextField(*this, name, DiagnosticLifecycleFieldType::Bool))
        field->flag = value;
    return *this;
}

DiagnosticLifecycleEvent& DiagnosticLifecycleEvent::addNull(const char* name) {
    nextField(*this, name, DiagnosticLifecycleFieldType::Null);
    return *this;
}

DiagnosticLifecycleLog::DiagnosticLifecycleLog() : origin_(monotonicNanoseconds()) {}

double DiagnosticLifecycleLog::nowMs() const {
    const uint64_t now = monotonicNanoseconds();
    if (now == 0 || now <= origin_) return 0.0;
    return static_cast<double>(now - origin_) / 1e6;
}

DiagnosticLifecycleEvent& DiagnosticLifecycleLog::record(DiagnosticLifecycleKind kind,
                                                         int64_t atFrame) {
    if (count_ == DIAGNOSTIC_LIFECYCLE_CAPACITY) {
        start_ = (start_ + 1) % DIAGNOSTIC_LIFECYCLE_CAPACITY;
        --count_;
        ++dropped_;
    }
    DiagnosticLifecycleEvent& event = events_[(start_ + count_) % DIAGNOSTIC_LIFECYCLE_CAPACITY];
    event = DiagnosticLifecycleEvent{};
    event.seq = ++sequence_;
    event.timeMs = nowMs();
    event.atFrame = atFrame;
    event.kind = kind;
    ++count_;
    return event;
}

const DiagnosticLifecycleEvent& DiagnosticLifecycleLog::at(uint32_t i) const {
    if (i >= count_) i = 0;
    return events_[(start_ + i) % DIAGNOSTIC_LIFECYCLE_CAPACITY];
}

void writeDiagnosticLifecycleEventJson(std::string& out, const DiagnosticLifecycleEvent& event) {
    out += "{\"seq\":";
    jsonAppendNumber(out, event.seq);
    out += ",\"timeMs\":";
    jsonAppendNumber(out, event.timeMs);
    if (event.atFrame >= 0) {
        out += ",\"atFrame\":";
        jsonAppendNumber(out, static_cast<double>(event.atFrame));
    }
    out += ",\"kind\":";
    const char* name = diagnosticLifecycleKindName(event.kind);
    jsonAppendQuoted(out, name ? name : "runtimeDiagnostic");
    const uint32_t fieldCount = std::min(event.fieldCount, DIAGNOSTIC_LIFECYCLE_MAX_FIELDS);
    if (fieldCount > 0) {
        out += ",\"detail\":{";
        for (uint32_t i = 0; i < fieldCount; ++i) {
            if (i > 0) out += ',';
            jsonAppendFixedText(out, event.fields[i].name);
            out += ':';
            appendFieldValue(out, event.fields[i]);
        }
        out += '}';
    }
    out += '}';
}

bool writeDiagnosticLifecycleJson(std::string& out, const DiagnosticLifecycleEvent* events,
                                  size_t n, uint32_t dropped) {
    if (!events) return false;
    return writeBatch(out, n, dropped,
                      [events](size_t i) -> const DiagnosticLifecycleEvent& { return events[i]; });
}

bool writeDiagnosticLifecycleReplayJson(std::string& out, const DiagnosticLifecycleLog& log) {
    // The ring wraps, so the events are not consecutive in memory.
    return writeBatch(out, log.count(), log.dropped(),
                      [&log](size_t i) -> const DiagnosticLifecycleEvent& {
                          return log.at(static_cast<uint32_t>(i));
                      });
}

}  // namespace kelvo
