#include "kelvo_controller_presets.h"

#include "kelvo_parameter.h"

namespace kelvo {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

static_assert(KELVO_PARAM_COUNT == 18, "the preset rows list every parameter");

// The sound-shaping values of a preset in plain units, in id order 0...13;
// the pattern and master parameters are the same in every preset.
struct PresetSound {
    double plain[14];
};

constexpr double normalizedOf(uint32_t id, double plain) {
    const kelvo_param_desc& desc = KELVO_PARAMS[id];
    return (plain - desc.min) / (desc.max - desc.min);
}

constexpr kelvo_factory_preset preset(const char* id, const char* name, PresetSound sound) {
    kelvo_factory_preset out{id, name, {}};
    for (uint32_t i = 0; i < 14; ++i)
        out.values[i] = normalizedOf(i, sound.plain[i]);
    out.values[14] = 0.0;  // "stopped"
    out.values[15] = normalizedOf(15, 96);
    out.values[16] = 0.0;  // "Four Floor"
    out.values[17] = normalizedOf(17, 0.8);
    return out;
}

}  // namespace

const kelvo_factory_preset KELVO_FACTORY_PRESETS[KELVO_FACTORY_PRESET_COUNT] = {
    preset("factory-1", "Boom Kit",
           {{41, 0.95, 0.22, 172, 0.22, 0.42, 92, 0.6, 0.06, 0.55, 0.72, 2.4, 0.28, 0.44}}),
    preset("factory-2", "Club Machine",
           {{58, 0.33, 0.62, 205, 0.16, 0.74, 128, 0.34, 0.038, 0.3, 0.66, 1.4, 0.2, 0.56}}),
    preset("factory-3", "Dry Room",
           {{55, 0.24, 0.45, 196, 0.12, 0.58, 118, 0.24, 0.03, 0.16, 0.55, 0.7, 0.12, 0.52}}),
    preset("factory-4", "Lo-Fi Crunch",
           {{47, 0.5, 0.18, 165, 0.24, 0.5, 98, 0.5, 0.07, 0.38, 0.22, 1.1, 0.34, 0.24}}),
    preset("factory-5", "Metal Shop",
           {{62, 0.3, 0.7, 240, 0.15, 0.8, 150, 0.3, 0.045, 0.7, 1.0, 4.0, 0.18, 0.78}}),
    preset("factory-6", "Soft Brush",
           {{44, 0.55, 0.06, 178, 0.3, 0.86, 104, 0.62, 0.09, 0.6, 0.32, 2.1, 0.42, 0.34}}),
};

FactoryPresetList::FactoryPresetList()
    : ProgramList(STR16("Factory Presets"), KELVO_PROGRAM_LIST_ID, kRootUnitId) {
    for (const kelvo_factory_preset& entry : KELVO_FACTORY_PRESETS) {
        String128 name;
        utf16FromAscii(entry.name, name);
        addProgram(name);
    }
}

Parameter* FactoryPresetList::getParameter() {
    if (parameter == nullptr) {
        auto* listParameter = new ProgramChangeParameter(info.name, info.id, unitId);
        for (const String& programName : programNames)
            listParameter->appendString(programName.text16());
        parameter = listParameter;
    }
    return parameter;
}

}  // namespace kelvo
