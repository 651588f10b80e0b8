#include <cmath>
#include <iterator>

#include "host_facts.h"
#include "host_facts_compare.h"
#include "json_writer.h"
#include "name_table.h"

// Integers are written through jsonAppendNumber as doubles, like every other
// number in these messages (100000 is "1e+05").
namespace kelvo {
namespace {

constexpr const char* PROCESS_MODE_NAMES[] = {"realtime", "offline", "prefetch"};
static_assert(std::size(PROCESS_MODE_NAMES) == HOST_PROCESS_PREFETCH + 1);

constexpr const char* TRANSPORT_SOURCE_NAMES[] = {"none", "host", "internal"};
static_assert(std::size(TRANSPORT_SOURCE_NAMES) == TRANSPORT_SOURCE_INTERNAL + 1);

const char* processModeName(int32_t mode) {
    return nameAt(PROCESS_MODE_NAMES, mode, "realtime");
}

void appendTail(std::string& out, const HostFacts& facts) {
    if (facts.tailKind == HOST_TAIL_INFINITE)
        jsonAppendQuoted(out, "infinite");
    else if (facts.tailKind == HOST_TAIL_SAMPLES)
        jsonAppendNumber(out, facts.tailSamples);
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
        jsonAppendNumber(out, bus.channels);
        out += ",\"active\":";
        jsonAppendBool(out, bus.active != 0);
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

}  // namespace

void writeDiagnosticHostJson(std::string& out, const HostFacts& facts) {
    out += '{';
    JsonMembers members(out);
    if (fixedTextLength(facts.hostName) > 0)
        jsonAppendFixedText(members.next("hostName"), facts.hostName);
    if (fixedTextLength(facts.hostVersion) > 0)
        jsonAppendFixedText(members.next("hostVersion"), facts.hostVersion);
    if (fixedTextLength(facts.hostPath) > 0)
        jsonAppendFixedText(members.next("hostPath"), facts.hostPath);
    if (const char* validator = diagnosticValidatorKindName(facts.validatorKind))
        jsonAppendQuoted(members.next("validatorHost"), validator);
    jsonAppendNumber(members.next("sampleRate"), facts.sampleRate);
    jsonAppendNumber(members.next("maxBlockFrames"), facts.maxBlockFrames);
    if (facts.lastBlockFrames >= 0)
        jsonAppendNumber(members.next("lastBlockFrames"), facts.lastBlockFrames);
    jsonAppendQuoted(members.next("processMode"), processModeName(facts.processMode));
    jsonAppendNumber(members.next("sampleSize"), facts.sampleSize);
    jsonAppendNumber(members.next("latencySamples"), facts.latencySamples);
    appendTail(members.next("tailSamples"), facts);
    if (facts.internalSampleRate > 0.0)
        jsonAppendNumber(members.next("internalSampleRate"), facts.internalSampleRate);
    appendBuses(members.next("buses"), facts);
    if (facts.bypassKnown) jsonAppendBool(members.next("bypassed"), facts.bypassed != 0);
    out += '}';
}

bool writeDiagnosticHostDeltaJson(std::string& out, const HostFacts& previous,
                                  const HostFacts& current) {
    const size_t mark = out.size();
    out += '{';
    JsonMembers members(out);
    if (!sameNumber(previous.sampleRate, current.sampleRate))
        jsonAppendNumber(members.next("sampleRate"), current.sampleRate);
    if (previous.maxBlockFrames != current.maxBlockFrames)
        jsonAppendNumber(members.next("maxBlockFrames"), current.maxBlockFrames);
    if (previous.lastBlockFrames != current.lastBlockFrames && current.lastBlockFrames >= 0)
        jsonAppendNumber(members.next("lastBlockFrames"), current.lastBlockFrames);
    if (previous.processMode != current.processMode)
        jsonAppendQuoted(members.next("processMode"), processModeName(current.processMode));
    if (previous.sampleSize != current.sampleSize)
        jsonAppendNumber(members.next("sampleSize"), current.sampleSize);
    if (previous.latencySamples != current.latencySamples)
        jsonAppendNumber(members.next("latencySamples"), current.latencySamples);
    if (tailChanged(previous, current)) appendTail(members.next("tailSamples"), current);
    if (!sameNumber(previous.internalSampleRate, current.internalSampleRate) &&
        current.internalSampleRate > 0.0)
        jsonAppendNumber(members.next("internalSampleRate"), current.internalSampleRate);
    if (busesDiffer(previous, current)) appendBuses(members.next("buses"), current);
    if (bypassChanged(previous, current))
        jsonAppendBool(members.next("bypassed"), current.bypassed != 0);
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
    jsonAppendQuoted(out, nameAt(TRANSPORT_SOURCE_NAMES, fact.source, "none"));
    out += ",\"state\":{\"playing\":";
    jsonAppendBool(out, fact.playing != 0);
    out += ",\"recording\":";
    jsonAppendBool(out, fact.recording != 0);
    out += ",\"looping\":";
    jsonAppendBool(out, fact.looping != 0);
    out += ",\"tempo\":";
    jsonAppendNumber(out, fact.tempo);
    out += ",\"timeSignature\":{\"numerator\":";
    jsonAppendNumber(out, fact.numerator);
    out += ",\"denominator\":";
    jsonAppendNumber(out, fact.denominator);
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
    jsonAppendNumber(out, static_cast<double>(fact.projectTimeSamples));
    out += "},\"capabilities\":{\"tempo\":";
    jsonAppendBool(out, fact.hasTempo != 0);
    out += ",\"timeSignature\":";
    jsonAppendBool(out, fact.hasTimeSignature != 0);
    out += ",\"position\":";
    jsonAppendBool(out, fact.hasPosition != 0);
    out += ",\"loop\":";
    jsonAppendBool(out, fact.hasLoop != 0);
    out += ",\"canSetTempo\":";
    jsonAppendBool(out, fact.canSetTempo != 0);
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
        JsonMembers members(out);
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
    JsonMembers members(out);
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
        if (number.value >= 0) jsonAppendNumber(members.next(number.name), number.value);
    out += '}';
    return true;
}

void writeDiagnosticPresetStateJson(std::string& out, const PresetStateFacts& facts) {
    out += "{\"factoryCount\":";
    jsonAppendNumber(out, facts.factoryCount);
    if (fixedTextLength(facts.currentId) > 0) {
        out += ",\"currentId\":";
        jsonAppendFixedText(out, facts.currentId);
    }
    if (fixedTextLength(facts.currentName) > 0) {
        out += ",\"currentName\":";
        jsonAppendFixedText(out, facts.currentName);
    }
    out += ",\"dirty\":";
    jsonAppendBool(out, facts.dirty);
    out += ",\"userPresetsSupported\":";
    jsonAppendBool(out, facts.userPresetsSupported);
    if (facts.lastStateBytes >= 0) {
        out += ",\"lastStateBytes\":";
        jsonAppendNumber(out, static_cast<double>(facts.lastStateBytes));
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
