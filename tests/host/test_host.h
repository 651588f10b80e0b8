// A small in-process VST 3 host for tests and tools: the parameter-change,
// event-list and connection-point objects a host hands to a processor, and a
// harness that drives one processor exactly as a host does.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kelvo_processor.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

namespace kelvo::test {

class ParamQueue : public Steinberg::Vst::IParamValueQueue {
  public:
    explicit ParamQueue(Steinberg::Vst::ParamID id);
    virtual ~ParamQueue() = default;
    Steinberg::Vst::ParamID PLUGIN_API getParameterId() SMTG_OVERRIDE { return id_; }
    Steinberg::int32 PLUGIN_API getPointCount() SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& sampleOffset,
                                           Steinberg::Vst::ParamValue& value) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset,
                                           Steinberg::Vst::ParamValue value,
                                           Steinberg::int32& index) SMTG_OVERRIDE;
    DECLARE_FUNKNOWN_METHODS

  private:
    Steinberg::Vst::ParamID id_;
    std::vector<std::pair<Steinberg::int32, Steinberg::Vst::ParamValue>> points_;
};

class ParameterChanges : public Steinberg::Vst::IParameterChanges {
  public:
    ParameterChanges();
    virtual ~ParameterChanges() = default;
    // Appends a point to the queue of id (a queue per id, in first-use order).
    void add(Steinberg::Vst::ParamID id, Steinberg::int32 offset, double value);
    void clear() { queues_.clear(); }
    Steinberg::int32 PLUGIN_API getParameterCount() SMTG_OVERRIDE;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index)
        SMTG_OVERRIDE;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API
    addParameterData(const Steinberg::Vst::ParamID& id, Steinberg::int32& index) SMTG_OVERRIDE;
    DECLARE_FUNKNOWN_METHODS

  private:
    std::vector<Steinberg::IPtr<ParamQueue>> queues_;
};

class EventList : public Steinberg::Vst::IEventList {
  public:
    EventList();
    virtual ~EventList() = default;
    void noteOn(Steinberg::int32 offset, Steinberg::int16 pitch, float velocity,
                Steinberg::int16 channel = 0);
    void noteOff(Steinberg::int32 offset, Steinberg::int16 pitch, Steinberg::int16 channel = 0);
    void clear() { events_.clear(); }
    Steinberg::int32 PLUGIN_API getEventCount() SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getEvent(Steinberg::int32 index,
                                           Steinberg::Vst::Event& event) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API addEvent(Steinberg::Vst::Event& event) SMTG_OVERRIDE;
    DECLARE_FUNKNOWN_METHODS

  private:
    std::vector<Steinberg::Vst::Event> events_;
};

// A state stream that hands out and takes bytes in limited pieces, as
// hosts' streams may: at most `readPiece` bytes per read, at most `writePiece` per
// write, and nothing more once `writeLimit` bytes were taken.
class PieceStream : public Steinberg::IBStream {
  public:
    explicit PieceStream(std::string bytes = {}) : bytes(std::move(bytes)) { FUNKNOWN_CTOR }
    virtual ~PieceStream() = default;
    Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 count,
                                       Steinberg::int32* done) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 count,
                                        Steinberg::int32* done) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API seek(Steinberg::int64, Steinberg::int32,
                                       Steinberg::int64*) SMTG_OVERRIDE {
        return Steinberg::kNotImplemented;
    }
    Steinberg::tresult PLUGIN_API tell(Steinberg::int64* position) SMTG_OVERRIDE;
    DECLARE_FUNKNOWN_METHODS

    std::string bytes;
    size_t readAt = 0;
    size_t readPiece = 4096;
    size_t writePiece = SIZE_MAX;
    size_t writeLimit = SIZE_MAX;
    int reads = 0;
};

// A message the host would allocate, with a binary "json" attribute.
Steinberg::IPtr<Steinberg::Vst::IMessage> jsonMessage(const char* id, std::string_view json);

struct RecordedMessage {
    std::string id;
    std::string json;  // the binary attribute "json"
};

// The processor's connection peer: records every message it is sent.
class MessageRecorder : public Steinberg::Vst::IConnectionPoint {
  public:
    MessageRecorder();
    virtual ~MessageRecorder() = default;
    Steinberg::tresult PLUGIN_API connect(IConnectionPoint*) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API disconnect(IConnectionPoint*) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) SMTG_OVERRIDE;
    std::vector<RecordedMessage> messages;
    DECLARE_FUNKNOWN_METHODS
};

// The host's side of a controller's edits: records every edit call and
// restart request, in order.
class ComponentHandlerRecorder : public Steinberg::Vst::IComponentHandler {
  public:
    enum class EditCall { Begin, Perform, End };
    struct Edit {
        EditCall call;
        Steinberg::Vst::ParamID id;
        Steinberg::Vst::ParamValue value;  // Perform only
        bool operator==(const Edit&) const = default;
        friend void PrintTo(const Edit& edit, std::ostream* out) {
            *out << "BPE"[static_cast<int>(edit.call)] << edit.id << "=" << edit.value;
        }
    };

    ComponentHandlerRecorder();
    virtual ~ComponentHandlerRecorder() = default;
    Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
                                              Steinberg::Vst::ParamValue value) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) SMTG_OVERRIDE;
    // The Perform calls alone.
    std::vector<Edit> performed() const;
    void clear() {
        edits.clear();
        restarts.clear();
    }
    DECLARE_FUNKNOWN_METHODS

    std::vector<Edit> edits;
    std::vector<Steinberg::int32> restarts;
};

// A host application that reports the given name.
class NamedHostApplication : public Steinberg::Vst::HostApplication {
  public:
    explicit NamedHostApplication(std::string_view name) : name_(name) {}
    Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) SMTG_OVERRIDE;

  private:
    std::string name_;  // ASCII
};

// A stereo output bus over two channel buffers.
Steinberg::Vst::AudioBusBuffers stereoBus(float** channels);
// A block of `frames` samples for one output bus and no inputs.
Steinberg::Vst::ProcessData blockData(Steinberg::Vst::AudioBusBuffers& output,
                                      Steinberg::int32 frames,
                                      Steinberg::int32 sampleSize = Steinberg::Vst::kSample32);

// One processor, initialised and connected like a host would, with stereo
// output buffers of the maximum block size.
class ProcessorHost {
  public:
    explicit ProcessorHost(const KernelFunctions& kernel = drumKernelFunctions());
    ~ProcessorHost();

    Steinberg::tresult setup(double sampleRate, Steinberg::int32 maxBlock,
                             Steinberg::int32 sampleSize = Steinberg::Vst::kSample32);
    Steinberg::tresult activate(bool state = true);
    // Renders one block with the pending events and parameter changes, which
    // are then cleared. The rendered audio is in left()/right().
    Steinberg::tresult process(Steinberg::int32 frames);

    KelvoProcessor& processor() { return *processor_; }
    EventList& events() { return *events_; }
    ParameterChanges& parameters() { return *parameters_; }
    std::vector<RecordedMessage>& messages() { return peer_->messages; }
    const std::vector<float>& left() const { return left_; }
    const std::vector<float>& right() const { return right_; }
    Steinberg::uint64 silenceFlags() const { return silenceFlags_; }

  private:
    Steinberg::Vst::HostApplication application_;
    Steinberg::IPtr<KelvoProcessor> processor_;
    Steinberg::IPtr<MessageRecorder> peer_;
    Steinberg::IPtr<EventList> events_;
    Steinberg::IPtr<ParameterChanges> parameters_;
    std::vector<float> left_, right_;
    Steinberg::uint64 silenceFlags_ = 0;
};

}  // namespace kelvo::test
