// The parameter objects the edit controller publishes to the host: the
// eighteen table parameters, whose conversions and texts are the shared
// table's rules, and the program-change parameter of the factory presets.
#pragma once

#include <cstddef>
#include <string>

#include "kelvo_params.h"
#include "public.sdk/source/vst/vstparameters.h"

namespace kelvo {

// A host's UTF-16 text as ASCII, at most `maxChars` characters, ending at the
// first NUL; a character outside ASCII becomes '?'. Null gives "".
std::string asciiFromUtf16(const Steinberg::Vst::TChar* text, size_t maxChars);
// An ASCII text into a host string of 128 code units, cut to 127 characters.
void utf16FromAscii(const char* text, Steinberg::Vst::String128 out);

// One row of KELVO_PARAMS, which outlives it. Main thread.
class KelvoParameter : public Steinberg::Vst::Parameter {
  public:
    explicit KelvoParameter(const kelvo_param_desc& desc);

    void toString(Steinberg::Vst::ParamValue normalized,
                  Steinberg::Vst::String128 string) const SMTG_OVERRIDE;
    // False, leaving `normalized` untouched, for a text that holds no finite
    // number, toggle word or exact list name.
    bool fromString(const Steinberg::Vst::TChar* string,
                    Steinberg::Vst::ParamValue& normalized) const SMTG_OVERRIDE;
    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue normalized) const SMTG_OVERRIDE;
    Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plain) const SMTG_OVERRIDE;

    OBJ_METHODS(KelvoParameter, Parameter)

  private:
    const kelvo_param_desc& desc_;
};

// The factory presets' program-change parameter: a list of the preset names
// whose value selects a preset with the same rounding the controller uses to
// apply it (index = v x 5, halves away from zero). The SDK's list rounds
// down instead, so between grid points the host would name one preset while
// another is applied. Main thread.
class ProgramChangeParameter : public Steinberg::Vst::StringListParameter {
  public:
    ProgramChangeParameter(const Steinberg::Vst::TChar* title, Steinberg::Vst::ParamID id,
                           Steinberg::Vst::UnitID unit);

    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue normalized) const SMTG_OVERRIDE;

    OBJ_METHODS(ProgramChangeParameter, StringListParameter)
};

}  // namespace kelvo
