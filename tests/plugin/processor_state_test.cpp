#include <gtest/gtest.h>

#include <cstring>

#include "pack_files.h"
#include "runtime_bank.h"
#include "temp_dir.h"
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
    return processor.setState(owned(new PieceStream(std::move(bytes))));
}

// A whole session (odd values, a variation, a CC map, pad overrides) goes
// through any stream and comes back whole; a damaged or oversized document
// changes nothing.
TEST(ProcessorState, SavesAndRestoresTheWholeSession) {
    ProcessorHost host;
    KelvoProcessor& original = host.processor();
    for (uint32_t i = 0; i < KELVO_PARAM_COUNT; ++i)
        original.engine().setParamValue(
            i, KELVO_PARAMS[i].min + (KELVO_PARAMS[i].max - KELVO_PARAMS[i].min) / 3);
    original.engine().setVariation(7);
    const char* map = R"({"bindings":[{"cc":74,"path":"kick.tune"}]})";
    ASSERT_EQ(original.notify(jsonMessage("kelvo.ccMap", map)), kResultOk);
    ASSERT_EQ(original.notify(jsonMessage("kelvo.padOverrides", R"({"kick":{"gain":0.5}})")),
              kResultOk);
    const std::string document = savedState(original);
    EXPECT_EQ(savedState(original, 100), document);  // a stream that takes 100 bytes a call

    // Whitespace after the document makes it end exactly on a read boundary.
    for (const std::string& bytes :
         {document, document + std::string(8192 - document.size(), ' ')}) {
        ProcessorHost fresh;
        ASSERT_EQ(restore(fresh.processor(), bytes), kResultOk);
        EXPECT_EQ(savedState(fresh.processor()), document);
    }

    ProcessorHost other;
    other.processor().engine().setParamValue(0, 99);
    std::string foreign = savedState(other.processor());
    EXPECT_EQ(restore(original, foreign.substr(0, foreign.size() - 1)), kResultFalse);
    foreign.resize((size_t{16} << 20) + 1, ' ');
    EXPECT_EQ(restore(original, foreign), kResultFalse);
    EXPECT_EQ(savedState(original), document);

    IPtr<PieceStream> full = owned(new PieceStream());
    full->writeLimit = document.size() / 2;  // a stream that stops taking bytes
    EXPECT_EQ(original.getState(full), kResultFalse);
}

using ProcessorBanks = TempDirTest;

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

TEST(ProcessorMessages, EveryMessageWithAndWithoutItsPayload) {
    ProcessorHost host;
    const std::tuple<const char*, std::optional<std::string_view>, tresult> cases[] = {
        {"kelvo.ccMap", "{", kResultOk},  // ignored
        {"kelvo.ccMap", std::nullopt, kResultOk},
        {"kelvo.padOverrides", "{", kResultFalse},  // refused, so the controller knows
        {"kelvo.padOverrides", std::nullopt, kResultFalse},
        {"kelvo.padOverrides", "{}", kResultOk},
        {"kelvo.diag.presetLoaded", "bank-preset-7", kResultOk},
        {"kelvo.diag.transportPoll", std::nullopt, kResultOk},
        {"kelvo.diag.feedDrain", std::nullopt, kResultOk},
        {"kelvo.diag.resetCounters", std::nullopt, kResultOk},
        {"kelvo.stageResourceSlot", "{}", kResultFalse},
        {"kelvo.unknown", std::nullopt, kResultFalse},
    };
    for (auto [id, json, result] : cases)
        EXPECT_EQ(host.processor().notify(jsonMessage(id, json)), result) << id;
    EXPECT_EQ(host.processor().loadedPresetId(), "bank-preset-7");
    EXPECT_EQ(host.processor().ccMap(), nullptr);
    host.processor().notify(jsonMessage("kelvo.diag.presetLoaded", std::nullopt));
    EXPECT_EQ(host.processor().loadedPresetId(), "");
}

TEST_F(ProcessorBanks, EveryBankRequestIsAnsweredOrLookedUpWhereItCanBe) {
    const std::string good = writePack(dir / "good", true);
    const std::string bad = writePack(dir / "bad", false);
    // A failure also reports the runtime health first.
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"\n", "bank-missing\n", false},
        {"user-folder\n" + good + "\n\ndrums",
         "bank-too-large\nthe engine refused the staged bank (arena capacity)", true},
        {"\n" + bad, "bank-hash-mismatch\n", true},
    };
    for (const auto& [request, reply, failed] : cases) {
        ProcessorHost fresh;
        ASSERT_EQ(fresh.processor().notify(jsonMessage("kelvo.loadRuntimeBank", request)),
                  kResultOk);
        const std::vector<RecordedMessage>& sent = fresh.messages();
        ASSERT_EQ(sent.size(), failed ? 2u : 1u);
        EXPECT_EQ(std::make_tuple(sent.front().id, sent.back().id,
                                  sent.back().json.substr(0, reply.size()),
                                  fresh.processor().runtimeBankLocator()),
                  std::make_tuple(failed ? "kelvo.runtimeDiagnostics" : "kelvo.runtimeBankResult",
                                  "kelvo.runtimeBankResult", reply, ""));
    }

    // Embedded banks are never loaded, but a state naming one still says so.
    ProcessorHost host;
    std::string state =
        R"({"bank":{"version":1,"id":"factory","source":"embedded","locator":")" + good + R"("}})";
    ASSERT_EQ(restore(host.processor(), state), kResultOk);
    host.processor().engine().drainRuntimeDiagnostics();
    const auto& ring = host.processor().engine().diagnostics().ring();
    ASSERT_EQ(ring.count, 1u);
    EXPECT_EQ(std::tie(ring.records[0].code, ring.records[0].phase),
              std::tie(DIAGNOSTIC_BANK_MISSING, DIAGNOSTIC_PHASE_STATE));

    // A hosted reference names its cache folder by the archive digest; any
    // other digest, or another source, falls back to the locator.
    const std::string digest(64, 'a');
    const std::tuple<const char*, const char*, std::string> recalls[] = {
        {"hosted", digest.c_str(), "/cache/" + digest},
        {"hosted", "../x", "/packs/acme"},
        {"hosted", "", "/packs/acme"},
        {"user-folder", digest.c_str(), "/packs/acme"}};
    for (auto [source, sha, expected] : recalls) {
        StateChunk chunk;
        std::strcpy(chunk.bankSource, source);
        std::strcpy(chunk.bankLocator, "/packs/acme");
        std::strcpy(chunk.bankSha256, sha);
        EXPECT_EQ(recallDirectory(chunk, "/cache"), expected) << source << " " << sha;
    }
}

}  // namespace
}  // namespace kelvo::test
