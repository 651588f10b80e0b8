// The C functions through which an in-process diagnostics client that
// created the controller from the factory speaks the page's protocol without
// a view. Compiled into the module itself, which exports them. Every one
// runs on the host's main thread and fails (0) for anything but this
// plug-in's controller.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kelvo_controller.h"

namespace {

using kelvo::IKelvoDiagnosticBridge;
using Steinberg::FUnknown;
using Steinberg::FUnknownPtr;

using DiagnosticSink = void (*)(void* context, const char* data, size_t length);

constexpr uint32_t BRIDGE_ABI_VERSION = 2;

// Another plug-in's controller may be an IEditController too; only ours
// answers the private interface.
template <typename Body>
int withBridge(FUnknown* controller, Body&& body) noexcept {
    if (controller == nullptr) return 0;
    try {
        FUnknownPtr<IKelvoDiagnosticBridge> bridge(controller);
        if (!bridge) return 0;
        body(*bridge);
        return 1;
    } catch (...) {
        return 0;
    }
}

}  // namespace

extern "C" {

SMTG_EXPORT_SYMBOL uint32_t kelvoDiagnosticBridgeAbiVersion() {
    return BRIDGE_ABI_VERSION;
}

SMTG_EXPORT_SYMBOL int kelvoInstallDiagnosticBridgeSink(FUnknown* controller, DiagnosticSink sink,
                                                        void* context) {
    return withBridge(controller, [&](IKelvoDiagnosticBridge& bridge) {
        if (sink == nullptr) return bridge.installClientSink(nullptr);
        bridge.installClientSink(
            [sink, context](const std::string& text) { sink(context, text.data(), text.size()); });
    });
}

SMTG_EXPORT_SYMBOL int kelvoDeliverDiagnosticBridgeMessage(FUnknown* controller, const char* bytes,
                                                           size_t length) {
    if (bytes == nullptr) return 0;
    return withBridge(controller, [&](IKelvoDiagnosticBridge& bridge) {
        bridge.deliverClientMessage(bytes, length);
    });
}

SMTG_EXPORT_SYMBOL int kelvoTickDiagnosticCadence(FUnknown* controller) {
    return withBridge(controller,
                      [](IKelvoDiagnosticBridge& bridge) { bridge.tickClientCadence(); });
}

}  // extern "C"
