// What the plug-in knows about its host and the host transport, as the fixed
// binary records the processor sends the controller, and the JSON the
// controller writes from them for the page and diagnostics clients.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "fixed_text.h"
#include "ui_bundle_facts.h"

namespace kelvo {

// The records travel as raw bytes in this byte order.
static_assert(std::endian::native == std::endian::little);

constexpr uint8_t HOST_VALIDATOR_NONE = 0;
constexpr uint8_t HOST_VALIDATOR_PLUGINVAL = 1;
constexpr uint8_t HOST_VALIDATOR_CLAP_VALIDATOR = 2;
constexpr uint8_t HOST_VALIDATOR_AUVAL = 3;
constexpr uint8_t HOST_VALIDATOR_STEINBERG = 4;
constexpr uint8_t HOST_VALIDATOR_KELVO_PROBE = 5;

constexpr int32_t HOST_PROCESS_REALTIME = 0;
constexpr int32_t HOST_PROCESS_OFFLINE = 1;
constexpr int32_t HOST_PROCESS_PREFETCH = 2;

constexpr uint32_t HOST_TAIL_UNREPORTED = 0;
constexpr uint32_t HOST_TAIL_SAMPLES = 1;
constexpr uint32_t HOST_TAIL_INFINITE = 2;

constexpr uint32_t HOST_FACTS_MAX_BUSES = 8;

struct HostBusFacts {
    char id[32] = {};
    uint8_t isInput = 0;  // 1 input, 0 output
    uint8_t reserved0[3] = {};
    int32_t channels = 0;
    uint8_t active = 0;
    char layout[24] = {};  // empty when unknown
    uint8_t reserved1[3] = {};
};

// Flags are bytes (not bool) because the record is filled from raw message
// bytes: any non-zero byte reads as true.
struct HostFacts {
    char hostName[128] = {};
    char hostVersion[64] = {};
    char hostPath[512] = {};
    uint8_t validatorKind = 0;  // HOST_VALIDATOR_*
    uint8_t reserved0[7] = {};
    double sampleRate = 0.0;  // 0: not configured
    int32_t maxBlockFrames = 0;
    int32_t lastBlockFrames = -1;  // -1: unknown
    int32_t processMode = 0;       // HOST_PROCESS_*
    int32_t sampleSize = 32;       // bits per sample, 32 or 64
    int32_t latencySamples = 0;
    uint32_t tailKind = 0;  // HOST_TAIL_*
    uint32_t tailSamples = 0;
    uint8_t reserved1[4] = {};
    double internalSampleRate = 0.0;  // kernel rate; 0: none
    uint8_t bypassKnown = 0;
    uint8_t bypassed = 0;
    uint8_t reserved2[2] = {};
    HostBusFacts buses[HOST_FACTS_MAX_BUSES] = {};
    uint32_t busCount = 0;  // 0...8

    // All zero but lastBlockFrames -1 and sampleSize 32 (there is no padding:
    // every byte is a field or a reserved field).
    HostFacts();
    // Fills the next bus record (id cut to 31 characters, layout to 23; null
    // gives an empty text); does nothing once eight buses are present.
    void addBus(const char* id, bool isInput, int32_t channels, bool active, const char* layout);
};

static_assert(sizeof(HostBusFacts) == 68);
static_assert(offsetof(HostBusFacts, id) == 0);
static_assert(offsetof(HostBusFacts, isInput) == 32);
static_assert(offsetof(HostBusFacts, channels) == 36);
static_assert(offsetof(HostBusFacts, active) == 40);
static_assert(offsetof(HostBusFacts, layout) == 41);

static_assert(sizeof(HostFacts) == 1312);
static_assert(offsetof(HostFacts, hostName) == 0);
static_assert(offsetof(HostFacts, hostVersion) == 128);
static_assert(offsetof(HostFacts, hostPath) == 192);
static_assert(offsetof(HostFacts, validatorKind) == 704);
static_assert(offsetof(HostFacts, sampleRate) == 712);
static_assert(offsetof(HostFacts, maxBlockFrames) == 720);
static_assert(offsetof(HostFacts, lastBlockFrames) == 724);
static_assert(offsetof(HostFacts, processMode) == 728);
static_assert(offsetof(HostFacts, sampleSize) == 732);
static_assert(offsetof(HostFacts, latencySamples) == 736);
static_assert(offsetof(HostFacts, tailKind) == 740);
static_assert(offsetof(HostFacts, tailSamples) == 744);
static_assert(offsetof(HostFacts, internalSampleRate) == 752);
static_assert(offsetof(HostFacts, bypassKnown) == 760);
static_assert(offsetof(HostFacts, bypassed) == 761);
static_assert(offsetof(HostFacts, buses) == 764);
static_assert(offsetof(HostFacts, busCount) == 1308);
static_assert(std::is_trivially_copyable_v<HostFacts>);
static_assert(std::is_standard_layout_v<HostFacts>);

constexpr uint8_t TRANSPORT_SOURCE_NONE = 0;
constexpr uint8_t TRANSPORT_SOURCE_HOST = 1;
constexpr uint8_t TRANSPORT_SOURCE_INTERNAL = 2;

// Zero-initialised by default; flags are bytes for the same reason as above.
struct TransportFact {
    uint64_t atFrame = 0;  // running frame count when sampled
    uint8_t source = TRANSPORT_SOURCE_NONE;
    uint8_t playing = 0;
    uint8_t recording = 0;
    uint8_t looping = 0;
    uint8_t hasTempo = 0;
    uint8_t hasTimeSignature = 0;
    uint8_t hasPosition = 0;
    uint8_t hasLoop = 0;
    uint8_t canSetTempo = 0;
    uint8_t reserved[7] = {};
    double tempo = 0.0;  // BPM
    int32_t numerator = 0;
    int32_t denominator = 0;
    double ppqPosition = 0.0;
    double barPositionPpq = 0.0;
    double loopStartPpq = 0.0;
    double loopEndPpq = 0.0;
    double sampleRate = 0.0;
    int64_t projectTimeSamples = 0;

    // True when the state, capabilities, tempo, time signature, loop points or
    // rate differ (numbers compared bit for bit, as they would be written);
    // the running positions do not count.
    bool differsFrom(const TransportFact& other) const;
};

static_assert(sizeof(TransportFact) == 88);
static_assert(offsetof(TransportFact, atFrame) == 0);
static_assert(offsetof(TransportFact, source) == 8);
static_assert(offsetof(TransportFact, playing) == 9);
static_assert(offsetof(TransportFact, recording) == 10);
static_assert(offsetof(TransportFact, looping) == 11);
static_assert(offsetof(TransportFact, hasTempo) == 12);
static_assert(offsetof(TransportFact, hasTimeSignature) == 13);
static_assert(offsetof(TransportFact, hasPosition) == 14);
static_assert(offsetof(TransportFact, hasLoop) == 15);
static_assert(offsetof(TransportFact, canSetTempo) == 16);
static_assert(offsetof(TransportFact, tempo) == 24);
static_assert(offsetof(TransportFact, numerator) == 32);
static_assert(offsetof(TransportFact, denominator) == 36);
static_assert(offsetof(TransportFact, ppqPosition) == 40);
static_assert(offsetof(TransportFact, barPositionPpq) == 48);
static_assert(offsetof(TransportFact, loopStartPpq) == 56);
static_assert(offsetof(TransportFact, loopEndPpq) == 64);
static_assert(offsetof(TransportFact, sampleRate) == 72);
static_assert(offsetof(TransportFact, projectTimeSamples) == 80);
static_assert(std::is_trivially_copyable_v<TransportFact>);
static_assert(std::is_standard_layout_v<TransportFact>);

constexpr size_t BANK_FACT_TEXT_BYTES = 128;

// A compiled bank's description; absent texts are empty, absent numbers -1.
struct BankFacts {
    bool valid = false;
    char id[BANK_FACT_TEXT_BYTES] = {};
    char name[BANK_FACT_TEXT_BYTES] = {};
    char kind[BANK_FACT_TEXT_BYTES] = {};
    char version[BANK_FACT_TEXT_BYTES] = {};
    char sha256[BANK_FACT_TEXT_BYTES] = {};
    char source[BANK_FACT_TEXT_BYTES] = {};
    char entryId[BANK_FACT_TEXT_BYTES] = {};
    int32_t index = -1;
    int32_t zoneCount = -1;
    int32_t roundRobinGroups = -1;
    int32_t chokeGroups = -1;
    int32_t velocityLayers = -1;
    int32_t padCount = -1;

    void reset() { *this = BankFacts{}; }
};

constexpr size_t PRESET_FACT_TEXT_BYTES = 96;  // 95 characters and the NUL

// Controller memory only.
struct PresetStateFacts {
    uint32_t factoryCount = 6;
    char currentId[PRESET_FACT_TEXT_BYTES] = {};
    char currentName[PRESET_FACT_TEXT_BYTES] = {};
    bool dirty = false;
    bool userPresetsSupported = false;
    int64_t lastStateBytes = -1;  // -1: no state document produced or restored yet
    BankFacts bank;
};

// This build compiles no banks in.
uint32_t compiledBankCount();
// Resets `out`; true when compiled bank `index` was described (never here).
bool describeCompiledBank(uint32_t index, BankFacts& out);

enum class DiagnosticTarget : uint8_t { Vst3, Clap, Au, Standalone, Offline };
// "vst3", "clap", "au", "standalone"; "offline" for Offline and anything larger.
const char* diagnosticTargetName(DiagnosticTarget target);
// "pluginval" ... "kelvo-probe" for kinds 1...5; null for an ordinary host.
const char* diagnosticValidatorKindName(uint8_t validatorKind);

// The lifecycle kind name of the first change found between two host facts
// records, in a fixed order of importance; null when nothing but the host
// identity differs.
const char* diagnosticHostChangeKind(const HostFacts& previous, const HostFacts& current);

// All writers append to `out` without whitespace.
void writeDiagnosticHostJson(std::string& out, const HostFacts& facts);
// The members of `current` that differ from `previous` (never the host
// identity); appends nothing and returns false when none do.
bool writeDiagnosticHostDeltaJson(std::string& out, const HostFacts& previous,
                                  const HostFacts& current);
// The "kelvo.hostChanged" message with the delta and, when there is a change
// kind, the event; appends nothing and returns false for an empty delta.
bool writeDiagnosticHostChangedJson(std::string& out, const HostFacts& previous,
                                    const HostFacts& current, uint64_t seq, double timeMs);
// The "kelvo.transport" message.
void writeDiagnosticTransportJson(std::string& out, const TransportFact& fact);
// The plug-in's identity block; the overload without facts reports the UI
// bundle of the loaded plug-in.
void writeDiagnosticIdentityJson(std::string& out, DiagnosticTarget target);
void writeDiagnosticIdentityJson(std::string& out, DiagnosticTarget target,
                                 const UiBundleFacts& ui);
void writeDiagnosticPresetStateJson(std::string& out, const PresetStateFacts& facts);
// The bank block; appends nothing and returns false unless the facts are
// valid and name a bank id.
bool writeDiagnosticBankJson(std::string& out, const BankFacts& bank);
// The identity, host (only once a sample rate is known), diagnostics and
// preset-state members of the hello, each preceded by a comma.
void appendDiagnosticHelloBlocks(std::string& out, DiagnosticTarget target, const HostFacts& host,
                                 const PresetStateFacts& preset);
void appendDiagnosticHelloBlocks(std::string& out, DiagnosticTarget target, const HostFacts& host,
                                 const PresetStateFacts& preset, const UiBundleFacts& ui);

}  // namespace kelvo
