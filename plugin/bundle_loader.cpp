#include "bundle_loader.h"

#include <dlfcn.h>

namespace kelvo {

namespace {

using EntryFunction = bool (*)(void*);
using ExitFunction = bool (*)();
using FactoryFunction = Steinberg::IPluginFactory* (*)();

}  // namespace

std::string bundleBinaryPath(const std::string& bundlePath) {
    std::string folder = bundlePath;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    std::string name = folder.substr(folder.rfind('/') + 1);
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".vst3") == 0)
        name.resize(name.size() - 5);
    return folder + "/Contents/x86_64-linux/" + name + ".so";
}

LoadedBundle::LoadedBundle(const std::string& bundlePath) {
    const std::string binary = bundleBinaryPath(bundlePath);
    library_ = dlopen(binary.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (library_ == nullptr) {
        const char* reason = dlerror();
        error_ = reason != nullptr ? reason : "cannot open " + binary;
        return;
    }
    auto enter = reinterpret_cast<EntryFunction>(symbol("ModuleEntry"));
    auto getFactory = reinterpret_cast<FactoryFunction>(symbol("GetPluginFactory"));
    if (enter == nullptr || symbol("ModuleExit") == nullptr || getFactory == nullptr) {
        error_ = binary + " lacks the VST 3 module entry points";
        return;
    }
    entered_ = enter(library_);
    if (!entered_) {
        error_ = "ModuleEntry failed";
        return;
    }
    factory_ = getFactory();
    if (factory_ == nullptr) error_ = "GetPluginFactory returned no factory";
}

LoadedBundle::~LoadedBundle() {
    if (factory_ != nullptr) factory_->release();
    if (entered_) reinterpret_cast<ExitFunction>(symbol("ModuleExit"))();
    if (library_ != nullptr) dlclose(library_);
}

void* LoadedBundle::symbol(const char* name) const {
    return library_ != nullptr ? dlsym(library_, name) : nullptr;
}

}  // namespace kelvo
