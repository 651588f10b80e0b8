// The plug-in as hosts meet it. A scan: open the bundle's module, enter it,
// get the factory, read both class records, exit and close it. An instance
// start: create processor and controller, initialise, connect,
// setupProcessing and setActive(true) at 48 kHz (the kernel renders the whole
// kit here), with the memory the live instances hold.
//
// First loads and instance starts run in forked children of a process that
// never loads the module itself: the module stays mapped once loaded, and the
// kernel keeps a released instance's memory for the next instance in its
// slot, so only a fresh process shows what a host's first use costs.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bundle_loader.h"
#include "hosted_instance.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
using kelvo::host::HostedInstance;

const std::string BUNDLE = KELVO_BUNDLE_DIR;

// What a child measured: seconds (negative when it failed), then any figures.
using Measures = std::array<double, 3>;

template <typename Work>
Measures measureInChild(Work work) {
    Measures measures{-1, 0, 0};
    int channel[2];
    if (pipe(channel) != 0) return measures;
    const pid_t child = fork();
    if (child == 0) {
        measures = work();
        _exit(write(channel[1], &measures, sizeof measures) == sizeof measures ? 0 : 1);
    }
    if (child < 0 || read(channel[0], &measures, sizeof measures) != sizeof measures)
        measures[0] = -1;
    if (child > 0) waitpid(child, nullptr, 0);
    close(channel[0]);
    close(channel[1]);
    return measures;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool scanOnce() {
    kelvo::LoadedBundle bundle(BUNDLE);
    FUnknownPtr<IPluginFactory3> factory(bundle.factory());
    if (!factory) return false;
    for (int32 i = 0; i < factory->countClasses(); ++i) {
        PClassInfoW info;
        factory->getClassInfoUnicode(i, &info);
        benchmark::DoNotOptimize(info);
    }
    return true;
}

// A host's first look, as in a scanning helper process.
void BM_HostScanFirstLoad(benchmark::State& state) {
    for (auto _ : state) {
        const Measures measures = measureInChild([] {
            const auto start = std::chrono::steady_clock::now();
            return Measures{scanOnce() ? secondsSince(start) : -1, 0, 0};
        });
        if (measures[0] < 0) {
            state.SkipWithError("the scan failed");
            break;
        }
        state.SetIterationTime(measures[0]);
    }
}
BENCHMARK(BM_HostScanFirstLoad)->UseManualTime()->Unit(benchmark::kMillisecond);

struct Footprint {
    double residentMB;
    double heapMB;  // malloc'd bytes in use
};

Footprint footprint() {
    long pages = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    const struct mallinfo2 heap = mallinfo2();
    return {static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0,
            static_cast<double>(heap.uordblks + heap.hblkhd) / 1048576.0};
}

bool startInstance(std::vector<std::unique_ptr<HostedInstance>>& live, IPluginFactory* factory,
                   FUnknown* host) {
    live.push_back(std::make_unique<HostedInstance>(factory, host));
    HostedInstance& instance = *live.back();
    return instance.created() && instance.connect() && instance.setup(48000, 512) == kResultOk &&
           instance.activate(true) == kResultOk;
}

// `count` instances started one after another in a fresh process: the time
// they took and the memory they hold (the first also creates the kernel's
// process-wide instance table).
Measures startInstances(int count) {
    kelvo::LoadedBundle bundle(BUNDLE);
    HostApplication host;
    if (bundle.factory() == nullptr) return {-1, 0, 0};
    std::vector<std::unique_ptr<HostedInstance>> live;
    const Footprint before = footprint();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        if (!startInstance(live, bundle.factory(), &host)) return {-1, 0, 0};
    const double seconds = secondsSince(start);
    const Footprint during = footprint();
    return {seconds, during.residentMB - before.residentMB, during.heapMB - before.heapMB};
}

void BM_InstanceStart(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0));
    Measures total{0, 0, 0};
    for (auto _ : state) {
        const Measures measures = measureInChild([count] { return startInstances(count); });
        if (measures[0] < 0) {
            state.SkipWithError("an instance did not start");
            return;
        }
        state.SetIterationTime(measures[0]);
        for (size_t i = 0; i < total.size(); ++i)
            total[i] += measures[i];
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["ms_per_instance"] = total[0] * 1e3 / runs / count;
    state.counters["resident_MB"] = total[1] / runs;
    state.counters["resident_MB_per_instance"] = total[1] / runs / count;
    state.counters["heap_MB_per_instance"] = total[2] / runs / count;
}
BENCHMARK(BM_InstanceStart)->Arg(1)->Arg(32)->UseManualTime()->Unit(benchmark::kMillisecond);

// Rescanning in a process that keeps the module loaded. Last: it loads the
// module into this process.
void BM_HostScan(benchmark::State& state) {
    for (auto _ : state)
        if (!scanOnce()) {
            state.SkipWithError("the scan failed");
            break;
        }
}
BENCHMARK(BM_HostScan)->Unit(benchmark::kMicrosecond);

}  // namespace
