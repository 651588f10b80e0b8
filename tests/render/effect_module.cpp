// A module whose factory offers only an effect: what tambro-render must
// refuse as "not an instrument".
#include <cstring>

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"

using namespace Steinberg;

namespace {

class EffectFactory : public IPluginFactory2 {
  public:
    tresult PLUGIN_API queryInterface(const TUID iid, void** object) override {
        if (FUnknownPrivate::iidEqual(iid, FUnknown::iid) ||
            FUnknownPrivate::iidEqual(iid, IPluginFactory::iid) ||
            FUnknownPrivate::iidEqual(iid, IPluginFactory2::iid)) {
            *object = this;
            return kResultOk;
        }
        *object = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
    tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) override {
        *info = PFactoryInfo("Test", "", "", PFactoryInfo::kNoFlags);
        return kResultOk;
    }
    int32 PLUGIN_API countClasses() override { return 1; }
    tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) override {
        if (index != 0) return kInvalidArgument;
        *info = PClassInfo(CID, PClassInfo::kManyInstances, kVstAudioEffectClass, "Test Effect");
        return kResultOk;
    }
    tresult PLUGIN_API getClassInfo2(int32 index, PClassInfo2* info) override {
        if (index != 0) return kInvalidArgument;
        *info = PClassInfo2(CID, PClassInfo::kManyInstances, kVstAudioEffectClass, "Test Effect", 0,
                            "Fx|Delay", "", "1.0", "VST 3.8.1");
        return kResultOk;
    }
    tresult PLUGIN_API createInstance(FIDString, FIDString, void** object) override {
        *object = nullptr;
        return kNotImplemented;
    }

  private:
    static constexpr TUID CID = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
};

EffectFactory factory;

}  // namespace

extern "C" {
__attribute__((visibility("default"))) bool ModuleEntry(void*) {
    return true;
}
__attribute__((visibility("default"))) bool ModuleExit() {
    return true;
}
__attribute__((visibility("default"))) IPluginFactory* PLUGIN_API GetPluginFactory() {
    return &factory;
}
}
