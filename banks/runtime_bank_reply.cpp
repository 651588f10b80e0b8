#include "runtime_bank_reply.h"

#include <charconv>

namespace kelvo {
namespace {

void appendField(std::string& out, std::string_view field) {
    for (char byte : field)
        out.push_back(static_cast<unsigned char>(byte) < 0x20 ? ' ' : byte);
}

// "%.17g" in the C locale whatever locale the host set.
void appendValue(std::string& out, double value) {
    char text[32];
    auto [last, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 17);
    if (error == std::errc()) out.append(text, last);
}

void appendLine(std::string& out, std::initializer_list<std::string_view> fields) {
    out.push_back('\n');
    bool first = true;
    for (std::string_view field : fields) {
        if (!first) out.push_back('\t');
        first = false;
        appendField(out, field);
    }
}

void appendPreset(std::string& out, const StagedPreset& preset) {
    out.push_back('\n');
    out.push_back(RUNTIME_BANK_PRESET_MARK);
    for (std::string_view field : {std::string_view(preset.id), std::string_view(preset.name),
                                   std::string_view(preset.instrument)}) {
        appendField(out, field);
        out.push_back('\t');
    }
    for (size_t i = 0; i < preset.params.size(); ++i) {
        if (i > 0) out.push_back(RUNTIME_BANK_PAIR_SEPARATOR);
        appendField(out, preset.params[i].first);
        out.push_back('=');
        appendValue(out, preset.params[i].second);
    }
}

}  // namespace

std::string encodeRuntimeBankReply(std::string_view outcomeName, std::string_view message,
                                   const StagedBank* bank) {
    std::string out;
    appendField(out, outcomeName.empty() ? std::string_view("missing") : outcomeName);
    out.push_back('\n');
    appendField(out, message);
    if (bank == nullptr) return out;
    appendLine(out, {bank->instrumentId, bank->instrumentName, bank->instrumentKind});
    for (const StagedPositioning& position : bank->positions)
        appendLine(out, {position.id, position.name, position.kind});
    for (const StagedPreset& preset : bank->presets)
        appendPreset(out, preset);
    return out;
}

}  // namespace kelvo
