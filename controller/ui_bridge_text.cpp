#include "ui_bridge_text.h"

#include <cctype>
#include <cstring>

#include "json_writer.h"
#include "kelvo_controller_presets.h"

namespace kelvo {
namespace {

constexpr int MAX_DEPTH = 32;

bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// A strict JSON reader that copies what it accepts without whitespace.
class CompactCopy {
  public:
    CompactCopy(std::string_view text, std::string& out)
        : at_(text.data()), end_(at_ + text.size()), out_(out) {}

    bool document() {
        if (!value(0)) return false;
        skipWhitespace();
        return at_ == end_;
    }

  private:
    void skipWhitespace() {
        while (at_ < end_ && (*at_ == ' ' || *at_ == '\t' || *at_ == '\n' || *at_ == '\r'))
            ++at_;
    }
    bool take(char c) {
        if (at_ >= end_ || *at_ != c) return false;
        out_ += *at_++;
        return true;
    }
    bool digits() {
        const char* start = at_;
        while (at_ < end_ && *at_ >= '0' && *at_ <= '9')
            out_ += *at_++;
        return at_ > start;
    }
    bool literal(std::string_view word) {
        if (static_cast<size_t>(end_ - at_) < word.size() ||
            std::memcmp(at_, word.data(), word.size()) != 0)
            return false;
        out_ += word;
        at_ += word.size();
        return true;
    }
    bool number() {
        take('-');
        if (!take('0') && !digits()) return false;
        if (take('.') && !digits()) return false;
        if (take('e') || take('E')) {
            if (!take('+')) take('-');
            if (!digits()) return false;
        }
        return true;
    }
    bool string() {
        if (!take('"')) return false;
        while (at_ < end_) {
            const char c = *at_;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            out_ += *at_++;
            if (c == '"') return true;
            if (c != '\\') continue;
            if (at_ >= end_) return false;
            const char escaped = *at_;
            out_ += *at_++;
            if (escaped == 'u') {
                for (int i = 0; i < 4; ++i, ++at_) {
                    if (at_ >= end_ || !std::isxdigit(static_cast<unsigned char>(*at_)))
                        return false;
                    out_ += *at_;
                }
            } else if (std::strchr("\"\\/bfnrt", escaped) == nullptr || escaped == '\0') {
                return false;
            }
        }
        return false;
    }
    // Members or elements up to `close`, each read by `item`.
    template <typename Item>
    bool sequence(char close, Item&& item) {
        skipWhitespace();
        if (take(close)) return true;
        for (;;) {
            if (!item()) return false;
            skipWhitespace();
            if (take(close)) return true;
            if (!take(',')) return false;
        }
    }
    bool value(int depth) {
        skipWhitespace();
        if (at_ >= end_ || depth > MAX_DEPTH) return false;
        switch (*at_) {
            case '"':
                return string();
            case '[':
                take('[');
                return sequence(']', [&] { return value(depth + 1); });
            case '{':
                take('{');
                return sequence('}', [&] {
                    skipWhitespace();
                    if (!string()) return false;
                    skipWhitespace();
                    return take(':') && value(depth + 1);
                });
            case 't':
                return literal("true");
            case 'f':
                return literal("false");
            case 'n':
                return literal("null");
            default:
                return number();
        }
    }

    const char* at_;
    const char* end_;
    std::string& out_;
};

void appendParamHead(std::string& out, const kelvo_param_desc& desc, double plain) {
    out += "{\"path\":";
    jsonAppendQuoted(out, desc.path ? desc.path : "");
    out += ",\"value\":";
    jsonAppendNumber(out, plain);
}

}  // namespace

void appendHelloParams(std::string& out, const double (&normalized)[KELVO_PARAM_COUNT]) {
    out += ",\"params\":[";
    for (uint32_t id = 0; id < KELVO_PARAM_COUNT; ++id) {
        if (id > 0) out += ',';
        appendParamHead(out, KELVO_PARAMS[id],
                        paramToPlainUnstepped(KELVO_PARAMS[id], normalized[id]));
        out += ",\"normalized\":";
        jsonAppendNumber(out, normalized[id]);
        out += '}';
    }
    out += ']';
}

void appendHelloFactoryPresets(std::string& out) {
    out += ",\"factoryPresets\":[";
    for (int32_t i = 0; i < KELVO_FACTORY_PRESET_COUNT; ++i) {
        const kelvo_factory_preset& preset = KELVO_FACTORY_PRESETS[i];
        if (i > 0) out += ',';
        out += "{\"id\":";
        jsonAppendQuoted(out, preset.id);
        out += ",\"name\":";
        jsonAppendQuoted(out, preset.name);
        out += ",\"values\":{";
        for (uint32_t id = 0; id < KELVO_PARAM_COUNT; ++id) {
            const kelvo_param_desc& desc = KELVO_PARAMS[id];
            if (id > 0) out += ',';
            jsonAppendQuoted(out, desc.path ? desc.path : "");
            out += ':';
            jsonAppendNumber(out, paramToPlainUnstepped(desc, preset.values[id]));
        }
        out += "}}";
    }
    out += ']';
}

std::string paramChangedJson(uint32_t id, double normalized) {
    const kelvo_param_desc& desc = KELVO_PARAMS[id];
    std::string text = "{\"type\":\"kelvo.paramChanged\",\"path\":";
    jsonAppendQuoted(text, desc.path ? desc.path : "");
    text += ",\"value\":";
    jsonAppendNumber(text, paramToPlain(desc, normalized));
    text += ",\"normalized\":";
    jsonAppendNumber(text, normalized);
    text += '}';
    return text;
}

bool appendCompactJson(std::string& out, std::string_view text) {
    const size_t mark = out.size();
    if (CompactCopy(text, out).document()) return true;
    out.resize(mark);
    return false;
}

void replaceControlBytes(char* text, size_t size) {
    for (size_t i = 0; i < size && text[i] != '\0'; ++i)
        if (isControl(static_cast<unsigned char>(text[i]))) text[i] = '?';
}

std::string withoutControlBytes(std::string_view text) {
    std::string clean(text);
    for (char& c : clean)
        if (isControl(static_cast<unsigned char>(c))) c = '?';
    return clean;
}

}  // namespace kelvo
