// The plug-in's VST 3 edit controller: publishes the parameters, one unit,
// the factory preset list and the MIDI CC assignment; applies presets;
// restores values from the processor's state and keeps its own small state
// (CC map, pad overrides, selected preset); exchanges messages with the
// processor; owns the bank control, the diagnostics state and the sink
// through which JSON texts reach the editor page or a diagnostics client.
// Every operation runs on the host's main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "bank_control.h"
#include "cc_map.h"
#include "host_facts.h"
#include "kelvo_controller_clock.h"
#include "lifecycle_log.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/vst/vsteditcontroller.h"
#include "state_document.h"

namespace kelvo {

// Receives every JSON text meant for the editor page or a diagnostics client.
using UiSink = std::function<void(const std::string&)>;

// The controller as the editor and the diagnostics exports see it.
class BridgeHost {
  public:
    virtual ~BridgeHost() = default;
    // Main thread: replaces the sink; an empty function clears it.
    virtual void setBridgeSink(UiSink sink) = 0;
};

class KelvoController : public Steinberg::Vst::EditControllerEx1,
                        public Steinberg::Vst::IMidiMapping,
                        public BridgeHost {
  public:
    using tresult = Steinberg::tresult;
    using ParamID = Steinberg::Vst::ParamID;
    using ParamValue = Steinberg::Vst::ParamValue;

    // Main thread.
    KelvoController();
    ~KelvoController() override;
    // Main thread: a new controller as its IEditController.
    static Steinberg::FUnknown* createInstance(void*);

    // Main thread.
    tresult PLUGIN_API initialize(Steinberg::FUnknown* context) SMTG_OVERRIDE;
    // Main thread: afterwards every member is as constructed.
    tresult PLUGIN_API terminate() SMTG_OVERRIDE;
    // Main thread: re-sends what the processor missed before the connection.
    tresult PLUGIN_API connect(Steinberg::Vst::IConnectionPoint* other) SMTG_OVERRIDE;
    // Main thread: the processor's messages.
    tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) SMTG_OVERRIDE;
    // Main thread: the processor's state document.
    tresult PLUGIN_API setComponentState(Steinberg::IBStream* stream) SMTG_OVERRIDE;
    // Main thread: the controller's own document.
    tresult PLUGIN_API setState(Steinberg::IBStream* stream) SMTG_OVERRIDE;
    tresult PLUGIN_API getState(Steinberg::IBStream* stream) SMTG_OVERRIDE;
    // Main thread: refuses values that are not finite.
    tresult PLUGIN_API setParamNormalized(ParamID id, ParamValue value) SMTG_OVERRIDE;
    // Main thread: the SDK indexes its units unchecked; out of range is false.
    tresult PLUGIN_API getUnitInfo(Steinberg::int32 unitIndex,
                                   Steinberg::Vst::UnitInfo& info) SMTG_OVERRIDE;
    // Main thread.
    tresult PLUGIN_API getMidiControllerAssignment(Steinberg::int32 busIndex,
                                                   Steinberg::int16 channel,
                                                   Steinberg::Vst::CtrlNumber ccNumber,
                                                   ParamID& id) SMTG_OVERRIDE;
    // Main thread: an edit the plug-in starts itself.
    tresult beginEdit(ParamID id) SMTG_OVERRIDE;

    // BridgeHost. Main thread.
    void setBridgeSink(UiSink sink) override;

    // Main thread: the cadence: hands back a finished bank download, polls
    // the processor's transport and drains its feeds.
    void tickCadence() noexcept;
    // Main thread: applies factory preset 0...5 as user edits; others are
    // ignored.
    void applyFactoryPreset(int32_t index);
    // Main thread: whether a parameter differs from the preset last applied.
    bool presetDirty() const;
    // Main thread: takes the map, tells the host and the processor, and the
    // page when `notifyUi`.
    void adoptCcMap(const CcMap& map, bool notifyUi);
    // Main thread: the processor's host facts, with the controller's own
    // host identity.
    void adoptHostFacts(const HostFacts& facts);
    // Main thread.
    void adoptTransportFact(const TransportFact& fact);

    // Main thread: read access for the bridge and tests.
    const BankControl& bankControl() const { return session_->bankControl; }
    const HostFacts& hostFacts() const { return session_->hostFacts; }
    const PresetStateFacts& presetState() const { return session_->presetState; }
    const DiagnosticLifecycleLog& lifecycleLog() const { return session_->lifecycleLog; }
    const std::string& lastRuntimeReport() const { return session_->lastRuntimeReport; }
    const CcMap* ccMap() const { return session_->hasCcMap ? &session_->ccMap : nullptr; }

    OBJ_METHODS(KelvoController, EditControllerEx1)
    DEFINE_INTERFACES
    DEF_INTERFACE(IMidiMapping)
    DEF_INTERFACE(IUnitInfo)
    END_DEFINE_INTERFACES(EditControllerEx1)
    REFCOUNT_METHODS(EditControllerEx1)

  private:
    // The bank control's way back into the controller.
    class BankBridge : public BankControlHost {
      public:
        explicit BankBridge(KelvoController& controller) : controller_(controller) {}
        void sendBankJson(const std::string& json) override;
        void editParam(uint32_t index, double plain) override;
        double readParam(uint32_t index) override;
        bool requestRuntimeBank(const std::string& source, const std::string& directory,
                                const std::string& sha256, const std::string& instrument) override;
        bool applyPadOverrides(const SamplerPadOverrides& overrides) override;
        bool pickFolder(std::string& path, std::string& error) override;
        void notePresetSelected(const std::string& id, const std::string& name) override;

      private:
        KelvoController& controller_;
    };

    // Marks the time the bank control is on the stack: a host call that
    // re-enters the controller then must not hand it a download.
    class BankCall {
      public:
        explicit BankCall(KelvoController& controller) : depth_(controller.bankCallDepth_) {
            ++depth_;
        }
        ~BankCall() { --depth_; }
        BankCall(const BankCall&) = delete;
        BankCall& operator=(const BankCall&) = delete;

      private:
        int& depth_;
    };

    struct PendingUiEdit {
        int32_t id = -1;
        double value = -1.0;
    };

    struct TransportState {
        TransportFact fact = initialFact();
        bool has = false;
        double lastTempo = 120.0;
        int32_t lastNumerator = 4;
        int32_t lastDenominator = 4;
        double lastSentMs = -1.0;  // -1: never sent to the page
        bool resetPending = false;

        static TransportFact initialFact();
    };

    // Everything that lives from initialize to terminate; replaced whole by
    // terminate, so a second initialize starts from the constructed state.
    struct Session {
        explicit Session(BankControlHost& host) : bankControl(host) {}

        BankControl bankControl;
        UiSink uiSink;
        PendingUiEdit pendingUiEdit;
        CcMap ccMap;
        bool hasCcMap = false;
        std::string lastRuntimeReport;
        HostFacts hostFacts;  // the identity fields are the controller's
        PresetStateFacts presetState;
        double presetSnapshot[KELVO_PARAM_COUNT] = {};
        bool presetSnapshotValid = false;
        // After a restore, the preset index whose program-change value the
        // host may send once more as part of re-sending every value; -1 when
        // any program change is the user's.
        int32_t restoredProgram = -1;
        uint32_t diagFeeds = 0;
        double diagRateHz = 0.0;
        DiagnosticLifecycleLog lifecycleLog;
        TransportState transport;
        bool helloSent = false;
        uint32_t hostChangeSequence = 0;
    };

    static constexpr uint32_t FEED_TRANSPORT = 2;
    static constexpr uint32_t FEED_LIFECYCLE = 64;

    // kelvo_controller.cpp
    template <typename Body>
    tresult hostCall(Body&& body) noexcept;
    void captureHostIdentity(Steinberg::FUnknown* context);
    void registerParameters();
    void refreshPresetFacts();
    void restartComponent(Steinberg::int32 flags);
    void deliverFetchedBank();
    // The program-change parameter's current preset index.
    int32_t selectedProgram();
    void selectProgramSilently(int32_t index);
    void applyProgramChange(ParamValue value);

    // kelvo_controller_state.cpp
    void restoreParameters(const StateChunk& chunk);
    void restorePadsAndCcMap(const StateChunk& chunk);
    std::string controllerStateJson();

    // kelvo_controller_messages.cpp
    void sendToUi(const std::string& text);
    void sendParamChanged(ParamID id, ParamValue normalized);
    void reportParamChange(ParamID id, ParamValue normalized);
    bool sendProcessorJson(const char* id, std::string_view json);
    bool sendProcessorInt(const char* id, const char* attribute, int64_t value);
    void resendToProcessor();
    DiagnosticLifecycleEvent& recordLifecycle(DiagnosticLifecycleKind kind, int64_t frame = -1);
    void publishLastLifecycle();
    void emitLifecycle(DiagnosticLifecycleKind kind);
    void editAsUser(ParamID id, ParamValue normalized);
    void adoptRuntimeBankReply(std::string_view reply);
    void adoptRuntimeReport(std::string_view report);
    void adoptLifecycleName(std::string_view name);
    void adoptTransportBytes(std::string_view bytes);
    void adoptHostFactsBytes(std::string_view bytes);

    // kelvo_controller_diagnostics.cpp
    void recordHostChange(const char* kindName, const HostFacts& previous,
                          const HostFacts& current);
    void recordTransportChanges(const TransportFact& fact);

    BankBridge bankBridge_{*this};
    std::unique_ptr<Session> session_;
    CadenceClock cadenceClock_;
    int bankCallDepth_ = 0;
};

// Every host-facing operation runs through here: a finished bank download is
// handed back first, and no exception leaves the plug-in.
template <typename Body>
Steinberg::tresult KelvoController::hostCall(Body&& body) noexcept {
    try {
        deliverFetchedBank();
        return body();
    } catch (const std::bad_alloc&) {
        return Steinberg::kOutOfMemory;
    } catch (...) {
        return Steinberg::kInternalError;
    }
}

}  // namespace kelvo
