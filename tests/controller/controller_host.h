// One controller driven as a host and an editor page would drive it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "kelvo_controller.h"
#include "test_host.h"

namespace kelvo::test {

using Edit = ComponentHandlerRecorder::Edit;
using Call = ComponentHandlerRecorder::EditCall;

// Initialised with the given host context (a plain host application when
// null), given a recording component handler, connected to a recording
// processor peer unless told otherwise, and with a sink collecting the
// page's texts.
class ControllerHost {
  public:
    explicit ControllerHost(Steinberg::FUnknown* context = nullptr, bool connected = true) {
        controller_->initialize(context ? context : &application_);
        controller_->setComponentHandler(handler_);
        controller_->setBridgeSink([this](const std::string& text) { ui_.push_back(text); });
        if (connected) connect();
    }
    ~ControllerHost() {
        controller_->disconnect(peer_);
        controller_->terminate();
    }

    KelvoController* operator->() { return controller_; }
    ComponentHandlerRecorder& handler() { return *handler_; }
    void connect() { controller_->connect(peer_); }

    tresult setComponentState(const std::string& document) {
        return controller_->setComponentState(Steinberg::owned(new PieceStream(document)));
    }
    tresult setState(const std::string& document) {
        return controller_->setState(Steinberg::owned(new PieceStream(document)));
    }
    std::string getState() {
        IPtr<PieceStream> stream = Steinberg::owned(new PieceStream());
        EXPECT_EQ(controller_->getState(stream), kResultOk);
        return stream->bytes;
    }
    // The messages sent to the processor with this id, and the page texts
    // whose "type" is this one, in order.
    std::vector<RecordedMessage> sent(std::string_view id) const {
        std::vector<RecordedMessage> out;
        for (const RecordedMessage& message : peer_->messages)
            if (message.id == id) out.push_back(message);
        return out;
    }
    std::vector<std::string> ui(std::string_view type) const {
        std::vector<std::string> out;
        for (const std::string& text : ui_)
            if (text.starts_with("{\"type\":\"" + std::string(type) + "\"")) out.push_back(text);
        return out;
    }

  private:
    Steinberg::Vst::HostApplication application_;
    IPtr<KelvoController> controller_ = Steinberg::owned(new KelvoController());
    IPtr<ComponentHandlerRecorder> handler_ = Steinberg::owned(new ComponentHandlerRecorder());
    IPtr<MessageRecorder> peer_ = Steinberg::owned(new MessageRecorder());
    std::vector<std::string> ui_;
};

}  // namespace kelvo::test
