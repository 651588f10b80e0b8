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
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "sound_pack_loader.h"

namespace {

namespace fs = std::filesystem;
using namespace kelvo;

fs::path packDir;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

void put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A canonical WAV file: `frames` frames whose samples are i * step.
std::vector<uint8_t> makeWav(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                             uint32_t frames, int32_t step) {
    uint32_t dataSize = frames * channels * (bits / 8);
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
    put(out, 36 + dataSize, 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(out, 16, 4);
    put(out, tag, 2);
    put(out, channels, 2);
    put(out, rate, 4);
    put(out, rate * channels * bits / 8, 4);
    put(out, channels * bits / 8, 2);
    put(out, bits, 2);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put(out, dataSize, 4);
    for (uint32_t i = 0; i < frames * channels; ++i) {
        int32_t value = static_cast<int32_t>(i) * step;
        put(out, static_cast<uint32_t>(value), bits / 8);
    }
    return out;
}

void writeFile(const fs::path& path, const void* data, size_t size) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
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
    fs::create_directories(packDir / "samples");
    fs::create_directories(packDir / "dir.wav");
    // a.wav: mono 16-bit, 64 frames; b.wav: stereo 24-bit at 44.1 kHz;
    // c.wav: mono float; bad.wav: one byte short of a header.
    std::vector<uint8_t> a = makeWav(1, 1, 48000, 16, 64, 500);
    std::vector<uint8_t> b = makeWav(1, 2, 44100, 24, 32, 40000);
    std::vector<uint8_t> c = makeWav(3, 1, 96000, 32, 16, 0);
    writeFile(packDir / "a.wav", a.data(), a.size());
    writeFile(packDir / "samples/b.wav", b.data(), b.size());
    writeFile(packDir / "c.wav", c.data(), c.size());
    writeFile(packDir / "bad.wav", a.data(), 43);
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
        writeFile(packDir / name, rest.data(), cut == std::string_view::npos ? rest.size() : cut);
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
