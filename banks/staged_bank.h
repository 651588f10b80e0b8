// The staged form of a sound pack: what the loader hands to the engine, and
// the outcome codes every bank operation reports.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelvo {

enum RuntimeBankOutcome : int32_t {
    RUNTIME_BANK_OK = 0,
    RUNTIME_BANK_MISSING = 1,             // a file could not be read
    RUNTIME_BANK_HASH_MISMATCH = 2,       // an asset's size or digest differs
    RUNTIME_BANK_MALFORMED = 3,           // manifest or instrument document invalid
    RUNTIME_BANK_UNSUPPORTED_CODEC = 4,   // not WAV, or a WAV the decoder refuses
    RUNTIME_BANK_TOO_LARGE = 5,           // the samples exceed the arena
    RUNTIME_BANK_INSTRUMENT_UNKNOWN = 6,  // the requested instrument or kit is absent
};

// The stable name of an outcome; any value outside 0…6 is "bank-missing".
const char* runtimeBankOutcomeName(int32_t outcome);

// "release" → 1, "legato" → 2, anything else (attack) → 0.
uint32_t triggerCode(std::string_view text);

inline constexpr uint32_t STAGED_ZONE_UNDECLARED = 0xFFFFFFFFu;

struct StagedPositioning {
    std::string id;
    std::string name;
    std::string kind;  // "instruments" or "kits"
};

struct StagedPreset {
    std::string id;
    std::string name;
    std::string instrument;
    std::vector<std::pair<std::string, double>> params;  // ascending by id
};

// One zone of the staged instrument. Offsets and frame counts are in mono
// frames of the bank's arena.
struct StagedZone {
    std::string id;
    uint32_t assetOffset = 0;
    uint32_t assetFrames = 0;
    uint32_t loopStartFrameDeclared = STAGED_ZONE_UNDECLARED;
    uint32_t loopEndFrameDeclared = STAGED_ZONE_UNDECLARED;
    uint32_t loopCrossfadeDeclared = STAGED_ZONE_UNDECLARED;
    uint32_t playOffset = 0;
    uint32_t playFrames = 0;
    double sourceRate = 48000;
    uint32_t lowKey = 0;
    uint32_t highKey = 127;
    uint32_t rootKey = 60;
    uint32_t keyTracking = 1;
    uint32_t lowVelocity = 0;
    uint32_t highVelocity = 127;
    double gain = 1;
    double pan = 0;
    double fineTuneCents = 0;
    uint32_t roundRobinGroup = 0;
    uint32_t chokeGroup = 0;
    uint32_t trigger = 0;  // 0 attack, 1 release, 2 legato
    uint32_t loopEnabled = 0;
    uint32_t loopStart = 0;  // relative to the first played frame
    uint32_t loopEnd = 0;
    uint32_t loopCrossfade = 0;
    double attackSeconds = 0.001;
    double releaseSeconds = 0.05;
    bool reverse = false;
    double filterCutoffHz = 0;  // 0: no filter setting
    double filterResonance = 0;
};

struct StagedBank {
    std::string id;
    std::string version;
    std::string instrumentId;
    std::string instrumentName;
    std::string instrumentKind;  // "instruments" or "kits"
    std::vector<StagedPositioning> positions;
    std::vector<StagedPreset> presets;
    std::string sha256;  // of the manifest bytes
    std::string name;
    std::vector<float> arena;  // every used asset, one after another
    std::vector<StagedZone> zones;
    double sampleRate = 48000;
};

}  // namespace kelvo
