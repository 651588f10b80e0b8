// Page messages read and dispatched against one live controller, as a
// hostile page or diagnostics client would send them: nothing may crash,
// overflow or leave undefined behaviour, whatever the bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kelvo_controller.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Steinberg::Vst::HostApplication application;
    static kelvo::KelvoController* controller = [] {
        auto* made = new kelvo::KelvoController();
        made->initialize(&application);
        // Copying the whole text lets the sanitizers see a bad one.
        made->installClientSink([](const std::string& text) {
            static std::string last;
            last = text;
        });
        return made;
    }();
    controller->deliverClientMessage(reinterpret_cast<const char*>(data), size);
    return 0;
}
