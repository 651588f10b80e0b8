#include "test_host.h"

#include <algorithm>
#include <cstring>

namespace kelvo::test {

using namespace Steinberg;
using namespace Steinberg::Vst;

IMPLEMENT_FUNKNOWN_METHODS(ParamQueue, IParamValueQueue, IParamValueQueue::iid)
IMPLEMENT_FUNKNOWN_METHODS(ParameterChanges, IParameterChanges, IParameterChanges::iid)
IMPLEMENT_FUNKNOWN_METHODS(EventList, IEventList, IEventList::iid)
IMPLEMENT_FUNKNOWN_METHODS(MessageRecorder, IConnectionPoint, IConnectionPoint::iid)
IMPLEMENT_FUNKNOWN_METHODS(PieceStream, IBStream, IBStream::iid)

tresult PLUGIN_API PieceStream::read(void* buffer, int32 count, int32* done) {
    ++reads;
    const size_t n =
        std::min({static_cast<size_t>(std::max(count, 0)), readPiece, bytes.size() - readAt});
    std::memcpy(buffer, bytes.data() + readAt, n);
    readAt += n;
    if (done) *done = static_cast<int32>(n);
    return kResultOk;
}

tresult PLUGIN_API PieceStream::write(void* buffer, int32 count, int32* done) {
    const size_t room = writeLimit - std::min(writeLimit, bytes.size());
    const size_t n = std::min({static_cast<size_t>(std::max(count, 0)), writePiece, room});
    bytes.append(static_cast<const char*>(buffer), n);
    if (done) *done = static_cast<int32>(n);
    return kResultOk;
}

tresult PLUGIN_API PieceStream::tell(int64* position) {
    if (position) *position = static_cast<int64>(readAt);
    return kResultOk;
}

IPtr<IMessage> jsonMessage(const char* id, std::string_view json) {
    IPtr<IMessage> message = owned(new HostMessage());
    message->setMessageID(id);
    message->getAttributes()->setBinary("json", json.data(), static_cast<uint32>(json.size()));
    return message;
}

ParamQueue::ParamQueue(ParamID id)
    : id_(id){FUNKNOWN_CTOR}

      int32 PLUGIN_API ParamQueue::getPointCount() {
    return static_cast<int32>(points_.size());
}

tresult PLUGIN_API ParamQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value) {
    if (index < 0 || index >= getPointCount()) return kResultFalse;
    sampleOffset = points_[index].first;
    value = points_[index].second;
    return kResultOk;
}

tresult PLUGIN_API ParamQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index) {
    index = getPointCount();
    points_.emplace_back(sampleOffset, value);
    return kResultOk;
}

ParameterChanges::ParameterChanges() {
    FUNKNOWN_CTOR
}

void ParameterChanges::add(ParamID id, int32 offset, double value) {
    int32 index = 0;
    IParamValueQueue* queue = addParameterData(id, index);
    queue->addPoint(offset, value, index);
}

int32 PLUGIN_API ParameterChanges::getParameterCount() {
    return static_cast<int32>(queues_.size());
}

IParamValueQueue* PLUGIN_API ParameterChanges::getParameterData(int32 index) {
    if (index < 0 || index >= getParameterCount()) return nullptr;
    return queues_[index];
}

IParamValueQueue* PLUGIN_API ParameterChanges::addParameterData(const ParamID& id, int32& index) {
    for (size_t i = 0; i < queues_.size(); ++i)
        if (queues_[i]->getParameterId() == id) {
            index = static_cast<int32>(i);
            return queues_[i];
        }
    index = getParameterCount();
    queues_.push_back(owned(new ParamQueue(id)));
    return queues_.back();
}

EventList::EventList() {
    FUNKNOWN_CTOR
}

void EventList::noteOn(int32 offset, int16 pitch, float velocity, int16 channel) {
    Event event{};
    event.type = Event::kNoteOnEvent;
    event.sampleOffset = offset;
    event.noteOn = {channel, pitch, 0.0f, velocity, 0, -1};
    events_.push_back(event);
}

void EventList::noteOff(int32 offset, int16 pitch, int16 channel) {
    Event event{};
    event.type = Event::kNoteOffEvent;
    event.sampleOffset = offset;
    event.noteOff = {channel, pitch, 0.5f, -1, 0.0f};  // hosts send a release velocity
    events_.push_back(event);
}

int32 PLUGIN_API EventList::getEventCount() {
    return static_cast<int32>(events_.size());
}

tresult PLUGIN_API EventList::getEvent(int32 index, Event& event) {
    if (index < 0 || index >= getEventCount()) return kResultFalse;
    event = events_[index];
    return kResultOk;
}

tresult PLUGIN_API EventList::addEvent(Event& event) {
    events_.push_back(event);
    return kResultOk;
}

MessageRecorder::MessageRecorder(){FUNKNOWN_CTOR}

tresult PLUGIN_API MessageRecorder::connect(IConnectionPoint*) {
    return kResultOk;
}

tresult PLUGIN_API MessageRecorder::disconnect(IConnectionPoint*) {
    return kResultOk;
}

tresult PLUGIN_API MessageRecorder::notify(IMessage* message) {
    RecordedMessage recorded{message->getMessageID(), {}};
    const void* data = nullptr;
    uint32 size = 0;
    if (IAttributeList* attributes = message->getAttributes();
        attributes != nullptr && attributes->getBinary("json", data, size) == kResultOk)
        recorded.json.assign(static_cast<const char*>(data), size);
    messages.push_back(recorded);
    return kResultOk;
}

IMPLEMENT_FUNKNOWN_METHODS(ComponentHandlerRecorder, IComponentHandler, IComponentHandler::iid)

ComponentHandlerRecorder::ComponentHandlerRecorder(){FUNKNOWN_CTOR}

tresult PLUGIN_API ComponentHandlerRecorder::beginEdit(ParamID id) {
    edits.push_back({EditCall::Begin, id, 0.0});
    return kResultOk;
}

tresult PLUGIN_API ComponentHandlerRecorder::performEdit(ParamID id, ParamValue value) {
    edits.push_back({EditCall::Perform, id, value});
    return kResultOk;
}

tresult PLUGIN_API ComponentHandlerRecorder::endEdit(ParamID id) {
    edits.push_back({EditCall::End, id, 0.0});
    return kResultOk;
}

tresult PLUGIN_API ComponentHandlerRecorder::restartComponent(int32 flags) {
    restarts.push_back(flags);
    return kResultOk;
}

std::vector<ComponentHandlerRecorder::Edit> ComponentHandlerRecorder::performed() const {
    std::vector<Edit> out;
    for (const Edit& edit : edits)
        if (edit.call == EditCall::Perform) out.push_back(edit);
    return out;
}

tresult PLUGIN_API NamedHostApplication::getName(String128 name) {
    size_t i = 0;
    for (; i < name_.size() && i < 127; ++i)
        name[i] = static_cast<TChar>(name_[i]);
    name[i] = 0;
    return kResultOk;
}

ProcessorHost::ProcessorHost(const KernelFunctions& kernel)
    : processor_(owned(new KelvoProcessor(kernel))),
      peer_(owned(new MessageRecorder())),
      events_(owned(new EventList())),
      parameters_(owned(new ParameterChanges())) {
    processor_->initialize(&application_);
    processor_->connect(peer_);
}

ProcessorHost::~ProcessorHost() {
    processor_->setActive(false);
    processor_->disconnect(peer_);
    processor_->terminate();
}

tresult ProcessorHost::setup(double sampleRate, int32 maxBlock, int32 sampleSize) {
    ProcessSetup setup{kRealtime, sampleSize, maxBlock, sampleRate};
    left_.assign(static_cast<size_t>(std::max(maxBlock, 1)), 0.0f);
    right_.assign(left_.size(), 0.0f);
    return processor_->setupProcessing(setup);
}

tresult ProcessorHost::activate(bool state) {
    return processor_->setActive(state);
}

AudioBusBuffers stereoBus(float** channels) {
    AudioBusBuffers output{};
    output.numChannels = 2;
    output.channelBuffers32 = channels;
    return output;
}

ProcessData blockData(AudioBusBuffers& output, int32 frames, int32 sampleSize) {
    ProcessData data{};
    data.processMode = kRealtime;
    data.symbolicSampleSize = sampleSize;
    data.numSamples = frames;
    data.numOutputs = 1;
    data.outputs = &output;
    return data;
}

tresult ProcessorHost::process(int32 frames) {
    float* channels[2] = {left_.data(), right_.data()};
    AudioBusBuffers output = stereoBus(channels);
    ProcessData data = blockData(output, frames);
    data.inputParameterChanges = parameters_;
    data.inputEvents = events_;
    const tresult result = processor_->process(data);
    silenceFlags_ = output.silenceFlags;
    events_->clear();
    parameters_->clear();
    return result;
}

}  // namespace kelvo::test
