#include <gtest/gtest.h>

#include <charconv>
#include <chrono>
#include <thread>

#include "bank_control.h"
#include "https_fixture.h"

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
    std::string request() const { return requests.empty() ? "" : requests.back(); }

    BankControl* control = nullptr;
    bool sendable = true;
    const char* replyInsideSend = nullptr;
    std::vector<std::string> texts, requests;
    std::string edits;
};

// Two kits, a preset of each, and one whose only values are no numbers;
// loaded with kit A.
const std::string KITS_AND_PRESETS =
    "kit-a\tKit A\tkits\nkit-b\tKit B\tkits\n"
    "\x01p1\tTight\tkit-a\tkick.tune=60\x1fnot.a.param=1\n"
    "\x01p2\tOther\tkit-b\tkick.decay=0.1\n"
    "\x01p3\tBad\t\tkick.tune=abc\x1fkick.click=nan";
const std::string LOADED = "ok\n\nkit-a\tKit A\tkits\n" + KITS_AND_PRESETS;

const std::string FACTORY =
    R"("presets":{"bankScoped":false,"items":[{"id":"factory-1","name":"Boom Kit"},)"
    R"({"id":"factory-2","name":"Club Machine"},{"id":"factory-3","name":"Dry Room"},)"
    R"({"id":"factory-4","name":"Lo-Fi Crunch"},{"id":"factory-5","name":"Metal Shop"},)"
    R"({"id":"factory-6","name":"Soft Brush"}]})";

// A bank state; `error` is the code and the requested id as written in JSON.
std::string bankState(const std::string& body, const std::string& code = "",
                      const std::string& requestedId = "", const std::string& reason = "loadBank",
                      const std::string& pads = "{}") {
    return R"({"type":"kelvo.bankState","reason":")" + reason + R"(","stateVersion":1,"pads":)" +
           pads + R"(,"banks":[],)" + body +
           (code.empty()
                ? ""
                : R"(,"error":{"code":")" + code + R"(","requestedId":)" + requestedId + "}") +
           "}";
}

// The state after LOADED; `locator` as written in JSON.
std::string loadedBody(const std::string& source, const std::string& locator) {
    return R"("runtime":{"source":")" + source + R"(","locator":)" + locator +
           R"(,"instrument":{"id":"kit-a","name":"Kit A","list":"kits"},"positionings":[)"
           R"({"id":"kit-a","name":"Kit A","list":"kits"},{"id":"kit-b","name":"Kit B","list":"kits"}]},)"
           R"("presets":{"bankScoped":true,"items":[{"id":"p1","name":"Tight","instrument":"kit-a",)"
           R"("params":{"kick.tune":60,"not.a.param":1}},{"id":"p2","name":"Other","instrument":"kit-b",)"
           R"("params":{"kick.decay":0.10000000000000001}}]})";
}

BankMessage msg(const std::string& type, const std::string& id = "", const char* source = "") {
    BankMessage message;
    message.type = "kelvo." + type;
    message.id = id;
    message.source = source;
    return message;
}

BankMessage folder(const std::string& path, const std::string& instrument = "") {
    BankMessage message = msg("loadBank", "", "user-folder");
    message.bankPath = path;
    message.instrument = instrument;
    return message;
}

// A bank control on its recording host.
struct Bench {
    Bench() { host.control = &control; }

    // A folder bank holding LOADED, with the records cleared.
    void loadBank() {
        control.handleMessage(folder("/packs/a"));
        control.adoptRuntimeBankReply(LOADED);
        host.texts.clear();
        host.requests.clear();
    }

    RecordingHost host;
    BankControl control{host};
};

TEST(BankControl, AnswersEditorRequests) {
    BankMessage pads = msg("setPadOverrides");
    pads.pads = {{.pad = "kick", .mask = PAD_GAIN, .gain = 0.5}};
    pads.hasPads = true;
    const std::string loadedA = bankState(loadedBody("user-folder", R"("/packs/a")"));
    struct Case {
        bool loaded;  // LOADED from "/packs/a" first
        bool sendable;
        BankMessage message;
        bool handled;
        std::string request;  // the load request sent, "" none
        const char* reply;    // the processor's reply, delivered inside the send
        const char* edits;
        std::string page;  // the last text to the page, "" none
    };
    const Case cases[] = {
        {false, true, msg("getBankState"), true, "", nullptr, "",
         bankState(FACTORY, "", "", "query")},
        {false, true, msg("loadBank", "kit-9", "embedded"), true, "", nullptr, "",
         bankState(FACTORY, "bank-missing", R"("kit-9")")},
        {false, true, msg("loadBank"), false, "", nullptr, "", ""},
        {false, true, folder(""), true, "", nullptr, "",
         bankState(FACTORY, "bank-missing", R"("user-folder")")},
        // A failure names the instrument, or the folder when none was asked for.
        {false, true, folder("/packs/a", "kit-a"), true, "user-folder\n/packs/a\n\nkit-a",
         "bank-malformed\nbad json", "", bankState(FACTORY, "bank-malformed", R"("kit-a")")},
        {false, true, folder("/packs/a"), true, "user-folder\n/packs/a\n\n", "", "",
         bankState(FACTORY, "missing", R"("/packs/a")")},
        // A send that fails is answered, but only when no reply came first.
        {false, false, folder("/packs/a", "kit-a"), true, "user-folder\n/packs/a\n\nkit-a", nullptr,
         "", bankState(FACTORY, "missing", R"("kit-a")")},
        {false, false, folder("/packs/a"), true, "user-folder\n/packs/a\n\n", LOADED.c_str(), "",
         loadedA},
        {false, true, folder("/p/\"q\"\x01\n"), true, "user-folder\n/p/\"q\"\x01\n\n\n",
         LOADED.c_str(), "", bankState(loadedBody("user-folder", R"("/p/\"q\"\u0001\n")"))},
        {true, true, msg("loadBankPreset", "p1"), true, "", nullptr, "0=60;", loadedA},
        // A preset of the other kit reloads the bank with it; its reply answers.
        {true, true, msg("loadBankPreset", "p2"), true, "user-folder\n/packs/a\n\nkit-b",
         LOADED.c_str(), "1=0.1;", loadedA},
        {true, true, msg("loadBankPreset", "p3"), true, "", nullptr, "",
         bankState(loadedBody("user-folder", R"("/packs/a")"), "bank-missing", R"("p3")")},
        {true, true, msg("loadBankPreset"), false, "", nullptr, "", ""},
        {false, true, msg("pickFolder"), true, "", nullptr, "",
         R"({"type":"kelvo.folderPicked","ok":false,"error":"this build has no folder picker"})"},
        {false, true, pads, true, "", nullptr, "",
         bankState(FACTORY, "", "", "setPadOverrides", R"({"kick":{"gain":0.5}})")},
        {false, false, pads, true, "", nullptr, "", ""},  // refused by the processor
        {false, true, msg("setPadOverrides"), false, "", nullptr, "", ""},
        {false, true, msg("ready"), false, "", nullptr, "", ""},
    };
    for (const Case& c : cases) {
        Bench bench;
        if (c.loaded) bench.loadBank();
        bench.host.sendable = c.sendable;
        bench.host.replyInsideSend = c.reply;
        const int row = &c - cases;
        EXPECT_EQ(bench.control.handleMessage(c.message), c.handled) << row;
        EXPECT_EQ(bench.host.request(), c.request) << row;
        EXPECT_EQ(bench.host.texts,
                  c.page.empty() ? std::vector<std::string>() : std::vector{c.page})
            << row;
        EXPECT_EQ(bench.host.edits, c.edits) << row;
    }
}

class HostedBankControl : public LocalHttpsTest, public Bench {
  protected:
    void SetUp() override {
        LocalHttpsTest::SetUp();
        control.setHostedFetchOptions(options);
    }

    static BankMessage hosted(const std::string& address, const std::string& sha256) {
        BankMessage message = msg("loadBank", "", "hosted");
        message.url = address;
        message.sha256 = sha256;
        message.instrument = "kit-a";
        return message;
    }
};

TEST_F(HostedBankControl, DownloadIsHandedBackByTheMainThreadCall) {
    const std::string digest = serve("pack.zip", {{"bank.json", "{}"}}), packUrl = url("pack.zip");
    const auto handBack = [&](const std::string& address, const std::string& sha256) {
        host.texts.clear();
        ASSERT_TRUE(control.handleMessage(hosted(address, sha256)));
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!control.deliverFetchedBank()) {
            // Nothing reaches the controller but through the call above.
            ASSERT_TRUE(host.texts.empty() && host.requests.empty());
            ASSERT_LT(std::chrono::steady_clock::now(), deadline);
            std::this_thread::sleep_for(10ms);
        }
    };
    handBack(url("missing.zip"), digest);
    EXPECT_EQ(host.texts,
              std::vector{bankState(FACTORY, "bank-fetch-failed", '"' + url("missing.zip") + '"')});
    handBack(packUrl, digest);
    EXPECT_EQ(host.request(), "hosted\n" + (root / digest).string() + "\n" + digest + "\nkit-a");
    control.adoptRuntimeBankReply(LOADED);
    EXPECT_EQ(host.texts, std::vector{bankState(loadedBody("hosted", '"' + packUrl + '"'))});
}

// The request returns at once, and cancelling or destroying the control
// ends the stalled download without a word to the controller.
TEST_F(HostedBankControl, CancelEndsAStalledDownloadPromptly) {
    for (bool destroy : {false, true}) {
        const auto started = std::chrono::steady_clock::now();
        {
            BankControl stalled(host);
            stalled.setHostedFetchOptions(options);
            ASSERT_TRUE(stalled.handleMessage(hosted(url("stall"), std::string(64, 'c'))));
            std::this_thread::sleep_for(300ms);
            if (!destroy) stalled.cancelFetch();
            EXPECT_TRUE(destroy || !(stalled.fetchPending() || stalled.deliverFetchedBank()));
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, 3s) << destroy;
    }
    EXPECT_TRUE(host.texts.empty() && host.requests.empty());
}

}  // namespace
}  // namespace kelvo
