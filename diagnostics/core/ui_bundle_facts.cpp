#include "ui_bundle_facts.h"

#include <cstdint>
#include <cstring>

#include "plugin_image_path.h"
#include "whole_file_platform.h"

namespace kelvo {
namespace {

constexpr size_t READ_CHUNK_BYTES = 4096;

bool isJsonSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Index of the quote closing the string that opens at `open`; npos when the
// text ends first.
size_t stringEnd(std::string_view text, size_t open) {
    for (size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '"')
            return i;
    }
    return std::string_view::npos;
}

// The value string opening at `open`: its characters up to the closing quote,
// or up to a backslash, which ends the value (escapes are not decoded). A
// control character refuses the value: our own JSON would become invalid.
bool copyValue(std::string_view text, size_t open, char* out, size_t capacity) {
    for (size_t i = open + 1, length = 0; i < text.size(); ++i, ++length) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            std::memcpy(out, text.data() + open + 1, length);
            out[length] = '\0';
            return true;
        }
        if (c < 0x20 || length + 1 >= capacity) return false;
    }
    return false;
}

}  // namespace

bool uiManifestString(std::string_view text, std::string_view key, char* out, size_t capacity) {
    if (!out || capacity == 0) return false;
    out[0] = '\0';
    int depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        } else if (c == '"') {
            const size_t close = stringEnd(text, i);
            if (close == std::string_view::npos) return false;
            if (depth == 1 && text.substr(i + 1, close - i - 1) == key) {
                size_t j = close + 1;
                while (j < text.size() && isJsonSpace(text[j]))
                    ++j;
                if (j < text.size() && text[j] == ':') {
                    ++j;
                    while (j < text.size() && isJsonSpace(text[j]))
                        ++j;
                    if (j < text.size() && text[j] == '"') {
                        if (copyValue(text, j, out, capacity)) return true;
                        out[0] = '\0';
                        return false;
                    }
                }
            }
            i = close;
        }
    }
    return false;
}

std::string uiManifestPathForImage(std::string_view imagePath) {
    if (imagePath.empty()) return {};
    std::string path;
    if (imagePath.front() != '/') path = "./";
    path += imagePath;
    for (int i = 0; i < 2; ++i) {
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos) return {};
        path.resize(slash);
    }
    path += "/Resources/ui/manifest.json";
    return path;
}

UiBundleFacts readUiBundleFactsFrom(const std::string& manifestPath) {
    UiBundleFacts facts;
    platform::RegularFile file;
    if (manifestPath.empty() || !platform::openRegularFile(manifestPath.c_str(), file))
        return facts;
    std::string text;
    uint8_t chunk[READ_CHUNK_BYTES];
    for (;;) {
        const ptrdiff_t got = platform::readFromFile(file, chunk, sizeof chunk);
        if (got == 0) break;
        // A failed read or an oversized manifest reports nothing rather than
        // facts from part of the file.
        if (got < 0 || text.size() + static_cast<size_t>(got) > UI_MANIFEST_MAX_BYTES) {
            platform::closeFile(file);
            return facts;
        }
        text.append(reinterpret_cast<const char*>(chunk), static_cast<size_t>(got));
    }
    platform::closeFile(file);
    uiManifestString(text, "buildTime", facts.buildTime, sizeof facts.buildTime);
    uiManifestString(text, "sourceRevision", facts.sourceRevision, sizeof facts.sourceRevision);
    uiManifestString(text, "sha256", facts.sha256, sizeof facts.sha256);
    return facts;
}

const UiBundleFacts& readUiBundleFacts() {
    // Any address inside this library names the plug-in's own image.
    static const UiBundleFacts facts = readUiBundleFactsFrom(uiManifestPathForImage(
        platform::imagePathForAddress(reinterpret_cast<const void*>(&readUiBundleFacts))));
    return facts;
}

}  // namespace kelvo
