// Page messages read and dispatched against one live controller, as a
// hostile page or diagnostics client would send them: nothing may crash,
// overflow or leave undefined behaviour, whatever the bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kelvo_controller.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "ui_bridge.h"

namespace {

kelvo::KelvoController& controller() {
    static Steinberg::Vst::HostApplication application;
    static kelvo::KelvoController* instance = [] {
        auto* made = new kelvo::KelvoController();
        made->initialize(&application);
        made->installClientSink([](const std::string& text) {
            // Touch every byte so the sanitizers see a bad text.
            volatile size_t sum = 0;
            for (char c : text)
                sum = sum + static_cast<unsigned char>(c);
        });
        return made;
    }();
    return *instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    kelvo::BridgeMessage message;
    kelvo::parseBridgeMessage(bytes, size, message);
    controller().deliverClientMessage(bytes, size);
    return 0;
}
