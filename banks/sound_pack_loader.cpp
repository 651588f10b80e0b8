#include "sound_pack_loader.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <new>
#include <utility>
#include <vector>

#include "bank_paths.h"
#include "manifest_json.h"
#include "sha256_hex.h"
#include "wav_decoder.h"
#include "whole_file.h"

namespace kelvo {

namespace {

constexpr std::string_view BANK_FORMAT = "kelvo-sound-pack/v1";
constexpr std::string_view INSTRUMENT_FORMAT = "kelvo-sampler-instrument/v1";
// Zone offsets are 32-bit, so no arena may hold more frames than this.
constexpr uint64_t ARENA_ADDRESSABLE_FRAMES = 0xFFFFFFFFu;

struct Asset {
    std::string path;
    std::vector<uint8_t> bytes;
};

struct Placement {
    WavLayout layout;  // into the asset's bytes
    uint32_t offset = 0;
    uint32_t frames = 0;
};

std::string quoted(std::string_view text) {
    std::string out = "\"";
    out += text;
    out += '"';
    return out;
}

// Converts to u32 with the fraction dropped: NaN and anything not above 0
// give 0, anything at or above the top saturates.
uint32_t toU32(double value) {
    if (!(value > 0)) return 0;
    if (value >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(value);
}

uint64_t toU64(double value) {
    if (!(value > 0)) return 0;
    if (value >= 18446744073709551615.0) return UINT64_MAX;
    return static_cast<uint64_t>(value);
}

// A frame key present with a value other than null; a non-number reads as 0.
bool frameKey(const JsonValue& zone, std::string_view key, uint32_t& out) {
    const JsonValue* member = zone.find(key);
    if (!member || member->isNull()) return false;
    out = member->isNumber() ? toU32(member->number) : 0;
    return true;
}

uint32_t groupKey(const JsonValue& zone, std::string_view key) {
    const JsonValue* member = zone.find(key);
    return member && member->isNumber() ? toU32(member->number) : 0;
}

// Keys and velocities: clamped to 0…127 and rounded half up.
uint32_t midiKey(const JsonValue& zone, std::string_view key, uint32_t fallback) {
    const JsonValue* member = zone.find(key);
    if (!member || !member->isNumber()) return fallback;
    double value = member->number;
    if (!(value > 0)) return 0;
    if (value > 127) return 127;
    return static_cast<uint32_t>(value + 0.5);
}

// Numbers are taken as written, except that a non-finite value ("nan" and
// "inf" pass the number reader) keeps the default rather than reaching the
// audio path.
double realKey(const JsonValue& zone, std::string_view key, double fallback) {
    const JsonValue* member = zone.find(key);
    if (!member || !member->isNumber() || !std::isfinite(member->number)) return fallback;
    return member->number;
}

bool flagKey(const JsonValue& zone, std::string_view key, bool fallback) {
    const JsonValue* member = zone.find(key);
    return member && member->isBoolean() ? member->flag : fallback;
}

bool readDocument(const std::string& directory, const std::string& path, JsonValue& out) {
    std::vector<uint8_t> bytes;
    return readWholeFile(joinPath(directory, path), bytes) && parseJsonDocument(bytes, out) &&
           out.isObject();
}

StagedZone buildZone(const JsonValue& zone, const Placement& placement) {
    StagedZone staged;
    staged.id = zone.str("id");
    staged.assetOffset = staged.playOffset = placement.offset;
    staged.assetFrames = staged.playFrames = placement.frames;
    staged.sourceRate = placement.layout.sampleRate;

    uint32_t start = 0;
    uint32_t value;
    if (frameKey(zone, "startFrame", value) && value < staged.assetFrames) {
        start = value;
        staged.playOffset += start;
        staged.playFrames -= start;
    }
    if (frameKey(zone, "endFrame", value) && value > start)
        staged.playFrames = std::min(value - start, staged.playFrames);

    staged.lowKey = midiKey(zone, "lowKey", 0);
    staged.highKey = midiKey(zone, "highKey", 127);
    staged.rootKey = midiKey(zone, "rootKey", 60);
    staged.lowVelocity = midiKey(zone, "lowVelocity", 0);
    staged.highVelocity = midiKey(zone, "highVelocity", 127);
    staged.keyTracking = flagKey(zone, "keyTracking", true) ? 1 : 0;
    staged.reverse = flagKey(zone, "reverse", false);
    staged.gain = realKey(zone, "gain", 1);
    staged.pan = realKey(zone, "pan", 0);
    staged.fineTuneCents = realKey(zone, "fineTuneCents", 0);
    staged.attackSeconds = realKey(zone, "attackSeconds", 0.001);
    staged.releaseSeconds = realKey(zone, "releaseSeconds", 0.05);
    staged.filterCutoffHz = realKey(zone, "filterCutoffHz", 0);
    staged.filterResonance = realKey(zone, "filterResonance", 0);
    staged.roundRobinGroup = groupKey(zone, "roundRobinGroup");
    staged.chokeGroup = groupKey(zone, "chokeGroup");
    staged.trigger = triggerCode(zone.str("trigger", "attack"));

    uint32_t loopStart, loopEnd;
    if (zone.str("loopMode", "none") == "forward" && frameKey(zone, "loopStartFrame", loopStart) &&
        frameKey(zone, "loopEndFrame", loopEnd)) {
        staged.loopStartFrameDeclared = loopStart;
        staged.loopEndFrameDeclared = loopEnd;
        if (loopStart >= start && loopEnd > loopStart && loopEnd - start <= staged.playFrames) {
            staged.loopEnabled = 1;
            staged.loopStart = loopStart - start;
            staged.loopEnd = loopEnd - start;
            uint32_t crossfade = groupKey(zone, "loopCrossfadeFrames");
            staged.loopCrossfadeDeclared = crossfade;
            if (staged.loopEnd - staged.loopStart >= crossfade) staged.loopCrossfade = crossfade;
        }
    }
    return staged;
}

class PackLoader {
  public:
    PackLoader(const std::string& directory, uint32_t arenaFrames, const std::string& requested,
               RuntimeBankLoad& load)
        : directory_(directory), arenaFrames_(arenaFrames), requested_(requested), load_(load) {}

    bool run();

  private:
    bool fail(int32_t outcome, std::string message) {
        load_.outcome = outcome;
        load_.message = std::move(message);
        return false;
    }
    bool failEmptied(int32_t outcome, std::string message) {
        load_.bank = StagedBank{};
        return fail(outcome, std::move(message));
    }

    bool readManifest();
    bool verifyAssets();
    void collectPositions();
    void collectPresets();
    bool selectInstrument();
    bool stageZones();

    const std::string& directory_;
    const uint32_t arenaFrames_;
    const std::string& requested_;
    RuntimeBankLoad& load_;
    StagedBank& bank_ = load_.bank;

    JsonValue manifest_;
    std::map<std::string, Asset, std::less<>> assets_;
    std::string documentPath_;
};

bool PackLoader::readManifest() {
    std::string path = joinPath(directory_, "bank.json");
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes)) return fail(RUNTIME_BANK_MISSING, "cannot read " + path);
    if (!parseJsonDocument(bytes, manifest_) || !manifest_.isObject())
        return fail(RUNTIME_BANK_MALFORMED, "bank.json is not a JSON object");
    std::string format = manifest_.str("format");
    if (format != BANK_FORMAT)
        return fail(RUNTIME_BANK_MALFORMED,
                    "bank.json format is " + quoted(format) + ", expected kelvo-sound-pack/v1");
    bank_.id = manifest_.str("id");
    bank_.version = manifest_.str("version");
    bank_.name = manifest_.str("name");
    if (bank_.id.empty()) return fail(RUNTIME_BANK_MALFORMED, "bank.json declares no id");
    bank_.sha256 = sha256Hex(bytes.data(), bytes.size());
    return true;
}

// Size before digest: a size mismatch is reported without hashing the file.
bool PackLoader::verifyAssets() {
    const JsonValue* table = manifest_.find("assetTable");
    if (!table || !table->isArray() || table->list.empty())
        return fail(RUNTIME_BANK_MALFORMED, "bank.json declares no assetTable");
    for (const JsonValue& entry : table->list) {
        if (!entry.isObject()) continue;
        std::string id = entry.str("id");
        std::string path = entry.str("path");
        std::string digest = entry.str("sha256");
        std::string codec = entry.str("codec", "wav");
        if (id.empty() || path.empty())
            return fail(RUNTIME_BANK_MALFORMED, "assetTable entry missing id or path");
        if (!pathIsContained(path))
            return fail(RUNTIME_BANK_MALFORMED,
                        "asset " + quoted(id) + " path escapes the bank directory");
        if (codec != "wav")
            return fail(RUNTIME_BANK_UNSUPPORTED_CODEC,
                        "asset " + quoted(id) + " codec " + quoted(codec) +
                            " is not decoded by the native runtime loader (wav only)");
        Asset asset{path, {}};
        if (!readWholeFile(joinPath(directory_, path), asset.bytes))
            return fail(RUNTIME_BANK_MISSING, "asset " + quoted(id) + " file missing: " + path);
        const JsonValue* declared = entry.find("bytes");
        if (declared && declared->isNumber() && declared->number >= 0) {
            uint64_t expected = toU64(declared->number);
            if (asset.bytes.size() != expected)
                return fail(RUNTIME_BANK_HASH_MISMATCH,
                            "asset " + quoted(id) + " is " + std::to_string(asset.bytes.size()) +
                                " bytes, manifest declares " + std::to_string(expected));
        }
        if (!digest.empty()) {
            std::string actual = sha256Hex(asset.bytes.data(), asset.bytes.size());
            if (actual != digest)
                return fail(RUNTIME_BANK_HASH_MISMATCH, "asset " + quoted(id) + " sha256 " +
                                                            actual.substr(0, 16) +
                                                            "\u2026 does not match the manifest");
        }
        assets_.insert_or_assign(std::move(id), std::move(asset));
    }
    return true;
}

void PackLoader::collectPositions() {
    for (const char* kind : {"instruments", "kits"}) {
        const JsonValue* list = manifest_.find(kind);
        if (!list || !list->isArray()) continue;
        for (const JsonValue& entry : list->list) {
            if (!entry.isObject()) continue;
            std::string id = entry.str("id");
            if (id.empty()) continue;
            bank_.positions.push_back({std::move(id), entry.str("name"), kind});
        }
    }
}

// A preset that cannot be read or holds no usable parameter is left out
// without a word: presets are optional extras of a pack.
void PackLoader::collectPresets() {
    const JsonValue* list = manifest_.find("presets");
    if (!list || !list->isArray()) return;
    for (const JsonValue& entry : list->list) {
        if (!entry.isObject()) continue;
        StagedPreset preset;
        preset.id = entry.str("id");
        if (preset.id.empty()) continue;
        preset.name = entry.str("name");
        if (preset.name.empty()) preset.name = preset.id;
        preset.instrument = entry.str("instrument");
        std::string path = entry.str("document");
        JsonValue document;
        if (path.empty() || !pathIsContained(path) || !readDocument(directory_, path, document))
            continue;
        const JsonValue* params = document.find("params");
        if (!params || !params->isObject()) continue;
        for (const auto& [key, value] : params->map)
            if (value.isNumber() && std::isfinite(value.number))
                preset.params.emplace_back(key, value.number);
        if (!preset.params.empty()) bank_.presets.push_back(std::move(preset));
    }
}

bool PackLoader::selectInstrument() {
    for (const char* kind : {"instruments", "kits"}) {
        const JsonValue* list = manifest_.find(kind);
        if (!list || !list->isArray()) continue;
        for (const JsonValue& entry : list->list) {
            if (!entry.isObject()) continue;
            std::string id = entry.str("id");
            if (!requested_.empty() && id != requested_) continue;
            std::string document = entry.str("document");
            if (document.empty()) continue;
            bank_.instrumentId = std::move(id);
            bank_.instrumentName = entry.str("name");
            bank_.instrumentKind = kind;
            documentPath_ = std::move(document);
            return true;
        }
    }
    if (!requested_.empty()) {
        std::string message =
            "bank " + bank_.id + " has no instrument or kit " + quoted(requested_);
        if (bank_.positions.empty()) {
            message += " (the bank lists none)";
        } else {
            message += " (known: ";
            for (size_t i = 0; i < bank_.positions.size(); ++i) {
                if (i) message += ", ";
                message += bank_.positions[i].id;
            }
            message += ")";
        }
        return failEmptied(RUNTIME_BANK_INSTRUMENT_UNKNOWN, std::move(message));
    }
    return fail(RUNTIME_BANK_MALFORMED, "bank.json names no readable instrument/kit document");
}

bool PackLoader::stageZones() {
    if (!pathIsContained(documentPath_))
        return fail(RUNTIME_BANK_MALFORMED, "bank.json names no readable instrument/kit document");
    std::vector<uint8_t> bytes;
    if (!readWholeFile(joinPath(directory_, documentPath_), bytes))
        return fail(RUNTIME_BANK_MISSING, "instrument document missing: " + documentPath_);
    JsonValue document;
    if (!parseJsonDocument(bytes, document) || !document.isObject())
        return fail(RUNTIME_BANK_MALFORMED, "instrument document is not a JSON object");
    bytes = {};
    std::string format = document.str("format");
    if (format != INSTRUMENT_FORMAT)
        return fail(RUNTIME_BANK_MALFORMED, "instrument document format is " + quoted(format) +
                                                ", expected kelvo-sampler-instrument/v1");
    const JsonValue* zones = document.find("zones");
    if (!zones || !zones->isArray() || zones->list.empty())
        return fail(RUNTIME_BANK_MALFORMED, "instrument document declares no zones");

    // Decoding: each used asset once, in the order zones first name them.
    // Every check happens here; the samples are written straight into the
    // arena once its size is known to fit.
    std::map<std::string, Placement, std::less<>> placements;
    std::vector<Placement*> order;
    for (const JsonValue& zone : zones->list) {
        if (!zone.isObject()) continue;
        std::string assetId = zone.str("assetId");
        auto asset = assets_.find(assetId);
        if (asset == assets_.end())
            return fail(RUNTIME_BANK_MALFORMED, "zone " + quoted(zone.str("id")) + " names asset " +
                                                    quoted(assetId) +
                                                    " which the assetTable does not declare");
        if (placements.count(assetId)) continue;
        Placement& placement = placements[assetId];
        const std::vector<uint8_t>& bytes = asset->second.bytes;
        std::string error;
        if (!probeWav(bytes.data(), bytes.size(), placement.layout, error))
            return fail(RUNTIME_BANK_UNSUPPORTED_CODEC, "asset " + quoted(assetId) + ": " + error);
        order.push_back(&placement);
    }

    // Placement: the whole need is known before the arena grows, so an
    // oversized bank is refused without allocating it and the message names
    // everything it needs.
    uint64_t needed = 0;
    for (const Placement* placement : order)
        needed += placement->layout.frames;
    uint64_t limit = arenaFrames_ ? arenaFrames_ : ARENA_ADDRESSABLE_FRAMES;
    if (needed > limit)
        return failEmptied(RUNTIME_BANK_TOO_LARGE, "bank needs " + std::to_string(needed) +
                                                       " arena frames, the kernel published " +
                                                       std::to_string(limit));
    bank_.arena.resize(static_cast<size_t>(needed));
    uint32_t offset = 0;
    for (Placement* placement : order) {
        placement->offset = offset;
        placement->frames = static_cast<uint32_t>(placement->layout.frames);
        decodeWavFrames(placement->layout, bank_.arena.data() + offset);
        offset += placement->frames;
    }
    assets_.clear();

    for (const JsonValue& zone : zones->list) {
        if (!zone.isObject()) continue;
        bank_.zones.push_back(buildZone(zone, placements.find(zone.str("assetId"))->second));
    }
    bank_.sampleRate = 48000;
    if (!bank_.zones.empty() && bank_.zones.front().sourceRate > 0)
        bank_.sampleRate = bank_.zones.front().sourceRate;
    if (bank_.zones.empty() || bank_.arena.empty())
        return failEmptied(RUNTIME_BANK_MALFORMED, "bank staged no zones or no samples");
    return true;
}

bool PackLoader::run() {
    if (!readManifest() || !verifyAssets()) return false;
    collectPositions();
    collectPresets();
    return selectInstrument() && stageZones();
}

}  // namespace

RuntimeBankLoad loadRuntimeBank(const std::string& directory, uint32_t arenaFrames,
                                const std::string& requested) {
    RuntimeBankLoad load;
    try {
        PackLoader(directory, arenaFrames, requested, load).run();
    } catch (const std::bad_alloc&) {
        // A pack whose files or samples cannot be held in memory.
        load.bank = StagedBank{};
        load.outcome = RUNTIME_BANK_TOO_LARGE;
        load.message = "bank does not fit in memory";
    }
    return load;
}

}  // namespace kelvo
