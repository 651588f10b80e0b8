#include "runtime_health_json.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "json_writer.h"

namespace kelvo {
namespace {

template <typename Integer>
void appendInteger(std::string& out, Integer value) {
    char digits[16];
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    (void)error;  // 16 bytes hold any 32-bit value
    out.append(digits, end);
}

// Ring copies may come from anywhere; never read past a field.
template <size_t N>
void appendField(std::string& out, const char (&field)[N]) {
    char text[N + 1];
    size_t length = strnlen(field, N);
    std::memcpy(text, field, length);
    text[length] = '\0';
    jsonAppendQuoted(out, text);
}

struct ReportContext {
    const char* moduleId;
    const char* version;
    double sampleRate;
    int32_t maxBlockFrames;
};

void appendDiagnostic(std::string& out, const kelvo_runtime_diagnostic& record,
                      const ReportContext& context) {
    out += "{\"format\":\"kelvo-plugin-runtime-diagnostic/v1\",\"schemaVersion\":1,\"sequence\":";
    appendInteger(out, record.sequence);
    out += ",\"code\":";
    jsonAppendQuoted(out, runtimeDiagnosticCodeName(record.code));
    out += ",\"severity\":";
    jsonAppendQuoted(out, runtimeDiagnosticSeverityName(record.severity));
    out += ",\"phase\":";
    jsonAppendQuoted(out, runtimeDiagnosticPhaseName(record.phase));
    out += ",\"component\":\"shell\",\"message\":";
    appendField(out, record.message);
    out += record.severity < DIAGNOSTIC_SEVERITY_ERROR ? ",\"recoverable\":true"
                                                       : ",\"recoverable\":false";
    out += ",\"identity\":{\"moduleId\":";
    jsonAppendQuoted(out, context.moduleId);
    out += ",\"version\":";
    jsonAppendQuoted(out, context.version);
    out += ",\"target\":\"vst3\"},\"configuration\":{\"sampleRate\":";
    jsonAppendNumber(out, context.sampleRate);
    out += ",\"maxBlockFrames\":";
    appendInteger(out, context.maxBlockFrames);
    out += "},\"occurrence\":{\"count\":1}";
    if (record.detail[0] != '\0') {
        out += ",\"context\":{\"detail\":";
        appendField(out, record.detail);
        out += '}';
    }
    out += '}';
}

const char* orUnknown(const char* text) {
    return text && text[0] != '\0' ? text : "unknown";
}

}  // namespace

std::string writeRuntimeHealthJson(const kelvo_runtime_diagnostic_ring& ring, const char* moduleId,
                                   const char* version, double sampleRate, int32_t maxBlockFrames,
                                   bool forcedFailure) {
    const ReportContext context{orUnknown(moduleId), orUnknown(version), sampleRate,
                                maxBlockFrames};
    const uint32_t stored = std::min(ring.count, RUNTIME_DIAGNOSTIC_CAPACITY);

    bool anyError = false;
    bool anyWarning = false;
    const kelvo_runtime_diagnostic* firstError = nullptr;
    for (uint32_t i = 0; i < stored; ++i) {
        const kelvo_runtime_diagnostic& record = ring.records[i];
        anyError |= record.severity >= DIAGNOSTIC_SEVERITY_ERROR;
        anyWarning |= record.severity == DIAGNOSTIC_SEVERITY_WARNING;
        if (!firstError && ring.firstFailureSequence != 0 &&
            record.sequence == ring.firstFailureSequence)
            firstError = &record;
    }
    const char* status = "healthy";
    if (forcedFailure || anyError)
        status = "failed";
    else if (ring.dropped != 0 || anyWarning)
        status = "degraded";

    std::string out;
    out.reserve(160 + (stored + 1) * 560);
    out += "{\"format\":\"kelvo-runtime-health/v1\",\"schemaVersion\":1,\"instanceId\":\"vst3\"";
    out += forcedFailure ? ",\"lifecycle\":\"failed\"" : ",\"lifecycle\":\"configured\"";
    out += ",\"status\":";
    jsonAppendQuoted(out, status);
    out += ",\"counters\":{\"diagnostics\":";
    appendInteger(out, ring.count);
    out += ",\"diagnostics.dropped\":";
    appendInteger(out, ring.dropped);
    out += "},\"diagnostics\":[";
    for (uint32_t i = 0; i < stored; ++i) {
        if (i > 0) out += ',';
        appendDiagnostic(out, ring.records[i], context);
    }
    out += ']';
    if (firstError) {
        out += ",\"firstError\":";
        appendDiagnostic(out, *firstError, context);
    }
    out += '}';
    return out;
}

}  // namespace kelvo
