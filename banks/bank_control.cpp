#include "bank_control.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "json_reader.h"
#include "json_writer.h"
#include "kelvo_params.h"
#include "runtime_bank_reply.h"

namespace kelvo {
namespace {

struct PresetName {
    const char* id;
    const char* name;
};

// Listed while no bank brings presets of its own; the controller's factory
// preset table holds the same six in the same order.
constexpr PresetName FACTORY_PRESETS[] = {
    {"factory-1", "Boom Kit"},     {"factory-2", "Club Machine"}, {"factory-3", "Dry Room"},
    {"factory-4", "Lo-Fi Crunch"}, {"factory-5", "Metal Shop"},   {"factory-6", "Soft Brush"},
};

// Every text that reaches the page may hold any byte (paths, pack names,
// loader messages): each goes through the escaping writer.
void appendText(std::string& out, std::string_view text) {
    jsonAppendQuotedEscaped(out, text);
}

// The part of `text` before the first `separator`; `text` keeps what follows
// it, or becomes empty when there is none.
std::string_view takeUntil(std::string_view& text, char separator) {
    const size_t at = text.find(separator);
    const std::string_view head = text.substr(0, at);
    text = at == std::string_view::npos ? std::string_view() : text.substr(at + 1);
    return head;
}

// Exactly N tab-separated fields: missing ones are empty, further tabs stay
// in the last.
template <size_t N>
std::array<std::string_view, N> splitFields(std::string_view line) {
    std::array<std::string_view, N> fields{};
    for (size_t i = 0; i + 1 < N; ++i)
        fields[i] = takeUntil(line, '\t');
    fields[N - 1] = line;
    return fields;
}

// strtod's acceptance in the "C" locale, whatever locale the host set;
// false when no characters read as a number or the number is not finite.
bool readFiniteNumber(std::string_view text, double& value) {
    const std::string terminated(text);
    Reader reader{terminated.c_str(), terminated.c_str() + terminated.size()};
    return parseNumber(reader, &value) && std::isfinite(value);
}

// "%.17g" in the "C" locale.
void appendPresetValue(std::string& out, double value) {
    char text[32];
    auto [last, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 17);
    if (error == std::errc()) out.append(text, last);
}

// A preset line after its mark: id, name, instrument and the parameter
// list. Items that do not read as a finite number are dropped; a preset
// without id or parameters is no preset.
bool parsePresetLine(std::string_view line, BankControlPreset& preset) {
    const auto fields = splitFields<4>(line);
    preset = {std::string(fields[0]), std::string(fields[1]), std::string(fields[2]), {}};
    std::string_view list = fields[3];
    while (!list.empty()) {
        std::string_view item = takeUntil(list, RUNTIME_BANK_PAIR_SEPARATOR);
        const std::string_view id = takeUntil(item, '=');
        double value = 0.0;
        if (readFiniteNumber(item, value)) preset.params.emplace_back(id, value);
    }
    return !preset.id.empty() && !preset.params.empty();
}

void appendTriple(std::string& out, std::string_view id, std::string_view name,
                  std::string_view list) {
    out += "{\"id\":";
    appendText(out, id);
    out += ",\"name\":";
    appendText(out, name);
    out += ",\"list\":";
    appendText(out, list);
    out += '}';
}

void appendBankPreset(std::string& out, const BankControlPreset& preset) {
    out += "{\"id\":";
    appendText(out, preset.id);
    out += ",\"name\":";
    appendText(out, preset.name);
    out += ",\"instrument\":";
    appendText(out, preset.instrument);
    out += ",\"params\":{";
    for (size_t i = 0; i < preset.params.size(); ++i) {
        if (i > 0) out += ',';
        appendText(out, preset.params[i].first);
        out += ':';
        appendPresetValue(out, preset.params[i].second);
    }
    out += "}}";
}

}  // namespace

bool BankControl::handleMessage(const BankMessage& message) {
    const std::string& type = message.type;
    if (type == "kelvo.pickFolder") {
        handlePickFolder();
        return true;
    }
    if (type == "kelvo.setPadOverrides") {
        if (!message.hasPads) return false;
        handlePadOverrides(message.pads);
        return true;
    }
    if (type == "kelvo.loadBankPreset") {
        if (message.id.empty()) return false;
        handleBankPreset(message.id);
        return true;
    }
    if (type == "kelvo.loadBank") {
        if (!message.source.empty() && message.source != "embedded") {
            handleRuntimeBank(message.source, message.bankPath, message.instrument, message.url,
                              message.sha256);
            return true;
        }
        if (message.id.empty()) return false;
        handleCompiledBank(message.id);
        return true;
    }
    if (type == "kelvo.getBankState") {
        sendBankState("query");
        return true;
    }
    return false;
}

void BankControl::handleCompiledBank(std::string_view id) {
    sendBankState("loadBank", "bank-missing", id);
}

void BankControl::handlePickFolder() {
    std::string path, error;
    const bool picked = host_->pickFolder(path, error);
    std::string out = "{\"type\":\"kelvo.folderPicked\",\"ok\":";
    jsonAppendBool(out, picked);
    if (picked) {
        out += ",\"path\":";
        appendText(out, path);
    } else if (!error.empty()) {
        out += ",\"error\":";
        appendText(out, error);
    } else {
        out += ",\"cancelled\":true";
    }
    out += '}';
    host_->sendBankJson(out);
}

void BankControl::handlePadOverrides(const SamplerPadOverrides& pads) {
    // Overrides the processor did not take are not claimed as current.
    if (!host_->applyPadOverrides(pads)) return;
    padOverrides_ = pads;
    sendBankState("setPadOverrides");
}

void BankControl::handleRuntimeBank(std::string source, std::string bankPath,
                                    std::string instrument, std::string url, std::string sha256) {
    // The newest request wins: a download still running for an older one
    // would otherwise load its bank over this one.
    cancelFetch();
    if (source == "hosted") {
        pendingFetch_ = {source, url, sha256, instrument};
        if (!worker_.start(url, sha256, fetchOptions_))
            sendBankState("loadBank", "bank-fetch-failed", url);
        return;
    }
    requestRuntimeBank(source, bankPath, bankPath, sha256, instrument);
}

bool BankControl::deliverFetchedBank() {
    HostedBankWorker::Result result;
    if (!worker_.collect(result)) return false;
    const PendingFetch request = std::move(pendingFetch_);
    pendingFetch_ = {};
    // The fetch's own error text stays here: the page gets the code and URL.
    if (!result.ok)
        sendBankState("loadBank", "bank-fetch-failed", request.url);
    else
        requestRuntimeBank(request.source, result.directory, request.url, request.sha256,
                           request.instrument);
    return true;
}

void BankControl::cancelFetch() {
    worker_.cancel();
    pendingFetch_ = {};
}

void BankControl::requestRuntimeBank(const std::string& source, const std::string& directory,
                                     const std::string& locator, const std::string& sha256,
                                     const std::string& instrument) {
    if (directory.empty()) {
        sendBankState("loadBank", "bank-missing", source);
        return;
    }
    source_ = source;
    locator_ = locator;
    sha256_ = sha256;
    requestedInstrument_ = instrument;
    awaitingReply_ = true;
    const bool sent = host_->requestRuntimeBank(source, directory, sha256, instrument);
    // Messages are delivered directly, so the processor's reply may already
    // have been adopted, even when the send then reports failure. Only a
    // request nobody answered is answered here, so the page never waits.
    if (!sent && awaitingReply_)
        adoptRuntimeBankReply(encodeRuntimeBankReply("missing", "", nullptr));
}

void BankControl::adoptRuntimeBankReply(std::string_view reply) {
    awaitingReply_ = false;
    std::string_view rest = reply;
    const std::string_view outcome = takeUntil(rest, '\n');
    if (outcome == "ok") {
        adoptLoadedBank(rest);
        sendBankState("loadBank");
        return;
    }
    const std::string detail = requestedInstrument_.empty() ? locator_ : requestedInstrument_;
    clearRuntimeFacts();
    sendBankState("loadBank", outcome.empty() ? std::string_view("missing") : outcome, detail);
}

void BankControl::adoptLoadedBank(std::string_view lines) {
    clearReportedBank();
    runtimeLoaded_ = true;
    takeUntil(lines, '\n');  // the loader's message, empty on success
    const auto instrument = splitFields<3>(takeUntil(lines, '\n'));
    instrumentId_ = instrument[0];
    instrumentName_ = instrument[1];
    instrumentList_ = instrument[2];
    while (!lines.empty()) {
        const std::string_view line = takeUntil(lines, '\n');
        if (line.empty()) continue;
        if (line.front() != RUNTIME_BANK_PRESET_MARK) {
            positionings_.emplace_back(line);
            continue;
        }
        BankControlPreset preset;
        if (parsePresetLine(line.substr(1), preset)) presets_.push_back(std::move(preset));
    }
}

void BankControl::handleBankPreset(const std::string& presetId) {
    auto found = std::find_if(presets_.begin(), presets_.end(),
                              [&](const BankControlPreset& p) { return p.id == presetId; });
    if (found == presets_.end()) {
        sendBankState("loadBank", "bank-missing", presetId);
        return;
    }
    // A copy: a reload's reply may replace the list before we are done.
    const BankControlPreset preset = *found;
    const bool otherInstrument = !preset.instrument.empty() && preset.instrument != instrumentId_;
    const bool reload = otherInstrument && !source_.empty() && !locator_.empty();
    if (reload) handleRuntimeBank(source_, locator_, preset.instrument, locator_, sha256_);
    for (const auto& [path, value] : preset.params) {
        const int index = paramIndexForPath(path);
        if (index >= 0) host_->editParam(static_cast<uint32_t>(index), value);
    }
    selectedPresetId_ = preset.id;
    host_->notePresetSelected(preset.id, preset.name);
    // A reload answers through its reply (or its refusal), which may have
    // come already; anything else is answered now.
    if (!reload) sendBankState("loadBank");
}

void BankControl::adoptRestoredRef(std::string_view source, std::string_view locator,
                                   std::string_view sha256, std::string_view instrument,
                                   std::string_view presetId) {
    cancelFetch();
    source_ = source;
    locator_ = locator;
    sha256_ = sha256;
    requestedInstrument_ = instrument;
    selectedPresetId_ = presetId;
}

void BankControl::adoptRestoredPadOverrides(const SamplerPadOverrides& overrides) {
    padOverrides_ = overrides;
}

void BankControl::clearRuntimeFacts() {
    source_.clear();
    locator_.clear();
    sha256_.clear();
    clearReportedBank();
}

void BankControl::clearReportedBank() {
    runtimeLoaded_ = false;
    instrumentId_.clear();
    instrumentName_.clear();
    instrumentList_.clear();
    positionings_.clear();
    presets_.clear();
}

void BankControl::sendBankState(std::string_view reason, std::string_view errorCode,
                                std::string_view requestedId) {
    std::string out = "{\"type\":\"kelvo.bankState\",\"reason\":";
    appendText(out, reason.empty() ? std::string_view("query") : reason);
    out += ",\"stateVersion\":1,\"pads\":";
    writeSamplerPadOverridesJson(out, padOverrides_);
    out += ",\"banks\":[]";
    if (runtimeLoaded_ && !source_.empty()) appendRuntime(out);
    appendPresets(out);
    if (!errorCode.empty()) {
        out += ",\"error\":{\"code\":";
        appendText(out, errorCode);
        out += ",\"requestedId\":";
        appendText(out, requestedId);
        out += '}';
    }
    out += '}';
    host_->sendBankJson(out);
}

void BankControl::appendRuntime(std::string& out) const {
    out += ",\"runtime\":{\"source\":";
    appendText(out, source_);
    out += ",\"locator\":";
    appendText(out, locator_);
    if (!instrumentId_.empty()) {
        out += ",\"instrument\":";
        appendTriple(out, instrumentId_, instrumentName_, instrumentList_);
    }
    out += ",\"positionings\":[";
    for (size_t i = 0; i < positionings_.size(); ++i) {
        if (i > 0) out += ',';
        const auto fields = splitFields<3>(positionings_[i]);
        appendTriple(out, fields[0], fields[1], fields[2]);
    }
    out += "]}";
}

void BankControl::appendPresets(std::string& out) const {
    const bool bankScoped = runtimeLoaded_ && !presets_.empty();
    out += ",\"presets\":{\"bankScoped\":";
    jsonAppendBool(out, bankScoped);
    out += ",\"items\":[";
    if (bankScoped) {
        for (size_t i = 0; i < presets_.size(); ++i) {
            if (i > 0) out += ',';
            appendBankPreset(out, presets_[i]);
        }
    } else {
        for (size_t i = 0; i < std::size(FACTORY_PRESETS); ++i) {
            if (i > 0) out += ',';
            out += "{\"id\":";
            appendText(out, FACTORY_PRESETS[i].id);
            out += ",\"name\":";
            appendText(out, FACTORY_PRESETS[i].name);
            out += '}';
        }
    }
    out += "]}";
}

}  // namespace kelvo
