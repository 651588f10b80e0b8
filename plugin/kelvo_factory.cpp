#include "kelvo_factory.h"

#include <cstring>

#include "kelvo_controller.h"
#include "kelvo_processor.h"
#include "plugin_ids.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "webview_plug_view.h"

namespace kelvo {

using namespace Steinberg;

namespace {

// Hosts show the class records as they are; the SDK version names the SDK
// release the plug-in follows, not the packaged sources it is built from.
constexpr const char8* SDK_VERSION = "VST 3.8.1";

const PFactoryInfo& factoryInfo() {
    static const PFactoryInfo info("Kelvo Music", "https://kelvo.music",
                                   "mailto:support@kelvo.music", PFactoryInfo::kUnicode);
    return info;
}

// An empty vendor leaves the factory's vendor in force.
const PClassInfo2& processorClass() {
    static const PClassInfo2 info(kProcessorUid, PClassInfo::kManyInstances, kVstAudioEffectClass,
                                  "Tambro Synth", Vst::kDistributable, "Instrument|Synth", "",
                                  KELVO_VERSION, SDK_VERSION);
    return info;
}

const PClassInfo2& controllerClass() {
    static const PClassInfo2 info(kControllerUid, PClassInfo::kManyInstances,
                                  kVstComponentControllerClass, "Tambro Synth Controller", 0, "",
                                  "", KELVO_VERSION, SDK_VERSION);
    return info;
}

// The factory handed to hosts; it forgets itself when the last reference goes.
KelvoFactory* processFactory = nullptr;

}  // namespace

KelvoFactory::KelvoFactory(const PFactoryInfo& info) : info_(info) {
    FUNKNOWN_CTOR;
}

KelvoFactory::~KelvoFactory() {
    if (processFactory == this) processFactory = nullptr;
}

IMPLEMENT_REFCOUNT(KelvoFactory)

tresult PLUGIN_API KelvoFactory::queryInterface(const TUID iid, void** obj) {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, IPluginFactory)
    QUERY_INTERFACE(iid, obj, IPluginFactory::iid, IPluginFactory)
    QUERY_INTERFACE(iid, obj, IPluginFactory2::iid, IPluginFactory2)
    QUERY_INTERFACE(iid, obj, IPluginFactory3::iid, IPluginFactory3)
    *obj = nullptr;
    return kNoInterface;
}

bool KelvoFactory::registerClass(const PClassInfo2& info, CreateFunction create) {
    if (create == nullptr || count_ == MAX_CLASSES) return false;
    classes_[count_++] = {info, create};
    return true;
}

const KelvoFactory::ClassEntry* KelvoFactory::entry(int32 index) const {
    return index >= 0 && index < count_ ? &classes_[index] : nullptr;
}

tresult PLUGIN_API KelvoFactory::getFactoryInfo(PFactoryInfo* info) {
    if (info == nullptr) return kInvalidArgument;
    *info = info_;
    return kResultOk;
}

tresult PLUGIN_API KelvoFactory::getClassInfo(int32 index, PClassInfo* info) {
    const ClassEntry* found = entry(index);
    if (info == nullptr || found == nullptr) return kInvalidArgument;
    *info = PClassInfo(found->info.cid, found->info.cardinality, found->info.category,
                       found->info.name);
    return kResultOk;
}

tresult PLUGIN_API KelvoFactory::getClassInfo2(int32 index, PClassInfo2* info) {
    const ClassEntry* found = entry(index);
    if (info == nullptr || found == nullptr) return kInvalidArgument;
    *info = found->info;
    return kResultOk;
}

tresult PLUGIN_API KelvoFactory::getClassInfoUnicode(int32 index, PClassInfoW* info) {
    const ClassEntry* found = entry(index);
    if (info == nullptr || found == nullptr) return kInvalidArgument;
    *info = PClassInfoW();
    info->fromAscii(found->info);
    return kResultOk;
}

tresult PLUGIN_API KelvoFactory::createInstance(FIDString cid, FIDString iid, void** obj) {
    if (obj == nullptr) return kInvalidArgument;
    *obj = nullptr;
    if (cid == nullptr || iid == nullptr) return kInvalidArgument;
    for (int32 i = 0; i < count_; ++i) {
        if (std::memcmp(classes_[i].info.cid, cid, sizeof(TUID)) != 0) continue;
        try {
            FUnknown* instance = classes_[i].create(nullptr);
            if (instance == nullptr) return kOutOfMemory;
            const tresult result = instance->queryInterface(iid, obj);
            instance->release();
            return result == kResultOk ? kResultOk : kNoInterface;
        } catch (...) {
            *obj = nullptr;
            return kInternalError;
        }
    }
    return kNoInterface;
}

}  // namespace kelvo

// The process-wide factory: created with both classes on the first call; each
// later call adds a reference for its caller. Null when it cannot be created.
extern "C" SMTG_EXPORT_SYMBOL Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory() {
    using namespace kelvo;
    if (processFactory != nullptr) {
        processFactory->addRef();
        return processFactory;
    }
    try {
        KelvoController::setViewFactory(
            [](KelvoController& controller) { return createWebViewEditor(&controller, nullptr); });
        auto* factory = new KelvoFactory(factoryInfo());
        factory->registerClass(processorClass(), KelvoProcessor::createInstance);
        factory->registerClass(controllerClass(), KelvoController::createInstance);
        processFactory = factory;
        return factory;
    } catch (...) {
        return nullptr;
    }
}
