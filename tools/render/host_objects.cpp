#include "host_objects.h"

#include <algorithm>

namespace tambro::render {

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API RenderHostApplication::getName(String128 name) {
    utf16From("tambro-render", name);
    return kResultOk;
}

IMPLEMENT_FUNKNOWN_METHODS(EditCollector, IComponentHandler, IComponentHandler::iid)

EditCollector::EditCollector(){FUNKNOWN_CTOR}

tresult PLUGIN_API EditCollector::beginEdit(ParamID) {
    return kResultOk;
}

tresult PLUGIN_API EditCollector::performEdit(ParamID id, ParamValue value) {
    edits.push_back({id, value});
    return kResultOk;
}

tresult PLUGIN_API EditCollector::endEdit(ParamID) {
    return kResultOk;
}

tresult PLUGIN_API EditCollector::restartComponent(int32) {
    return kResultOk;
}

IMPLEMENT_FUNKNOWN_METHODS(BlockEvents, IEventList, IEventList::iid)

BlockEvents::BlockEvents(size_t capacity)
    : events_(capacity){FUNKNOWN_CTOR}

      int32 PLUGIN_API BlockEvents::getEventCount() {
    return static_cast<int32>(count_);
}

tresult PLUGIN_API BlockEvents::getEvent(int32 index, Event& event) {
    if (index < 0 || static_cast<size_t>(index) >= count_) return kInvalidArgument;
    event = events_[static_cast<size_t>(index)];
    return kResultOk;
}

tresult PLUGIN_API BlockEvents::addEvent(Event& event) {
    if (count_ == events_.size()) return kResultFalse;
    events_[count_++] = event;
    return kResultOk;
}

IMPLEMENT_FUNKNOWN_METHODS(BlockParameterQueue, IParamValueQueue, IParamValueQueue::iid)

BlockParameterQueue::BlockParameterQueue(size_t capacity) : points_(capacity) {
    FUNKNOWN_CTOR
}

void BlockParameterQueue::reset(ParamID id) {
    id_ = id;
    count_ = 0;
}

int32 PLUGIN_API BlockParameterQueue::getPointCount() {
    return static_cast<int32>(count_);
}

tresult PLUGIN_API BlockParameterQueue::getPoint(int32 index, int32& sampleOffset,
                                                 ParamValue& value) {
    if (index < 0 || static_cast<size_t>(index) >= count_) return kInvalidArgument;
    sampleOffset = points_[static_cast<size_t>(index)].offset;
    value = points_[static_cast<size_t>(index)].value;
    return kResultOk;
}

// Points arrive in time order; a second point at the same offset replaces the first.
tresult PLUGIN_API BlockParameterQueue::addPoint(int32 sampleOffset, ParamValue value,
                                                 int32& index) {
    if (count_ > 0 && points_[count_ - 1].offset == sampleOffset) {
        points_[count_ - 1].value = value;
    } else {
        if (count_ == points_.size()) return kResultFalse;
        points_[count_++] = {sampleOffset, value};
    }
    index = static_cast<int32>(count_ - 1);
    return kResultOk;
}

IMPLEMENT_FUNKNOWN_METHODS(BlockParameterChanges, IParameterChanges, IParameterChanges::iid)

BlockParameterChanges::BlockParameterChanges(size_t capacity) {
    FUNKNOWN_CTOR
    for (size_t i = 0; i < capacity; ++i)
        queues_.push_back(owned(new BlockParameterQueue(capacity)));
}

bool BlockParameterChanges::add(ParamID id, int32 offset, ParamValue value) {
    int32 index = 0;
    IParamValueQueue* queue = addParameterData(id, index);
    return queue != nullptr && queue->addPoint(offset, value, index) == kResultOk;
}

int32 PLUGIN_API BlockParameterChanges::getParameterCount() {
    return static_cast<int32>(count_);
}

IParamValueQueue* PLUGIN_API BlockParameterChanges::getParameterData(int32 index) {
    if (index < 0 || static_cast<size_t>(index) >= count_) return nullptr;
    return queues_[static_cast<size_t>(index)];
}

IParamValueQueue* PLUGIN_API BlockParameterChanges::addParameterData(const ParamID& id,
                                                                     int32& index) {
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

// ASCII passes; any other byte becomes '?' (only the host's name and the
// user's values go this way).
void utf16From(const std::string& text, String128 out) {
    const size_t length = std::min<size_t>(text.size(), 127);
    for (size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        out[i] = static_cast<TChar>(byte < 0x80 ? byte : '?');
    }
    out[length] = 0;
}

}  // namespace tambro::render
