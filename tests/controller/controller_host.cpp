#include "controller_host.h"

#include <gtest/gtest.h>

namespace kelvo::test {

using namespace Steinberg;
using namespace Steinberg::Vst;

ControllerHost::ControllerHost(FUnknown* context, bool connected)
    : controller_(owned(new KelvoController())),
      handler_(owned(new ComponentHandlerRecorder())),
      peer_(owned(new MessageRecorder())) {
    controller_->initialize(context ? context : &application_);
    controller_->setComponentHandler(handler_);
    controller_->setBridgeSink([this](const std::string& text) { ui_.push_back(text); });
    if (connected) connect();
}

ControllerHost::~ControllerHost() {
    controller_->disconnect(peer_);
    controller_->terminate();
}

tresult ControllerHost::setComponentState(const std::string& document) {
    IPtr<PieceStream> stream = owned(new PieceStream(document));
    return controller_->setComponentState(stream);
}

tresult ControllerHost::setState(const std::string& document) {
    IPtr<PieceStream> stream = owned(new PieceStream(document));
    return controller_->setState(stream);
}

std::string ControllerHost::getState() {
    IPtr<PieceStream> stream = owned(new PieceStream());
    EXPECT_EQ(controller_->getState(stream), kResultOk);
    return stream->bytes;
}

std::vector<RecordedMessage> ControllerHost::sent(std::string_view id) const {
    std::vector<RecordedMessage> out;
    for (const RecordedMessage& message : peer_->messages)
        if (message.id == id) out.push_back(message);
    return out;
}

std::vector<std::string> ControllerHost::ui(std::string_view type) const {
    const std::string marker = "{\"type\":\"" + std::string(type) + "\"";
    std::vector<std::string> out;
    for (const std::string& text : ui_)
        if (text.rfind(marker, 0) == 0) out.push_back(text);
    return out;
}

void ControllerHost::clearRecords() {
    handler_->clear();
    peer_->messages.clear();
    ui_.clear();
}

std::string componentDocument(const double (&plain)[KELVO_PARAM_COUNT], const CcMap* ccMap,
                              const SamplerPadOverrides* pads, const BankStateRefOut* bank) {
    // NaN is written null, which the reader takes as absent.
    return writeStateJson(plain, -1, ccMap, 0, 0, bank, pads, nullptr);
}

}  // namespace kelvo::test
