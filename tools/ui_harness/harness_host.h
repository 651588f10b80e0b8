// The harness's side as a VST 3 host: the bundle loaded, its processor and
// controller created, initialised, connected and set up the way hosts do,
// the controller's edits recorded and passed on to the processor, and the
// four diagnostics exports through which the page's messages travel.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bundle_loader.h"
#include "host_objects.h"
#include "hosted_instance.h"

namespace kelvo::harness {

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

    const host::EditRecorder& edits() const { return *recorder_; }
    // Forgets the recorded edits once the processor has heard of them.
    void clearEdits();
    Steinberg::Vst::IEditController* controller() const { return instance_->controller(); }

  private:
    bool bringUp();

    LoadedBundle bundle_;
    std::string error_;
    host::NamedApplication application_{"Tambro UI Harness"};
    Steinberg::IPtr<host::EditRecorder> recorder_;
    std::unique_ptr<host::HostedInstance> instance_;
    // Values the processor has yet to hear of: the controller's own edits
    // after `heardEdits_`, and host automation.
    std::vector<std::pair<Steinberg::Vst::ParamID, double>> pending_;
    size_t heardEdits_ = 0;
    Sink sink_;
};

}  // namespace kelvo::harness
