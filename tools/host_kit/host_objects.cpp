#include "host_objects.h"

#include <algorithm>

namespace kelvo::host {

using namespace Steinberg;
using namespace Steinberg::Vst;

std::string utf8From(const TChar* text) {
    std::string out;
    for (size_t i = 0; text != nullptr && text[i] != 0; ++i) {
        const auto unit = static_cast<uint16_t>(text[i]);
        if (unit < 0x80) {
            out += static_cast<char>(unit);
        } else if (unit < 0x800) {
            out += static_cast<char>(0xC0 | unit >> 6);
            out += static_cast<char>(0x80 | (unit & 0x3F));
        } else {  // surrogate halves come out as they are; titles rarely hold any
            out += static_cast<char>(0xE0 | unit >> 12);
            out += static_cast<char>(0x80 | (unit >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return out;
}

void utf16From(const std::string& text, String128 out) {
    const size_t length = std::min<size_t>(text.size(), 127);
    for (size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        out[i] = static_cast<TChar>(byte < 0x80 ? byte : '?');
    }
    out[length] = 0;
}

ProcessData outputBlock(AudioBusBuffers& output, float** channels, int32 channelCount, int32 frames,
                        int32 processMode, int32 sampleSize) {
    output = AudioBusBuffers{};
    output.numChannels = channelCount;
    output.channelBuffers32 = channels;
    ProcessData data{};
    data.processMode = processMode;
    data.symbolicSampleSize = sampleSize;
    data.numSamples = frames;
    data.numOutputs = 1;
    data.outputs = &output;
    return data;
}

IMPLEMENT_FUNKNOWN_METHODS(EditRecorder, IComponentHandler, IComponentHandler::iid)

tresult PLUGIN_API EditRecorder::beginEdit(ParamID id) {
    edits.push_back({EditCall::Begin, id, 0});
    return kResultOk;
}

tresult PLUGIN_API EditRecorder::performEdit(ParamID id, ParamValue value) {
    edits.push_back({EditCall::Perform, id, value});
    return kResultOk;
}

tresult PLUGIN_API EditRecorder::endEdit(ParamID id) {
    edits.push_back({EditCall::End, id, 0});
    return kResultOk;
}

tresult PLUGIN_API EditRecorder::restartComponent(int32 flags) {
    restarts.push_back(flags);
    return kResultOk;
}

std::vector<EditRecorder::Edit> EditRecorder::performed() const {
    std::vector<Edit> out;
    std::copy_if(edits.begin(), edits.end(), std::back_inserter(out),
                 [](const Edit& edit) { return edit.call == EditCall::Perform; });
    return out;
}

void EditRecorder::clear() {
    edits.clear();
    restarts.clear();
}

IMPLEMENT_FUNKNOWN_METHODS(EventList, IEventList, IEventList::iid)

EventList::EventList(size_t capacity) : events_(capacity) {
    FUNKNOWN_CTOR
}

void EventList::noteOn(int32 offset, int16 pitch, float velocity, int16 channel) {
    Event event{0, offset, 0.0, 0, Event::kNoteOnEvent, {}};
    event.noteOn = {channel, pitch, 0.0f, velocity, 0, -1};
    addEvent(event);
}

void EventList::noteOff(int32 offset, int16 pitch) {
    Event event{0, offset, 0.0, 0, Event::kNoteOffEvent, {}};
    event.noteOff = {0, pitch, 0.5f, -1, 0.0f};  // hosts send a release velocity
    addEvent(event);
}

int32 PLUGIN_API EventList::getEventCount() {
    return static_cast<int32>(count_);
}

tresult PLUGIN_API EventList::getEvent(int32 index, Event& event) {
    if (index < 0 || static_cast<size_t>(index) >= count_) return kInvalidArgument;
    event = events_[static_cast<size_t>(index)];
    return kResultOk;
}

tresult PLUGIN_API EventList::addEvent(Event& event) {
    if (count_ == events_.size()) return kResultFalse;
    events_[count_++] = event;
    return kResultOk;
}

IMPLEMENT_FUNKNOWN_METHODS(ParameterQueue, IParamValueQueue, IParamValueQueue::iid)

ParameterQueue::ParameterQueue(size_t capacity) : points_(capacity) {
    FUNKNOWN_CTOR
}

void ParameterQueue::reset(ParamID id) {
    id_ = id;
    count_ = 0;
}

int32 PLUGIN_API ParameterQueue::getPointCount() {
    return static_cast<int32>(count_);
}

tresult PLUGIN_API ParameterQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value) {
    if (index < 0 || static_cast<size_t>(index) >= count_) return kInvalidArgument;
    sampleOffset = points_[static_cast<size_t>(index)].offset;
    value = points_[static_cast<size_t>(index)].value;
    return kResultOk;
}

// Points arrive in time order; a second point at the same offset replaces the first.
tresult PLUGIN_API ParameterQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index) {
    if (count_ > 0 && points_[count_ - 1].offset == sampleOffset) {
        points_[count_ - 1].value = value;
    } else {
        if (count_ == points_.size()) return kResultFalse;
        points_[count_++] = {sampleOffset, value};
    }
    index = static_cast<int32>(count_ - 1);
    return kResultOk;
}

IMPLEMENT_FUNKNOWN_METHODS(ParameterChanges, IParameterChanges, IParameterChanges::iid)

ParameterChanges::ParameterChanges(size_t capacity) {
    FUNKNOWN_CTOR
    for (size_t i = 0; i < capacity; ++i)
        queues_.push_back(owned(new ParameterQueue(capacity)));
}

bool ParameterChanges::add(ParamID id, int32 offset, ParamValue value) {
    int32 index = 0;
    IParamValueQueue* queue = addParameterData(id, index);
    return queue != nullptr && queue->addPoint(offset, value, index) == kResultOk;
}

int32 PLUGIN_API ParameterChanges::getParameterCount() {
    return static_cast<int32>(count_);
}

IParamValueQueue* PLUGIN_API ParameterChanges::getParameterData(int32 index) {
    if (index < 0 || static_cast<size_t>(index) >= count_) return nullptr;
    return queues_[static_cast<size_t>(index)];
}

IParamValueQueue* PLUGIN_API ParameterChanges::addParameterData(const ParamID& id, int32& index) {
    for (size_t i = 0; i < count_; ++i)
        if (queues_[i]->getParameterId() == id) {
            index = static_cast<int32>(i);
            return queues_[i];
        }
    if (count_ == queues_.size()) return nullptr;
    queues_[count_]->reset(id);
    index = static_cast<int32>(count_);
    return queues_[count_++];
}

}  // namespace kelvo::host
