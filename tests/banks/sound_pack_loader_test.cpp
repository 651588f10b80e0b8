#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <tuple>

#include "pack_files.h"
#include "sound_pack_loader.h"
#include "temp_dir.h"
#include "wav_bytes.h"

namespace kelvo {
namespace {

using namespace kelvo::test;

constexpr float STEP = 1.0f / 32768;

std::string text(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The instrument documents' zones, and the manifest's lists.
const std::string ZONES =
    R"({"id":"a","assetId":"kick"},{"id":"b","assetId":"snare"},{"id":"c","assetId":"kick"})";
const std::string LISTS = R"("instruments":[{"id":"drums","name":"Drums","document":"drums.json"},)"
                          R"({"id":"drums2","name":"Drums 2","document":"drums.json"}],)"
                          R"("kits":[{"id":"kit","name":"Kit","document":"kits/kit.json"}])";

// A pack of three assets (a 100-frame mono ramp, a 40-frame stereo file at
// 44.1 kHz and a spare no zone uses), two instruments and a kit, as texts
// by path; load() writes them (an empty one is removed) and loads the pack.
struct Pack {
    explicit Pack(fs::path at) : root(std::move(at)) {
        files["samples/kick.wav"] = text(rampWav(100));
        files["samples/snare.wav"] =
            text(wav(fmtBody(1, 2, 44100, 24), pcm(3, std::vector<int32_t>(80, 256))));
        files["spare.wav"] = text(rampWav(10));
        files["bank.json"] =
            R"({"format":"kelvo-sound-pack/v1","id":"acme.drums","version":"1.2","name":"Acme Drums",)"
            R"("assetTable":[{"id":"kick","path":"samples/kick.wav","bytes":244,"sha256":")" +
            sha256Of(files["samples/kick.wav"]) +
            R"("},{"id":"snare","path":"samples/snare.wav"},{"id":"spare","path":"spare.wav",)"
            R"("codec":"wav","sha256":")" +
            sha256Of(files["spare.wav"]) + R"("}],)" + LISTS + R"(,"presets":[]})";
        files["drums.json"] = R"({"format":"kelvo-sampler-instrument/v1","zones":[)" + ZONES + "]}";
        files["kits/kit.json"] =
            R"({"format":"kelvo-sampler-instrument/v1","zones":[{"id":"k","assetId":"snare"}]})";
    }

    // Replaces the first `from` in the file's text by `to`; all of it when
    // `from` is empty.
    void edit(const std::string& file, const std::string& from, const std::string& to) {
        std::string& text = files[file];
        text = from.empty() ? to : text.replace(text.find(from), from.size(), to);
    }

    RuntimeBankLoad load(uint32_t arenaFrames = 0, const std::string& requested = "") const {
        for (const auto& [path, text] : files)
            if (text.empty())
                fs::remove(root / path);
            else
                writeFile(root / path, text);
        return loadRuntimeBank(root.string(), arenaFrames, requested);
    }

    fs::path root;
    std::map<std::string, std::string> files;
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
    pack.edit("bank.json", R"("presets":[])",
              R"("presets":[{"id":"p1","name":"","instrument":"kit","document":"presets/p1.json"},)"
              R"({"id":"p2","name":"Two","document":"presets/p2.json"},)"  // no finite parameter
              R"({"id":"p3","name":"Three","document":"presets/../p3.json"},)"  // has ".."
              R"({"id":"p4","name":"Four","document":"presets/missing.json"},)"
              R"({"id":"","name":"Nameless","document":"presets/p1.json"}])");
    pack.files["presets/p1.json"] =
        R"({"params":{"snare.tune":0.5,"kick.tune":75,"bad":"x","worse":inf,"\u00e9":1}})";
    pack.files["presets/p2.json"] = R"({"params":{"kick.tune":nan}})";
    pack.files["p3.json"] = R"({"params":{"kick.tune":1}})";

    // Exactly the arena the bank needs. The kick's 100 frames, then the
    // snare's 40; the spare is verified but not placed, and the second kick
    // zone shares the first placement.
    RuntimeBankLoad load = pack.load(140);
    ASSERT_EQ(load.outcome, RUNTIME_BANK_OK) << load.message;
    EXPECT_EQ(summary(load.bank),
              "acme.drums 1.2 Acme Drums instruments/drums:Drums @48000 arena 140; "
              "instruments/drums:Drums instruments/drums2:Drums 2 kits/kit:Kit; "
              "p1:p1>kit kick.tune=75 snare.tune=0.5 \xC3\xA9=1; "
              "a@0+100/48000; b@100+40/44100; c@0+100/48000");
    EXPECT_EQ(load.bank.sha256, sha256Of(pack.files["bank.json"]));
    EXPECT_EQ(load.bank.arena[99], 99 * STEP);
    EXPECT_EQ(load.bank.arena[100], 1 * STEP);  // 256 / 8388608 at 16-bit resolution

    // A kit is found by its id, and its first zone gives the bank's rate.
    load = pack.load(0, "kit");
    ASSERT_EQ(load.outcome, RUNTIME_BANK_OK) << load.message;
    EXPECT_EQ(std::tuple(load.bank.instrumentKind, load.bank.arena.size(), load.bank.sampleRate),
              std::tuple("kits", 40u, 44100.0));
}

// Each failure by the edit that causes it; row i's pack is in the folder "i".
TEST_F(SoundPackLoader, ReportsEveryFailureWithItsOutcomeAndMessage) {
    struct Case {
        std::string file, from, to;
        int32_t outcome;
        std::string message;
        uint32_t arenaFrames = 0;
        std::string requested = "";
    };
    const std::string spare = text(rampWav(10, 1));
    const auto mismatch = [](const std::string& asset, const std::string& bytes) {
        return "asset \"" + asset + "\" sha256 " + sha256Of(bytes).substr(0, 16) +
               "\u2026 does not match the manifest";
    };
    const Case cases[] = {
        {"bank.json", "", "", RUNTIME_BANK_MISSING,
         "cannot read " + (dir / "0").string() + "/bank.json"},
        {"bank.json", "", R"({"id":)", RUNTIME_BANK_MALFORMED, "bank.json is not a JSON object"},
        {"bank.json", "pack/v1", "pack/v2", RUNTIME_BANK_MALFORMED,
         "bank.json format is \"kelvo-sound-pack/v2\", expected kelvo-sound-pack/v1"},
        {"bank.json", R"("acme.drums")", "7", RUNTIME_BANK_MALFORMED, "bank.json declares no id"},
        {"bank.json", R"("assetTable":[)", R"("assetTable":[],"unused":[)", RUNTIME_BANK_MALFORMED,
         "bank.json declares no assetTable"},
        {"bank.json", R"("samples/snare.wav")", R"("")", RUNTIME_BANK_MALFORMED,
         "assetTable entry missing id or path"},
        // Refused before its file is looked for (there is none).
        {"bank.json", "samples/snare", "samples/../../snare", RUNTIME_BANK_MALFORMED,
         "asset \"snare\" path escapes the bank directory"},
        {"bank.json", R"("wav")", R"("WAV")", RUNTIME_BANK_UNSUPPORTED_CODEC,
         "asset \"spare\" codec \"WAV\" is not decoded by the native runtime loader (wav only)"},
        {"samples/snare.wav", "", "", RUNTIME_BANK_MISSING,
         "asset \"snare\" file missing: samples/snare.wav"},
        // The size is checked before the digest (here one digit too long).
        {"bank.json", R"(244,"sha256":")", R"(1e30,"sha256":"0)", RUNTIME_BANK_HASH_MISMATCH,
         "asset \"kick\" is 244 bytes, manifest declares 18446744073709551615"},
        {"bank.json", R"(244,"sha256":")", R"(-1,"sha256":"0)", RUNTIME_BANK_HASH_MISMATCH,
         mismatch("kick", text(rampWav(100)))},
        // An asset no zone uses is verified too.
        {"spare.wav", "", spare, RUNTIME_BANK_HASH_MISMATCH, mismatch("spare", spare)},
        {"", "", "", RUNTIME_BANK_INSTRUMENT_UNKNOWN,
         "bank acme.drums has no instrument or kit \"toms\" (known: drums, drums2, kit)", 0,
         "toms"},
        {"bank.json", LISTS, R"("instruments":[{"name":"no id","document":"drums.json"}])",
         RUNTIME_BANK_INSTRUMENT_UNKNOWN,
         "bank acme.drums has no instrument or kit \"toms\" (the bank lists none)", 0, "toms"},
        {"bank.json", LISTS, R"("instruments":[{"id":"a","document":""}])", RUNTIME_BANK_MALFORMED,
         "bank.json names no readable instrument/kit document"},
        {"bank.json", LISTS, R"("kits":[{"id":"a","document":"/etc/passwd"}])",
         RUNTIME_BANK_MALFORMED, "bank.json names no readable instrument/kit document"},
        {"bank.json", LISTS, R"("instruments":[{"id":"a","document":"./none.json"}])",
         RUNTIME_BANK_MISSING, "instrument document missing: ./none.json"},
        {"bank.json", "kits/kit.json", "spare.wav", RUNTIME_BANK_MALFORMED,
         "instrument document is not a JSON object", 0, "kit"},
        {"kits/kit.json", "kelvo-sampler-instrument/v1", "sfz", RUNTIME_BANK_MALFORMED,
         "instrument document format is \"sfz\", expected kelvo-sampler-instrument/v1", 0, "kit"},
        {"drums.json", ZONES, "", RUNTIME_BANK_MALFORMED, "instrument document declares no zones"},
        {"drums.json", R"("snare")", R"("tom")", RUNTIME_BANK_MALFORMED,
         "zone \"b\" names asset \"tom\" which the assetTable does not declare"},
        {"samples/snare.wav", "RIFF", "", RUNTIME_BANK_UNSUPPORTED_CODEC,
         "asset \"snare\": not a RIFF/WAVE file"},
        {"drums.json", ZONES, R"(1,"a",null)", RUNTIME_BANK_MALFORMED,
         "bank staged no zones or no samples"},
        {"", "", "", RUNTIME_BANK_TOO_LARGE,
         "bank needs 140 arena frames, the kernel published 139", 139},
    };
    for (const Case& c : cases) {
        Pack pack(dir / std::to_string(&c - cases));
        if (!c.file.empty()) pack.edit(c.file, c.from, c.to);
        RuntimeBankLoad load = pack.load(c.arenaFrames, c.requested);
        EXPECT_EQ(load.outcome, c.outcome) << c.message;
        EXPECT_EQ(load.message, c.message);
    }
}

TEST_F(SoundPackLoader, BuildsZones) {
    Pack pack(dir);
    pack.edit("drums.json", ZONES, R"(
        {"id":"defaults","assetId":"kick"},
        {"id":"range","assetId":"kick","startFrame":10.9,"endFrame":30,"lowKey":60.5,"highKey":200,
         "rootKey":-3,"lowVelocity":"loud","highVelocity":126.49,"keyTracking":false,"reverse":true,
         "gain":-2.5,"pan":nan,"fineTuneCents":12,"roundRobinGroup":-4,"chokeGroup":3.7,
         "trigger":"release","attackSeconds":0,"releaseSeconds":1e3,"filterCutoffHz":800,
         "filterResonance":0.7,"keyTracking":"no"},
        {"id":"start beyond","assetId":"kick","startFrame":100,"endFrame":0,"trigger":"legato"},
        {"id":"loop","assetId":"kick","startFrame":10,"loopMode":"forward","loopStartFrame":20,
         "loopEndFrame":60,"loopCrossfadeFrames":40},
        {"id":"loop fade too long","assetId":"kick","loopMode":"forward","loopStartFrame":20,
         "loopEndFrame":60,"loopCrossfadeFrames":41},
        {"id":"loop beyond","assetId":"kick","endFrame":50,"loopMode":"forward",
         "loopStartFrame":20,"loopEndFrame":51,"loopCrossfadeFrames":4},
        {"id":"loop before start","assetId":"kick","startFrame":30,"loopMode":"forward",
         "loopStartFrame":20,"loopEndFrame":40}
    )");
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
                         "play 10+90" + plain + "loop 1:10-50~40 declared 20,60,40",
                         "play 0+100" + plain + "loop 1:20-60~0 declared 20,60,41",
                         "play 0+50" + plain + "loop 0:0-0~0 declared 20,51,-",
                         "play 30+70" + plain + "loop 0:0-0~0 declared 20,40,-",
                     }));
}

}  // namespace
}  // namespace kelvo
