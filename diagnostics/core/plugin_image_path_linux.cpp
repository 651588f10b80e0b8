#include <dlfcn.h>

#include "plugin_image_path.h"

namespace kelvo::platform {

std::string imagePathForAddress(const void* address) {
    Dl_info info{};
    if (!address || ::dladdr(address, &info) == 0 || !info.dli_fname) return {};
    return info.dli_fname;
}

}  // namespace kelvo::platform
