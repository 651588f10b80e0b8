// A small in-process VST 3 host for tests and tools: the parameter-change,
// event-list and connection-point objects a host hands to a processor, and a
// harness that drives one processor exactly as a host does.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kelvo_processor.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

namespace kelvo::test {

using Steinberg::int16;
using Steinberg::int32;
using Steinberg::IPtr;
using Steinberg::kResultOk;
using Steinberg::tresult;
using Steinberg::Vst::ParamID;
using Steinberg::Vst::ParamValue;

class ParamQueue final : public Steinberg::Vst::IParamValueQueue {
  public:
    explicit ParamQueue(ParamID id) : id_(id) { FUNKNOWN_CTOR; }
    ParamID PLUGIN_API getParameterId() SMTG_OVERRIDE { return id_; }
    int32 PLUGIN_API getPointCount() SMTG_OVERRIDE { return static_cast<int32>(points_.size()); }
    tresult PLUGIN_API getPoint(int32 index, int32& sampleOffset, ParamValue& value) SMTG_OVERRIDE;
    tresult PLUGIN_API addPoint(int32 sampleOffset, ParamValue value, int32& index) SMTG_OVERRIDE;
    DECLARE_FUNKNOWN_METHODS

  private:
    ParamID id_;
    std::vector<std::pair<int32, ParamValue>> points_;
};

class ParameterChanges final : public Steinberg::Vst::IParameterChanges {
  public:
    ParameterChanges() { FUNKNOWN_CTOR; }
    // Appends a point to the queue of id (a queue per id, in first-use order).
    void add(ParamID id, int32 offset, double value);
    void clear() { queues_.clear(); }
    int32 PLUGIN_API getParameterCount() SMTG_OVERRIDE {
        return static_cast<int32>(queues_.size());
    }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(int32 index) SMTG_OVERRIDE;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const ParamID& id,
                                                                  int32& index) SMTG_OVERRIDE;
    DECLARE_FUNKNOWN_METHODS

  private:
    std::vector<IPtr<ParamQueue>> queues_;
};

class EventList final : public Steinberg::Vst::IEventList {
  public:
    EventList() { FUNKNOWN_CTOR; }
    void noteOn(int32 offset, int16 pitch, float velocity, int16 channel = 0);
    void noteOff(int32 offset, int16 pitch);
    void clear() { events_.clear(); }
    int32 PLUGIN_API getEventCount() SMTG_OVERRIDE { return static_cast<int32>(events_.size()); }
    tresult PLUGIN_API getEvent(int32 index, Steinberg::Vst::Event& event) SMTG_OVERRIDE;
    tresult PLUGIN_API addEvent(Steinberg::Vst::Event& event) SMTG_OVERRIDE {
        events_.push_back(event);
        return kResultOk;
    }
    DECLARE_FUNKNOWN_METHODS

  private:
    std::vector<Steinberg::Vst::Event> events_;
};

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

// The host's side of a controller's edits: records every edit call and
// restart request, in order.
class ComponentHandlerRecorder final : public Steinberg::Vst::IComponentHandler {
  public:
    enum class EditCall { Begin, Perform, End };
    struct Edit {
        EditCall call;
        ParamID id;
        ParamValue value;  // Perform only
        bool operator==(const Edit&) const = default;
        friend void PrintTo(const Edit& edit, std::ostream* out) {
            *out << "BPE"[static_cast<int>(edit.call)] << edit.id << "=" << edit.value;
        }
    };

    ComponentHandlerRecorder() { FUNKNOWN_CTOR; }
    tresult PLUGIN_API beginEdit(ParamID id) SMTG_OVERRIDE {
        return record(EditCall::Begin, id, 0);
    }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue value) SMTG_OVERRIDE {
        return record(EditCall::Perform, id, value);
    }
    tresult PLUGIN_API endEdit(ParamID id) SMTG_OVERRIDE { return record(EditCall::End, id, 0); }
    tresult PLUGIN_API restartComponent(int32 flags) SMTG_OVERRIDE {
        restarts.push_back(flags);
        return kResultOk;
    }
    // The Perform calls alone.
    std::vector<Edit> performed() const;
    void clear() {
        edits.clear();
        restarts.clear();
    }
    DECLARE_FUNKNOWN_METHODS

    std::vector<Edit> edits;
    std::vector<int32> restarts;

  private:
    tresult record(EditCall call, ParamID id, double value) {
        edits.push_back({call, id, value});
        return kResultOk;
    }
};

// A host application that reports the given name.
class NamedHostApplication : public Steinberg::Vst::HostApplication {
  public:
    explicit NamedHostApplication(std::string_view name) : name_(name) {}
    tresult PLUGIN_API getName(Steinberg::Vst::String128 name) SMTG_OVERRIDE {
        return Steinberg::UString(name, 128).fromAscii(name_.c_str()) ? kResultOk
                                                                      : Steinberg::kResultFalse;
    }

  private:
    std::string name_;  // ASCII
};

// A block of `frames` samples into two channel buffers, one output bus and
// no inputs; `output` must outlive the block.
Steinberg::Vst::ProcessData blockData(Steinberg::Vst::AudioBusBuffers& output, float** channels,
                                      int32 frames, int32 sampleSize = Steinberg::Vst::kSample32);

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
