// The page protocol at the controller: what the bundle's bridge conversation
// does not show (refusals, gestures, rates, the two
// listeners and texts from outside).
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "controller_host.h"
#include "ui_bridge.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

void deliver(ControllerHost& host, const std::string& text) {
    host->handleBridgeMessage(text.data(), text.size());
}

// Only unreadable messages (the first) are logged, by their size; none
// changes anything.
TEST(BridgeDispatch, MalformedAndRefusedMessagesChangeNothing) {
    ControllerHost host;
    const std::string cases[] = {
        "{\"type\":\"kelvo.setParam\",\"path\":\"kick.tune\",\"value\":\"75\"}",
        "{\"type\":\"kelvo.setParam\",\"path\":\"nope\",\"value\":1}",
        "{\"type\":\"kelvo.setParam\",\"path\":\"kick.tune\",\"value\":-inf}",
        "{\"type\":\"kelvo.loadFactoryPreset\",\"id\":\"factory-7\"}",
        "{\"type\":\"kelvo.setState\",\"state\":{\"params\":{\"kick.tune\":nan}}}",
    };
    testing::internal::CaptureStderr();
    for (const std::string& text : cases)
        deliver(host, text);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "kelvo-plugin-shell: malformed bridge message (" + std::to_string(cases[0].size()) +
                  " bytes)\n");
    EXPECT_TRUE(host.handler().edits.empty());
    EXPECT_TRUE(host.ui("kelvo.paramChanged").empty());
    EXPECT_EQ(host.getState(), "{}");
}

// Inside the page's own gesture only the value goes; closing the editor ends
// the gesture the page left open, once.
TEST(BridgeDispatch, PageGesturesAreClosedWithTheEditor) {
    ControllerHost host;
    deliver(host, R"({"type":"kelvo.beginEdit","path":"kick.tune"})");
    deliver(host, R"({"type":"kelvo.beginEdit","path":"kick.tune"})");
    deliver(host, R"({"type":"kelvo.setParam","path":"kick.tune","value":75})");
    host->onEditorClosed();
    EXPECT_EQ(host.handler().edits,
              (std::vector<Edit>{{Call::Begin, 0, 0}, {Call::Perform, 0, 0.5}, {Call::End, 0, 0}}));
}

TEST(BridgeDispatch, SubscriptionRateIsCappedAndNonFiniteRateIgnored) {
    ControllerHost host;
    for (auto [hz, rate] : {std::pair{"120", 30.0}, {"12", 12.0}, {"nan", 0.0}}) {
        deliver(host, std::string(R"({"type":"kelvo.diag.subscribe","feeds":["meters"],)") +
                          "\"hz\":" + hz + "}");
        EXPECT_EQ(host->diagRateHz(BridgeOwner::Editor), rate) << hz;
    }
    EXPECT_EQ(host->diagFeeds(BridgeOwner::Editor), 16u);
    // Only meters: no lifecycle message follows.
    host->onEditorOpened();
    EXPECT_TRUE(host.ui("kelvo.lifecycle").empty());
}

// Each listener installs and removes only its own sink; whoever installed
// last hears. A client's null sink without one of its own still silences
// the page.
TEST(BridgeSinks, EachListenerRemovesOnlyItsOwnSink) {
    // Steps: P/p the page's sink on/off, C/c the client's; who hears then.
    const std::tuple<const char*, int, int> cases[] = {
        {"PCp", 0, 1}, {"CPc", 1, 0}, {"CPp", 0, 1}, {"Pc", 0, 0}, {"PC", 0, 1}};
    for (auto [steps, pageHears, clientHears] : cases) {
        ControllerHost host;
        int page = 0, client = 0;
        for (const char* step = steps; *step; ++step) {
            if (*step == 'P') host->setBridgeSink([&](const std::string&) { ++page; });
            if (*step == 'C') host->installClientSink([&](const std::string&) { ++client; });
            if (*step == 'c') host->installClientSink(nullptr);
            if (*step == 'p') {
                host->setBridgeSink(nullptr);
                host->onEditorClosed();
            }
        }
        host->setParamNormalized(2, 0.25);
        EXPECT_EQ(std::make_pair(page, client), std::make_pair(pageHears, clientHears)) << steps;
    }
}

// Reports, host names and errors come from outside: the page still gets
// each text as one JSON object on one line.
TEST(BridgeTexts, TextsFromOutsideKeepTheHelloOneJsonLine) {
    NamedHostApplication application("Host\x01\"Name\x1f\\");
    ControllerHost host(&application);
    for (const char* report :
         {"{\"records\": [1,\n 2]}", "{\"bad\":\"a\x02\"}", "{\"a\":1}}", "{\"n\":nan}"}) {
        host->notify(jsonMessage("kelvo.runtimeDiagnostics", report));
        EXPECT_EQ(host->lastRuntimeReport(), "{\"records\":[1,2]}") << report;
    }
    HostFacts facts;
    facts.sampleRate = 48000;  // the hello then names the host
    host->adoptHostFacts(facts);
    host->onEditorError("lost\nview");
    deliver(host, R"({"type":"kelvo.diag.subscribe","feeds":["lifecycle"]})");
    deliver(host, R"({"type":"kelvo.ready"})");
    std::vector<std::string> texts = host.ui("kelvo.hello");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("\"runtimeHealth\":{\"records\":[1,2]}"), std::string::npos);
    EXPECT_NE(texts[0].find("\"hostName\":\"Host?\\\"Name?\\\\\""), std::string::npos) << texts[0];
    EXPECT_NE(host.ui("kelvo.lifecycle").at(0).find("\"reason\":\"lost?view\""), std::string::npos);
}

}  // namespace
}  // namespace kelvo::test
