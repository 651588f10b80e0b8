// One instance of a VST 3 instrument, hosted knowing nothing of its insides:
// the bundle's module entered, the first audio module class whose
// subcategories name an instrument created with its edit controller, the two
// connected, the component state handed to the controller, the main output
// bus asked for stereo, processing set up offline in 32-bit floats.
// Parameters are found by their titles, presets through the program list
// behind the program-change parameter, controller numbers through the
// controller's MIDI mapping. Every call runs on the thread that made it.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bundle_loader.h"
#include "host_objects.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

namespace tambro::render {

struct ParameterDescription {
    Steinberg::Vst::ParamID id;
    std::string title;  // as the plug-in gives it, or "<unit> <title>" outside the root unit
    std::string units;
    Steinberg::int32 flags;
};

class PluginInstance {
  public:
    // Throws ToolError(EXIT_BUNDLE) when the bundle is missing, fails to
    // load or holds no instrument.
    explicit PluginInstance(const std::string& bundlePath);
    // Stops processing, deactivates, disconnects and terminates both parts.
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    // Before start(). Throw ToolError(EXIT_USAGE) for names the plug-in does
    // not know or values it does not take.
    void setParameter(const std::string& assignment);  // "Title=value" or "#id=value"
    void selectPreset(const std::string& name);
    std::vector<ParameterDescription> parameters() const;
    struct Programs {
        Steinberg::Vst::ParamID parameter = 0;  // the program-change parameter
        std::vector<std::string> names;         // empty when the plug-in offers none
    };
    Programs programs() const;
    std::string valueText(Steinberg::Vst::ParamID id) const;

    // A state written by saveState, in the VST 3 preset file format. Throws
    // ToolError(EXIT_INPUT) when the instrument refuses it.
    void restoreState(const std::vector<char>& bytes, const std::string& name);
    std::vector<char> saveState() const;

    // Throws ToolError(EXIT_PLUGIN) when the plug-in refuses the setup.
    void setup(double sampleRate, Steinberg::int32 maxBlockFrames);
    // Activates and starts processing. Values set before reach the processor
    // in one silent block, after which the instance is reset, so rendering
    // starts from a settled instrument whatever the block size.
    void start();
    // Deactivates and reactivates: voices end, values stay.
    void restart();
    Steinberg::Vst::IAudioProcessor* processor() const { return processor_; }
    Steinberg::int32 outputChannels() const { return outputChannels_; }
    Steinberg::int32 maxBlockFrames() const { return maxBlockFrames_; }
    double sampleRate() const { return sampleRate_; }
    Steinberg::uint32 tailSamples() const { return processor_->getTailSamples(); }

    // The parameter the controller maps a MIDI controller number to.
    bool controllerParameter(Steinberg::int16 channel, Steinberg::int16 number,
                             Steinberg::Vst::ParamID& id) const;
    // Tells the controller of a value the processor was sent while rendering.
    void adoptValue(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);

  private:
    void createParts(const std::string& bundlePath);
    void tearDown();
    void connectParts();
    void arrangeBuses();
    void activate(bool state);
    void primeWithPendingEdits();
    ParameterDescription findParameter(const std::string& name) const;
    void edit(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value);

    std::unique_ptr<kelvo::LoadedBundle> bundle_;
    // The SDK's host context counts no references: it lives as long as the
    // instance, and both parts are terminated before it goes.
    kelvo::host::NamedApplication application_{"tambro-render"};
    Steinberg::IPtr<kelvo::host::EditRecorder> collector_;
    Steinberg::TUID classId_{};
    Steinberg::IPtr<Steinberg::Vst::IComponent> component_;
    Steinberg::IPtr<Steinberg::Vst::IAudioProcessor> processor_;
    Steinberg::IPtr<Steinberg::Vst::IEditController> controller_;
    bool componentInitialized_ = false;
    bool controllerInitialized_ = false;
    bool connected_ = false;
    bool active_ = false;
    bool processing_ = false;
    Steinberg::int32 outputChannels_ = 0;
    Steinberg::int32 maxBlockFrames_ = 0;
    double sampleRate_ = 0;
    // Values for the processor to hear of before rendering, in order.
    std::vector<std::pair<Steinberg::Vst::ParamID, Steinberg::Vst::ParamValue>> pending_;
};

}  // namespace tambro::render
