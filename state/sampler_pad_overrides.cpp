#include "sampler_pad_overrides.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string_view>
#include <utility>

#include "json_writer.h"

namespace kelvo {
namespace {

bool isPadId(std::string_view key) {
    return std::none_of(key.begin(), key.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

enum ExtraRule { NONE, WHOLE, ZERO_OR_ONE };

struct FieldRule {
    const char* key;
    double SamplerPadOverride::*member;
    double min;
    double max;
    ExtraRule extra;
};

// In flag order: field i has flag 1 << i.
constexpr FieldRule FIELDS[SAMPLER_PAD_FIELD_COUNT] = {
    {"transpose", &SamplerPadOverride::transpose, -24.0, 24.0, WHOLE},
    {"fineTune", &SamplerPadOverride::fineTune, -100.0, 100.0, NONE},
    {"gain", &SamplerPadOverride::gain, 0.0, 4.0, NONE},
    {"pan", &SamplerPadOverride::pan, -1.0, 1.0, NONE},
    {"start", &SamplerPadOverride::start, 0.0, 1.0, NONE},
    {"end", &SamplerPadOverride::end, 0.0, 1.0, NONE},
    {"attack", &SamplerPadOverride::attack, 0.0, 2.0, NONE},
    {"release", &SamplerPadOverride::release, 0.001, 4.0, NONE},
    {"filterHz", &SamplerPadOverride::filterHz, 20.0, 20000.0, NONE},
    {"resonance", &SamplerPadOverride::resonance, 0.1, 18.0, NONE},
    {"reverse", &SamplerPadOverride::reverse, 0.0, 1.0, ZERO_OR_ONE},
    {"muted", &SamplerPadOverride::muted, 0.0, 1.0, ZERO_OR_ONE},
    {"chokeGroup", &SamplerPadOverride::chokeGroup, 0.0, 8.0, WHOLE},
    {"roundRobinGroup", &SamplerPadOverride::roundRobinGroup, 0.0, 8.0, WHOLE},
    {"velocitySensitivity", &SamplerPadOverride::velocitySensitivity, 0.0, 1.0, NONE},
};

int fieldIndex(std::string_view key) {
    for (size_t i = 0; i < SAMPLER_PAD_FIELD_COUNT; ++i)
        if (key == FIELDS[i].key) return static_cast<int>(i);
    return -1;
}

// One member of the map: the entry it describes, or nothing when it names no
// usable override. The entry's pad id is left to the caller.
bool readEntry(Reader& reader, SamplerPadOverride& entry) {
    return readObject(reader, [&entry](Reader& r, std::string_view key) {
        double value = 0.0;
        // true, false, strings and null are no values and change nothing.
        if (!parseNumber(r, &value)) return skipValue(r, 2);
        int field = fieldIndex(key);
        if (field >= 0 && samplerPadFieldAccepts(static_cast<size_t>(field), value)) {
            entry.*FIELDS[field].member = value;
            entry.mask |= 1u << field;
        }
        return true;
    });
}

}  // namespace

const char* samplerPadFieldKey(size_t field) {
    return field < SAMPLER_PAD_FIELD_COUNT ? FIELDS[field].key : "";
}

double samplerPadFieldValue(const SamplerPadOverride& entry, size_t field) {
    return field < SAMPLER_PAD_FIELD_COUNT ? entry.*FIELDS[field].member : 0.0;
}

bool samplerPadFieldAccepts(size_t field, double value) {
    if (field >= SAMPLER_PAD_FIELD_COUNT || !std::isfinite(value)) return false;
    const FieldRule& rule = FIELDS[field];
    if (value < rule.min || value > rule.max) return false;
    switch (rule.extra) {
        case WHOLE:
            return std::floor(value) == value;
        case ZERO_OR_ONE:
            return value == 0.0 || value == 1.0;
        default:
            return true;
    }
}

void writeSamplerPadOverridesJson(std::string& out, const SamplerPadOverrides& overrides) {
    out += '{';
    JsonMembers pads(out);
    for (const SamplerPadOverride& entry : overrides) {
        if (entry.pad.empty() || entry.mask == 0) continue;
        pads.next(entry.pad.c_str()) += '{';
        JsonMembers fields(out);
        for (size_t i = 0; i < SAMPLER_PAD_FIELD_COUNT; ++i)
            if (entry.mask & (1u << i))
                jsonAppendNumber(fields.next(FIELDS[i].key), entry.*FIELDS[i].member);
        out += '}';
    }
    out += '}';
}

bool parsePadOverrideMap(Reader& reader, SamplerPadOverrides& overrides) {
    size_t members = 0;
    bool ok = readObject(reader, [&](Reader& r, std::string_view key) {
        ++members;
        if (peek(r) != '{') return skipValue(r, 1);
        SamplerPadOverride entry;
        if (!readEntry(r, entry)) return false;
        // Past 256 members the list ends empty whatever the rest holds; the
        // members are still read for their syntax.
        if (members > SAMPLER_PAD_OVERRIDES_MAX) return true;
        // An empty id is dropped like a mask of 0: the writer leaves it out
        // and the engine refuses a whole list that holds one. A pad id is an
        // identifier and a C string wherever it is used (bank pad names, the
        // writer, the page's JSON), so one holding a control byte or a NUL is
        // dropped too rather than cut to another id or written as broken JSON.
        if (entry.mask == 0 || key.empty() || key.size() > SAMPLER_PAD_ID_MAX_BYTES ||
            !isPadId(key))
            return true;
        entry.pad.assign(key);
        auto same = std::find_if(overrides.begin(), overrides.end(),
                                 [key](const SamplerPadOverride& e) { return e.pad == key; });
        if (same != overrides.end())
            *same = std::move(entry);
        else if (overrides.size() < SAMPLER_PAD_OVERRIDES_MAX)
            overrides.push_back(std::move(entry));
        return true;
    });
    if (ok && members > SAMPLER_PAD_OVERRIDES_MAX) overrides.clear();
    return ok;
}

bool parseSamplerPadOverridesJson(const char* text, size_t length, SamplerPadOverrides& overrides) {
    if (!text && length) return false;
    try {
        // The reader needs a NUL after the last byte; message buffers carry
        // none.
        std::string owned(text ? text : "", length);
        Reader reader{owned.data(), owned.data() + owned.size()};
        SamplerPadOverrides fresh;
        if (!parsePadOverrideMap(reader, fresh) || !atDocumentEnd(reader)) return false;
        overrides = std::move(fresh);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace kelvo
