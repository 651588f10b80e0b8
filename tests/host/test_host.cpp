#include "test_host.h"

#include <algorithm>
#include <cstring>

#include "vst_io.h"

namespace kelvo::test {

using namespace Steinberg;
using namespace Steinberg::Vst;

IMPLEMENT_FUNKNOWN_METHODS(MessageRecorder, IConnectionPoint, IConnectionPoint::iid)
IMPLEMENT_FUNKNOWN_METHODS(PieceStream, IBStream, IBStream::iid)

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

tresult PLUGIN_API MessageRecorder::notify(IMessage* message) {
    std::string_view payload;
    jsonPayload(message, payload);
    messages.push_back({message->getMessageID(), std::string(payload)});
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

tresult ProcessorHost::process(int32 frames, int32 sampleSize) {
    float* channels[2] = {left_.data(), right_.data()};
    AudioBusBuffers output;
    ProcessData data = host::outputBlock(output, channels, 2, frames, kRealtime, sampleSize);
    data.inputParameterChanges = parameters_;
    data.inputEvents = events_;
    const tresult result = processor_->process(data);
    silenceFlags_ = output.silenceFlags;
    events_->clear();
    parameters_->clear();
    return result;
}

}  // namespace kelvo::test
