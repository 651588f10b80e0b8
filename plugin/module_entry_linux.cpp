// The Linux module entry points a VST 3 host calls after loading the bundle's
// shared object. The host hands over its dlopen handle; there is no bundle
// reference to retain, and the bundle path comes from the loader's record of
// the image that holds this code.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "module_entry.h"
#include "pluginterfaces/base/fplatform.h"

namespace {

// <bundle>.vst3/Contents/x86_64-linux/<name>.so: the bundle is three
// components up from the image. Empty when the image cannot be resolved.
std::string bundlePathOfThisImage() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&bundlePathOfThisImage), &info) == 0 ||
        info.dli_fname == nullptr)
        return {};
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) == nullptr) return {};
    std::string path = resolved;
    for (int up = 0; up < 3; ++up) {
        const size_t slash = path.rfind('/');
        if (slash == std::string::npos || slash == 0) return {};
        path.resize(slash);
    }
    return path;
}

}  // namespace

extern "C" {

SMTG_EXPORT_SYMBOL bool ModuleEntry(void* sharedLibraryHandle) {
    try {
        if (sharedLibraryHandle == nullptr) return true;
        const std::string path =
            kelvo::moduleEntryCount() == 0 ? bundlePathOfThisImage() : std::string();
        return kelvo::enterModule(sharedLibraryHandle, path.empty() ? nullptr : path.c_str());
    } catch (...) {
        return false;
    }
}

SMTG_EXPORT_SYMBOL bool ModuleExit() {
    try {
        return kelvo::exitModule();
    } catch (...) {
        return false;
    }
}

}  // extern "C"
