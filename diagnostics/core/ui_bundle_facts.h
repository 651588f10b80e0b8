// Build facts of the editor's UI bundle, taken from the "manifest.json" in the
// plug-in's UI folder and reported in the diagnostics identity block.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvo {

constexpr size_t UI_BUILD_TIME_MAX = 62;
constexpr size_t UI_SOURCE_REVISION_MAX = 62;
constexpr size_t UI_SHA256_MAX = 78;
constexpr size_t UI_MANIFEST_MAX_BYTES = 1048576;

// Each text is empty when the manifest lacks it or holds an unusable value.
struct UiBundleFacts {
    char buildTime[UI_BUILD_TIME_MAX + 1] = {};
    char sourceRevision[UI_SOURCE_REVISION_MAX + 1] = {};
    char sha256[UI_SHA256_MAX + 1] = {};

    bool empty() const { return !buildTime[0] && !sourceRevision[0] && !sha256[0]; }
};

// The string value of `key` in the manifest's top-level object, copied into
// `out` (room for capacity - 1 characters). The first occurrence of the key
// with a string value counts. Reports false with `out` empty when there is
// none or that value holds an escape or a control character, is longer than
// the room, or is not closed before the end of the text: a fact is reported
// whole or not at all.
bool uiManifestString(std::string_view text, std::string_view key, char* out, size_t capacity);

// The image path without its last two components (the image, then its
// folder: ".../Contents/<platform>/plugin" gives ".../Contents") followed by
// "/Resources/ui/manifest.json". A relative path is taken from ".". Empty
// when the path has too few components.
std::string uiManifestPathForImage(std::string_view imagePath);

// Reads and scans one manifest; everything empty when the file cannot be
// read whole or is larger than UI_MANIFEST_MAX_BYTES.
UiBundleFacts readUiBundleFactsFrom(const std::string& manifestPath);

// The facts of the manifest beside the loaded plug-in image, read on first
// use and kept for the life of the process.
const UiBundleFacts& readUiBundleFacts();

}  // namespace kelvo
