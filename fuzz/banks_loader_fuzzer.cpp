// The sound pack loader over a generated pack directory: the manifest, the
// instrument document and a preset document come from the fuzzer (separated
// by NUL bytes, after one control byte choosing the arena limit and the
// requested id); a fixed set of WAV assets, a broken one and a directory
// posing as a file sit beside them. No crash, no hang, and every staged bank
// keeps its zones inside its arena.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "sound_pack_loader.h"
#include "wav_bytes.h"

namespace {

using namespace kelvo;
using namespace kelvo::test;

fs::path packDir;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

void removePack() {
    std::error_code ignored;
    if (!packDir.empty()) fs::remove_all(packDir, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern =
        (fs::exists("/dev/shm") ? std::string("/dev/shm") : fs::temp_directory_path().string()) +
        "/kelvo-banks-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    packDir = pattern;
    std::atexit(removePack);
    fs::create_directories(packDir / "dir.wav");
    // a.wav: mono 16-bit, 64 frames; b.wav: stereo 24-bit at 44.1 kHz;
    // c.wav: mono float; bad.wav: one byte short of a header.
    const std::vector<uint8_t> a = rampWav(64);
    writeFile(packDir / "a.wav", a);
    writeFile(packDir / "samples/b.wav",
              wav(fmtBody(1, 2, 44100, 24), pcm(3, std::vector<int32_t>(64, 40000))));
    writeFile(packDir / "c.wav", wav(fmtBody(3, 1, 96000, 32), float32({0.5f, -0.25f})));
    writeFile(packDir / "bad.wav", std::string_view(reinterpret_cast<const char*>(a.data()), 43));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static const uint32_t arenaLimits[] = {0, 1, 64, 100};
    static const char* const requestedIds[] = {"", "kit", "drums", "nope"};
    uint32_t arenaFrames = arenaLimits[data[0] & 3];
    std::string requested = requestedIds[(data[0] >> 2) & 3];

    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const char* names[] = {"bank.json", "inst.json", "preset.json"};
    for (const char* name : names) {
        std::error_code ignored;
        fs::remove(packDir / name, ignored);
    }
    for (const char* name : names) {
        size_t cut = rest.find('\0');
        writeFile(packDir / name, rest.substr(0, cut));
        if (cut == std::string_view::npos) break;
        rest.remove_prefix(cut + 1);
    }

    RuntimeBankLoad load = loadRuntimeBank(packDir.string(), arenaFrames, requested);
    check(load.outcome >= RUNTIME_BANK_OK && load.outcome <= RUNTIME_BANK_INSTRUMENT_UNKNOWN);
    check(load.message.empty() == (load.outcome == RUNTIME_BANK_OK));
    const StagedBank& bank = load.bank;
    if (load.outcome == RUNTIME_BANK_TOO_LARGE || load.outcome == RUNTIME_BANK_INSTRUMENT_UNKNOWN)
        check(bank.id.empty() && bank.zones.empty() && bank.arena.empty());
    if (load.outcome != RUNTIME_BANK_OK) return 0;

    check(!bank.id.empty() && bank.sha256.size() == 64);
    check(!bank.zones.empty() && !bank.arena.empty());
    check(arenaFrames == 0 || bank.arena.size() <= arenaFrames);
    check(bank.sampleRate > 0);
    for (const StagedZone& zone : bank.zones) {
        uint64_t assetEnd = uint64_t{zone.assetOffset} + zone.assetFrames;
        check(zone.assetFrames > 0 && assetEnd <= bank.arena.size());
        check(zone.playOffset >= zone.assetOffset && zone.playFrames > 0 &&
              uint64_t{zone.playOffset} + zone.playFrames <= assetEnd);
        check(zone.lowKey <= 127 && zone.highKey <= 127 && zone.rootKey <= 127);
        check(zone.lowVelocity <= 127 && zone.highVelocity <= 127 && zone.trigger <= 2);
        if (zone.loopEnabled)
            check(zone.loopStart < zone.loopEnd && zone.loopEnd <= zone.playFrames &&
                  zone.loopCrossfade <= zone.loopEnd - zone.loopStart);
        else
            check(zone.loopStart == 0 && zone.loopEnd == 0 && zone.loopCrossfade == 0);
    }
    for (const StagedPreset& preset : bank.presets)
        check(!preset.id.empty() && !preset.params.empty());
    return 0;
}
