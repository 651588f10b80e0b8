// One controller driven as a host and an editor page would drive it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kelvo_controller.h"
#include "test_host.h"

namespace kelvo::test {

// Initialised with the given host context (a plain host application when
// null), given a recording component handler, connected to a recording
// processor peer unless told otherwise, and with a sink collecting the
// page's texts.
class ControllerHost {
  public:
    explicit ControllerHost(Steinberg::FUnknown* context = nullptr, bool connected = true);
    ~ControllerHost();

    KelvoController* operator->() { return controller_; }
    KelvoController& controller() { return *controller_; }
    ComponentHandlerRecorder& handler() { return *handler_; }
    void connect() { controller_->connect(peer_); }

    Steinberg::tresult setComponentState(const std::string& document);
    Steinberg::tresult setState(const std::string& document);
    std::string getState();
    // The messages sent to the processor with this id, and the page texts
    // whose "type" is this one, in order.
    std::vector<RecordedMessage> sent(std::string_view id) const;
    std::vector<std::string> ui(std::string_view type) const;
    void clearRecords();

  private:
    Steinberg::Vst::HostApplication application_;
    Steinberg::IPtr<KelvoController> controller_;
    Steinberg::IPtr<ComponentHandlerRecorder> handler_;
    Steinberg::IPtr<MessageRecorder> peer_;
    std::vector<std::string> ui_;
};

// A processor's state document holding these plain values (NaN: absent).
std::string componentDocument(const double (&plain)[KELVO_PARAM_COUNT],
                              const CcMap* ccMap = nullptr,
                              const SamplerPadOverrides* pads = nullptr,
                              const BankStateRefOut* bank = nullptr);

}  // namespace kelvo::test
