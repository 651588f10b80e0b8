#include <cmath>

#include "host_facts.h"
#include "host_facts_compare.h"
#include "json_writer.h"

namespace kelvo {
namespace {

// Writes the comma before every member but the first.
class Members {
  public:
    explicit Members(std::string& out) : out_(out) {}
    std::string& next(const char* name) {
        if (written_) out_ += ',';
        written_ = true;
        jsonAppendQuoted(out_, name);
        out_ += ':';
        return out_;
    }
    bool written() const { return written_; }

  private:
    std::string& out_;
    bool written_ = false;
};

// Integers are written through the one number writer, as doubles.
void appendInteger(std::string& out, int64_t value) {
    jsonAppendNumber(out, static_cast<double>(value));
}

void appendBool(std::string& out, bool value) {
    out += value ? "true" : "false";
}

const char* processModeName(int32_t mode) {
    switch (mode) {
        case HOST_PROCESS_OFFLINE:
            return "offline";
        case HOST_PROCESS_PREFETCH:
            return "prefetch";
        default:
            return "realtime";
    }
}

void appendTail(std::string& out, const HostFacts& facts) {
    if (facts.tailKind == HOST_TAIL_INFINITE)
        jsonAppendQuoted(out, "infinite");
    else if (facts.tailKind == HOST_TAIL_SAMPLES)
        appendInteger(out, facts.tailSamples);
    else
        jsonAppendQuoted(out, "unreported");
}

void appendBuses(std::string& out, const HostFacts& facts) {
    out += '[';
    for (uint32_t i = 0; i < storedBusCount(facts); ++i) {
        const HostBusFacts& bus = facts.buses[i];
        if (i > 0) out += ',';
        out += "{\"id\":";
        jsonAppendFixedText(out, bus.id);
        out += bus.isInput ? ",\"direction\":\"input\"" : ",\"direction\":\"output\"";
        out += ",\"channels\":";
        appendInteger(out, bus.channels);
        out += ",\"active\":";
        appendBool(out, bus.active != 0);
        if (fixedTextLength(bus.layout) > 0) {
            out += ",\"layout\":";
            jsonAppendFixedText(out, bus.layout);
        }
        out += '}';
    }
    out += ']';
}

// A loop point only means something when the host supplied loop points.
void appendLoopPoint(std::string& out, const TransportFact& fact, double point) {
    if (fact.hasLoop)
        jsonAppendNumber(out, point);
    else
        out += "null";
}

const char* transportSourceName(uint8_t source) {
    switch (source) {
        case TRANSPORT_SOURCE_HOST:
            return "host";
        case TRANSPORT_SOURCE_INTERNAL:
            return "internal";
        default:
            return "none";
    }
}

}  // namespace

void writeDiagnosticHostJson(std::string& out, const HostFacts& facts) {
    out += '{';
    Members members(out);
    if (fixedTextLength(facts.hostName) > 0)
        jsonAppendFixedText(members.next("hostName"), facts.hostName);
    if (fixedTextLength(facts.hostVersion) > 0)
        jsonAppendFixedText(members.next("hostVersion"), facts.hostVersion);
    if (fixedTextLength(facts.hostPath) > 0)
        jsonAppendFixedText(members.next("hostPath"), facts.hostPath);
    if (const char* validator = diagnosticValidatorKindName(facts.validatorKind))
        jsonAppendQuoted(members.next("validatorHost"), validator);
    jsonAppendNumber(members.next("sampleRate"), facts.sampleRate);
    appendInteger(members.next("maxBlockFrames"), facts.maxBlockFrames);
    if (facts.lastBlockFrames >= 0)
        appendInteger(members.next("lastBlockFrames"), facts.lastBlockFrames);
    jsonAppendQuoted(members.next("processMode"), processModeName(facts.processMode));
    appendInteger(members.next("sampleSize"), facts.sampleSize);
    appendInteger(members.next("latencySamples"), facts.latencySamples);
    appendTail(members.next("tailSamples"), facts);
    if (facts.internalSampleRate > 0.0)
        jsonAppendNumber(members.next("internalSampleRate"), facts.internalSampleRate);
    appendBuses(members.next("buses"), facts);
    if (facts.bypassKnown) appendBool(members.next("bypassed"), facts.bypassed != 0);
    out += '}';
}

bool writeDiagnosticHostDeltaJson(std::string& out, const HostFacts& previous,
                                  const HostFacts& current) {
    const size_t mark = out.size();
    out += '{';
    Members members(out);
    if (!sameNumber(previous.sampleRate, current.sampleRate))
        jsonAppendNumber(members.next("sampleRate"), current.sampleRate);
    if (previous.maxBlockFrames != current.maxBlockFrames)
        appendInteger(members.next("maxBlockFrames"), current.maxBlockFrames);
    if (previous.lastBlockFrames != current.lastBlockFrames && current.lastBlockFrames >= 0)
        appendInteger(members.next("lastBlockFrames"), current.lastBlockFrames);
    if (previous.processMode != current.processMode)
        jsonAppendQuoted(members.next("processMode"), processModeName(current.processMode));
    if (previous.sampleSize != current.sampleSize)
        appendInteger(members.next("sampleSize"), current.sampleSize);
    if (previous.latencySamples != current.latencySamples)
        appendInteger(members.next("latencySamples"), current.latencySamples);
    if (tailChanged(previous, current)) appendTail(members.next("tailSamples"), current);
    if (!sameNumber(previous.internalSampleRate, current.internalSampleRate) &&
        current.internalSampleRate > 0.0)
        jsonAppendNumber(members.next("internalSampleRate"), current.internalSampleRate);
    if (busesDiffer(previous, current)) appendBuses(members.next("buses"), current);
    if (bypassChanged(previous, current))
        appendBool(members.next("bypassed"), current.bypassed != 0);
    if (!members.written()) {
        out.resize(mark);
        return false;
    }
    out += '}';
    return true;
}

bool writeDiagnosticHostChangedJson(std::string& out, const HostFacts& previous,
                                    const HostFacts& current, uint64_t seq, double timeMs) {
    const size_t mark = out.size();
    out += "{\"type\":\"kelvo.hostChanged\",\"host\":";
    if (!writeDiagnosticHostDeltaJson(out, previous, current)) {
        out.resize(mark);
        return false;
    }
    if (const char* kind = diagnosticHostChangeKind(previous, current)) {
        out += ",\"event\":{\"seq\":";
        jsonAppendNumber(out, static_cast<double>(seq));
        out += ",\"timeMs\":";
        jsonAppendNumber(out, timeMs);
        out += ",\"kind\":";
        jsonAppendQuoted(out, kind);
        out += '}';
    }
    out += '}';
    return true;
}

void writeDiagnosticTransportJson(std::string& out, const TransportFact& fact) {
    out += "{\"type\":\"kelvo.transport\",\"frame\":{\"atFrame\":";
    jsonAppendNumber(out, static_cast<double>(fact.atFrame));
    out += ",\"source\":";
    jsonAppendQuoted(out, transportSourceName(fact.source));
    out += ",\"state\":{\"playing\":";
    appendBool(out, fact.playing != 0);
    out += ",\"recording\":";
    appendBool(out, fact.recording != 0);
    out += ",\"looping\":";
    appendBool(out, fact.looping != 0);
    out += ",\"tempo\":";
    jsonAppendNumber(out, fact.tempo);
    out += ",\"timeSignature\":{\"numerator\":";
    appendInteger(out, fact.numerator);
    out += ",\"denominator\":";
    appendInteger(out, fact.denominator);
    out += "},\"ppqPosition\":";
    jsonAppendNumber(out, fact.ppqPosition);
    out += ",\"barPositionPpq\":";
    jsonAppendNumber(out, fact.barPositionPpq);
    out += ",\"loopStartPpq\":";
    appendLoopPoint(out, fact, fact.loopStartPpq);
    out += ",\"loopEndPpq\":";
    appendLoopPoint(out, fact, fact.loopEndPpq);
    out += ",\"sampleRate\":";
    if (std::isfinite(fact.sampleRate) && fact.sampleRate > 0.0)
        jsonAppendNumber(out, fact.sampleRate);
    else
        out += "null";
    out += ",\"projectTimeSamples\":";
    appendInteger(out, fact.projectTimeSamples);
    out += "},\"capabilities\":{\"tempo\":";
    appendBool(out, fact.hasTempo != 0);
    out += ",\"timeSignature\":";
    appendBool(out, fact.hasTimeSignature != 0);
    out += ",\"position\":";
    appendBool(out, fact.hasPosition != 0);
    out += ",\"loop\":";
    appendBool(out, fact.hasLoop != 0);
    out += ",\"canSetTempo\":";
    appendBool(out, fact.canSetTempo != 0);
    out += "}}}";
}

void writeDiagnosticIdentityJson(std::string& out, DiagnosticTarget target) {
    writeDiagnosticIdentityJson(out, target, readUiBundleFacts());
}

void writeDiagnosticIdentityJson(std::string& out, DiagnosticTarget target,
                                 const UiBundleFacts& ui) {
    out +=
        "{\"moduleId\":\"music.kelvo.drum-synth\",\"name\":\"Tambro Synth\","
        "\"vendor\":\"Kelvo Music\",\"version\":\"0.1.0\",\"hostClass\":\"instrument\","
        "\"target\":";
    jsonAppendQuoted(out, diagnosticTargetName(target));
    out +=
        ",\"sdkVersion\":\"0.0.0\",\"build\":{\"mode\":\"production\",\"configuration\":"
        "\"Release\"}";
    if (!ui.empty()) {
        out += ",\"ui\":{";
        Members members(out);
        if (fixedTextLength(ui.buildTime) > 0)
            jsonAppendFixedText(members.next("buildTime"), ui.buildTime);
        if (fixedTextLength(ui.sourceRevision) > 0)
            jsonAppendFixedText(members.next("sourceRevision"), ui.sourceRevision);
        if (fixedTextLength(ui.sha256) > 0) jsonAppendFixedText(members.next("sha256"), ui.sha256);
        out += '}';
    }
    out +=
        ",\"ratePolicy\":{\"mode\":\"host-native\"},\"state\":{\"version\":1,\"maxBytes\":65536},"
        "\"ports\":[{\"id\":\"out\",\"kind\":\"audio\",\"direction\":\"output\","
        "\"busRole\":\"main\",\"channels\":2},{\"id\":\"midi-in\",\"kind\":\"midi\","
        "\"direction\":\"input\",\"busRole\":\"main\"}]}";
}

bool writeDiagnosticBankJson(std::string& out, const BankFacts& bank) {
    if (!bank.valid || fixedTextLength(bank.id) == 0) return false;
    out += '{';
    Members members(out);
    jsonAppendFixedText(members.next("id"), bank.id);
    const struct {
        const char* name;
        const char (&text)[BANK_FACT_TEXT_BYTES];
    } texts[] = {{"name", bank.name},     {"kind", bank.kind},     {"version", bank.version},
                 {"sha256", bank.sha256}, {"source", bank.source}, {"entryId", bank.entryId}};
    for (const auto& text : texts)
        if (fixedTextLength(text.text) > 0) jsonAppendFixedText(members.next(text.name), text.text);
    const struct {
        const char* name;
        int32_t value;
    } numbers[] = {{"index", bank.index},
                   {"zoneCount", bank.zoneCount},
                   {"roundRobinGroups", bank.roundRobinGroups},
                   {"chokeGroups", bank.chokeGroups},
                   {"velocityLayers", bank.velocityLayers},
                   {"padCount", bank.padCount}};
    for (const auto& number : numbers)
        if (number.value >= 0) appendInteger(members.next(number.name), number.value);
    out += '}';
    return true;
}

void writeDiagnosticPresetStateJson(std::string& out, const PresetStateFacts& facts) {
    out += "{\"factoryCount\":";
    appendInteger(out, facts.factoryCount);
    if (fixedTextLength(facts.currentId) > 0) {
        out += ",\"currentId\":";
        jsonAppendFixedText(out, facts.currentId);
    }
    if (fixedTextLength(facts.currentName) > 0) {
        out += ",\"currentName\":";
        jsonAppendFixedText(out, facts.currentName);
    }
    out += ",\"dirty\":";
    appendBool(out, facts.dirty);
    out += ",\"userPresetsSupported\":";
    appendBool(out, facts.userPresetsSupported);
    if (facts.lastStateBytes >= 0) {
        out += ",\"lastStateBytes\":";
        appendInteger(out, facts.lastStateBytes);
    }
    if (facts.bank.valid && fixedTextLength(facts.bank.id) > 0) {
        out += ",\"bank\":";
        writeDiagnosticBankJson(out, facts.bank);
    }
    out += '}';
}

void appendDiagnosticHelloBlocks(std::string& out, DiagnosticTarget target, const HostFacts& host,
                                 const PresetStateFacts& preset) {
    appendDiagnosticHelloBlocks(out, target, host, preset, readUiBundleFacts());
}

void appendDiagnosticHelloBlocks(std::string& out, DiagnosticTarget target, const HostFacts& host,
                                 const PresetStateFacts& preset, const UiBundleFacts& ui) {
    out += ",\"identity\":";
    writeDiagnosticIdentityJson(out, target, ui);
    if (host.sampleRate > 0.0) {
        out += ",\"host\":";
        writeDiagnosticHostJson(out, host);
    }
    out += ",\"diagnostics\":{\"feeds\":[],\"commands\":[],\"maxFeedHz\":0}";
    out += ",\"presetState\":";
    writeDiagnosticPresetStateJson(out, preset);
}

}  // namespace kelvo
