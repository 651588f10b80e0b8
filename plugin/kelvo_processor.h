// The plug-in's VST 3 component and audio processor. Its own work is thin:
// one stereo output and one event input, exactly one sample format, host
// parameter changes and notes turned into engine events each block, silence
// flags, and diagnostics and host facts sent to the controller.
#pragma once

#include "audio_effect.h"
#include "host_facts.h"
#include "kernel_engine.h"

namespace kelvo {

class KelvoProcessor : public AudioEffect {
  public:
    // Main thread. The kernel can be replaced for tests; hosts always get the drum kernel.
    explicit KelvoProcessor(const KernelFunctions& kernel = drumKernelFunctions());
    // Main thread.
    static Steinberg::FUnknown* createInstance(void*);

    // Main thread.
    tresult PLUGIN_API initialize(Steinberg::FUnknown* context) SMTG_OVERRIDE;
    // Main thread.
    tresult PLUGIN_API setActive(Steinberg::TBool state) SMTG_OVERRIDE;
    // Main thread.
    tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs, int32 numIns,
                                          Steinberg::Vst::SpeakerArrangement* outputs,
                                          int32 numOuts) SMTG_OVERRIDE;
    // Main thread.
    tresult PLUGIN_API canProcessSampleSize(int32 symbolicSampleSize) SMTG_OVERRIDE;
    // Main thread.
    uint32 PLUGIN_API getLatencySamples() SMTG_OVERRIDE;
    // Main thread.
    tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) SMTG_OVERRIDE;
    // Audio thread.
    tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) noexcept SMTG_OVERRIDE;

    // Main thread (tests and tools).
    KernelEngine& engine() { return engine_; }
    // Main thread.
    const HostFacts& hostFacts() const { return hostFacts_; }

  private:
    void queueParameterChanges(Steinberg::Vst::IParameterChanges* changes) noexcept;
    void queueNoteEvents(Steinberg::Vst::IEventList* events) noexcept;
    HostFacts captureHostFacts();
    void refreshHostFacts();
    void sendRuntimeDiagnostics(bool force);
    void sendJsonMessage(const char* id, const void* bytes, uint32 size);

    KernelEngine engine_;
    HostFacts hostFacts_;
};

}  // namespace kelvo
