// A small in-process VST 3 host for tests and benchmarks: the shared host
// objects, a connection peer and state stream that record what a processor
// does, and a harness that drives one processor exactly as a host does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host_objects.h"
#include "kelvo_processor.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

namespace kelvo::test {

using Steinberg::int32;
using Steinberg::IPtr;
using Steinberg::kResultOk;
using Steinberg::tresult;
using Steinberg::Vst::ParamID;
using Steinberg::Vst::ParamValue;

using host::EventList;
using host::ParameterChanges;
using ComponentHandlerRecorder = host::EditRecorder;
using NamedHostApplication = host::NamedApplication;

// A state stream that takes bytes in limited pieces, as hosts' streams may:
// at most `writePiece` per write, and nothing more once `writeLimit` bytes
// were taken.
class PieceStream final : public Steinberg::IBStream {
  public:
    explicit PieceStream(std::string bytes = {}) : bytes(std::move(bytes)) { FUNKNOWN_CTOR; }
    tresult PLUGIN_API read(void* buffer, int32 count, int32* done) SMTG_OVERRIDE;
    tresult PLUGIN_API write(void* buffer, int32 count, int32* done) SMTG_OVERRIDE;
    tresult PLUGIN_API seek(Steinberg::int64, int32, Steinberg::int64*) SMTG_OVERRIDE {
        return Steinberg::kNotImplemented;
    }
    tresult PLUGIN_API tell(Steinberg::int64*) SMTG_OVERRIDE { return Steinberg::kNotImplemented; }
    DECLARE_FUNKNOWN_METHODS

    std::string bytes;
    size_t readAt = 0;
    size_t writePiece = SIZE_MAX;
    size_t writeLimit = SIZE_MAX;
};

// A message the host would allocate, with a binary "json" attribute unless
// there is no payload.
IPtr<Steinberg::Vst::IMessage> jsonMessage(const char* id, std::optional<std::string_view> json);

struct RecordedMessage {
    std::string id;
    std::string json;  // the binary attribute "json"
    bool operator==(const RecordedMessage&) const = default;
};

// The processor's connection peer: records every message it is sent.
class MessageRecorder final : public Steinberg::Vst::IConnectionPoint {
  public:
    MessageRecorder() { FUNKNOWN_CTOR; }
    tresult PLUGIN_API connect(IConnectionPoint*) SMTG_OVERRIDE { return kResultOk; }
    tresult PLUGIN_API disconnect(IConnectionPoint*) SMTG_OVERRIDE { return kResultOk; }
    tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) SMTG_OVERRIDE;
    std::vector<RecordedMessage> messages;
    DECLARE_FUNKNOWN_METHODS
};

// One processor, initialised and connected like a host would.
class ProcessorHost {
  public:
    explicit ProcessorHost(const KernelFunctions& kernel = drumKernelFunctions());
    ~ProcessorHost();

    tresult setup(double sampleRate, int32 maxBlock) {
        Steinberg::Vst::ProcessSetup setup{Steinberg::Vst::kRealtime, Steinberg::Vst::kSample32,
                                           maxBlock, sampleRate};
        return processor_->setupProcessing(setup);
    }
    tresult activate(bool state = true) { return processor_->setActive(state); }
    // Renders one block with the pending events and parameter changes, which
    // are then cleared. The rendered audio is in left()/right().
    tresult process(int32 frames, int32 sampleSize = Steinberg::Vst::kSample32);
    // Disconnects and connects the same peer again.
    void reconnect() {
        processor_->disconnect(peer_);
        processor_->connect(peer_);
    }

    KelvoProcessor& processor() { return *processor_; }
    EventList& events() { return *events_; }
    ParameterChanges& parameters() { return *parameters_; }
    std::vector<RecordedMessage>& messages() { return peer_->messages; }
    const std::vector<float>& left() const { return left_; }
    Steinberg::uint64 silenceFlags() const { return silenceFlags_; }

  private:
    Steinberg::Vst::HostApplication application_;
    IPtr<KelvoProcessor> processor_;
    IPtr<MessageRecorder> peer_;
    IPtr<EventList> events_;
    IPtr<ParameterChanges> parameters_;
    std::vector<float> left_ = std::vector<float>(ENGINE_MAX_BLOCK_FRAMES), right_ = left_;
    Steinberg::uint64 silenceFlags_ = 0;
};

}  // namespace kelvo::test
