#include <gtest/gtest.h>

#include <string>

#include "controller_host.h"
#include "fixed_text.h"
#include "pluginterfaces/gui/iplugview.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

template <typename Record>
std::string bytesOf(const Record& record) {
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

TEST(ControllerMessages, ProcessorMessagesByIdAndSize) {
    ControllerHost host;
    KelvoController& controller = host.controller();
    HostFacts facts;
    facts.sampleRate = 44100;
    copyFixedText(facts.hostName, "the processor's guess");
    TransportFact transport;
    transport.hasTempo = 1;
    transport.tempo = 90;
    TransportFact faster = transport;
    faster.tempo = 100;

    struct Case {
        const char* id;
        std::string payload;
        const char* recorded;  // lifecycle kind recorded, or null
    };
    const Case cases[] = {
        {"kelvo.runtimeDiagnostics", std::string(65537, ' '), nullptr},
        {"kelvo.runtimeDiagnostics", "{}", "runtimeDiagnostic"},
        {"kelvo.diag.hostFacts", bytesOf(facts).substr(1), nullptr},
        {"kelvo.diag.hostFacts", bytesOf(facts), "sampleRateChanged"},
        {"kelvo.diag.lifecycle", "activated", "activated"},
        {"kelvo.diag.lifecycle", "Activated", nullptr},
        {"kelvo.diag.lifecycle", std::string(64, 'a'), nullptr},
        {"kelvo.diag.transport", bytesOf(transport) + " ", nullptr},
        {"kelvo.diag.transport", bytesOf(transport), nullptr},
        {"kelvo.diag.transport", bytesOf(faster), "tempoChanged"},
        {"kelvo.diag.signal", "x", nullptr},
        {"kelvo.runtimeBankResult", "bank-missing\n", nullptr},
    };
    for (const Case& c : cases) {
        const uint32_t before = controller.lifecycleLog().sequence();
        EXPECT_EQ(controller.notify(jsonMessage(c.id, c.payload)), kResultOk) << c.id;
        const DiagnosticLifecycleLog& log = controller.lifecycleLog();
        ASSERT_EQ(log.sequence(), before + (c.recorded ? 1 : 0)) << c.id << " " << c.payload;
        if (c.recorded) {
            EXPECT_STREQ(diagnosticLifecycleKindName(log.at(log.count() - 1).kind), c.recorded);
        }
    }
    EXPECT_EQ(controller.lastRuntimeReport(), "{}");
    EXPECT_EQ(host.ui("kelvo.runtimeDiagnostics"),
              std::vector<std::string>{"{\"type\":\"kelvo.runtimeDiagnostics\",\"report\":{}}"});
    EXPECT_EQ(controller.hostFacts().sampleRate, 44100);
    EXPECT_STREQ(controller.hostFacts().hostName, "My VST3 HostApplication");
    ASSERT_EQ(host.ui("kelvo.bankState").size(), 1u);
    EXPECT_NE(host.ui("kelvo.bankState")[0].find("\"code\":\"bank-missing\""), std::string::npos);

    IPtr<IMessage> bare = owned(new HostMessage());
    bare->setMessageID("kelvo.runtimeDiagnostics");
    EXPECT_EQ(controller.notify(bare), kResultOk);
    EXPECT_EQ(controller.lastRuntimeReport(), "{}");
    EXPECT_EQ(controller.notify(jsonMessage("kelvo.unknown", "{}")), kResultFalse);
}

TEST(ControllerHostIdentity, NamesClassifyTheHost) {
    const std::pair<const char*, uint8_t> cases[] = {
        {"pluginval validator", HOST_VALIDATOR_PLUGINVAL},
        {"Pluginval", HOST_VALIDATOR_PLUGINVAL},
        {"auval", HOST_VALIDATOR_AUVAL},
        {"clap_validator", HOST_VALIDATOR_CLAP_VALIDATOR},
        {"VST3 Validator kelvo", HOST_VALIDATOR_STEINBERG},
        {"Kelvo probe", HOST_VALIDATOR_KELVO_PROBE},
        {"PLUGINVAL", HOST_VALIDATOR_NONE},
        {"Ardour", HOST_VALIDATOR_NONE},
    };
    for (auto [name, kind] : cases) {
        NamedHostApplication application(name);
        ControllerHost host(&application);
        EXPECT_STREQ(host->hostFacts().hostName, name);
        EXPECT_EQ(host->hostFacts().validatorKind, kind) << name;
    }
}

// A host whose context offers its main thread's run loop.
class RunLoopHost : public HostApplication, public Linux::IRunLoop {
  public:
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) SMTG_OVERRIDE {
        if (FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid)) {
            addRef();
            *obj = static_cast<Linux::IRunLoop*>(this);
            return kResultOk;
        }
        return HostApplication::queryInterface(iid, obj);
    }
    uint32 PLUGIN_API addRef() SMTG_OVERRIDE { return HostApplication::addRef(); }
    uint32 PLUGIN_API release() SMTG_OVERRIDE { return HostApplication::release(); }
    tresult PLUGIN_API registerEventHandler(Linux::IEventHandler*, Linux::FileDescriptor) override {
        return kNotImplemented;
    }
    tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler*) override {
        return kNotImplemented;
    }
    tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler,
                                     Linux::TimerInterval ms) override {
        timer = handler;
        interval = ms;
        return kResultOk;
    }
    tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* handler) override {
        if (handler == timer) timer = nullptr;
        return kResultOk;
    }

    IPtr<Linux::ITimerHandler> timer;
    Linux::TimerInterval interval = 0;
};

TEST(ControllerCadence, TicksOnTheHostsRunLoopUntilTerminate) {
    RunLoopHost loop;
    ControllerHost host(static_cast<IHostApplication*>(&loop));
    ASSERT_NE(loop.timer, nullptr);
    EXPECT_EQ(loop.interval, 33u);
    loop.timer->onTimer();
    EXPECT_EQ(host.sent("kelvo.diag.transportPoll").size(), 1u);
    EXPECT_EQ(host.sent("kelvo.diag.feedDrain").size(), 1u);
    host->terminate();
    EXPECT_EQ(loop.timer, nullptr);
}

}  // namespace
}  // namespace kelvo::test
