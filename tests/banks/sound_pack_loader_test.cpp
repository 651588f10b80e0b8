#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

#include "pack_dir.h"
#include "sound_pack_loader.h"
#include "wav_bytes.h"

namespace kelvo {
namespace {

using namespace kelvo::test;

constexpr float STEP = 1.0f / 32768;

std::string assetEntry(const std::string& id, const std::string& path,
                       const std::string& extra = "") {
    return R"({"id":")" + id + R"(","path":")" + path + "\"" + extra + "}";
}

// A pack of three assets (a 100-frame mono ramp, a 40-frame stereo file at
// 44.1 kHz and a spare no zone uses), two instruments and a kit. Tests
// change the texts before write().
struct Pack {
    explicit Pack(fs::path at) : root(std::move(at)) {
        writeFile(root / "samples/kick.wav", kick);
        writeFile(root / "samples/snare.wav", snare);
        writeFile(root / "spare.wav", spare);
        assets = {
            assetEntry("kick", "samples/kick.wav",
                       R"(,"bytes":244,"sha256":")" + sha256Of(kick) + "\""),
            assetEntry("snare", "samples/snare.wav", R"(,"sha256":")" + sha256Of(snare) + "\""),
            assetEntry("spare", "spare.wav",
                       R"(,"codec":"wav","sha256":")" + sha256Of(spare) + "\""),
        };
    }

    std::string manifestText() const {
        std::string table;
        for (const std::string& asset : assets)
            table += (table.empty() ? "" : ",") + asset;
        return "{" + head + R"(,"assetTable":[)" + table + R"(],"instruments":)" + instruments +
               R"(,"kits":)" + kits + R"(,"presets":)" + presets + "}";
    }

    void write() const {
        if (!noManifest)
            writeFile(root / "bank.json", manifest.empty() ? manifestText() : manifest);
        writeFile(root / "drums.json",
                  R"({"format":"kelvo-sampler-instrument/v1","zones":)" + zones + "}");
        writeFile(
            root / "kits/kit.json",
            R"({"format":"kelvo-sampler-instrument/v1","zones":[{"id":"k","assetId":"snare"}]})");
    }

    RuntimeBankLoad load(uint32_t arenaFrames = 0, const std::string& requested = "") const {
        write();
        return loadRuntimeBank(root.string(), arenaFrames, requested);
    }

    fs::path root;
    std::vector<uint8_t> kick = rampWav(100);
    std::vector<uint8_t> snare =
        wav(fmtBody(1, 2, 44100, 24), pcm24(std::vector<int32_t>(80, 256)));
    std::vector<uint8_t> spare = rampWav(10);
    std::string head =
        R"("format":"kelvo-sound-pack/v1","id":"acme.drums","version":"1.2","name":"Acme Drums")";
    std::vector<std::string> assets;
    std::string instruments = R"([{"id":"drums","name":"Drums","document":"drums.json"},)"
                              R"({"id":"drums2","name":"Drums 2","document":"drums.json"}])";
    std::string kits = R"([{"id":"kit","name":"Kit","document":"kits/kit.json"}])";
    std::string presets = "[]";
    std::string zones =
        R"([{"id":"a","assetId":"kick"},{"id":"b","assetId":"snare"},{"id":"c","assetId":"kick"}])";
    std::string manifest;  // replaces manifestText() when set
    bool noManifest = false;
};

using SoundPackLoader = PackDir;

TEST_F(SoundPackLoader, StagesAPack) {
    Pack pack(dir);
    pack.presets =
        R"([{"id":"p1","name":"","instrument":"kit","document":"presets/p1.json"},)"
        R"({"id":"p2","name":"Two","document":"presets/p2.json"},)"  // no finite parameter
        R"({"id":"p3","name":"Three","document":"../p3.json"},)"     // escapes
        R"({"id":"p4","name":"Four","document":"presets/missing.json"},)"
        R"({"id":"","name":"Nameless","document":"presets/p1.json"}])";
    writeFile(dir / "presets/p1.json",
              R"({"params":{"snare.tune":0.5,"kick.tune":75,"bad":"x","worse":inf,"\u00e9":1}})");
    writeFile(dir / "presets/p2.json", R"({"params":{"kick.tune":nan}})");
    writeFile(dir / "p3.json", R"({"params":{"kick.tune":1}})");

    RuntimeBankLoad load = pack.load();
    ASSERT_EQ(load.outcome, RUNTIME_BANK_OK) << load.message;
    EXPECT_EQ(load.message, "");
    const StagedBank& bank = load.bank;
    EXPECT_EQ(bank.id, "acme.drums");
    EXPECT_EQ(bank.version, "1.2");
    EXPECT_EQ(bank.name, "Acme Drums");
    EXPECT_EQ(bank.sha256, sha256Of(pack.manifestText()));
    EXPECT_EQ(bank.instrumentId, "drums");
    EXPECT_EQ(bank.instrumentName, "Drums");
    EXPECT_EQ(bank.instrumentKind, "instruments");
    ASSERT_EQ(bank.positions.size(), 3u);
    EXPECT_EQ(bank.positions[2].id, "kit");
    EXPECT_EQ(bank.positions[2].name, "Kit");
    EXPECT_EQ(bank.positions[2].kind, "kits");

    ASSERT_EQ(bank.presets.size(), 1u);
    EXPECT_EQ(bank.presets[0].name, "p1");
    EXPECT_EQ(bank.presets[0].instrument, "kit");
    EXPECT_EQ(bank.presets[0].params,
              (std::vector<std::pair<std::string, double>>{
                  {"kick.tune", 75}, {"snare.tune", 0.5}, {"\xC3\xA9", 1}}));

    // The kick's 100 frames, then the snare's 40; the spare is verified but
    // not placed, and the second kick zone shares the first placement.
    ASSERT_EQ(bank.arena.size(), 140u);
    EXPECT_EQ(bank.arena[99], 99 * STEP);
    EXPECT_EQ(bank.arena[100], 1 * STEP);  // 256 / 8388608 at 16-bit resolution
    ASSERT_EQ(bank.zones.size(), 3u);
    EXPECT_EQ(bank.zones[0].assetOffset, 0u);
    EXPECT_EQ(bank.zones[0].assetFrames, 100u);
    EXPECT_EQ(bank.zones[1].assetOffset, 100u);
    EXPECT_EQ(bank.zones[1].assetFrames, 40u);
    EXPECT_EQ(bank.zones[1].sourceRate, 44100);
    EXPECT_EQ(bank.zones[2].assetOffset, 0u);
    EXPECT_EQ(bank.sampleRate, 48000);

    // A kit is found by its id, and its first zone gives the bank's rate.
    load = pack.load(0, "kit");
    ASSERT_EQ(load.outcome, RUNTIME_BANK_OK) << load.message;
    EXPECT_EQ(load.bank.instrumentKind, "kits");
    EXPECT_EQ(load.bank.arena.size(), 40u);
    EXPECT_EQ(load.bank.sampleRate, 44100);
}

TEST_F(SoundPackLoader, ReportsEveryFailureWithItsOutcomeAndMessage) {
    struct Case {
        Case(const char* name, std::function<void(Pack&)> change, int32_t outcome,
             std::string message, uint32_t arenaFrames = 0, std::string requested = "")
            : name(name),
              change(std::move(change)),
              outcome(outcome),
              message(std::move(message)),
              arenaFrames(arenaFrames),
              requested(std::move(requested)) {}
        const char* name;
        std::function<void(Pack&)> change;
        int32_t outcome;
        std::string message;  // "$" stands for the pack directory
        uint32_t arenaFrames;
        std::string requested;
    };
    const std::string kickDigest = sha256Of(rampWav(100));
    const std::string wrongDigest(64, 'a');
    const Case cases[] = {
        {"no manifest", [](Pack& p) { p.noManifest = true; }, RUNTIME_BANK_MISSING,
         "cannot read $/bank.json"},
        {"not json", [](Pack& p) { p.manifest = "{\"id\":"; }, RUNTIME_BANK_MALFORMED,
         "bank.json is not a JSON object"},
        {"not an object", [](Pack& p) { p.manifest = "[{}]"; }, RUNTIME_BANK_MALFORMED,
         "bank.json is not a JSON object"},
        {"wrong format", [](Pack& p) { p.head = R"("format":"kelvo-sound-pack/v2","id":"x")"; },
         RUNTIME_BANK_MALFORMED,
         "bank.json format is \"kelvo-sound-pack/v2\", expected kelvo-sound-pack/v1"},
        {"no format", [](Pack& p) { p.head = R"("format":1,"id":"x")"; }, RUNTIME_BANK_MALFORMED,
         "bank.json format is \"\", expected kelvo-sound-pack/v1"},
        {"no id", [](Pack& p) { p.head = R"("format":"kelvo-sound-pack/v1","id":7)"; },
         RUNTIME_BANK_MALFORMED, "bank.json declares no id"},
        {"empty asset table", [](Pack& p) { p.assets.clear(); }, RUNTIME_BANK_MALFORMED,
         "bank.json declares no assetTable"},
        {"asset without path", [](Pack& p) { p.assets[1] = R"({"id":"snare","path":""})"; },
         RUNTIME_BANK_MALFORMED, "assetTable entry missing id or path"},
        // Refused before its file is looked for (there is none).
        {"escaping path",
         [](Pack& p) { p.assets[1] = assetEntry("snare", "samples/../../snare.wav"); },
         RUNTIME_BANK_MALFORMED, "asset \"snare\" path escapes the bank directory"},
        {"codec",
         [](Pack& p) { p.assets[0] = assetEntry("kick", "samples/kick.wav", R"(,"codec":"WAV")"); },
         RUNTIME_BANK_UNSUPPORTED_CODEC,
         "asset \"kick\" codec \"WAV\" is not decoded by the native runtime loader (wav only)"},
        {"asset missing", [](Pack& p) { fs::remove(p.root / "samples/snare.wav"); },
         RUNTIME_BANK_MISSING, "asset \"snare\" file missing: samples/snare.wav"},
        {"asset is a directory",
         [](Pack& p) {
             fs::remove(p.root / "samples/snare.wav");
             fs::create_directory(p.root / "samples/snare.wav");
         },
         RUNTIME_BANK_MISSING, "asset \"snare\" file missing: samples/snare.wav"},
        {"asset is a fifo",
         [](Pack& p) {
             fs::remove(p.root / "samples/snare.wav");
             ASSERT_EQ(mkfifo((p.root / "samples/snare.wav").c_str(), 0600), 0);
         },
         RUNTIME_BANK_MISSING, "asset \"snare\" file missing: samples/snare.wav"},
        {"size",
         [](Pack& p) { p.assets[0] = assetEntry("kick", "samples/kick.wav", R"(,"bytes":242.9)"); },
         RUNTIME_BANK_HASH_MISMATCH, "asset \"kick\" is 244 bytes, manifest declares 242"},
        {"size before digest",
         [&](Pack& p) {
             p.assets[0] = assetEntry("kick", "samples/kick.wav",
                                      R"(,"bytes":1e30,"sha256":")" + wrongDigest + "\"");
         },
         RUNTIME_BANK_HASH_MISMATCH,
         "asset \"kick\" is 244 bytes, manifest declares 18446744073709551615"},
        {"digest",
         [&](Pack& p) {
             p.assets[0] = assetEntry("kick", "samples/kick.wav",
                                      R"(,"bytes":-1,"sha256":")" + wrongDigest + "\"");
         },
         RUNTIME_BANK_HASH_MISMATCH,
         "asset \"kick\" sha256 " + kickDigest.substr(0, 16) +
             "\u2026 does not match the manifest"},
        {"upper-case digest",
         [&](Pack& p) {
             std::string upper = kickDigest;
             for (char& c : upper)
                 c = static_cast<char>(toupper(c));
             p.assets[0] = assetEntry("kick", "samples/kick.wav", R"(,"sha256":")" + upper + "\"");
         },
         RUNTIME_BANK_HASH_MISMATCH,
         "asset \"kick\" sha256 " + kickDigest.substr(0, 16) +
             "\u2026 does not match the manifest"},
        {"unused asset still verified",
         [](Pack& p) { writeFile(p.root / "spare.wav", rampWav(10, 1)); },
         RUNTIME_BANK_HASH_MISMATCH,
         "asset \"spare\" sha256 " + sha256Of(rampWav(10, 1)).substr(0, 16) +
             "\u2026 does not match the manifest"},
        {"unknown instrument", [](Pack&) {}, RUNTIME_BANK_INSTRUMENT_UNKNOWN,
         "bank acme.drums has no instrument or kit \"toms\" (known: drums, drums2, kit)", 0,
         "toms"},
        {"unknown instrument in an empty list",
         [](Pack& p) { p.instruments = p.kits = R"([{"name":"no id","document":"drums.json"}])"; },
         RUNTIME_BANK_INSTRUMENT_UNKNOWN,
         "bank acme.drums has no instrument or kit \"toms\" (the bank lists none)", 0, "toms"},
        {"no document", [](Pack& p) { p.instruments = p.kits = R"([{"id":"a","document":""}])"; },
         RUNTIME_BANK_MALFORMED, "bank.json names no readable instrument/kit document"},
        {"escaping document",
         [](Pack& p) { p.instruments = R"([{"id":"a","document":"/etc/passwd"}])"; },
         RUNTIME_BANK_MALFORMED, "bank.json names no readable instrument/kit document"},
        {"document missing",
         [](Pack& p) { p.instruments = R"([{"id":"a","document":"./none.json"}])"; },
         RUNTIME_BANK_MISSING, "instrument document missing: ./none.json"},
        {"document not an object",
         [](Pack& p) { p.kits = R"([{"id":"k","document":"spare.wav"}])"; }, RUNTIME_BANK_MALFORMED,
         "instrument document is not a JSON object", 0, "k"},
        {"document format",
         [](Pack& p) {
             writeFile(p.root / "other.json", R"({"format":"sfz","zones":[{}]})");
             p.kits = R"([{"id":"k","document":"other.json"}])";
         },
         RUNTIME_BANK_MALFORMED,
         "instrument document format is \"sfz\", expected kelvo-sampler-instrument/v1", 0, "k"},
        {"no zones", [](Pack& p) { p.zones = "[]"; }, RUNTIME_BANK_MALFORMED,
         "instrument document declares no zones"},
        {"zone names an undeclared asset",
         [](Pack& p) { p.zones = R"([{"id":"a","assetId":"kick"},{"id":"z","assetId":"tom"}])"; },
         RUNTIME_BANK_MALFORMED,
         "zone \"z\" names asset \"tom\" which the assetTable does not declare"},
        {"undecodable asset",
         [](Pack& p) {
             std::vector<uint8_t> bad = p.snare;
             bad.resize(43);
             writeFile(p.root / "samples/snare.wav", bad);
             p.assets[1] = assetEntry("snare", "samples/snare.wav");
         },
         RUNTIME_BANK_UNSUPPORTED_CODEC, "asset \"snare\": not a RIFF/WAVE file"},
        {"only non-object zones", [](Pack& p) { p.zones = R"([1,"a",null])"; },
         RUNTIME_BANK_MALFORMED, "bank staged no zones or no samples"},
        {"arena one short", [](Pack&) {}, RUNTIME_BANK_TOO_LARGE,
         "bank needs 140 arena frames, the kernel published 139", 139},
    };
    for (const Case& c : cases) {
        Pack pack(dir / c.name);
        c.change(pack);
        RuntimeBankLoad load = pack.load(c.arenaFrames, c.requested);
        std::string expected = c.message;
        if (size_t at = expected.find('$'); at != std::string::npos)
            expected.replace(at, 1, pack.root.string());
        EXPECT_EQ(load.outcome, c.outcome) << c.name;
        EXPECT_EQ(load.message, expected) << c.name;
        if (c.outcome >= RUNTIME_BANK_TOO_LARGE ||
            load.message.find("staged no zones") != std::string::npos) {
            EXPECT_TRUE(load.bank.id.empty() && load.bank.positions.empty()) << c.name;
        }
    }
}

TEST_F(SoundPackLoader, ArenaLimit) {
    Pack pack(dir);
    for (uint32_t limit : {0u, 140u}) {
        RuntimeBankLoad load = pack.load(limit);
        EXPECT_EQ(load.outcome, RUNTIME_BANK_OK) << limit;
        EXPECT_EQ(load.bank.arena.size(), 140u);
    }
}

TEST_F(SoundPackLoader, BuildsZones) {
    Pack pack(dir);
    pack.zones = R"([
        {"id":"defaults","assetId":"kick"},
        {"id":"range","assetId":"kick","startFrame":10.9,"endFrame":30,"lowKey":60.5,"highKey":200,
         "rootKey":-3,"lowVelocity":"loud","highVelocity":126.49,"keyTracking":false,"reverse":true,
         "gain":-2.5,"pan":nan,"fineTuneCents":12,"roundRobinGroup":-4,"chokeGroup":3.7,
         "trigger":"release","attackSeconds":0,"releaseSeconds":1e3,"filterCutoffHz":800,
         "filterResonance":0.7,"keyTracking":"no"},
        {"id":"start beyond","assetId":"kick","startFrame":100,"endFrame":0,"trigger":"legato"},
        {"id":"end before start","assetId":"kick","startFrame":50,"endFrame":50,"trigger":"ATTACK"},
        {"id":"null start","assetId":"kick","startFrame":null,"endFrame":"x"},
        {"id":"loop","assetId":"kick","startFrame":10,"loopMode":"forward","loopStartFrame":20,
         "loopEndFrame":60,"loopCrossfadeFrames":40},
        {"id":"loop fade too long","assetId":"kick","loopMode":"forward","loopStartFrame":20,
         "loopEndFrame":60,"loopCrossfadeFrames":41},
        {"id":"loop beyond","assetId":"kick","endFrame":50,"loopMode":"forward",
         "loopStartFrame":20,"loopEndFrame":51,"loopCrossfadeFrames":4},
        {"id":"loop before start","assetId":"kick","startFrame":30,"loopMode":"forward",
         "loopStartFrame":20,"loopEndFrame":40},
        {"id":"loop one open","assetId":"kick","loopMode":"forward","loopStartFrame":20,
         "loopEndFrame":null},
        {"id":"loop off","assetId":"kick","loopMode":"none","loopStartFrame":20,"loopEndFrame":40}
    ])";
    RuntimeBankLoad load = pack.load();
    ASSERT_EQ(load.outcome, RUNTIME_BANK_OK) << load.message;
    const std::vector<StagedZone>& z = load.bank.zones;
    ASSERT_EQ(z.size(), 11u);

    const StagedZone fresh;
    EXPECT_EQ(std::tie(z[0].playOffset, z[0].playFrames, z[0].sourceRate),
              std::make_tuple(0u, 100u, 48000.0));
    EXPECT_EQ(std::tie(z[0].lowKey, z[0].highKey, z[0].rootKey, z[0].keyTracking, z[0].gain,
                       z[0].loopCrossfadeDeclared),
              std::tie(fresh.lowKey, fresh.highKey, fresh.rootKey, fresh.keyTracking, fresh.gain,
                       fresh.loopCrossfadeDeclared));

    const StagedZone& r = z[1];
    EXPECT_EQ(r.playOffset, 10u);
    EXPECT_EQ(r.playFrames, 20u);
    EXPECT_EQ(r.lowKey, 61u);
    EXPECT_EQ(r.highKey, 127u);
    EXPECT_EQ(r.rootKey, 0u);
    EXPECT_EQ(r.lowVelocity, 0u);
    EXPECT_EQ(r.highVelocity, 126u);
    EXPECT_EQ(r.keyTracking, 1u);  // the later "no" is not a boolean
    EXPECT_TRUE(r.reverse);
    EXPECT_EQ(r.gain, -2.5);
    EXPECT_EQ(r.pan, 0);  // not finite: the default
    EXPECT_EQ(r.fineTuneCents, 12);
    EXPECT_EQ(r.roundRobinGroup, 0u);
    EXPECT_EQ(r.chokeGroup, 3u);
    EXPECT_EQ(r.trigger, 1u);
    EXPECT_EQ(r.attackSeconds, 0);
    EXPECT_EQ(r.releaseSeconds, 1000);
    EXPECT_EQ(r.filterCutoffHz, 800);
    EXPECT_EQ(r.filterResonance, 0.7);

    EXPECT_EQ(std::tie(z[2].playOffset, z[2].playFrames, z[2].trigger),
              std::make_tuple(0u, 100u, 2u));
    EXPECT_EQ(std::tie(z[3].playOffset, z[3].playFrames, z[3].trigger),
              std::make_tuple(50u, 50u, 0u));
    EXPECT_EQ(std::tie(z[4].playOffset, z[4].playFrames), std::make_tuple(0u, 100u));

    auto loop = [](const StagedZone& zone) {
        return std::make_tuple(zone.loopEnabled, zone.loopStart, zone.loopEnd, zone.loopCrossfade,
                               zone.loopStartFrameDeclared, zone.loopEndFrameDeclared,
                               zone.loopCrossfadeDeclared);
    };
    constexpr uint32_t NONE = STAGED_ZONE_UNDECLARED;
    EXPECT_EQ(loop(z[5]), std::make_tuple(1u, 10u, 50u, 40u, 20u, 60u, 40u));
    EXPECT_EQ(loop(z[6]), std::make_tuple(1u, 20u, 60u, 0u, 20u, 60u, 41u));
    EXPECT_EQ(loop(z[7]), std::make_tuple(0u, 0u, 0u, 0u, 20u, 51u, NONE));
    EXPECT_EQ(loop(z[8]), std::make_tuple(0u, 0u, 0u, 0u, 20u, 40u, NONE));
    EXPECT_EQ(loop(z[9]), std::make_tuple(0u, 0u, 0u, 0u, NONE, NONE, NONE));
    EXPECT_EQ(loop(z[10]), std::make_tuple(0u, 0u, 0u, 0u, NONE, NONE, NONE));
}

}  // namespace
}  // namespace kelvo
