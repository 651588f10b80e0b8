#include "state_document.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>
#include <optional>
#include <string_view>
#include <utility>

#include "base64.h"
#include "json_writer.h"
#include "name_table.h"

namespace kelvo {
namespace {

// Indexed by code - ASSET_FAULT_BASE: the five fault codes follow it.
constexpr uint32_t ASSET_FAULT_BASE = 0x53410000;
constexpr const char* ASSET_FAULT_NAMES[] = {
    nullptr,
    "missing-in-memory-asset",
    "corrupt-in-memory-asset",
    "moved-in-memory-asset",
    "changed-in-memory-asset",
    "unsupported-stereo-source",
};
static_assert(std::size(ASSET_FAULT_NAMES) ==
              SAMPLER_ASSET_UNSUPPORTED_STEREO - ASSET_FAULT_BASE + 1);

constexpr const char* ZONE_PROGRAM_NAMES[] = {
    "legacy-single-zone", "one-shot-drum",    "looped-pad-release", "velocity-round-robin",
    "key-zones-pitch",    "stereo-multi-mic", "choke-and-sustain",  "voice-limit-steal",
};
static_assert(std::size(ZONE_PROGRAM_NAMES) == SAMPLER_ZONE_PROGRAM_COUNT);

constexpr const char* BANK_SOURCE_NAMES[] = {"embedded", "module-relative", "user-folder",
                                             "hosted"};

constexpr const char* ZONE_ABI = "kelvo-dual-stack-sampler/zone-layer/v1";

bool bankSourceKnown(std::string_view name) {
    return nameIndex(BANK_SOURCE_NAMES, name).has_value();
}

// Truncation toward zero, saturating at the 32-bit limits; NaN gives 0.
int32_t toInt32(double value) {
    if (std::isnan(value)) return 0;
    double whole = std::trunc(value);
    if (whole <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    if (whole >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(whole);
}

// `text` must fit: at most N - 1 bytes.
template <size_t N>
void storeText(char (&field)[N], std::string_view text) {
    std::fill(std::copy(text.begin(), text.end(), field), field + N, '\0');
}

// Bank texts are stored as C strings: a text fits its field with room for
// the terminator and without a NUL byte of its own, which would cut it.
template <size_t N>
bool fits(const char (&)[N], std::string_view text) {
    return text.size() < N && isCText(text);
}

// The text when it fits, otherwise an empty field.
template <size_t N>
void storeIfFits(char (&field)[N], std::string_view text) {
    storeText(field, fits(field, text) ? text : std::string_view());
}

bool present(const char* text) {
    return text && *text;
}

bool readParams(Reader& reader, StateChunk& chunk) {
    return readObject(reader, [&chunk](Reader& r, std::string_view key) {
        double value = 0.0;
        switch (peek(r)) {
            case 't':
                if (!matchLiteral(r, "true")) return false;
                value = 1.0;
                break;
            case 'f':
                if (!matchLiteral(r, "false")) return false;
                value = 0.0;
                break;
            default:
                if (!parseNumber(r, &value)) return skipValue(r, 2);
                // inf and nan have no JSON form (the writer puts null, which
                // reads back as absent) and would reach the engine as they
                // are: treated as no value.
                if (!std::isfinite(value)) return true;
                break;
        }
        int id = paramIndexForPath(key);
        if (id >= 0) {
            chunk.params[id] = value;
            chunk.paramPresent[id] = true;
        }
        return true;
    });
}

bool readSampler(Reader& reader, StateChunk& chunk) {
    double version = 0.0;
    bool hasPads = false;
    SamplerPadOverrides pads;
    bool ok = readObject(reader, [&](Reader& r, std::string_view key) {
        if (key == "v") return parseNumber(r, &version);
        if (key == "pads" && peek(r) == '{') {
            // A second "pads" map merges into the first, in order.
            hasPads = true;
            return parsePadOverrideMap(r, pads);
        }
        return skipValue(r, 1);
    });
    if (!ok) return false;
    if (version == 1.0 && hasPads) {
        chunk.pads = std::move(pads);
        chunk.padsPresent = true;
    }
    return true;
}

bool readAuthored(Reader& reader, StateChunk& chunk) {
    double version = 0.0;
    std::string bytes;
    bool ok = readObject(reader, [&](Reader& r, std::string_view key) {
        if (key == "v") return parseNumber(r, &version);
        if (key == "bytes" && peek(r) == '"') return parseString(r, &bytes);
        return skipValue(r, 1);
    });
    if (!ok) return false;
    if (bytes.empty()) return true;
    // A payload that does not decode is ignored; the earlier one stays.
    std::vector<uint8_t> decoded;
    if (!base64Decode(bytes, decoded, AUTHORED_STATE_MAX_BYTES)) return true;
    chunk.authoredBytes = std::move(decoded);
    chunk.authoredVersion = toInt32(version);
    chunk.authoredPresent = true;
    return true;
}

enum BankText { ID, VERSION, SHA256, SOURCE, PRESET_ID, INSTRUMENT, LOCATOR, BANK_TEXT_COUNT };

constexpr const char* BANK_KEYS[] = {"id",       "bankVersion", "sha256", "source",
                                     "presetId", "instrument",  "locator"};
static_assert(std::size(BANK_KEYS) == BANK_TEXT_COUNT);

bool readBank(Reader& reader, StateChunk& chunk) {
    std::string texts[BANK_TEXT_COUNT];
    bool ok = readObject(reader, [&texts](Reader& r, std::string_view key) {
        const std::optional<size_t> text = nameIndex(BANK_KEYS, key);
        if (text && peek(r) == '"') return parseString(r, &texts[*text]);
        return skipValue(r, 1);
    });
    if (!ok) return false;
    const std::string& id = texts[ID];
    if (id.empty()) return true;
    if (!fits(chunk.bankId, id)) {
        storeText(chunk.bankId, {});
        return true;
    }
    const std::string& locator = texts[LOCATOR];
    const std::string& presetId = texts[PRESET_ID];
    const std::string& instrument = texts[INSTRUMENT];
    storeText(chunk.bankId, id);
    storeIfFits(chunk.bankVersion, texts[VERSION]);
    storeIfFits(chunk.bankSha256, texts[SHA256]);
    if (bankSourceKnown(texts[SOURCE])) storeText(chunk.bankSource, texts[SOURCE]);
    chunk.hasBankRef = true;
    if (!locator.empty()) {
        chunk.hasBankLocator = fits(chunk.bankLocator, locator);
        storeIfFits(chunk.bankLocator, locator);
    }
    if (!presetId.empty()) {
        chunk.hasBankPresetId = fits(chunk.bankPresetId, presetId);
        storeIfFits(chunk.bankPresetId, presetId);
    }
    if (!instrument.empty()) storeIfFits(chunk.bankInstrument, instrument);
    return true;
}

void writeBank(std::string& out, const BankStateRefOut& bank) {
    out += '{';
    JsonMembers members(out);
    auto appendIfPresent = [&members](const char* key, const char* text) {
        if (present(text)) jsonAppendQuoted(members.next(key), text);
    };
    jsonAppendNumber(members.next("version"), 1);
    jsonAppendQuoted(members.next("id"), bank.id);
    appendIfPresent("bankVersion", bank.bankVersion);
    appendIfPresent("sha256", bank.sha256);
    appendIfPresent("locator", bank.locator);
    jsonAppendQuoted(members.next("source"), present(bank.source) ? bank.source : "embedded");
    appendIfPresent("instrument", bank.instrument);
    appendIfPresent("presetId", bank.presetId);
    out += '}';
}

}  // namespace

const char* samplerAssetDiagnosticName(uint32_t code) {
    return nameAt(ASSET_FAULT_NAMES, code - ASSET_FAULT_BASE, "none");
}

bool samplerAssetDiagnosticFromName(std::string_view name, SamplerAssetDiagnostic* code) {
    const std::optional<size_t> index = nameIndex(ASSET_FAULT_NAMES, name);
    if (index && code) *code = static_cast<SamplerAssetDiagnostic>(ASSET_FAULT_BASE + *index);
    return index.has_value();
}

const char* samplerZoneProgramName(uint32_t program) {
    return nameAt(ZONE_PROGRAM_NAMES, program, ZONE_PROGRAM_NAMES[SAMPLER_ZONE_LEGACY_SINGLE]);
}

bool samplerZoneProgramNameKnown(std::string_view name) {
    return nameIndex(ZONE_PROGRAM_NAMES, name).has_value();
}

SamplerZoneProgram samplerZoneProgramFromName(std::string_view name) {
    return static_cast<SamplerZoneProgram>(
        nameIndex(ZONE_PROGRAM_NAMES, name).value_or(SAMPLER_ZONE_LEGACY_SINGLE));
}

bool bankSourceNameKnown(const char* name) {
    return name && bankSourceKnown(name);
}

std::string writeStateJson(const double* params, int32_t variation, const CcMap* ccMap,
                           uint32_t assetFault, uint32_t zoneProgram,
                           const BankStateRefOut* bankRef, const SamplerPadOverrides* pads,
                           const AuthoredStateOut* authored) {
    std::string out;
    out.reserve(650);
    out += '{';
    JsonMembers members(out);
    members.next("params") += '{';
    JsonMembers values(out);
    for (uint32_t id = 0; params && id < KELVO_PARAM_COUNT; ++id)
        jsonAppendNumber(values.next(KELVO_PARAMS[id].path), params[id]);
    out += '}';
    if (variation >= 0) jsonAppendNumber(members.next("variation"), variation);
    if (ccMap) writeCcMapJson(members.next("ccMap"), *ccMap);
    if (assetFault != SAMPLER_ASSET_NONE)
        jsonAppendQuoted(members.next("samplerAssetFault"), samplerAssetDiagnosticName(assetFault));
    if (zoneProgram != SAMPLER_ZONE_LEGACY_SINGLE) {
        jsonAppendQuoted(members.next("samplerZoneAbi"), ZONE_ABI);
        jsonAppendNumber(members.next("samplerZoneVersion"), 1);
        jsonAppendQuoted(members.next("samplerZoneProgram"), samplerZoneProgramName(zoneProgram));
    }
    if (pads && !pads->empty()) {
        members.next("sampler") += "{\"v\":1,\"pads\":";
        writeSamplerPadOverridesJson(out, *pads);
        out += '}';
    }
    if (bankRef && present(bankRef->id)) writeBank(members.next("bank"), *bankRef);
    if (authored && authored->bytes && authored->size) {
        members.next("authoredState") += "{\"v\":";
        jsonAppendNumber(out, authored->version);
        out += ",\"bytes\":\"";
        base64Append(out, authored->bytes, authored->size);
        out += "\"}";
    }
    out += '}';
    return out;
}

bool parseStateValue(Reader& reader, StateChunk& chunk) {
    std::string name;
    return readObject(reader, [&](Reader& r, std::string_view key) {
        if (key == "params") return readParams(r, chunk);
        if (key == "variation") {
            double value = 0.0;
            if (!parseNumber(r, &value)) return false;
            chunk.variation = toInt32(value);
            return true;
        }
        if (key == "ccMap") {
            char first = peek(r);
            if (first != '{' && first != '[') return skipValue(r, 1);
            // Read aside: a later map that is not valid keeps an earlier one.
            CcMap map;
            bool valid = false;
            if (!parseCcMapValue(r, map, valid)) return false;
            if (valid) {
                chunk.ccMap = map;
                chunk.ccMapPresent = true;
            }
            return true;
        }
        if (key == "samplerAssetFault") {
            if (!parseString(r, &name)) return false;  // a non-string fails
            SamplerAssetDiagnostic code = SAMPLER_ASSET_NONE;
            chunk.samplerAssetFaultPresent = samplerAssetDiagnosticFromName(name, &code);
            chunk.samplerAssetFault = code;
            return true;
        }
        if (key == "samplerZoneProgram") {
            if (!parseString(r, &name)) return false;  // a non-string fails
            if (samplerZoneProgramNameKnown(name)) {
                chunk.samplerZoneProgram = samplerZoneProgramFromName(name);
                chunk.samplerZoneProgramPresent = true;
            }
            return true;
        }
        if (key == "sampler" || key == "authoredState" || key == "bank") {
            if (peek(r) != '{') return skipValue(r, 1);
            if (key == "sampler") return readSampler(r, chunk);
            if (key == "authoredState") return readAuthored(r, chunk);
            return readBank(r, chunk);
        }
        return skipValue(r, 1);
    });
}

bool parseStateJson(const char* text, size_t length, StateChunk& chunk) {
    if (!text && length) return false;
    try {
        // The reader needs a NUL after the last byte; state streams carry
        // none.
        std::string owned(text ? text : "", length);
        Reader reader{owned.data(), owned.data() + owned.size()};
        return parseStateValue(reader, chunk) && atDocumentEnd(reader);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace kelvo
