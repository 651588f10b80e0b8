// The objects a host hands to a plug-in: its application context, the
// component handler that hears the controller's own edits, and the event and
// parameter-change lists of a block. The lists have a fixed capacity chosen
// when they are made, so filling them never allocates.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

namespace kelvo::host {

// UTF-16 texts of the plug-in, for messages and matching.
std::string utf8From(const Steinberg::Vst::TChar* text);
// ASCII passes; any other byte becomes '?'.
void utf16From(const std::string& text, Steinberg::Vst::String128 out);

// The SDK's host context under the given name. It counts no references: hold
// it as a member that outlives every part initialised with it.
class NamedApplication : public Steinberg::Vst::HostApplication {
  public:
    explicit NamedApplication(std::string name) : name_(std::move(name)) {}
    Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) SMTG_OVERRIDE {
        utf16From(name_, name);
        return Steinberg::kResultOk;
    }

  private:
    std::string name_;
};

// An object of class `cid` from the factory, as `Interface`; null when the
// factory makes none.
template <typename Interface>
Steinberg::IPtr<Interface> createInstance(Steinberg::IPluginFactory* factory,
                                          const Steinberg::TUID cid) {
    void* object = nullptr;
    if (factory->createInstance(cid, Interface::iid, &object) != Steinberg::kResultOk || !object)
        return nullptr;
    return Steinberg::owned(static_cast<Interface*>(object));
}

// A block of `frames` samples into one output bus of `channelCount`
// buffers, with no inputs; `output` must outlive the block.
Steinberg::Vst::ProcessData outputBlock(Steinberg::Vst::AudioBusBuffers& output, float** channels,
                                        Steinberg::int32 channelCount, Steinberg::int32 frames,
                                        Steinberg::int32 processMode = Steinberg::Vst::kRealtime,
                                        Steinberg::int32 sampleSize = Steinberg::Vst::kSample32);

// The host's side of a controller's edits: every call and restart request, in order.
class EditRecorder : public Steinberg::Vst::IComponentHandler {
  public:
    enum class EditCall { Begin, Perform, End };
    struct Edit {
        EditCall call;
        Steinberg::Vst::ParamID id;
        Steinberg::Vst::ParamValue value;  // Perform only
        bool operator==(const Edit&) const = default;
        friend std::ostream& operator<<(std::ostream& out, const Edit& edit) {
            return out << "BPE"[static_cast<int>(edit.call)] << edit.id << "=" << edit.value;
        }
    };

    EditRecorder() { FUNKNOWN_CTOR }
    virtual ~EditRecorder() = default;
    Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
                                              Steinberg::Vst::ParamValue value) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) SMTG_OVERRIDE;
    DECLARE_FUNKNOWN_METHODS

    // The Perform calls alone.
    std::vector<Edit> performed() const;
    void clear();

    std::vector<Edit> edits;
    std::vector<Steinberg::int32> restarts;
};

class EventList : public Steinberg::Vst::IEventList {
  public:
    explicit EventList(size_t capacity = 1024);
    virtual ~EventList() = default;
    void clear() { count_ = 0; }
    // Note events as hosts send them; a velocity of 0 is a note-off to the plug-in.
    void noteOn(Steinberg::int32 offset, Steinberg::int16 pitch, float velocity,
                Steinberg::int16 channel = 0);
    void noteOff(Steinberg::int32 offset, Steinberg::int16 pitch);
    Steinberg::int32 PLUGIN_API getEventCount() SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getEvent(Steinberg::int32 index,
                                           Steinberg::Vst::Event& event) SMTG_OVERRIDE;
    // kResultFalse when the list is full.
    Steinberg::tresult PLUGIN_API addEvent(Steinberg::Vst::Event& event) SMTG_OVERRIDE;
    DECLARE_FUNKNOWN_METHODS

  private:
    std::vector<Steinberg::Vst::Event> events_;
    size_t count_ = 0;
};

class ParameterQueue : public Steinberg::Vst::IParamValueQueue {
  public:
    explicit ParameterQueue(size_t capacity);
    virtual ~ParameterQueue() = default;
    void reset(Steinberg::Vst::ParamID id);
    Steinberg::Vst::ParamID PLUGIN_API getParameterId() SMTG_OVERRIDE { return id_; }
    Steinberg::int32 PLUGIN_API getPointCount() SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& sampleOffset,
                                           Steinberg::Vst::ParamValue& value) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset,
                                           Steinberg::Vst::ParamValue value,
                                           Steinberg::int32& index) SMTG_OVERRIDE;
    DECLARE_FUNKNOWN_METHODS

  private:
    struct Point {
        Steinberg::int32 offset;
        Steinberg::Vst::ParamValue value;
    };
    Steinberg::Vst::ParamID id_ = 0;
    std::vector<Point> points_;
    size_t count_ = 0;
};

// At most `capacity` queues of at most `capacity` points each.
class ParameterChanges : public Steinberg::Vst::IParameterChanges {
  public:
    explicit ParameterChanges(size_t capacity = 64);
    virtual ~ParameterChanges() = default;
    void clear() { count_ = 0; }
    // Appends a point to the queue of id (a queue per id, in first-use
    // order); false when the list is full.
    bool add(Steinberg::Vst::ParamID id, Steinberg::int32 offset, Steinberg::Vst::ParamValue value);
    Steinberg::int32 PLUGIN_API getParameterCount() SMTG_OVERRIDE;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index)
        SMTG_OVERRIDE;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API
    addParameterData(const Steinberg::Vst::ParamID& id, Steinberg::int32& index) SMTG_OVERRIDE;
    DECLARE_FUNKNOWN_METHODS

  private:
    std::vector<Steinberg::IPtr<ParameterQueue>> queues_;
    size_t count_ = 0;
};

}  // namespace kelvo::host
