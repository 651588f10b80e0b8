// The operating-system side of locating the plug-in on disk: one source file
// per platform implements this call.
#pragma once

#include <string>

namespace kelvo::platform {

// The file path of the loaded image (shared object, bundle executable or
// program) that contains `address`, as the dynamic loader reports it; empty
// when the loader cannot tell.
std::string imagePathForAddress(const void* address);

}  // namespace kelvo::platform
