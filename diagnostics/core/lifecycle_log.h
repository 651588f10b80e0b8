// The controller's lifecycle log: a fixed ring of the last 256 events
// (creation, editor, state, presets, host and transport changes, reports),
// each with up to six named detail fields, and its JSON forms for the page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace kelvo {

enum class DiagnosticLifecycleKind : uint8_t {
    Created,
    Configured,
    Activated,
    Deactivated,
    Reset,
    Destroyed,
    EditorOpened,
    EditorClosed,
    EditorError,
    StateSaved,
    StateRestored,
    PresetLoaded,
    PresetSaved,
    LatencyChanged,
    TailChanged,
    TempoChanged,
    TimeSignatureChanged,
    SampleRateChanged,
    BlockSizeChanged,
    BusLayoutChanged,
    ProcessModeChanged,
    BypassChanged,
    CcMapChanged,
    Stimulus,
    RuntimeDiagnostic,
};
constexpr uint32_t DIAGNOSTIC_LIFECYCLE_KIND_COUNT = 25;

// "created" ... "runtimeDiagnostic"; null for a value outside the enumeration.
const char* diagnosticLifecycleKindName(DiagnosticLifecycleKind kind);
// Exactly the kind names, case-sensitive; false (and `kind` untouched) for
// anything else, null included.
bool diagnosticLifecycleKindFromName(const char* text, DiagnosticLifecycleKind& kind);

constexpr uint32_t DIAGNOSTIC_LIFECYCLE_CAPACITY = 256;
constexpr uint32_t DIAGNOSTIC_LIFECYCLE_MAX_FIELDS = 6;
constexpr size_t DIAGNOSTIC_LIFECYCLE_NAME_BYTES = 24;  // 23 characters and the NUL
constexpr size_t DIAGNOSTIC_LIFECYCLE_TEXT_BYTES = 64;  // 63 characters and the NUL

enum class DiagnosticLifecycleFieldType : uint8_t { Null, Number, String, Bool };

struct DiagnosticLifecycleField {
    char name[DIAGNOSTIC_LIFECYCLE_NAME_BYTES] = {};
    DiagnosticLifecycleFieldType type = DiagnosticLifecycleFieldType::Null;
    double number = 0.0;
    bool flag = false;
    char text[DIAGNOSTIC_LIFECYCLE_TEXT_BYTES] = {};
};

struct DiagnosticLifecycleEvent {
    uint32_t seq = 0;
    double timeMs = 0.0;
    int64_t atFrame = -1;  // -1: the event refers to no audio frame
    DiagnosticLifecycleKind kind = DiagnosticLifecycleKind::Created;
    DiagnosticLifecycleField fields[DIAGNOSTIC_LIFECYCLE_MAX_FIELDS] = {};
    uint32_t fieldCount = 0;

    // Each adds the next field in order; a seventh is ignored. Names are cut
    // to 23 characters and string values to 63; null counts as empty.
    DiagnosticLifecycleEvent& addNumber(const char* name, double value);
    DiagnosticLifecycleEvent& addString(const char* name, const char* text);
    DiagnosticLifecycleEvent& addBool(const char* name, bool value);
    DiagnosticLifecycleEvent& addNull(const char* name);
};
static_assert(std::is_trivially_copyable_v<DiagnosticLifecycleEvent>);

// Main thread only. All storage is inside the object: recording never
// allocates, and once full each new event overwrites the oldest.
class DiagnosticLifecycleLog {
  public:
    DiagnosticLifecycleLog();

    // Milliseconds on the monotonic clock since construction.
    double nowMs() const;
    // Appends an event stamped with the next sequence number and the time;
    // fields are added to the returned slot.
    DiagnosticLifecycleEvent& record(DiagnosticLifecycleKind kind, int64_t atFrame = -1);
    // The i-th retained event from the oldest; an index past the end gives
    // the oldest.
    const DiagnosticLifecycleEvent& at(uint32_t i) const;

    uint32_t count() const { return count_; }
    bool empty() const { return count_ == 0; }
    // Events overwritten since construction.
    uint32_t dropped() const { return dropped_; }
    // The last sequence number given (0 before the first event).
    uint32_t sequence() const { return sequence_; }
    // Monotonic clock in nanoseconds at construction; 0 when unreadable.
    uint64_t origin() const { return origin_; }

  private:
    DiagnosticLifecycleEvent events_[DIAGNOSTIC_LIFECYCLE_CAPACITY];
    uint32_t start_ = 0;
    uint32_t count_ = 0;
    uint32_t dropped_ = 0;
    uint32_t sequence_ = 0;
    uint64_t origin_ = 0;
};

// One event object. A kind outside the enumeration is written
// "runtimeDiagnostic".
void writeDiagnosticLifecycleEventJson(std::string& out, const DiagnosticLifecycleEvent& event);
// The "kelvo.lifecycle" message for n consecutive events (at most 256 are
// written). Appends nothing and returns false for no events.
bool writeDiagnosticLifecycleJson(std::string& out, const DiagnosticLifecycleEvent* events,
                                  size_t n, uint32_t dropped);
// The same message with every retained event, oldest first, and the log's
// dropped count; nothing (false) for an empty log.
bool writeDiagnosticLifecycleReplayJson(std::string& out, const DiagnosticLifecycleLog& log);

}  // namespace kelvo
