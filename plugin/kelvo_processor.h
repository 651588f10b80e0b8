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
    // The kernel can be replaced for tests; hosts always get the drum kernel.
    explicit KelvoProcessor(const KernelFunctions& kernel = drumKernelFunctions());
    static Steinberg::FUnknown* createInstance(void*);

    tresult PLUGIN_API initialize(Steinberg::FUnknown* context) SMTG_OVERRIDE;
    tresult PLUGIN_API setActive(Steinberg::TBool state) SMTG_OVERRIDE;
    tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs, int32 numIns,
                                          Steinberg::Vst::SpeakerArrangement* outputs,
                                          int32 numOuts) SMTG_OVERRIDE;
    tresult PLUGIN_API canProcessSampleSize(int32 symbolicSampleSize) SMTG_OVERRIDE;
    uint32 PLUGIN_API getLatencySamples() SMTG_OVERRIDE;
    tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) SMTG_OVERRIDE;
    tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) SMTG_OVERRIDE;

    KernelEngine& engine() { return engine_; }
    const HostFacts& hostFacts() const { return hostFacts_; }

  private:
    void queueParameterChanges(Steinberg::Vst::IParameterChanges* changes);
    void queueNoteEvents(Steinberg::Vst::IEventList* events);
    void captureHostFacts(HostFacts& facts);
    void refreshHostFacts();
    void sendRuntimeDiagnostics(bool force);
    void sendJsonMessage(const char* id, const void* bytes, uint32 size);

    KernelEngine engine_;
    HostFacts hostFacts_;
    uint32 transportReports_ = 0;
};

}  // namespace kelvo
