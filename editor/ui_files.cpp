#include "ui_files.h"

#include <sys/stat.h>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace kelvo {

namespace {

struct MimeEntry {
    std::string_view extension;
    std::string_view type;
};

constexpr MimeEntry MIME_TABLE[] = {
    {"css", "text/css"},          {"gif", "image/gif"},        {"htm", "text/html"},
    {"html", "text/html"},        {"ico", "image/x-icon"},     {"jpeg", "image/jpeg"},
    {"jpg", "image/jpeg"},        {"js", "text/javascript"},   {"mjs", "text/javascript"},
    {"json", "application/json"}, {"map", "application/json"}, {"png", "image/png"},
    {"svg", "image/svg+xml"},     {"ttf", "font/ttf"},         {"txt", "text/plain"},
    {"wasm", "application/wasm"}, {"woff", "font/woff"},       {"woff2", "font/woff2"},
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
    }
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> percentDecode(std::string_view encoded) {
    std::string out;
    out.reserve(encoded.size());
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            out += encoded[i];
            continue;
        }
        if (i + 2 >= encoded.size()) return std::nullopt;
        const int high = hexDigit(encoded[i + 1]);
        const int low = hexDigit(encoded[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        const char c = static_cast<char>(high * 16 + low);
        // An encoded separator or NUL would change what the path names after
        // the segment check.
        if (c == '/' || c == '\0') return std::nullopt;
        out += c;
        i += 2;
    }
    return out;
}

bool hasDotDotSegment(std::string_view path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        if (path.substr(start, end - start) == "..") return true;
        start = end + 1;
    }
    return false;
}

std::optional<std::string> realPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return std::nullopt;
    return std::string(resolved);
}

}  // namespace

std::string_view uiMimeType(std::string_view path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
        const std::string_view extension = path.substr(dot + 1);
        for (const MimeEntry& entry : MIME_TABLE) {
            if (equalsIgnoringCase(extension, entry.extension)) return entry.type;
        }
    }
    return "application/octet-stream";
}

std::optional<std::string> resolveUiRequest(const std::string& root, std::string_view encodedPath) {
    std::optional<std::string> path = percentDecode(encodedPath);
    if (!path || hasDotDotSegment(*path)) return std::nullopt;
    if (path->empty() || *path == "/") *path = "/index.html";
    const std::optional<std::string> realRoot = realPath(root);
    if (!realRoot) return std::nullopt;
    const std::string joined = *realRoot + (path->front() == '/' ? "" : "/") + *path;
    const std::optional<std::string> file = realPath(joined);
    if (!file) return std::nullopt;
    const std::string prefix = *realRoot == "/" ? "/" : *realRoot + "/";
    if (file->compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    struct stat info {};
    if (::stat(file->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return file;
}

uint64_t uiRootTag(std::string_view root) {
    uint64_t tag = 0x14650fb0739d0383ULL;
    for (const char c : root) {
        tag ^= static_cast<unsigned char>(c);
        tag *= 0x100000001b3ULL;
    }
    return tag;
}

std::string uiStartUrl(std::string_view root) {
    char url[64];
    std::snprintf(url, sizeof url, "kelvo-ui://bundle-%016llx/index.html",
                  static_cast<unsigned long long>(uiRootTag(root)));
    return url;
}

}  // namespace kelvo
