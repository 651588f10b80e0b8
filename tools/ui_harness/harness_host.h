// The harness's side as a VST 3 host: the bundle loaded, its processor and
// controller created, initialised, connected and set up the way hosts do,
// the controller's edits recorded and passed on to the processor, and the
// four diagnostics exports through which the page's messages travel.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "bundle_loader.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace kelvo::harness {

// The host's side of the controller's edits: every call in order, and the
// values the processor has yet to hear of.
class EditRecorder : public Steinberg::Vst::IComponentHandler {
  public:
    struct Edit {
        const char* call;  // "begin", "perform", "end" or "restart"
        long long id;      // the parameter id, or the restart flags
        double value;      // perform only
    };

    EditRecorder() { FUNKNOWN_CTOR }
    virtual ~EditRecorder() = default;
    Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
                                              Steinberg::Vst::ParamValue value) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) SMTG_OVERRIDE;
    DECLARE_FUNKNOWN_METHODS

    std::vector<Edit> edits;
    // Parameter changes for the next processing block, in order.
    std::vector<std::pair<Steinberg::Vst::ParamID, double>> pending;
};

class HarnessHost {
  public:
    using Sink = std::function<void(const char* data, size_t length)>;

    // Loads the bundle and brings one instance up; error() is empty on success.
    explicit HarnessHost(const std::string& bundlePath);
    ~HarnessHost();
    HarnessHost(const HarnessHost&) = delete;
    HarnessHost& operator=(const HarnessHost&) = delete;

    const std::string& error() const { return error_; }
    // The UI folder the module reports, or empty when it has no such export.
    std::string moduleUiRoot() const;

    // Every text the controller sends goes to `sink` from now on.
    bool installSink(Sink sink);
    void deliver(const std::string& message);
    void tick();
    // Host automation: the controller is told the value, the processor gets
    // it with the next block.
    bool automate(Steinberg::Vst::ParamID id, double normalized);
    // Renders one block when the processor has changes to hear of.
    void flushChanges();

    EditRecorder& edits() { return *recorder_; }
    Steinberg::Vst::IEditController* controller() const { return controller_; }

  private:
    bool bringUp();
    void tearDown();

    LoadedBundle bundle_;
    std::string error_;
    Steinberg::IPtr<Steinberg::FUnknown> application_;
    Steinberg::IPtr<Steinberg::Vst::IComponent> component_;
    Steinberg::IPtr<Steinberg::Vst::IAudioProcessor> processor_;
    Steinberg::IPtr<Steinberg::Vst::IEditController> controller_;
    Steinberg::IPtr<EditRecorder> recorder_;
    Sink sink_;
    bool connected_ = false;
    bool active_ = false;
    std::vector<float> left_, right_;
};

}  // namespace kelvo::harness
