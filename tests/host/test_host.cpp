#include "test_host.h"

#include <algorithm>
#include <cstring>

#include "vst_io.h"

namespace kelvo::test {

using namespace Steinberg;
using namespace Steinberg::Vst;

IMPLEMENT_FUNKNOWN_METHODS(ParamQueue, IParamValueQueue, IParamValueQueue::iid)
IMPLEMENT_FUNKNOWN_METHODS(ParameterChanges, IParameterChanges, IParameterChanges::iid)
IMPLEMENT_FUNKNOWN_METHODS(EventList, IEventList, IEventList::iid)
IMPLEMENT_FUNKNOWN_METHODS(MessageRecorder, IConnectionPoint, IConnectionPoint::iid)
IMPLEMENT_FUNKNOWN_METHODS(PieceStream, IBStream, IBStream::iid)
IMPLEMENT_FUNKNOWN_METHODS(ComponentHandlerRecorder, IComponentHandler, IComponentHandler::iid)

tresult PLUGIN_API PieceStream::read(void* buffer, int32 count, int32* done) {
    const size_t n = std::min(static_cast<size_t>(std::max(count, 0)), bytes.size() - readAt);
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

IPtr<IMessage> jsonMessage(const char* id, std::optional<std::string_view> json) {
    IPtr<IMessage> message = owned(new HostMessage());
    message->setMessageID(id);
    if (json) message->getAttributes()->setBinary("json", json->data(), uint32(json->size()));
    return message;
}

// Out-of-range reads throw, ending the noexcept process(): such a fault shows.
tresult PLUGIN_API ParamQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value) {
    std::tie(sampleOffset, value) = points_.at(index);
    return kResultOk;
}

tresult PLUGIN_API ParamQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index) {
    index = getPointCount();
    points_.emplace_back(sampleOffset, value);
    return kResultOk;
}

void ParameterChanges::add(ParamID id, int32 offset, double value) {
    int32 index = 0;
    addParameterData(id, index)->addPoint(offset, value, index);
}

IParamValueQueue* PLUGIN_API ParameterChanges::getParameterData(int32 index) {
    return queues_.at(index);
}

IParamValueQueue* PLUGIN_API ParameterChanges::addParameterData(const ParamID& id, int32& index) {
    for (index = 0; index < getParameterCount(); ++index)
        if (queues_[index]->getParameterId() == id) return queues_[index];
    queues_.push_back(owned(new ParamQueue(id)));
    return queues_.back();
}

void EventList::noteOn(int32 offset, int16 pitch, float velocity, int16 channel) {
    events_.push_back({0,
                       offset,
                       0.0,
                       0,
                       Event::kNoteOnEvent,
                       {.noteOn = {channel, pitch, 0.0f, velocity, 0, -1}}});
}

void EventList::noteOff(int32 offset, int16 pitch) {
    // Hosts send a release velocity.
    events_.push_back(
        {0, offset, 0.0, 0, Event::kNoteOffEvent, {.noteOff = {0, pitch, 0.5f, -1, 0.0f}}});
}

tresult PLUGIN_API EventList::getEvent(int32 index, Event& event) {
    event = events_.at(index);
    return kResultOk;
}

tresult PLUGIN_API MessageRecorder::notify(IMessage* message) {
    std::string_view payload;
    jsonPayload(message, payload);
    messages.push_back({message->getMessageID(), std::string(payload)});
    return kResultOk;
}

std::vector<ComponentHandlerRecorder::Edit> ComponentHandlerRecorder::performed() const {
    std::vector<Edit> out;
    std::copy_if(edits.begin(), edits.end(), std::back_inserter(out),
                 [](const Edit& edit) { return edit.call == EditCall::Perform; });
    return out;
}

ProcessData blockData(AudioBusBuffers& output, float** channels, int32 frames, int32 sampleSize) {
    output = AudioBusBuffers{};
    output.numChannels = 2;
    output.channelBuffers32 = channels;
    ProcessData data{};
    data.processMode = kRealtime;
    data.symbolicSampleSize = sampleSize;
    data.numSamples = frames;
    data.numOutputs = 1;
    data.outputs = &output;
    return data;
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

tresult ProcessorHost::process(int32 frames, int32 sampleSize) {
    float* channels[2] = {left_.data(), right_.data()};
    AudioBusBuffers output;
    ProcessData data = blockData(output, channels, frames, sampleSize);
    data.inputParameterChanges = parameters_;
    data.inputEvents = events_;
    const tresult result = processor_->process(data);
    silenceFlags_ = output.silenceFlags;
    events_->clear();
    parameters_->clear();
    return result;
}

}  // namespace kelvo::test
