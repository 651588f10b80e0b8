#include <gtest/gtest.h>

#include <cstring>

#include "pack_files.h"
#include "runtime_bank.h"
#include "test_host.h"
#include "wav_bytes.h"

namespace kelvo::test {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

std::string savedState(KelvoProcessor& processor, size_t writePiece = SIZE_MAX) {
    IPtr<PieceStream> stream = owned(new PieceStream());
    stream->writePiece = writePiece;
    EXPECT_EQ(processor.getState(stream), kResultOk);
    return stream->bytes;
}

tresult restore(KelvoProcessor& processor, std::string bytes) {
    IPtr<PieceStream> stream = owned(new PieceStream(std::move(bytes)));
    return processor.setState(stream);
}

// A processor with a session: odd parameter values, a variation, a CC map and
// pad overrides.
struct Session {
    Session() {
        for (uint32_t i = 0; i < KELVO_PARAM_COUNT; ++i)
            host.processor().engine().setParamValue(
                i, KELVO_PARAMS[i].min + (KELVO_PARAMS[i].max - KELVO_PARAMS[i].min) / 3);
        host.processor().engine().setVariation(7);
        EXPECT_EQ(host.processor().notify(
                      jsonMessage("kelvo.ccMap", R"({"bindings":[{"cc":74,"path":"kick.tune"}]})")),
                  kResultOk);
        EXPECT_EQ(
            host.processor().notify(jsonMessage("kelvo.padOverrides", R"({"kick":{"gain":0.5}})")),
            kResultOk);
    }
    ProcessorHost host;
};

void expectSameSession(KelvoProcessor& restored, KelvoProcessor& original) {
    for (uint32_t i = 0; i < KELVO_PARAM_COUNT; ++i)
        EXPECT_EQ(restored.engine().paramValue(i), original.engine().paramValue(i)) << i;
    EXPECT_EQ(restored.engine().variation(), original.engine().variation());
    ASSERT_NE(restored.ccMap(), nullptr);
    EXPECT_EQ(*restored.ccMap(), *original.ccMap());
    ASSERT_TRUE(restored.engine().publishedPadOverrides());
    EXPECT_EQ(*restored.engine().publishedPadOverrides(),
              *original.engine().publishedPadOverrides());
}

TEST(ProcessorState, SavesAndRestoresTheWholeSessionThroughAnyStream) {
    Session session;
    KelvoProcessor& original = session.host.processor();
    const std::string document = savedState(original);
    EXPECT_EQ(savedState(original, 100), document);  // a stream that takes 100 bytes a call

    // Whitespace after the document makes it end exactly on a read boundary.
    std::string boundary = document + std::string(8192 - document.size(), ' ');
    for (const std::string& bytes : {document, boundary}) {
        ProcessorHost fresh;
        ASSERT_EQ(restore(fresh.processor(), bytes), kResultOk);
        expectSameSession(fresh.processor(), original);
    }

    IPtr<PieceStream> full = owned(new PieceStream());
    full->writeLimit = document.size() / 2;  // a stream that stops taking bytes
    EXPECT_EQ(original.getState(full), kResultFalse);
}

TEST(ProcessorState, ADamagedOrOversizedDocumentChangesNothing) {
    Session session;
    KelvoProcessor& processor = session.host.processor();
    const std::string document = savedState(processor);
    ProcessorHost other;
    other.processor().engine().setParamValue(0, 99);
    const std::string foreign = savedState(other.processor());

    std::string oversized = foreign;
    oversized.resize((size_t{16} << 20) + 1, ' ');
    for (const std::string& bytes : {foreign.substr(0, foreign.size() - 1), oversized}) {
        EXPECT_EQ(restore(processor, bytes), kResultFalse);
        EXPECT_EQ(savedState(processor), document);
    }
}

// A one-zone pack; `digestOk` false declares a wrong digest for its sample.
std::string writePack(const fs::path& root, bool digestOk) {
    const std::vector<uint8_t> sample = rampWav(64);
    writeFile(root / "kick.wav", sample);
    writeFile(root / "drums.json",
              R"({"format":"kelvo-sampler-instrument/v1","zones":[{"id":"kick","assetId":"k"}]})");
    const std::string digest = digestOk ? sha256Of(sample) : std::string(64, '0');
    writeFile(root / "bank.json",
              R"({"format":"kelvo-sound-pack/v1","id":"acme","version":"1","name":"Acme",)"
              R"("assetTable":[{"id":"k","path":"kick.wav","sha256":")" +
                  digest +
                  R"("}],"instruments":[{"id":"drums","name":"Drums","document":"drums.json"}]})");
    return root.string();
}

std::vector<uint32_t> diagnosticCodes(KelvoProcessor& processor) {
    processor.engine().drainRuntimeDiagnostics();
    const auto& ring = processor.engine().diagnostics().ring();
    std::vector<uint32_t> codes;
    for (uint32_t i = 0; i < ring.count; ++i)
        codes.push_back(ring.records[i].code);
    return codes;
}

class ProcessorMessages : public TempDirTest {
  protected:
    KelvoProcessor& processor() { return host.processor(); }
    ProcessorHost host;
};

TEST_F(ProcessorMessages, EveryMessageWithAndWithoutItsPayload) {
    struct Case {
        const char* id;
        const char* json;  // null: no payload
        tresult result;
    };
    const Case cases[] = {
        {"kelvo.ccMap", "{", kResultOk},  // ignored
        {"kelvo.ccMap", nullptr, kResultOk},
        {"kelvo.padOverrides", "{", kResultFalse},  // refused, so the controller knows
        {"kelvo.padOverrides", nullptr, kResultFalse},
        {"kelvo.padOverrides", "{}", kResultOk},
        {"kelvo.diag.presetLoaded", "bank-preset-7", kResultOk},
        {"kelvo.diag.transportPoll", nullptr, kResultOk},
        {"kelvo.diag.feedDrain", nullptr, kResultOk},
        {"kelvo.diag.resetCounters", nullptr, kResultOk},
        {"kelvo.stageResourceSlot", "{}", kResultFalse},
        {"kelvo.unknown", nullptr, kResultFalse},
    };
    for (const Case& c : cases) {
        IPtr<IMessage> message = owned(new HostMessage());
        message->setMessageID(c.id);
        if (c.json) message = jsonMessage(c.id, c.json);
        EXPECT_EQ(processor().notify(message), c.result) << c.id << " " << (c.json ? c.json : "");
    }
    EXPECT_EQ(processor().loadedPresetId(), "bank-preset-7");
    EXPECT_EQ(processor().ccMap(), nullptr);
    IPtr<IMessage> cleared = owned(new HostMessage());
    cleared->setMessageID("kelvo.diag.presetLoaded");
    processor().notify(cleared);
    EXPECT_EQ(processor().loadedPresetId(), "");
}

TEST_F(ProcessorMessages, EveryBankLoadRequestIsAnswered) {
    const std::string good = writePack(dir / "good", true);
    const std::string bad = writePack(dir / "bad", false);
    struct Case {
        std::string request, reply;
        std::vector<uint32_t> codes;
    };
    const Case cases[] = {
        {"\n", "bank-missing\n", {}},
        {"user-folder\n" + good + "\n\ndrums",
         "bank-too-large\nthe engine refused the staged bank (arena capacity)",
         {DIAGNOSTIC_BANK_MISSING}},
        {"\n" + bad, "", {DIAGNOSTIC_BANK_HASH_MISMATCH}},
    };
    for (const Case& c : cases) {
        ProcessorHost fresh;
        std::vector<RecordedMessage>& sent = fresh.messages();
        ASSERT_EQ(fresh.processor().notify(jsonMessage("kelvo.loadRuntimeBank", c.request)),
                  kResultOk);
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back().id, "kelvo.runtimeBankResult");
        const std::string& reply = sent.back().json;
        if (!c.reply.empty()) {
            EXPECT_EQ(reply, c.reply);
        } else {
            EXPECT_TRUE(reply.starts_with("bank-hash-mismatch\n")) << reply;
        }
        EXPECT_EQ(diagnosticCodes(fresh.processor()), c.codes) << c.request;
        // A failure also reports the runtime health.
        ASSERT_EQ(sent.size(), c.codes.empty() ? 1u : 2u);
        EXPECT_EQ(sent.front().id,
                  c.codes.empty() ? "kelvo.runtimeBankResult" : "kelvo.runtimeDiagnostics");
        EXPECT_EQ(fresh.processor().runtimeBankLocator(), "");
    }
}

TEST_F(ProcessorMessages, ARecalledBankIsLookedUpWhereItCanBe) {
    // Embedded banks are never loaded, but a state naming one still says so.
    std::string state = R"({"bank":{"version":1,"id":"factory","source":"embedded","locator":")" +
                        writePack(dir / "embedded", true) + R"("}})";
    ASSERT_EQ(restore(processor(), state), kResultOk);
    EXPECT_EQ(diagnosticCodes(processor()), std::vector<uint32_t>{DIAGNOSTIC_BANK_MISSING});
    EXPECT_EQ(processor().engine().diagnostics().ring().records[0].phase, DIAGNOSTIC_PHASE_STATE);

    // A hosted reference names its cache folder by the archive digest; any
    // other digest falls back to the locator.
    StateChunk chunk;
    std::strcpy(chunk.bankSource, "hosted");
    std::strcpy(chunk.bankLocator, "/packs/acme");
    const std::string digest(64, 'a');
    for (auto [sha, expected] : {std::pair{digest.c_str(), "/cache/" + digest},
                                 {"../x", std::string("/packs/acme")},
                                 {"", std::string("/packs/acme")}}) {
        std::strcpy(chunk.bankSha256, sha);
        EXPECT_EQ(recallDirectory(chunk, "/cache"), expected) << sha;
    }
    std::strcpy(chunk.bankSource, "user-folder");
    std::strcpy(chunk.bankSha256, digest.c_str());
    EXPECT_EQ(recallDirectory(chunk, "/cache"), "/packs/acme");
}

}  // namespace
}  // namespace kelvo::test
