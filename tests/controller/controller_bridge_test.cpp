// The page protocol at the controller: what the bundle's bridge conversation
// does not show (message reading, refusals, gestures, rates, the two
// listeners and texts from outside).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

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

TEST(BridgeMessageReader, MembersByKindAndNonFiniteNumbersDropped) {
    // text; accepted; then hasValue, note, hz, feeds
    const std::tuple<const char*, bool, bool, double, double, uint32_t> cases[] = {
        {"{\"type\":7}", false, false, 0, 0, 0},
        {"{\"value\":\"1\"}", false, false, 0, 0, 0},
        {"{\"feeds\":[\"host\",3]}", false, false, 0, 0, 0},
        {"{\"value\":2.5,\"note\":36.9,\"hz\":12}", true, true, 36.9, 12, 0},
        {"{\"value\":nan,\"note\":1e300,\"hz\":inf}", true, false, 0, 0, 0},
        {"{\"feeds\":[\"transport\",\"bogus\",\"lifecycle\"]}", true, false, 0, 0, 66},
        {"{\"feeds\":\"host\",\"state\":\"x\",\"map\":1,\"pads\":[]}", true, false, 0, 0, 0},
    };
    for (auto [text, ok, hasValue, note, hz, feeds] : cases) {
        BridgeMessage m;
        ASSERT_EQ(parseBridgeMessage(text, std::strlen(text), m), ok) << text;
        if (!ok) continue;
        EXPECT_EQ(std::tie(m.hasValue, m.note, m.hz, m.feeds), std::tie(hasValue, note, hz, feeds))
            << text;
    }
}

// Only unreadable messages are logged, by their size; none changes anything.
TEST(BridgeDispatch, MalformedAndRefusedMessagesChangeNothing) {
    ControllerHost host;
    KelvoController& controller = host.controller();
    const std::string before = host.getState();
    const std::pair<std::string, bool> cases[] = {
        {"{\"type\":\"kelvo.setParam\",\"path\":\"kick.tune\",\"value\":\"75\"}", true},
        {"{\"type\":\"kelvo.setParam\",\"path\":\"nope\",\"value\":1}", false},
        {"{\"type\":\"kelvo.loadFactoryPreset\",\"id\":\"factory-7\"}", false},
        {"{\"type\":\"kelvo.setState\",\"state\":{\"params\":{\"kick.tune\":nan}}}", false},
    };
    for (const auto& [text, logged] : cases) {
        testing::internal::CaptureStderr();
        deliver(controller, text);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  logged ? "kelvo-plugin-shell: malformed bridge message (" +
                               std::to_string(text.size()) + " bytes)\n"
                         : "")
            << text;
    }
    EXPECT_TRUE(host.handler().edits.empty());
    EXPECT_TRUE(host.ui("kelvo.paramChanged").empty());
    EXPECT_EQ(host.getState(), before);
}

// Inside the page's own gesture only the value goes; closing the editor ends
// the gesture the page left open, once.
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
    for (auto [hz, rate] : {std::pair{"120", 30.0}, {"12", 12.0}, {"nan", 0.0}}) {
        deliver(controller, std::string(R"({"type":"kelvo.diag.subscribe","feeds":["meters"],)") +
                                "\"hz\":" + hz + "}");
        EXPECT_EQ(controller.diagRateHz(BridgeOwner::Editor), rate) << hz;
    }
    EXPECT_EQ(controller.diagFeeds(BridgeOwner::Editor), 16u);
    // Only meters: no lifecycle message follows.
    controller.onEditorOpened();
    EXPECT_TRUE(host.ui("kelvo.lifecycle").empty());
}

// Each listener installs and removes only its own sink; whoever installed
// last hears. A client's null sink without one of its own still silences
// the page.
TEST(BridgeSinks, EachListenerRemovesOnlyItsOwnSink) {
    // Steps: P/p the page's sink on/off, C/c the client's; who hears then.
    const std::tuple<const char*, bool, bool> cases[] = {{"PCp", false, true},
                                                         {"CPc", true, false},
                                                         {"CPp", false, true},
                                                         {"Pc", false, false},
                                                         {"PC", false, true}};
    for (auto [steps, pageHears, clientHears] : cases) {
        ControllerHost host;
        KelvoController& controller = host.controller();
        int page = 0, client = 0;
        for (const char* step = steps; *step; ++step) {
            if (*step == 'P') controller.setBridgeSink([&](const std::string&) { ++page; });
            if (*step == 'C') controller.installClientSink([&](const std::string&) { ++client; });
            if (*step == 'c') controller.installClientSink(nullptr);
            if (*step == 'p') {
                controller.setBridgeSink(nullptr);
                controller.onEditorClosed();
            }
        }
        controller.setParamNormalized(2, 0.25);
        EXPECT_EQ(std::make_pair(page, client),
                  std::make_pair(pageHears ? 1 : 0, clientHears ? 1 : 0))
            << steps;
    }
}

// Reports, host names and errors come from outside: the page still gets
// each text as one JSON object on one line.
TEST(BridgeTexts, TextsFromOutsideKeepTheHelloOneJsonLine) {
    NamedHostApplication application("Host\x01\"Name\x1f\\");
    ControllerHost host(&application);
    KelvoController& controller = host.controller();
    for (const char* report :
         {"{\"records\": [1,\n 2]}", "{\"bad\":\"a\x02\"}", "{\"a\":1}}", "{\"n\":nan}"}) {
        controller.notify(jsonMessage("kelvo.runtimeDiagnostics", report));
        EXPECT_EQ(controller.lastRuntimeReport(), "{\"records\":[1,2]}") << report;
    }
    HostFacts facts;
    facts.sampleRate = 48000;  // the hello then names the host
    controller.adoptHostFacts(facts);
    controller.onEditorError("lost\nview");
    deliver(controller, R"({"type":"kelvo.diag.subscribe","feeds":["lifecycle"]})");
    deliver(controller, R"({"type":"kelvo.ready"})");
    std::vector<std::string> texts = host.ui("kelvo.hello");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("\"runtimeHealth\":{\"records\":[1,2]}"), std::string::npos);
    EXPECT_NE(texts[0].find("\"hostName\":\"Host?\\\"Name?\\\\\""), std::string::npos) << texts[0];
    texts.push_back(host.ui("kelvo.lifecycle").at(0));
    for (const std::string& text : texts) {
        JsonValue value;
        EXPECT_TRUE(parseJsonDocument(text, value) && value.isObject()) << text;
        EXPECT_EQ(text.find_first_of("\n\x01\x1f"), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace kelvo::test
