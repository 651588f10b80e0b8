#include "bank_paths.h"

namespace kelvo {

std::string joinPath(std::string_view base, std::string_view relative) {
    if (relative.empty()) return std::string(base);
    if (relative.front() == '/' || base.empty()) return std::string(relative);
    std::string joined(base);
    if (joined.back() != '/') joined += '/';
    joined += relative;
    return joined;
}

bool pathIsContained(std::string_view relative) {
    if (relative.empty() || relative.front() == '/') return false;
    if (relative.find('\\') != std::string_view::npos) return false;
    // The file system would cut the name at a NUL byte, so what is checked
    // here would not be what is opened.
    if (relative.find('\0') != std::string_view::npos) return false;
    size_t start = 0;
    for (;;) {
        size_t slash = relative.find('/', start);
        std::string_view segment = relative.substr(start, slash - start);
        if (segment == "..") return false;
        if (slash == std::string_view::npos) return true;
        start = slash + 1;
    }
}

}  // namespace kelvo
