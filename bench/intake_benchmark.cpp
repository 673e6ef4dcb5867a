// CVN_WriteBuffer's intake, measured against a plain memcpy of the same bytes in the same run: the
// plug-in bound to an encoder library that returns no bytes at once, writing to /dev/null, in
// calls of 1, 64 and 4096 frames, stereo and mono. Heap allocations during intake are counted.
#include "VelmoraPlugIn.hpp"
#include "share/win32/plugin_entry_points.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<long> g_allocations{0};

const share::PlugInEntryPoints& plugIn() {
    static const share::PlugInEntryPoints bound = [] {
        SetDllDirectoryA(CVN_NULL_LIBRARY_DIRECTORY);
        share::PlugInEntryPoints entryPoints;
        const HMODULE module = LoadLibraryA(CVN_PLUGIN_PATH);
        if (module == nullptr || !entryPoints.resolve(module) ||
            entryPoints.initPlugInDLL() != CVN_CALL_DONE) {
            std::abort();
        }
        return entryPoints;
    }();
    return bound;
}

std::vector<uint32_t> frames(size_t count) {
    std::vector<uint32_t> result(count);
    for (size_t i = 0; i < count; ++i) {
        result[i] = static_cast<uint32_t>(i * 2654435761u);
    }
    return result;
}

// Arguments: frames per call, format index (16 stereo, 17 mono).
void intake(benchmark::State& state) {
    const auto callFrames = static_cast<size_t>(state.range(0));
    const auto format = static_cast<int32_t>(state.range(1));
    const std::vector<uint32_t> input = frames(callFrames);
    CVN_TrackInfo track{};
    track.size = sizeof track;
    CVN_StreamHandle stream = nullptr;
    if (plugIn().initStream("/dev/null", CVN_ONLY_PLUGIN_NUMBER, format, nullptr, &track, &stream) !=
        CVN_STREAM_SUCCEEDED) {
        state.SkipWithError("no stream");
        return;
    }
    const long allocationsBefore = g_allocations.load();
    for (auto _ : state) {
        plugIn().writeBuffer(&stream, static_cast<int32_t>(callFrames), input.data());
    }
    state.counters["allocations"] = static_cast<double>(g_allocations.load() - allocationsBefore);
    plugIn().closeStream(&stream);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * callFrames * sizeof(uint32_t)));
    state.SetLabel(format % 2 == 0 ? "stereo" : "mono");
}

// The same bytes per call, copied into a chunk buffer the way the plug-in's buffer fills.
void plainMemcpy(benchmark::State& state) {
    const auto callFrames = static_cast<size_t>(state.range(0));
    const std::vector<uint32_t> input = frames(callFrames);
    std::vector<uint32_t> chunk(std::max<size_t>(callFrames, 1152));
    for (auto _ : state) {
        std::memcpy(chunk.data(), input.data(), callFrames * sizeof(uint32_t));
        benchmark::DoNotOptimize(chunk.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * callFrames * sizeof(uint32_t)));
}

BENCHMARK(plainMemcpy)->Arg(1)->Arg(64)->Arg(4096);
BENCHMARK(intake)->ArgsProduct({{1, 64, 4096}, {16, 17}});

} // namespace

// Counts every allocation of the process, the plug-in's included (it resolves operator new here).
void* operator new(size_t size) {
    ++g_allocations;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, size_t) noexcept {
    std::free(memory);
}

BENCHMARK_MAIN();
