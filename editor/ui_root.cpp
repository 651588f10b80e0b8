#include "ui_root.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>

namespace kelvo {

namespace {

// The resolved folder of the image holding `address`, empty when unknown.
std::string imageFolder(const void* address) {
    Dl_info info{};
    if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) == nullptr) return {};
    std::string path = resolved;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return {};
    path.resize(slash);
    return path;
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string uiRootForImageAddress(const void* address) {
    std::string contents = imageFolder(address);
    const size_t slash = contents.rfind('/');
    if (slash == std::string::npos || slash == 0) return {};
    contents.resize(slash);
    const std::string root = contents + "/Resources/ui";
    return isDirectory(root) ? root : std::string();
}

std::string pluginUiRoot() {
    return uiRootForImageAddress(reinterpret_cast<const void*>(&pluginUiRoot));
}

std::string pluginHelperPath() {
    const std::string folder = imageFolder(reinterpret_cast<const void*>(&pluginHelperPath));
    return folder.empty() ? std::string() : folder + "/" + EDITOR_HELPER_NAME;
}

}  // namespace kelvo
