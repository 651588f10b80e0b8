// The plug-in's VST 3 component and audio processor. Its own work is thin:
// one stereo output and one event input, exactly one sample format, host
// parameter changes and notes turned into engine events each block, silence
// flags, and diagnostics and host facts sent to the controller.
#pragma once

#include <string>
#include <string_view>

#include "audio_effect.h"
#include "cc_map.h"
#include "host_facts.h"
#include "kernel_engine.h"
#include "runtime_bank.h"

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
    // Main thread: the state document, written whole.
    tresult PLUGIN_API getState(Steinberg::IBStream* stream) SMTG_OVERRIDE;
    // Main thread: a damaged or oversized document changes nothing.
    tresult PLUGIN_API setState(Steinberg::IBStream* stream) SMTG_OVERRIDE;
    // Main thread: the controller's messages.
    tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) SMTG_OVERRIDE;
    // Main thread: sends again what the controller missed before the connection.
    tresult PLUGIN_API connect(Steinberg::Vst::IConnectionPoint* other) SMTG_OVERRIDE;

    // Main thread: loads the pack at `locator` and offers it to the engine;
    // 0 when it was published, else the outcome (recorded and reported).
    int32_t loadRuntimeBankFromPath(const std::string& locator, const std::string& source,
                                    const std::string& instrument, std::string& error);

    // Main thread (tests and tools).
    KernelEngine& engine() { return engine_; }
    // Main thread.
    const HostFacts& hostFacts() const { return hostFacts_; }
    // Main thread: the runtime bank last loaded (empty texts when none).
    const std::string& runtimeBankSource() const { return runtimeBankSource_; }
    const std::string& runtimeBankLocator() const { return runtimeBankLocator_; }
    const std::string& runtimeBankSha256() const { return runtimeBankSha256_; }
    const std::string& runtimeBankInstrument() const { return runtimeBankInstrument_; }
    // Main thread: the bank preset the controller last reported applied.
    const std::string& loadedPresetId() const { return loadedPresetId_; }
    // Main thread: the CC map last received or recalled, if any.
    const CcMap* ccMap() const { return ccMapPresent_ ? &ccMap_ : nullptr; }

  private:
    void queueParameterChanges(Steinberg::Vst::IParameterChanges* changes) noexcept;
    void queueNoteEvents(Steinberg::Vst::IEventList* events) noexcept;
    HostFacts captureHostFacts();
    void refreshHostFacts();
    void sendRuntimeDiagnostics(bool force);
    void sendJsonMessage(const char* id, const void* bytes, uint32 size);
    tresult getStateUnguarded(Steinberg::IBStream* stream);
    tresult setStateUnguarded(Steinberg::IBStream* stream);
    tresult notifyUnguarded(Steinberg::Vst::IMessage* message);
    void recallRuntimeBank(const StateChunk& chunk);
    // Loads and offers a pack; a failure is recorded and reported.
    RuntimeBankAttempt offerRuntimeBank(const std::string& locator, const std::string& source,
                                        const std::string& instrument);
    void answerLoadRequest(std::string_view payload);

    KernelEngine engine_;
    HostFacts hostFacts_;
    std::string runtimeBankSource_;
    std::string runtimeBankLocator_;
    std::string runtimeBankSha256_;
    std::string runtimeBankInstrument_;
    std::string loadedPresetId_;
    CcMap ccMap_;
    bool ccMapPresent_ = false;
    bool lastReportForced_ = false;  // the last health report was a failed setup's
};

}  // namespace kelvo
