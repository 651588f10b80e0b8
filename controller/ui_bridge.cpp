#include "ui_bridge.h"

#include <climits>
#include <cmath>
#include <string>

#include "json_reader.h"

namespace kelvo {
namespace {

constexpr std::string_view FEED_NAMES[] = {"host",   "transport", "midiIn",    "midiOut",
                                           "meters", "scope",     "lifecycle", "counters",
                                           "params", "presets",   "clock"};

// A number member: its value is kept only when finite (and, for a note, when
// it truncates to an int32_t), so no later conversion can overflow.
bool readFinite(Reader& reader, double& field, bool* has = nullptr, bool integral = false) {
    double value = 0;
    if (!parseNumber(reader, &value)) return false;
    if (!std::isfinite(value)) return true;
    if (integral && !(value > double(INT32_MIN) - 1 && value < double(INT32_MAX) + 1)) return true;
    field = value;
    if (has) *has = true;
    return true;
}

bool readText(Reader& reader, std::string& field) {
    return parseString(reader, &field) && isCText(field);
}

bool readFeeds(Reader& reader, uint32_t& feeds) {
    feeds = 0;
    std::string name;
    return readArray(reader, [&](Reader& r) {
        if (!parseString(r, &name)) return false;
        feeds |= diagnosticFeedBit(name);
        return true;
    });
}

bool readStimulus(Reader& reader, std::string& kind) {
    return readObject(reader, [&](Reader& r, std::string_view key) {
        if (key == "kind" && peek(r) == '"') return readText(r, kind);
        return skipValue(r, 1);
    });
}

bool readMember(Reader& reader, std::string_view key, BridgeMessage& out) {
    struct TextField {
        std::string_view key;
        std::string BridgeMessage::*field;
    };
    static constexpr TextField TEXTS[] = {
        {"type", &BridgeMessage::type},
        {"path", &BridgeMessage::path},
        {"id", &BridgeMessage::id},
        {"source", &BridgeMessage::source},
        {"sha256", &BridgeMessage::sha256},
        {"url", &BridgeMessage::url},
        {"instrument", &BridgeMessage::instrument},
        {"bankPath", &BridgeMessage::bankPath},
    };
    for (const TextField& text : TEXTS)
        if (key == text.key) return readText(reader, out.*text.field);
    if (key == "value") return readFinite(reader, out.value, &out.hasValue);
    if (key == "note") return readFinite(reader, out.note, nullptr, true);
    if (key == "velocity") return readFinite(reader, out.velocity);
    if (key == "hz") return readFinite(reader, out.hz);

    // The structured members are read only when their value has the right
    // kind; any other value is skipped. A later duplicate replaces the first.
    const char next = peek(reader);
    if (key == "state" && next == '{') {
        out.state = StateChunk{};
        return out.hasState = parseStateValue(reader, out.state);
    }
    if (key == "map" && (next == '{' || next == '['))
        return parseCcMapValue(reader, out.ccMap, out.hasCcMap);
    if (key == "pads" && next == '{') {
        out.pads.clear();
        return out.hasPads = parsePadOverrideMap(reader, out.pads);
    }
    if (key == "feeds" && next == '[') return readFeeds(reader, out.feeds);
    if (key == "stimulus" && next == '{') return readStimulus(reader, out.stimulusKind);
    return skipValue(reader, 1);
}

DiagOp diagOpOf(std::string_view type) {
    if (type == "kelvo.diag.subscribe") return DiagOp::Subscribe;
    if (type == "kelvo.diag.unsubscribe") return DiagOp::Unsubscribe;
    if (type == "kelvo.diag.stimulus") return DiagOp::Stimulus;
    return DiagOp::None;
}

}  // namespace

uint32_t diagnosticFeedBit(std::string_view name) {
    for (size_t i = 0; i < std::size(FEED_NAMES); ++i)
        if (name == FEED_NAMES[i]) return 1u << i;
    return 0;
}

bool parseBridgeMessage(const char* bytes, size_t length, BridgeMessage& out) {
    if (bytes == nullptr) return false;
    // The reader needs a NUL after the text, which a client's bytes lack.
    const std::string text(bytes, length);
    Reader reader{text.data(), text.data() + text.size()};
    if (peek(reader) != '{') return false;
    const bool read = readObject(
        reader, [&](Reader& r, std::string_view key) { return readMember(r, key, out); });
    if (!read || !atDocumentEnd(reader)) return false;
    out.diagOp = diagOpOf(out.type);
    return true;
}

}  // namespace kelvo
