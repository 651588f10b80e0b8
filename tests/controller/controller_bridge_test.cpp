// The page protocol at the controller: message reading, dispatch, the texts
// sent back, and the two listeners (editor page, diagnostics client).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "controller_host.h"
#include "manifest_json.h"
#include "ui_bridge.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using Edit = ComponentHandlerRecorder::Edit;
using Call = ComponentHandlerRecorder::EditCall;

void deliver(KelvoController& controller, const std::string& text) {
    controller.handleBridgeMessage(text.data(), text.size());
}

// One valid JSON object on one line with no raw control byte.
bool isOneLineJsonObject(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20) return false;
    JsonValue value;
    return parseJsonDocument(text, value) && value.isObject();
}

TEST(BridgeMessageReader, MembersByKindAndNonFiniteNumbersDropped) {
    struct Case {
        const char* text;
        bool ok;
        bool hasValue = false;
        double note = 0, hz = 0;
        uint32_t feeds = 0;
    };
    const Case cases[] = {
        {"{}", true, false, 0, 0, 0},
        {"{\"type\":\"kelvo.ready\",}", false},
        {"{\"type\":7}", false},
        {"[]", false},
        {"{\"value\":\"1\"}", false},
        {"{\"value\":2.5,\"note\":36.9,\"hz\":12}", true, true, 36.9, 12, 0},
        {"{\"value\":nan,\"note\":1e300,\"hz\":inf}", true, false, 0, 0, 0},
        {"{\"feeds\":[\"transport\",\"bogus\",\"lifecycle\"]}", true, false, 0, 0, 66},
        {"{\"feeds\":[\"host\",3]}", false},
        {"{\"feeds\":\"host\",\"state\":\"x\",\"map\":1,\"pads\":[]}", true, false, 0, 0, 0},
        {"{\"state\":{\"params\":7,}}", false},
    };
    for (const Case& c : cases) {
        BridgeMessage message;
        ASSERT_EQ(parseBridgeMessage(c.text, std::strlen(c.text), message), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(message.hasValue, c.hasValue) << c.text;
        EXPECT_EQ(message.note, c.note) << c.text;
        EXPECT_EQ(message.hz, c.hz) << c.text;
        EXPECT_EQ(message.feeds, c.feeds) << c.text;
    }
}

TEST(BridgeDispatch, MalformedAndHostileMessagesChangeNothing) {
    ControllerHost host;
    KelvoController& controller = host.controller();
    const std::string before = host.getState();
    const double tune = controller.getParamNormalized(0);
    struct Case {
        std::string text;
        bool logged;  // the malformed-message line
    };
    const Case cases[] = {
        {"{\"type\":\"kelvo.setParam\",\"path\":\"kick.tune\",\"value\":", true},
        {std::string(1 << 20, '['), true},
        {"{\"type\":\"kelvo.setParam\",\"path\":\"kick.tune\",\"value\":\"75\"}", true},
        {"{\"type\":\"kelvo.setParam\",\"path\":\"kick.tune\",\"value\":1e999}", false},
        {"{\"type\":\"kelvo.setParam\",\"path\":\"nope\",\"value\":1}", false},
        {"{\"type\":\"kelvo.loadFactoryPreset\",\"id\":\"factory-7\"}", false},
        {"{\"type\":\"kelvo.setState\",\"state\":{\"params\":{\"kick.tune\":nan}}}", false},
    };
    for (const Case& c : cases) {
        host.clearRecords();
        testing::internal::CaptureStderr();
        deliver(controller, c.text);
        const std::string log = testing::internal::GetCapturedStderr();
        const std::string line = "kelvo-plugin-shell: malformed bridge message (" +
                                 std::to_string(c.text.size()) + " bytes)\n";
        EXPECT_EQ(log == line, c.logged) << c.text.substr(0, 80) << "\n" << log;
        EXPECT_EQ(controller.getParamNormalized(0), tune) << c.text.substr(0, 80);
        EXPECT_TRUE(host.handler().performed().empty()) << c.text.substr(0, 80);
        EXPECT_TRUE(host.ui("kelvo.paramChanged").empty()) << c.text.substr(0, 80);
    }
    EXPECT_EQ(host.getState(), before);
}

// Inside the page's own gesture only the value goes; closing the editor ends
// the gesture the page left open, once. (The bundle's bridge conversation
// covers a plain edit and its swallowed echo.)
TEST(BridgeDispatch, PageGesturesAreClosedWithTheEditor) {
    ControllerHost host;
    KelvoController& controller = host.controller();
    deliver(controller, R"({"type":"kelvo.beginEdit","path":"kick.tune"})");
    deliver(controller, R"({"type":"kelvo.beginEdit","path":"kick.tune"})");
    deliver(controller, R"({"type":"kelvo.setParam","path":"kick.tune","value":75})");
    controller.onEditorClosed();
    EXPECT_EQ(host.handler().edits,
              (std::vector<Edit>{{Call::Begin, 0, 0}, {Call::Perform, 0, 0.5}, {Call::End, 0, 0}}));
}

TEST(BridgeDispatch, SubscriptionRateIsCappedAndNonFiniteRateIgnored) {
    ControllerHost host;
    KelvoController& controller = host.controller();
    const std::pair<const char*, double> cases[] = {
        {R"({"type":"kelvo.diag.subscribe","feeds":["meters"],"hz":120})", 30},
        {R"({"type":"kelvo.diag.subscribe","feeds":["meters"],"hz":12})", 12},
        {R"({"type":"kelvo.diag.subscribe","feeds":["meters"],"hz":nan})", 0},
    };
    for (const auto& [text, rate] : cases) {
        deliver(controller, text);
        EXPECT_EQ(controller.diagRateHz(BridgeOwner::Editor), rate) << text;
        EXPECT_EQ(controller.diagFeeds(BridgeOwner::Editor), 16u) << text;
    }
    // Only meters: neither lifecycle nor transport messages follow.
    controller.onEditorOpened();
    EXPECT_TRUE(host.ui("kelvo.lifecycle").empty());
}

// Each listener installs and removes only its own sink; whoever installed
// last hears. A client's null sink without one of its own still silences
// the page.
TEST(BridgeSinks, EachListenerRemovesOnlyItsOwnSink) {
    enum Step { PageOn, PageOff, ClientOn, ClientOff };
    struct Case {
        std::vector<Step> steps;
        bool pageHears, clientHears;
    };
    const Case cases[] = {
        {{PageOn, ClientOn, PageOff}, false, true}, {{ClientOn, PageOn, ClientOff}, true, false},
        {{ClientOn, PageOn, PageOff}, false, true}, {{PageOn, ClientOff}, false, false},
        {{PageOn, ClientOn}, false, true},
    };
    for (const Case& c : cases) {
        ControllerHost host;
        KelvoController& controller = host.controller();
        int page = 0, client = 0;
        for (Step step : c.steps) {
            switch (step) {
                case PageOn:
                    controller.setBridgeSink([&](const std::string&) { ++page; });
                    break;
                case PageOff:
                    controller.setBridgeSink(nullptr);
                    controller.onEditorClosed();
                    break;
                case ClientOn:
                    controller.installClientSink([&](const std::string&) { ++client; });
                    break;
                case ClientOff:
                    controller.installClientSink(nullptr);
                    break;
            }
        }
        controller.setParamNormalized(2, 0.25);
        EXPECT_EQ(page, c.pageHears ? 1 : 0) << &c - cases;
        EXPECT_EQ(client, c.clientHears ? 1 : 0) << &c - cases;
    }
}

TEST(BridgeTexts, TextsFromOutsideKeepTheHelloOneJsonLine) {
    NamedHostApplication application("Host\x01\"Name\x1f\\");
    ControllerHost host(&application);
    KelvoController& controller = host.controller();
    const std::pair<std::string, const char*> reports[] = {
        {"{\"records\": [1,\n 2]}", "{\"records\":[1,2]}"},
        {"{\"bad\":\"a\x02\"}", "{\"records\":[1,2]}"},
        {"{\"a\":1}}", "{\"records\":[1,2]}"},
        {"{\"n\":nan}", "{\"records\":[1,2]}"},
    };
    for (const auto& [report, kept] : reports) {
        controller.notify(jsonMessage("kelvo.runtimeDiagnostics", report));
        EXPECT_EQ(controller.lastRuntimeReport(), kept) << report;
    }
    HostFacts facts;
    facts.sampleRate = 48000;
    controller.adoptHostFacts(facts);
    controller.onEditorError("lost\nview");
    deliver(controller, R"({"type":"kelvo.diag.subscribe","feeds":["lifecycle"]})");
    deliver(controller, R"({"type":"kelvo.ready"})");
    const std::vector<std::string> hello = host.ui("kelvo.hello");
    ASSERT_EQ(hello.size(), 1u);
    EXPECT_TRUE(isOneLineJsonObject(hello[0])) << hello[0];
    EXPECT_NE(hello[0].find("\"runtimeHealth\":{\"records\":[1,2]}"), std::string::npos);
    EXPECT_NE(hello[0].find("\"hostName\":\"Host?\\\"Name?\\\\\""), std::string::npos) << hello[0];
    ASSERT_EQ(host.ui("kelvo.lifecycle").size(), 1u);
    EXPECT_TRUE(isOneLineJsonObject(host.ui("kelvo.lifecycle")[0]));
}

}  // namespace
}  // namespace kelvo::test
