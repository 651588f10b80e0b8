// The controller's keeper of what the editor page knows about sound banks:
// the runtime bank the processor reported, where it came from, its
// instruments, kits and presets, the selected preset and the sampler pad
// overrides. It answers the page's bank messages, asks the processor to load
// banks through its host, and after every change sends the page one
// "kelvo.bankState" text. Controller (main) thread only; a hosted download
// runs on a worker and is handed back by deliverFetchedBank().
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hosted_bank.h"
#include "hosted_bank_worker.h"
#include "sampler_pad_overrides.h"

namespace kelvo {

// The members of a parsed page message that the bank control reads.
struct BankMessage {
    std::string type;
    std::string id;          // preset or built-in bank id
    std::string source;      // "user-folder", "hosted", "embedded", ...
    std::string bankPath;    // folder of a local pack
    std::string url;         // address of a hosted pack
    std::string sha256;      // pinned archive digest of a hosted pack
    std::string instrument;  // instrument or kit id to load
    SamplerPadOverrides pads;
    bool hasPads = false;
};

struct BankControlPreset {
    std::string id;
    std::string name;
    std::string instrument;
    std::vector<std::pair<std::string, double>> params;  // parameter path, plain value
};

// What the controller does for the bank control. No SDK types: the
// controller turns these into processor messages and page texts.
class BankControlHost {
  public:
    virtual ~BankControlHost() = default;
    // One JSON text for the editor page.
    virtual void sendBankJson(const std::string& json) = 0;
    // Sets parameter `index` (0..17) to a plain value as a user edit.
    virtual void editParam(uint32_t index, double plain) = 0;
    virtual double readParam(uint32_t index) = 0;
    // Asks the processor to load and publish the pack in `directory`; its
    // reply comes back through adoptRuntimeBankReply, possibly before this
    // returns. False when the request could not be sent (no connection, no
    // message, the host refused it).
    virtual bool requestRuntimeBank(const std::string& source, const std::string& directory,
                                    const std::string& sha256, const std::string& instrument) = 0;
    // Forwards overrides to the processor; false when they were not taken.
    virtual bool applyPadOverrides(const SamplerPadOverrides& overrides) = 0;
    // A folder picker: true with a path; false with an error, or with both
    // empty when the user cancelled.
    virtual bool pickFolder(std::string& path, std::string& error) = 0;
    virtual void notePresetSelected(const std::string& id, const std::string& name) = 0;
};

class BankControl {
  public:
    explicit BankControl(BankControlHost& host) : host_(&host) {}
    BankControl(const BankControl&) = delete;
    BankControl& operator=(const BankControl&) = delete;
    // Cancels a download still running and waits for its worker.
    ~BankControl() = default;

    // True when the message was a bank message and was handled.
    bool handleMessage(const BankMessage& message);
    // Consumes the processor's runtime bank reply text.
    void adoptRuntimeBankReply(std::string_view reply);
    // Sends "kelvo.bankState"; an empty `errorCode` means no error.
    void sendBankState(std::string_view reason = "query", std::string_view errorCode = {},
                       std::string_view requestedId = {});
    // The bank reference of a restored state: the request texts only,
    // nothing is loaded. A download still running is dropped.
    void adoptRestoredRef(std::string_view source, std::string_view locator,
                          std::string_view sha256, std::string_view instrument,
                          std::string_view presetId);
    void adoptRestoredPadOverrides(const SamplerPadOverrides& overrides);
    // Forgets the reported bank and where it came from; the requested
    // instrument, selected preset and pad overrides stay.
    void clearRuntimeFacts();
    // Built-in banks do not exist here: answered as missing.
    void handleCompiledBank(std::string_view id);

    // Hosted downloads. The controller calls deliverFetchedBank on its
    // thread (run-loop timer, cadence tick, any controller call); it
    // continues a finished download's request and returns true, or returns
    // false at once. cancelFetch (editor closed, terminate) stops a running
    // download without answering it.
    bool deliverFetchedBank();
    bool fetchPending() const { return worker_.busy(); }
    void cancelFetch();
    void setHostedFetchOptions(const HostedFetchOptions& options) { fetchOptions_ = options; }

    const SamplerPadOverrides& padOverrides() const { return padOverrides_; }
    const std::string& source() const { return source_; }
    const std::string& locator() const { return locator_; }
    const std::string& sha256() const { return sha256_; }
    const std::string& requestedInstrument() const { return requestedInstrument_; }
    const std::string& selectedPresetId() const { return selectedPresetId_; }

  private:
    struct PendingFetch {
        std::string source, url, sha256, instrument;
    };

    void handleRuntimeBank(std::string source, std::string bankPath, std::string instrument,
                           std::string url, std::string sha256);
    void requestRuntimeBank(const std::string& source, const std::string& directory,
                            const std::string& locator, const std::string& sha256,
                            const std::string& instrument);
    void handleBankPreset(const std::string& presetId);
    void handlePickFolder();
    void handlePadOverrides(const SamplerPadOverrides& pads);
    void adoptLoadedBank(std::string_view lines);
    // What the last successful reply reported; the request texts stay.
    void clearReportedBank();
    void appendRuntime(std::string& out) const;
    void appendPresets(std::string& out) const;

    BankControlHost* host_;
    bool runtimeLoaded_ = false;
    std::string source_, locator_, sha256_, requestedInstrument_;
    std::string instrumentId_, instrumentName_, instrumentList_;
    std::vector<std::string> positionings_;  // tab-separated id, name, list
    std::vector<BankControlPreset> presets_;
    std::string selectedPresetId_;
    SamplerPadOverrides padOverrides_;
    // Set when a request goes out, cleared by any reply: a request the host
    // could not send is answered once, unless its reply already came.
    bool awaitingReply_ = false;
    HostedFetchOptions fetchOptions_;
    PendingFetch pendingFetch_;
    HostedBankWorker worker_;  // last: its thread ends before the rest goes
};

}  // namespace kelvo
