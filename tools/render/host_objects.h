// The objects a host hands to a plug-in: its application context, the
// component handler that hears the controller's own edits, and the event and
// parameter-change lists of a block. The lists have a fixed capacity chosen
// before rendering, so filling them never allocates.
#pragma once

#include <string>
#include <vector>

#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

namespace tambro::render {

struct ParameterEdit {
    Steinberg::Vst::ParamID id;
    Steinberg::Vst::ParamValue value;
};

class RenderHostApplication : public Steinberg::Vst::HostApplication {
  public:
    Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) SMTG_OVERRIDE;
};

// Collects the edits the controller performs (a preset it applies, say) for
// the host to hand to the processor.
class EditCollector : public Steinberg::Vst::IComponentHandler {
  public:
    EditCollector();
    virtual ~EditCollector() = default;
    Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
                                              Steinberg::Vst::ParamValue value) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32) SMTG_OVERRIDE;
    std::vector<ParameterEdit> edits;
    DECLARE_FUNKNOWN_METHODS
};

class BlockEvents : public Steinberg::Vst::IEventList {
  public:
    explicit BlockEvents(size_t capacity);
    virtual ~BlockEvents() = default;
    void clear() { count_ = 0; }
    Steinberg::int32 PLUGIN_API getEventCount() SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API getEvent(Steinberg::int32 index,
                                           Steinberg::Vst::Event& event) SMTG_OVERRIDE;
    Steinberg::tresult PLUGIN_API addEvent(Steinberg::Vst::Event& event) SMTG_OVERRIDE;
    DECLARE_FUNKNOWN_METHODS

  private:
    std::vector<Steinberg::Vst::Event> events_;
    size_t count_ = 0;
};

class BlockParameterQueue : public Steinberg::Vst::IParamValueQueue {
  public:
    explicit BlockParameterQueue(size_t capacity);
    virtual ~BlockParameterQueue() = default;
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
class BlockParameterChanges : public Steinberg::Vst::IParameterChanges {
  public:
    explicit BlockParameterChanges(size_t capacity);
    virtual ~BlockParameterChanges() = default;
    void clear() { count_ = 0; }
    // False when the list is full.
    bool add(Steinberg::Vst::ParamID id, Steinberg::int32 offset, Steinberg::Vst::ParamValue value);
    Steinberg::int32 PLUGIN_API getParameterCount() SMTG_OVERRIDE;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index)
        SMTG_OVERRIDE;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API
    addParameterData(const Steinberg::Vst::ParamID& id, Steinberg::int32& index) SMTG_OVERRIDE;
    DECLARE_FUNKNOWN_METHODS

  private:
    std::vector<Steinberg::IPtr<BlockParameterQueue>> queues_;
    size_t count_ = 0;
};

// UTF-16 texts of the plug-in, for messages and matching.
std::string utf8From(const Steinberg::Vst::TChar* text);
void utf16From(const std::string& text, Steinberg::Vst::String128 out);

}  // namespace tambro::render
