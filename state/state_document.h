// The state document: the whole persistent state of an instance (parameter
// values, variation, CC map, pad overrides, bank reference, sampler facts)
// as one JSON object. The processor stores it in the host's state stream;
// the controller reads the same document and writes it for the editor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cc_map.h"
#include "json_reader.h"
#include "kelvo_params.h"
#include "sampler_pad_overrides.h"

namespace kelvo {

enum SamplerAssetDiagnostic : uint32_t {
    SAMPLER_ASSET_NONE = 0,
    SAMPLER_ASSET_MISSING_IN_MEMORY = 0x53410001,
    SAMPLER_ASSET_CORRUPT_IN_MEMORY = 0x53410002,
    SAMPLER_ASSET_MOVED_IN_MEMORY = 0x53410003,
    SAMPLER_ASSET_CHANGED_IN_MEMORY = 0x53410004,
    SAMPLER_ASSET_UNSUPPORTED_STEREO = 0x53410005,
};

enum SamplerZoneProgram : uint32_t {
    SAMPLER_ZONE_LEGACY_SINGLE = 0,
    SAMPLER_ZONE_ONE_SHOT_DRUM = 1,
    SAMPLER_ZONE_LOOPED_PAD_RELEASE = 2,
    SAMPLER_ZONE_VELOCITY_ROUND_ROBIN = 3,
    SAMPLER_ZONE_KEY_ZONES_PITCH = 4,
    SAMPLER_ZONE_STEREO_MULTI_MIC = 5,
    SAMPLER_ZONE_CHOKE_AND_SUSTAIN = 6,
    SAMPLER_ZONE_VOICE_LIMIT_STEAL = 7,
};
inline constexpr uint32_t SAMPLER_ZONE_PROGRAM_COUNT = 8;

// Largest authored-state payload a document may carry, in decoded bytes.
inline constexpr size_t AUTHORED_STATE_MAX_BYTES = 1048576;

// Filled member by member by parseStateJson; the initial values are the
// defaults a document leaves in place. The bank texts are fixed-capacity
// NUL-terminated arrays so that the reference copies without allocation.
struct StateChunk {
    double params[KELVO_PARAM_COUNT] = {};  // plain values, in table order
    bool paramPresent[KELVO_PARAM_COUNT] = {};
    int32_t variation = -1;  // -1: the document gave none
    CcMap ccMap;
    bool ccMapPresent = false;
    SamplerAssetDiagnostic samplerAssetFault = SAMPLER_ASSET_NONE;
    bool samplerAssetFaultPresent = false;
    SamplerZoneProgram samplerZoneProgram = SAMPLER_ZONE_LEGACY_SINGLE;
    bool samplerZoneProgramPresent = false;
    SamplerPadOverrides pads;
    bool padsPresent = false;
    std::vector<uint8_t> authoredBytes;
    int32_t authoredVersion = 0;
    bool authoredPresent = false;
    char bankId[128] = {};
    char bankVersion[32] = {};
    char bankSha256[65] = {};
    char bankSource[24] = {};
    char bankPresetId[64] = {};
    char bankInstrument[64] = {};
    char bankLocator[1024] = {};
    bool hasBankLocator = false;
    bool hasBankRef = false;  // the document held a usable bank reference
    bool hasBankPresetId = false;
};

// Writer input: each text may be null or empty.
struct BankStateRefOut {
    const char* id = nullptr;
    const char* bankVersion = nullptr;
    const char* sha256 = nullptr;
    const char* source = nullptr;
    const char* presetId = nullptr;
    const char* instrument = nullptr;
    const char* locator = nullptr;
};

struct AuthoredStateOut {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
    int32_t version = 0;
};

// The document name of an asset fault ("none" for 0 and unknown codes), and
// the code of a name (false for any name but the five faults).
const char* samplerAssetDiagnosticName(uint32_t code);
bool samplerAssetDiagnosticFromName(std::string_view name, SamplerAssetDiagnostic* code);
// The name of a zone program ("legacy-single-zone" for 8 and above).
const char* samplerZoneProgramName(uint32_t program);
bool samplerZoneProgramNameKnown(std::string_view name);
// 0 for an unknown name.
SamplerZoneProgram samplerZoneProgramFromName(std::string_view name);
// "embedded", "module-relative", "user-folder" or "hosted"; false for null.
bool bankSourceNameKnown(const char* name);

// The document, without whitespace. `params` points to KELVO_PARAM_COUNT
// plain values; a negative variation, null pointers and zero codes leave
// their members out.
std::string writeStateJson(const double* params, int32_t variation, const CcMap* ccMap,
                           uint32_t assetFault, uint32_t zoneProgram,
                           const BankStateRefOut* bankRef, const SamplerPadOverrides* pads,
                           const AuthoredStateOut* authored);
// True when the whole text is one valid document. `chunk` is updated while
// reading, so after a false it may hold part of the document: discard it.
bool parseStateJson(const char* text, size_t length, StateChunk& chunk);
// The document's object at the reader's position (a "state" member of a
// bridge message); the caller checks what follows. Only std::bad_alloc can
// escape.
bool parseStateValue(Reader& reader, StateChunk& chunk);

}  // namespace kelvo
