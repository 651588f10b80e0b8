#include "runtime_health_json.h"

#include <algorithm>

#include "fixed_text.h"
#include "json_writer.h"

namespace kelvo {
namespace {

struct ReportContext {
    const char* moduleId;
    const char* version;
    double sampleRate;
    int32_t maxBlockFrames;
};

void appendDiagnostic(std::string& out, const kelvo_runtime_diagnostic& record,
                      const ReportContext& context) {
    out += "{\"format\":\"kelvo-plugin-runtime-diagnostic/v1\",\"schemaVersion\":1,\"sequence\":";
    jsonAppendInteger(out, record.sequence);
    out += ",\"code\":";
    jsonAppendQuoted(out, runtimeDiagnosticCodeName(record.code));
    out += ",\"severity\":";
    jsonAppendQuoted(out, runtimeDiagnosticSeverityName(record.severity));
    out += ",\"phase\":";
    jsonAppendQuoted(out, runtimeDiagnosticPhaseName(record.phase));
    out += ",\"component\":\"shell\",\"message\":";
    jsonAppendFixedText(out, record.message);
    out += ",\"recoverable\":";
    jsonAppendBool(out, record.severity < DIAGNOSTIC_SEVERITY_ERROR);
    out += ",\"identity\":{\"moduleId\":";
    jsonAppendQuoted(out, context.moduleId);
    out += ",\"version\":";
    jsonAppendQuoted(out, context.version);
    out += ",\"target\":\"vst3\"},\"configuration\":{\"sampleRate\":";
    jsonAppendNumber(out, context.sampleRate);
    out += ",\"maxBlockFrames\":";
    jsonAppendInteger(out, context.maxBlockFrames);
    out += "},\"occurrence\":{\"count\":1}";
    if (record.detail[0] != '\0') {
        out += ",\"context\":{\"detail\":";
        jsonAppendFixedText(out, record.detail);
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
    jsonAppendInteger(out, ring.count);
    out += ",\"diagnostics.dropped\":";
    jsonAppendInteger(out, ring.dropped);
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
