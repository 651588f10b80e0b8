#include <gtest/gtest.h>

#include <charconv>
#include <chrono>
#include <memory>
#include <thread>

#include "bank_control.h"
#include "https_fixture.h"
#include "zip_bytes.h"

namespace kelvo {
namespace {

using namespace kelvo::test;
using namespace std::chrono_literals;

// Records what the bank control asks of the controller: a load request as
// its four texts joined by line feeds, an edit as "index=value;".
struct RecordingHost : BankControlHost {
    void sendBankJson(const std::string& json) override { texts.push_back(json); }
    void editParam(uint32_t index, double plain) override {
        char value[32];
        edits += std::to_string(index) + "=" +
                 std::string(value, std::to_chars(value, value + sizeof value, plain).ptr) + ";";
    }
    double readParam(uint32_t) override { return 0.0; }
    bool requestRuntimeBank(const std::string& source, const std::string& directory,
                            const std::string& sha256, const std::string& instrument) override {
        requests.push_back(source + "\n" + directory + "\n" + sha256 + "\n" + instrument);
        // The processor's reply, delivered before the send returns.
        if (replyInsideSend) control->adoptRuntimeBankReply(replyInsideSend);
        return sendable;
    }
    bool applyPadOverrides(const SamplerPadOverrides&) override { return sendable; }
    bool pickFolder(std::string&, std::string& error) override {
        error = "this build has no folder picker";
        return false;
    }
    void notePresetSelected(const std::string&, const std::string&) override {}
    size_t bankStates() const {
        return std::count_if(texts.begin(), texts.end(), [](const std::string& text) {
            return text.starts_with(R"({"type":"kelvo.bankState")");
        });
    }

    BankControl* control = nullptr;
    bool sendable = true;
    const char* replyInsideSend = nullptr;
    std::vector<std::string> texts, requests;
    std::string edits;
};

// Two kits, a preset of each, and one whose only values are no numbers;
// loaded with kit A, or with kit B.
const std::string KITS_AND_PRESETS =
    "kit-a\tKit A\tkits\nkit-b\tKit B\tkits\n"
    "\x01p1\tTight\tkit-a\tkick.tune=60\x1fnot.a.param=1\n"
    "\x01p2\tOther\tkit-b\tkick.decay=0.1\n"
    "\x01p3\tBad\t\tkick.tune=abc\x1fkick.click=nan";
const std::string LOADED = "ok\n\nkit-a\tKit A\tkits\n" + KITS_AND_PRESETS;
const std::string LOADED_KIT_B = "ok\n\nkit-b\tKit B\tkits\n" + KITS_AND_PRESETS;

std::string bankState(const std::string& reason, const std::string& body,
                      const std::string& pads = "{}") {
    return R"({"type":"kelvo.bankState","reason":")" + reason + R"(","stateVersion":1,"pads":)" +
           pads + R"(,"banks":[],)" + body + "}";
}

std::string error(const std::string& code, const std::string& requestedId) {
    return R"(,"error":{"code":")" + code + R"(","requestedId":)" + requestedId + "}";
}

const std::string FACTORY =
    R"("presets":{"bankScoped":false,"items":[{"id":"factory-1","name":"Boom Kit"},)"
    R"({"id":"factory-2","name":"Club Machine"},{"id":"factory-3","name":"Dry Room"},)"
    R"({"id":"factory-4","name":"Lo-Fi Crunch"},{"id":"factory-5","name":"Metal Shop"},)"
    R"({"id":"factory-6","name":"Soft Brush"}]})";

// The state after LOADED; `locator` as written in JSON.
std::string loadedBody(const std::string& source, const std::string& locator) {
    return R"("runtime":{"source":")" + source + R"(","locator":)" + locator +
           R"(,"instrument":{"id":"kit-a","name":"Kit A","list":"kits"},"positionings":[)"
           R"({"id":"kit-a","name":"Kit A","list":"kits"},{"id":"kit-b","name":"Kit B","list":"kits"}]},)"
           R"("presets":{"bankScoped":true,"items":[{"id":"p1","name":"Tight","instrument":"kit-a",)"
           R"("params":{"kick.tune":60,"not.a.param":1}},{"id":"p2","name":"Other","instrument":"kit-b",)"
           R"("params":{"kick.decay":0.10000000000000001}}]})";
}

BankMessage ofType(const char* type, const std::string& id = "") {
    BankMessage message;
    message.type = type;
    message.id = id;
    return message;
}

BankMessage loadFolder(const std::string& path, const std::string& instrument = "") {
    BankMessage message = ofType("kelvo.loadBank");
    message.source = "user-folder";
    message.bankPath = path;
    message.instrument = instrument;
    return message;
}

// A bank control on its recording host.
struct Bench {
    Bench() { host.control = &control; }

    // A folder bank holding LOADED, with the records cleared.
    void loadBank() {
        control.handleMessage(loadFolder("/packs/a"));
        control.adoptRuntimeBankReply(LOADED);
        host.texts.clear();
        host.requests.clear();
    }

    RecordingHost host;
    BankControl control{host};
};

TEST(BankControl, AnswersEditorRequests) {
    BankMessage pads = ofType("kelvo.setPadOverrides");
    pads.pads = {{.pad = "kick", .mask = PAD_GAIN, .gain = 0.5}};
    pads.hasPads = true;
    struct Case {
        const char* name;
        bool loaded;  // LOADED from "/packs/a" first
        bool sendable;
        BankMessage message;
        bool handled;
        std::string request;  // the load request sent, "" none
        const char* reply;    // the processor's reply to it
        const char* edits;
        std::string page;  // the last text to the page, "" none
    };
    BankMessage builtIn = ofType("kelvo.loadBank", "kit-9");
    builtIn.source = "embedded";
    const Case cases[] = {
        {"query", false, true, ofType("kelvo.getBankState"), true, "", nullptr, "",
         bankState("query", FACTORY)},
        {"built-in bank", false, true, builtIn, true, "", nullptr, "",
         bankState("loadBank", FACTORY + error("bank-missing", R"("kit-9")"))},
        {"no source, no id", false, true, ofType("kelvo.loadBank"), false, "", nullptr, "", ""},
        {"folder without a path", false, true, loadFolder(""), true, "", nullptr, "",
         bankState("loadBank", FACTORY + error("bank-missing", R"("user-folder")"))},
        {"failure names the instrument", false, true, loadFolder("/packs/a", "kit-a"), true,
         "user-folder\n/packs/a\n\nkit-a", "bank-malformed\nbad json", "",
         bankState("loadBank", FACTORY + error("bank-malformed", R"("kit-a")"))},
        {"reply without outcome names the folder", false, true, loadFolder("/packs/a"), true,
         "user-folder\n/packs/a\n\n", "", "",
         bankState("loadBank", FACTORY + error("missing", R"("/packs/a")"))},
        {"loaded, odd bytes in the path", false, true, loadFolder("/p/\"q\"\x01\n"), true,
         "user-folder\n/p/\"q\"\x01\n\n\n", LOADED.c_str(), "",
         bankState("loadBank", loadedBody("user-folder", R"("/p/\"q\"\u0001\n")"))},
        {"bank preset", true, true, ofType("kelvo.loadBankPreset", "p1"), true, "", nullptr,
         "0=60;", bankState("loadBank", loadedBody("user-folder", R"("/packs/a")"))},
        {"bank preset of the other kit reloads", true, true, ofType("kelvo.loadBankPreset", "p2"),
         true, "user-folder\n/packs/a\n\nkit-b", nullptr, "1=0.1;", ""},
        {"unknown bank preset", true, true, ofType("kelvo.loadBankPreset", "p3"), true, "", nullptr,
         "",
         bankState("loadBank",
                   loadedBody("user-folder", R"("/packs/a")") + error("bank-missing", R"("p3")"))},
        {"bank preset without id", true, true, ofType("kelvo.loadBankPreset"), false, "", nullptr,
         "", ""},
        {"pick folder", false, true, ofType("kelvo.pickFolder"), true, "", nullptr, "",
         R"({"type":"kelvo.folderPicked","ok":false,"error":"this build has no folder picker"})"},
        {"pad overrides", false, true, pads, true, "", nullptr, "",
         bankState("setPadOverrides", FACTORY, R"({"kick":{"gain":0.5}})")},
        {"pad overrides refused", false, false, pads, true, "", nullptr, "", ""},
        {"pad overrides not read", false, true, ofType("kelvo.setPadOverrides"), false, "", nullptr,
         "", ""},
        {"not a bank message", false, true, ofType("kelvo.ready"), false, "", nullptr, "", ""},
    };
    for (const Case& c : cases) {
        Bench bench;
        RecordingHost& host = bench.host;
        BankControl& control = bench.control;
        if (c.loaded) bench.loadBank();
        host.sendable = c.sendable;
        EXPECT_EQ(control.handleMessage(c.message), c.handled) << c.name;
        EXPECT_EQ(host.requests.empty() ? "" : host.requests.back(), c.request) << c.name;
        if (c.reply) control.adoptRuntimeBankReply(c.reply);
        EXPECT_EQ(host.texts.empty() ? "" : host.texts.back(), c.page) << c.name;
        EXPECT_LE(host.texts.size(), 1u) << c.name;
        EXPECT_EQ(host.edits, c.edits) << c.name;
    }
}

TEST(BankControl, AnswersEveryRequestExactlyOnce) {
    struct Case {
        const char* name;
        bool viaPreset;  // the request is the reload of a bank preset
        bool sendable;
        const char* replyInsideSend;
        const char* errorCode;  // of the one bank state, or null
    };
    const Case cases[] = {
        {"unsendable", false, false, nullptr, "missing"},
        {"reply inside the send", false, true, LOADED.c_str(), nullptr},
        {"reply inside a send reported failed", false, false, LOADED.c_str(), nullptr},
        {"failure reply inside the send", false, true, "bank-too-large\nx", "bank-too-large"},
        {"preset reload unsendable", true, false, nullptr, "missing"},
        {"preset reload answered inside the send", true, true, LOADED_KIT_B.c_str(), nullptr},
    };
    for (const Case& c : cases) {
        Bench bench;
        RecordingHost& host = bench.host;
        BankControl& control = bench.control;
        if (c.viaPreset) bench.loadBank();
        host.sendable = c.sendable;
        host.replyInsideSend = c.replyInsideSend;
        control.handleMessage(c.viaPreset ? ofType("kelvo.loadBankPreset", "p2")
                                          : loadFolder("/packs/b", "kit-b"));
        ASSERT_EQ(host.bankStates(), 1u) << c.name;
        const std::string expected =
            c.errorCode ? error(c.errorCode, R"("kit-b")") + "}" : R"("bankScoped":true)";
        EXPECT_NE(host.texts[0].find(expected), std::string::npos) << c.name << host.texts[0];
    }
}

TEST(BankControl, RestoredReferenceKeepsTheRequestTexts) {
    Bench bench;
    RecordingHost& host = bench.host;
    BankControl& control = bench.control;
    control.adoptRestoredRef("user-folder", "/banks/a", "", "kit-b", "p1");
    EXPECT_TRUE(host.requests.empty());
    EXPECT_TRUE(host.texts.empty());
    EXPECT_EQ(control.selectedPresetId(), "p1");
    // A reply after the restore belongs to the restored bank...
    control.adoptRuntimeBankReply(LOADED);
    EXPECT_EQ(host.texts.back(), bankState("loadBank", loadedBody("user-folder", R"("/banks/a")")));
    // ...and a failure names the restored instrument.
    control.adoptRuntimeBankReply("bank-instrument-unknown\n");
    EXPECT_EQ(host.texts.back(),
              bankState("loadBank", FACTORY + error("bank-instrument-unknown", R"("kit-b")")));
    EXPECT_EQ(control.selectedPresetId(), "p1");
}

class HostedBankControl : public LocalHttpsTest, public Bench {
  protected:
    void SetUp() override {
        LocalHttpsTest::SetUp();
        options.requestTimeoutSeconds = 30;
        options.resourceTimeoutSeconds = 60;
        control.setHostedFetchOptions(options);
    }

    static BankMessage loadHosted(const std::string& url, const std::string& sha256) {
        BankMessage message = ofType("kelvo.loadBank");
        message.source = "hosted";
        message.url = url;
        message.sha256 = sha256;
        message.instrument = "kit-a";
        return message;
    }
};

TEST_F(HostedBankControl, DownloadIsHandedBackByTheMainThreadCall) {
    const std::vector<uint8_t> zip = makeZip({{"bank.json", "{}"}});
    writeFile(work / "served" / "pack.zip", zip);
    const std::string digest = sha256Of(zip);
    const std::string entry = (data / "Kelvo" / "banks" / digest).string();
    struct Case {
        std::string url;
        std::string request;  // "" none
        std::string page;     // the text after the request, or after its reply
    };
    const Case cases[] = {
        {server.url("missing.zip"), "",
         bankState("loadBank",
                   FACTORY + error("bank-fetch-failed", "\"" + server.url("missing.zip") + "\""))},
        {server.url("pack.zip"), "hosted\n" + entry + "\n" + digest + "\nkit-a",
         bankState("loadBank", loadedBody("hosted", "\"" + server.url("pack.zip") + "\""))},
    };
    for (const Case& c : cases) {
        host.texts.clear();
        host.requests.clear();
        ASSERT_TRUE(control.handleMessage(loadHosted(c.url, digest))) << c.url;
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!control.deliverFetchedBank()) {
            // Nothing reaches the controller but through the call above.
            ASSERT_TRUE(host.texts.empty() && host.requests.empty()) << c.url;
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << c.url;
            std::this_thread::sleep_for(10ms);
        }
        EXPECT_FALSE(control.fetchPending());
        EXPECT_EQ(host.requests.empty() ? "" : host.requests.back(), c.request) << c.url;
        if (!c.request.empty()) control.adoptRuntimeBankReply(LOADED);
        EXPECT_EQ(host.texts.size(), 1u) << c.url;
        EXPECT_EQ(host.texts.empty() ? "" : host.texts.back(), c.page) << c.url;
    }
}

TEST_F(HostedBankControl, CancelEndsAStalledDownloadPromptly) {
    for (bool destroy : {false, true}) {
        auto stalled = std::make_unique<BankControl>(host);
        stalled->setHostedFetchOptions(options);
        auto started = std::chrono::steady_clock::now();
        // The request returns at once: the download runs elsewhere.
        ASSERT_TRUE(stalled->handleMessage(loadHosted(server.url("stall"), std::string(64, 'c'))));
        EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
        EXPECT_TRUE(stalled->fetchPending());
        std::this_thread::sleep_for(300ms);

        started = std::chrono::steady_clock::now();
        if (destroy) {
            stalled.reset();
        } else {
            stalled->cancelFetch();
            EXPECT_FALSE(stalled->fetchPending());
            EXPECT_FALSE(stalled->deliverFetchedBank());
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, 3s) << destroy;
        EXPECT_TRUE(host.texts.empty() && host.requests.empty()) << destroy;
    }
}

}  // namespace
}  // namespace kelvo
