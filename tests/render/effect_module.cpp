// A module whose factory offers only an effect: what tambro-render must
// refuse as "not an instrument".
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"

using namespace Steinberg;

namespace {

class EffectFactory : public IPluginFactory2 {
  public:
    tresult PLUGIN_API queryInterface(const TUID iid, void** object) override {
        QUERY_INTERFACE(iid, object, FUnknown::iid, IPluginFactory2)
        QUERY_INTERFACE(iid, object, IPluginFactory::iid, IPluginFactory2)
        QUERY_INTERFACE(iid, object, IPluginFactory2::iid, IPluginFactory2)
        *object = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
    tresult PLUGIN_API getFactoryInfo(PFactoryInfo*) override { return kNotImplemented; }
    int32 PLUGIN_API countClasses() override { return 1; }
    tresult PLUGIN_API getClassInfo(int32, PClassInfo*) override { return kNotImplemented; }
    tresult PLUGIN_API getClassInfo2(int32, PClassInfo2* info) override {
        const TUID cid = {};
        *info = PClassInfo2(cid, PClassInfo::kManyInstances, kVstAudioEffectClass, "Test Effect", 0,
                            "Fx|Delay", "", "1.0", "VST 3.8.1");
        return kResultOk;
    }
    tresult PLUGIN_API createInstance(FIDString, FIDString, void**) override {
        return kNotImplemented;
    }
};

EffectFactory factory;

}  // namespace

extern "C" {
SMTG_EXPORT_SYMBOL bool ModuleEntry(void*) {
    return true;
}
SMTG_EXPORT_SYMBOL bool ModuleExit() {
    return true;
}
SMTG_EXPORT_SYMBOL IPluginFactory* PLUGIN_API GetPluginFactory() {
    return &factory;
}
}
