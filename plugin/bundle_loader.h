// A built plug-in bundle loaded the way a VST 3 host on Linux loads one: the
// shared object inside it is opened, entered with its library handle and
// asked for the class factory. Used by the build's module-description
// generator and by the host tests and benchmarks.
#pragma once

#include <string>

#include "pluginterfaces/base/ipluginbase.h"

namespace kelvo {

// <folder>/<Name>.vst3 -> <folder>/<Name>.vst3/Contents/x86_64-linux/<Name>.so
std::string bundleBinaryPath(const std::string& bundlePath);

class LoadedBundle {
  public:
    explicit LoadedBundle(const std::string& bundlePath);
    // Releases the factory, exits the module and closes it.
    ~LoadedBundle();
    LoadedBundle(const LoadedBundle&) = delete;
    LoadedBundle& operator=(const LoadedBundle&) = delete;

    // Null when loading failed; error() then says why.
    Steinberg::IPluginFactory* factory() const { return factory_; }
    const std::string& error() const { return error_; }
    // The library handle the module was entered with.
    void* handle() const { return library_; }
    // An exported symbol of the module, null when absent.
    void* symbol(const char* name) const;

  private:
    void* library_ = nullptr;
    bool entered_ = false;
    Steinberg::IPluginFactory* factory_ = nullptr;
    std::string error_;
};

}  // namespace kelvo
