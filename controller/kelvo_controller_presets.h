// The six factory presets the controller publishes as its program list, and
// the list class whose program-change parameter selects them.
#pragma once

#include <cstdint>

#include "kelvo_params.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

namespace kelvo {

inline constexpr int32_t KELVO_FACTORY_PRESET_COUNT = 6;
// The program list's id, which is also its program-change parameter's id.
inline constexpr Steinberg::Vst::ParamID KELVO_PROGRAM_LIST_ID = 0x3F010001;

struct kelvo_factory_preset {
    const char* id;
    const char* name;
    double values[KELVO_PARAM_COUNT];  // normalized, in parameter-id order
};

extern const kelvo_factory_preset KELVO_FACTORY_PRESETS[KELVO_FACTORY_PRESET_COUNT];

// "Factory Presets": its program-change parameter is a
// ProgramChangeParameter, not automatable. Main thread.
class FactoryPresetList : public Steinberg::Vst::ProgramList {
  public:
    FactoryPresetList();

    Steinberg::Vst::Parameter* getParameter() SMTG_OVERRIDE;

    OBJ_METHODS(FactoryPresetList, ProgramList)
};

}  // namespace kelvo
