#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "pack_files.h"
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

    RuntimeBankLoad load(uint32_t arenaFrames = 0, const std::string& requested = "") const {
        if (!noManifest)
            writeFile(root / "bank.json", manifest.empty() ? manifestText() : manifest);
        writeFile(root / "drums.json",
                  R"({"format":"kelvo-sampler-instrument/v1","zones":)" + zones + "}");
        writeFile(
            root / "kits/kit.json",
            R"({"format":"kelvo-sampler-instrument/v1","zones":[{"id":"k","assetId":"snare"}]})");
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

// The staged bank's identity, lists and zone placements in one text.
std::string summary(const StagedBank& bank) {
    std::ostringstream out;
    out << bank.id << " " << bank.version << " " << bank.name << " " << bank.instrumentKind << "/"
        << bank.instrumentId << ":" << bank.instrumentName << " @" << bank.sampleRate << " arena "
        << bank.arena.size() << ";";
    for (const StagedPositioning& p : bank.positions)
        out << " " << p.kind << "/" << p.id << ":" << p.name;
    for (const StagedPreset& p : bank.presets) {
        out << "; " << p.id << ":" << p.name << ">" << p.instrument;
        for (const auto& [path, value] : p.params)
            out << " " << path << "=" << value;
    }
    for (const StagedZone& z : bank.zones)
        out << "; " << z.id << "@" << z.assetOffset << "+" << z.assetFrames << "/" << z.sourceRate;
    return out.str();
}

// Everything a zone's document sets, "-" for an undeclared loop frame.
std::string zoneText(const StagedZone& z) {
    auto declared = [](uint32_t frame) {
        return frame == STAGED_ZONE_UNDECLARED ? std::string("-") : std::to_string(frame);
    };
    std::ostringstream out;
    out << "play " << z.playOffset << "+" << z.playFrames << " keys " << z.lowKey << "-"
        << z.highKey << "/" << z.rootKey << " track " << z.keyTracking << " vel " << z.lowVelocity
        << "-" << z.highVelocity << " rev " << z.reverse << " gain " << z.gain << " pan " << z.pan
        << " cents " << z.fineTuneCents << " rr " << z.roundRobinGroup << " choke " << z.chokeGroup
        << " trigger " << z.trigger << " env " << z.attackSeconds << "/" << z.releaseSeconds
        << " filter " << z.filterCutoffHz << "/" << z.filterResonance << " loop " << z.loopEnabled
        << ":" << z.loopStart << "-" << z.loopEnd << "~" << z.loopCrossfade << " declared "
        << declared(z.loopStartFrameDeclared) << "," << declared(z.loopEndFrameDeclared) << ","
        << declared(z.loopCrossfadeDeclared);
    return out.str();
}

using SoundPackLoader = TempDirTest;

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

    // Exactly the arena the bank needs. The kick's 100 frames, then the
    // snare's 40; the spare is verified but not placed, and the second kick
    // zone shares the first placement.
    RuntimeBankLoad load = pack.load(140);
    ASSERT_EQ(load.outcome, RUNTIME_BANK_OK) << load.message;
    EXPECT_EQ(load.message, "");
    EXPECT_EQ(summary(load.bank),
              "acme.drums 1.2 Acme Drums instruments/drums:Drums @48000 arena 140; "
              "instruments/drums:Drums instruments/drums2:Drums 2 kits/kit:Kit; "
              "p1:p1>kit kick.tune=75 snare.tune=0.5 \xC3\xA9=1; "
              "a@0+100/48000; b@100+40/44100; c@0+100/48000");
    EXPECT_EQ(load.bank.sha256, sha256Of(pack.manifestText()));
    EXPECT_EQ(load.bank.arena[99], 99 * STEP);
    EXPECT_EQ(load.bank.arena[100], 1 * STEP);  // 256 / 8388608 at 16-bit resolution

    // A kit is found by its id, and its first zone gives the bank's rate.
    load = pack.load(0, "kit");
    ASSERT_EQ(load.outcome, RUNTIME_BANK_OK) << load.message;
    EXPECT_EQ(load.bank.instrumentKind, "kits");
    EXPECT_EQ(load.bank.arena.size(), 40u);
    EXPECT_EQ(load.bank.sampleRate, 44100);
}

TEST_F(SoundPackLoader, ReportsEveryFailureWithItsOutcomeAndMessage) {
    struct Case {
        const char* name;
        std::function<void(Pack&)> change;
        int32_t outcome;
        std::string message;  // "$" stands for the pack directory
        uint32_t arenaFrames = 0;
        std::string requested = "";
    };
    const std::string kickDigest = sha256Of(rampWav(100));
    const std::string wrongDigest(64, 'a');
    const std::string kickMismatch =
        "asset \"kick\" sha256 " + kickDigest.substr(0, 16) + "\u2026 does not match the manifest";
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
         RUNTIME_BANK_HASH_MISMATCH, kickMismatch},
        {"upper-case digest",
         [&](Pack& p) {
             std::string upper = kickDigest;
             for (char& c : upper)
                 c = static_cast<char>(toupper(c));
             p.assets[0] = assetEntry("kick", "samples/kick.wav", R"(,"sha256":")" + upper + "\"");
         },
         RUNTIME_BANK_HASH_MISMATCH, kickMismatch},
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
             p.snare.resize(43);
             writeFile(p.root / "samples/snare.wav", p.snare);
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
        if (c.outcome >= RUNTIME_BANK_TOO_LARGE || expected.find("staged no zones") == 0) {
            EXPECT_TRUE(load.bank.id.empty() && load.bank.positions.empty()) << c.name;
        }
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
    std::vector<std::string> zones;
    for (const StagedZone& zone : load.bank.zones)
        zones.push_back(zoneText(zone));
    // The second zone's later "keyTracking":"no" is not a boolean; its NaN
    // pan keeps the default.
    const std::string middle = " track 1 vel 0-127 rev 0 gain 1 pan 0 cents 0 rr 0 choke 0 ";
    const std::string plain = " keys 0-127/60" + middle + "trigger 0 env 0.001/0.05 filter 0/0 ";
    EXPECT_EQ(zones, (std::vector<std::string>{
                         "play 0+100" + plain + "loop 0:0-0~0 declared -,-,-",
                         "play 10+20 keys 61-127/0 track 1 vel 0-126 rev 1 gain -2.5 pan 0 cents "
                         "12 rr 0 choke 3 trigger 1 env 0/1000 filter 800/0.7 loop 0:0-0~0 "
                         "declared -,-,-",
                         "play 0+100 keys 0-127/60" + middle +
                             "trigger 2 env 0.001/0.05 filter 0/0 loop 0:0-0~0 declared -,-,-",
                         "play 50+50" + plain + "loop 0:0-0~0 declared -,-,-",
                         "play 0+100" + plain + "loop 0:0-0~0 declared -,-,-",
                         "play 10+90" + plain + "loop 1:10-50~40 declared 20,60,40",
                         "play 0+100" + plain + "loop 1:20-60~0 declared 20,60,41",
                         "play 0+50" + plain + "loop 0:0-0~0 declared 20,51,-",
                         "play 30+70" + plain + "loop 0:0-0~0 declared 20,40,-",
                         "play 0+100" + plain + "loop 0:0-0~0 declared -,-,-",
                         "play 0+100" + plain + "loop 0:0-0~0 declared -,-,-",
                     }));
}

}  // namespace
}  // namespace kelvo
