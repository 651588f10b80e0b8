// The messages the editor page and diagnostics clients send the controller:
// one JSON object each, read into the union of every member any message may
// carry. Dispatching them is the controller's (kelvo_controller_bridge.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cc_map.h"
#include "sampler_pad_overrides.h"
#include "state_document.h"

namespace kelvo {

// Diagnostic feeds a subscription may name, as bits of one set.
inline constexpr uint32_t DIAG_FEED_HOST = 1;
inline constexpr uint32_t DIAG_FEED_TRANSPORT = 2;
inline constexpr uint32_t DIAG_FEED_LIFECYCLE = 64;
// The fastest rate a subscriber may ask for, in messages per second.
inline constexpr double DIAG_MAX_RATE_HZ = 30.0;

// The bit of a feed name ("host" ... "clock"); 0 for any other name.
uint32_t diagnosticFeedBit(std::string_view name);

enum class DiagOp : uint8_t { None = 0, Subscribe = 1, Unsubscribe = 2, Stimulus = 3 };

// Every field starts empty; a member the text does not hold leaves it so.
// Numbers that are not finite are dropped while reading, so `value`, `note`,
// `velocity` and `hz` are always finite and `note` fits an int32_t.
struct BridgeMessage {
    std::string type, path, id, source, bankPath, url, sha256, instrument;
    double value = 0;
    bool hasValue = false;
    double note = 0;
    double velocity = 0;
    StateChunk state;
    bool hasState = false;
    CcMap ccMap;
    bool hasCcMap = false;  // only for a map the CC map reader calls valid
    SamplerPadOverrides pads;
    bool hasPads = false;
    uint32_t feeds = 0;
    double hz = 0;
    std::string stimulusKind;
    DiagOp diagOp = DiagOp::None;
};

// True when the bytes are one well-formed message object and nothing but
// whitespace; `out` must be freshly constructed. Only std::bad_alloc escapes.
bool parseBridgeMessage(const char* bytes, size_t length, BridgeMessage& out);

}  // namespace kelvo
