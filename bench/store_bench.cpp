// Object store path resolution in a folder of 10,000 entries (target: under 20 µs a path),
// spelt as created and in another case, and the cost of filling such a folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench_image.h"
#include "host/kernel/device.h"
#include "host/store/object_store.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

constexpr int kEntries = 10000;

// A fresh image whose folder \Big holds kEntries files made through the platform's calls.
class LargeFolderImage : public BenchImage {
public:
    explicit LargeFolderImage(int entries) {
        if (!CreateDirectoryW(u"\\Big", nullptr)) abort();
        for (int i = 0; i < entries; ++i) {
            std::u16string path = FormatW(u"\\Big\\Entry%05d.txt", i);
            HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
            if (h == INVALID_HANDLE_VALUE) abort();
            CloseHandle(h);
        }
    }
};

std::vector<std::u16string> Paths(const char16_t* format) {
    std::vector<std::u16string> paths;
    for (int i = 0; i < kEntries; i += 7) paths.push_back(FormatW(format, i));
    return paths;
}

void ResolveAll(benchmark::State& state, const char16_t* format) {
    LargeFolderImage image(kEntries);
    auto paths = Paths(format);
    std::filesystem::path host;
    DWORD error = 0;
    size_t i = 0;
    for (auto _ : state) {
        bool found = image.Device().Files().ResolveExisting(paths[i], &host, &error);
        if (!found) state.SkipWithError("path not resolved");
        i = (i + 1) % paths.size();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_StoreResolveExactCase(benchmark::State& state) { ResolveAll(state, u"\\Big\\Entry%05d.txt"); }
void BM_StoreResolveOtherCase(benchmark::State& state) { ResolveAll(state, u"\\BIG\\entry%05d.TXT"); }

void BM_StoreGetAttributesOtherCase(benchmark::State& state) {
    LargeFolderImage image(kEntries);
    auto paths = Paths(u"\\big\\ENTRY%05d.txt");
    size_t i = 0;
    for (auto _ : state) {
        if (GetFileAttributesW(paths[i].c_str()) == INVALID_FILE_ATTRIBUTES) state.SkipWithError("no attributes");
        i = (i + 1) % paths.size();
    }
    state.SetItemsProcessed(state.iterations());
}

// A lookup that finds nothing must not rescan the large folder each time.
void BM_StoreMissInLargeFolder(benchmark::State& state) {
    LargeFolderImage image(kEntries);
    std::filesystem::path host;
    DWORD error = 0;
    for (auto _ : state) {
        if (image.Device().Files().ResolveExisting(u"\\Big\\absent.txt", &host, &error))
            state.SkipWithError("found a missing file");
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_StoreFillLargeFolder(benchmark::State& state) {
    for (auto _ : state) LargeFolderImage image(kEntries);
    state.SetItemsProcessed(state.iterations() * kEntries);
}

}  // namespace

BENCHMARK(BM_StoreResolveExactCase)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreResolveOtherCase)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreGetAttributesOtherCase)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreMissInLargeFolder)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StoreFillLargeFolder)->Unit(benchmark::kMillisecond)->Iterations(1);
