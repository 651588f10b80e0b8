// A diagnostics client's whole conversation with the built bundle through
// its four exported functions, as a probe loaded beside a host would hold it.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "bundle_loader.h"
#include "hosted_instance.h"
#include "manifest_json.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/vsteditcontroller.h"
#include "test_host.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using Sink = void (*)(void*, const char*, size_t);
using Edit = ComponentHandlerRecorder::Edit;
using Call = ComponentHandlerRecorder::EditCall;

class BridgeConversation : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(bundle.factory(), nullptr) << bundle.error();
        ASSERT_TRUE(find(abiVersion, "kelvoDiagnosticBridgeAbiVersion") &&
                    find(install, "kelvoInstallDiagnosticBridgeSink") &&
                    find(deliver, "kelvoDeliverDiagnosticBridgeMessage") &&
                    find(tick, "kelvoTickDiagnosticCadence"));
        instance = std::make_unique<host::HostedInstance>(bundle.factory(), &application);
        ASSERT_TRUE(instance->created() && instance->connect());
        instance->controller()->setComponentHandler(handler);
    }

    template <typename Function>
    bool find(Function*& function, const char* name) {
        return (function = reinterpret_cast<Function*>(bundle.symbol(name))) != nullptr;
    }
    int send(const std::string& text) { return deliver(controller(), text.data(), text.size()); }
    FUnknown* controller() { return instance->controller(); }
    std::vector<std::string> received(const std::string& type) const {
        std::vector<std::string> out;
        for (const std::string& text : texts)
            if (text.rfind("{\"type\":\"" + type + "\"", 0) == 0) out.push_back(text);
        return out;
    }
    static void collect(void* context, const char* data, size_t length) {
        static_cast<std::vector<std::string>*>(context)->emplace_back(data, length);
    }

    LoadedBundle bundle{KELVO_BUNDLE_DIR};
    HostApplication application;
    std::unique_ptr<host::HostedInstance> instance;
    IPtr<ComponentHandlerRecorder> handler = owned(new ComponentHandlerRecorder());
    std::vector<std::string> texts;
    uint32_t (*abiVersion)() = nullptr;
    int (*install)(FUnknown*, Sink, void*) = nullptr;
    int (*deliver)(FUnknown*, const char*, size_t) = nullptr;
    int (*tick)(FUnknown*) = nullptr;
};

TEST_F(BridgeConversation, ReadyEditsPresetsCcMapBanksAndSubscriptions) {
    EXPECT_EQ(abiVersion(), 2u);
    ASSERT_EQ(install(controller(), &collect, &texts), 1);

    ASSERT_EQ(send(R"({"type":"kelvo.ready"})"), 1);
    ASSERT_EQ(texts.size(), 1u);
    JsonValue hello;
    ASSERT_TRUE(parseJsonDocument(texts[0], hello) && hello.str("type") == "kelvo.hello");
    const JsonValue* params = hello.find("params");
    const JsonValue* presets = hello.find("factoryPresets");
    ASSERT_TRUE(params && presets && params->isArray() &&
                params->list.size() == KELVO_PARAM_COUNT && presets->list.size() == 6)
        << texts[0];
    EXPECT_EQ(std::make_tuple(params->list[0].str("path"), params->list[0].find("value")->number,
                              presets->list[2].str("name"),
                              presets->list[2].find("values")->find("kick.tune")->number),
              std::make_tuple("kick.tune", 52, "Dry Room", 55));
    EXPECT_TRUE(!hello.find("ccMap") && hello.find("identity") && hello.find("presetState"));

    texts.clear();
    send(R"({"type":"kelvo.setParam","path":"snare.tune","value":260})");
    EXPECT_EQ(handler->edits,
              (std::vector<Edit>{{Call::Begin, 3, 0}, {Call::Perform, 3, 0.5}, {Call::End, 3, 0}}));
    EXPECT_TRUE(received("kelvo.paramChanged").empty());
    instance->controller()->setParamNormalized(5, 0.25);
    ASSERT_EQ(received("kelvo.paramChanged").size(), 1u);
    EXPECT_NE(texts[0].find("\"path\":\"snare.snap\""), std::string::npos);

    texts.clear();
    handler->clear();
    send(R"({"type":"kelvo.loadFactoryPreset","id":"factory-3"})");
    EXPECT_EQ(received("kelvo.paramChanged").size(), KELVO_PARAM_COUNT);
    EXPECT_EQ(handler->restarts, std::vector<int32>{kParamValuesChanged});

    handler->clear();
    send(R"({"type":"kelvo.setCcMap","map":{"bindings":[{"cc":74,"path":"kick.tune"}]}})");
    EXPECT_EQ(handler->restarts, std::vector<int32>{kMidiCCAssignmentChanged});
    EXPECT_EQ(received("kelvo.ccMapChanged").size(), 1u);

    send(R"({"type":"kelvo.getBankState"})");
    EXPECT_EQ(received("kelvo.bankState").size(), 1u);

    // Lifecycle replay on subscribing, then each new event until unsubscribed.
    send(R"({"type":"kelvo.diag.subscribe","feeds":["lifecycle"],"hz":120})");
    ASSERT_EQ(received("kelvo.lifecycle").size(), 1u);
    send(R"({"type":"kelvo.getState"})");
    EXPECT_EQ(received("kelvo.lifecycle").size(), 2u);
    EXPECT_EQ(received("kelvo.state").size(), 1u);
    send(R"({"type":"kelvo.diag.unsubscribe"})");
    send(R"({"type":"kelvo.getState"})");
    EXPECT_EQ(received("kelvo.lifecycle").size(), 2u);
    EXPECT_EQ(tick(controller()), 1);

    // Malformed texts are the controller's and the fuzzer's; here, the
    // export's own refusals.
    texts.clear();
    EXPECT_EQ(deliver(controller(), nullptr, 3), 0);
    EXPECT_EQ(install(controller(), nullptr, nullptr), 1);
    send(R"({"type":"kelvo.ready"})");
    EXPECT_TRUE(texts.empty());
}

TEST_F(BridgeConversation, AnyOtherControllerIsRefused) {
    IPtr<EditController> foreign = owned(new EditController());
    FUnknown* other = static_cast<IEditController*>(foreign.get());
    const std::string ready = R"({"type":"kelvo.ready"})";
    EXPECT_EQ(install(other, &collect, &texts), 0);
    EXPECT_EQ(deliver(other, ready.data(), ready.size()), 0);
    EXPECT_EQ(tick(other), 0);
    EXPECT_EQ(tick(nullptr), 0);
    EXPECT_TRUE(texts.empty());
}

}  // namespace
}  // namespace kelvo::test
