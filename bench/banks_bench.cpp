// Loading a sound pack: 64 zones over 16 one-second 48 kHz stereo 24-bit
// WAV assets, each pinned by size and digest. Reported against the floor of
// the same run: only reading every file whole and hashing it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sha256_hex.h"
#include "sound_pack_loader.h"
#include "whole_file.h"

namespace {

namespace fs = std::filesystem;

constexpr int ASSETS = 16;
constexpr int ZONES = 64;
constexpr uint32_t FRAMES = 48000;

void put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> stereo24Wav(int seed) {
    uint32_t dataSize = FRAMES * 6;
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
    out.reserve(44 + dataSize);
    put(out, 36 + dataSize, 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(out, 16, 4);
    put(out, 1, 2);
    put(out, 2, 2);
    put(out, 48000, 4);
    put(out, 48000 * 6, 4);
    put(out, 6, 2);
    put(out, 24, 2);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put(out, dataSize, 4);
    uint32_t state = 0x9E3779B9u * static_cast<uint32_t>(seed + 1);
    for (uint32_t i = 0; i < FRAMES * 2; ++i) {
        state = state * 1664525u + 1013904223u;
        put(out, state >> 8, 3);
    }
    return out;
}

// The pack, written once per process to a temporary directory.
struct Pack {
    Pack() {
        std::string pattern = (fs::temp_directory_path() / "kelvo-banks-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        dir = pattern;
        std::string table, zones;
        for (int asset = 0; asset < ASSETS; ++asset) {
            std::vector<uint8_t> bytes = stereo24Wav(asset);
            std::string name = "samples/a" + std::to_string(asset) + ".wav";
            fs::create_directories(dir / "samples");
            std::ofstream(dir / name, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
            files.push_back((dir / name).string());
            table += std::string(asset ? "," : "") + R"({"id":"a)" + std::to_string(asset) +
                     R"(","path":")" + name + R"(","bytes":)" + std::to_string(bytes.size()) +
                     R"(,"sha256":")" + kelvo::sha256Hex(bytes.data(), bytes.size()) + "\"}";
        }
        for (int zone = 0; zone < ZONES; ++zone) {
            int key = 36 + zone;
            zones += std::string(zone ? "," : "") + R"({"id":"z)" + std::to_string(zone) +
                     R"(","assetId":"a)" + std::to_string(zone % ASSETS) + R"(","lowKey":)" +
                     std::to_string(key) + R"(,"highKey":)" + std::to_string(key) +
                     R"(,"startFrame":)" + std::to_string(zone * 10) + "}";
        }
        std::ofstream(dir / "bank.json")
            << R"({"format":"kelvo-sound-pack/v1","id":"bench","version":"1","assetTable":[)"
            << table << R"(],"instruments":[{"id":"kit","name":"Kit","document":"kit.json"}]})";
        std::ofstream(dir / "kit.json")
            << R"({"format":"kelvo-sampler-instrument/v1","zones":[)" << zones << "]}";
        files.push_back((dir / "bank.json").string());
        files.push_back((dir / "kit.json").string());
    }
    ~Pack() { fs::remove_all(dir); }

    fs::path dir;
    std::vector<std::string> files;
};

Pack& pack() {
    static Pack instance;
    return instance;
}

// The physical floor: every file read whole and hashed.
size_t readAndHashAll() {
    size_t bytes = 0;
    std::vector<uint8_t> content;
    for (const std::string& file : pack().files) {
        kelvo::readWholeFile(file, content);
        std::string digest = kelvo::sha256Hex(content.data(), content.size());
        benchmark::DoNotOptimize(digest);
        bytes += content.size();
    }
    return bytes;
}

double floorSeconds() {
    readAndHashAll();  // warm the page cache
    auto start = std::chrono::steady_clock::now();
    constexpr int ROUNDS = 20;
    for (int round = 0; round < ROUNDS; ++round)
        readAndHashAll();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / ROUNDS;
}

void BM_ReadAndHashFloor(benchmark::State& state) {
    size_t bytes = 0;
    for (auto _ : state)
        bytes += readAndHashAll();
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_ReadAndHashFloor)->Unit(benchmark::kMillisecond);

void BM_LoadPack(benchmark::State& state) {
    const std::string dir = pack().dir.string();
    double floor = floorSeconds();
    auto start = std::chrono::steady_clock::now();
    int64_t loads = 0;
    for (auto _ : state) {
        kelvo::RuntimeBankLoad load = kelvo::loadRuntimeBank(dir, 0, "");
        if (load.outcome != 0 || load.bank.zones.size() != ZONES) {
            state.SkipWithError(load.message.c_str());
            return;
        }
        benchmark::DoNotOptimize(load.bank.arena.data());
        ++loads;
    }
    double perLoad =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / loads;
    state.counters["floor_ms"] = floor * 1e3;
    state.counters["ratio_to_floor"] = perLoad / floor;
}
BENCHMARK(BM_LoadPack)->Unit(benchmark::kMillisecond);

}  // namespace
