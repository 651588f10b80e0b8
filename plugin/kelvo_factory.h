// The module's class factory: the classes a host can create, their records in
// every form the factory interfaces ask for, and creation by class ID. The
// module exports the process-wide instance through GetPluginFactory.
#pragma once

#include "pluginterfaces/base/ipluginbase.h"

namespace kelvo {

using CreateFunction = Steinberg::FUnknown* (*)(void* context);

class KelvoFactory : public Steinberg::IPluginFactory3 {
  public:
    using tresult = Steinberg::tresult;
    using int32 = Steinberg::int32;

    static constexpr int32 MAX_CLASSES = 2;

    explicit KelvoFactory(const Steinberg::PFactoryInfo& info);
    virtual ~KelvoFactory();

    // False when the table is full or the create function is missing.
    bool registerClass(const Steinberg::PClassInfo2& info, CreateFunction create);

    tresult PLUGIN_API getFactoryInfo(Steinberg::PFactoryInfo* info) SMTG_OVERRIDE;
    int32 PLUGIN_API countClasses() SMTG_OVERRIDE { return count_; }
    tresult PLUGIN_API getClassInfo(int32 index, Steinberg::PClassInfo* info) SMTG_OVERRIDE;
    // Exceptions from a class's construction end here as kInternalError.
    tresult PLUGIN_API createInstance(Steinberg::FIDString cid, Steinberg::FIDString iid,
                                      void** obj) SMTG_OVERRIDE;
    tresult PLUGIN_API getClassInfo2(int32 index, Steinberg::PClassInfo2* info) SMTG_OVERRIDE;
    tresult PLUGIN_API getClassInfoUnicode(int32 index, Steinberg::PClassInfoW* info) SMTG_OVERRIDE;
    // Our classes take the host context in initialize; the factory needs none.
    tresult PLUGIN_API setHostContext(Steinberg::FUnknown*) SMTG_OVERRIDE {
        return Steinberg::kNotImplemented;
    }

    DECLARE_FUNKNOWN_METHODS

  private:
    struct ClassEntry {
        Steinberg::PClassInfo2 info;
        CreateFunction create;
    };
    const ClassEntry* entry(int32 index) const;

    Steinberg::PFactoryInfo info_;
    ClassEntry classes_[MAX_CLASSES] = {};
    int32 count_ = 0;
};

}  // namespace kelvo
