// The plug-in's VST 3 edit controller: publishes the parameters, one unit,
// the factory preset list and the MIDI CC assignment; applies presets;
// restores values from the processor's state and keeps its own small state
// (CC map, pad overrides, selected preset); exchanges messages with the
// processor; owns the bank control, the diagnostics state and the sink
// through which JSON texts reach the editor page or a diagnostics client.
// Every operation runs on the host's main thread.
#pragma once

#include <cstddef>
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
#include "ui_bridge.h"

namespace kelvo {

// Receives every JSON text meant for the editor page or a diagnostics client.
using UiSink = std::function<void(const std::string&)>;

// Who listens to the controller: the editor page or an in-process
// diagnostics client. Each has its own sink and subscription.
enum class BridgeOwner : uint8_t { Editor = 0, Client = 1 };

// The controller as the editor view sees it.
class BridgeHost {
  public:
    virtual ~BridgeHost() = default;
    // Main thread: one page message, JSON bytes without a terminating NUL.
    virtual void handleBridgeMessage(const char* bytes, size_t length) = 0;
    // Main thread: the page's sink; an empty function removes it.
    virtual void setBridgeSink(UiSink sink) = 0;
    virtual void onEditorOpened() = 0;
    virtual void onEditorClosed() = 0;
    // Main thread: null reads as "unknown".
    virtual void onEditorError(const char* reason) = 0;
};

// Answered by KelvoController alone: the diagnostics exports ask for it, so
// another plug-in's edit controller is never taken for this one. Only for
// callers inside this module; main thread.
class IKelvoDiagnosticBridge : public Steinberg::FUnknown {
  public:
    // The client's sink; an empty function removes it.
    virtual void installClientSink(UiSink sink) = 0;
    virtual void deliverClientMessage(const char* bytes, size_t length) = 0;
    virtual void tickClientCadence() = 0;
    static const Steinberg::FUID iid;
};
DECLARE_CLASS_IID(IKelvoDiagnosticBridge, 0x4B656C76, 0x6F446961, 0x67427269, 0x64676502)

class KelvoController : public Steinberg::Vst::EditControllerEx1,
                        public Steinberg::Vst::IMidiMapping,
                        public BridgeHost,
                        public IKelvoDiagnosticBridge {
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
    // Main thread: the view for "editor" from the installed view factory;
    // null for other names or without a factory.
    Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) SMTG_OVERRIDE;

    // Makes the editor's view for a controller; the caller owns the view.
    using ViewFactory = Steinberg::IPlugView* (*)(KelvoController& controller);
    // Main thread: set by the module, so that builds without the editor
    // (tests of the controller alone) link and answer with no view.
    static void setViewFactory(ViewFactory factory);

    // BridgeHost, the editor's side. Main thread.
    void handleBridgeMessage(const char* bytes, size_t length) override;
    void setBridgeSink(UiSink sink) override;
    void onEditorOpened() override;
    // Ends the gestures the page left open and forgets its subscription.
    void onEditorClosed() override;
    void onEditorError(const char* reason) override;

    // IKelvoDiagnosticBridge, a diagnostics client's side. Main thread.
    void installClientSink(UiSink sink) override;
    void deliverClientMessage(const char* bytes, size_t length) override;
    void tickClientCadence() override { tickCadence(); }

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
    uint32_t diagFeeds(BridgeOwner owner) const { return channel(owner).feeds; }
    double diagRateHz(BridgeOwner owner) const { return channel(owner).rateHz; }

    OBJ_METHODS(KelvoController, EditControllerEx1)
    DEFINE_INTERFACES
    DEF_INTERFACE(IMidiMapping)
    DEF_INTERFACE(IUnitInfo)
    DEF_INTERFACE(IKelvoDiagnosticBridge)
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

    // One listener's sink and what it asked for.
    struct BridgeChannel {
        UiSink sink;
        uint32_t feeds = 0;  // DIAG_FEED_* bits
        double rateHz = 0.0;
        bool helloSent = false;
    };

    // Everything that lives from initialize to terminate; replaced whole by
    // terminate, so a second initialize starts from the constructed state.
    struct Session {
        explicit Session(BankControlHost& host) : bankControl(host) {}

        BankControl bankControl;
        // The sink installed last that is still there hears every text;
        // replies go to the sink of whoever asked.
        BridgeChannel channels[2];
        int32_t activeChannel = -1;  // -1: nobody listens
        uint32_t pageGestures = 0;   // bit i: the page holds a gesture on parameter i
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
        DiagnosticLifecycleLog lifecycleLog;
        TransportState transport;
        uint32_t hostChangeSequence = 0;
    };

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

    // kelvo_controller_bridge.cpp
    const BridgeChannel& channel(BridgeOwner owner) const {
        return session_->channels[static_cast<int>(owner)];
    }
    BridgeChannel& channel(BridgeOwner owner) {
        return session_->channels[static_cast<int>(owner)];
    }
    // The channel whose sink hears every text, or null.
    const BridgeChannel* listener() const;
    void installSink(BridgeOwner owner, UiSink sink);
    void removeSink(BridgeOwner owner);
    void reply(BridgeOwner owner, const std::string& text);
    void handleBridgeMessage(BridgeOwner owner, const char* bytes, size_t length);
    void dispatch(BridgeOwner owner, const BridgeMessage& message, size_t length);
    void subscribe(BridgeOwner owner, const BridgeMessage& message);
    void sendHello(BridgeOwner owner);
    void loadFactoryPresetById(const std::string& id);
    bool offerToBankControl(const BridgeMessage& message);
    void pageSetParam(const BridgeMessage& message);
    void pageGesture(const std::string& path, bool begin);
    void sendStateToPage(BridgeOwner owner);
    void restoreStateFromPage(const BridgeMessage& message, size_t length);

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
