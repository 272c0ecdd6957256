// Registry throughput on a real image: value reads (targets 200,000/s), durable value writes
// (20,000/s), and the export of a registry holding 10,000 values.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_image.h"
#include "host/kernel/device.h"
#include "host/registry/regfile.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "script/reghelpers.h"

namespace {

HKEY CreateKey(const WCHAR* path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, 0, nullptr, &key, nullptr)) abort();
    return key;
}

void BM_QueryValueOnOpenKey(benchmark::State& state) {
    BenchImage image;
    HKEY key = CreateKey(u"Software\\Vexor\\7.0");
    DWORD value = 42;
    RegSetValueExW(key, u"SkinIndex", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4);
    for (auto _ : state) {
        DWORD out = 0, size = 4, type = 0;
        if (RegQueryValueExW(key, u"skinindex", nullptr, &type, reinterpret_cast<BYTE*>(&out), &size)) abort();
        benchmark::DoNotOptimize(out);
    }
    RegCloseKey(key);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QueryValueOnOpenKey);

// The script engine's pattern: open a three-level path, query, close.
void BM_RegReadDwordHelper(benchmark::State& state) {
    BenchImage image;
    HKEY key = CreateKey(u"Software\\Vexor\\7.0");
    DWORD value = 42;
    RegSetValueExW(key, u"SkinIndex", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4);
    RegCloseKey(key);
    for (auto _ : state) {
        DWORD out = 0;
        if (!RegReadDword(HKEY_LOCAL_MACHINE, u"Software\\Vexor\\7.0", u"SkinIndex", &out)) abort();
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RegReadDwordHelper);

// Each write is committed to the database before the call returns.
void BM_SetValueDurable(benchmark::State& state) {
    BenchImage image;
    HKEY key = CreateKey(u"Software\\Vexor\\7.0");
    DWORD value = 0;
    for (auto _ : state) {
        ++value;
        if (RegSetValueExW(key, u"Counter", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4)) abort();
    }
    RegCloseKey(key);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetValueDurable);

void BM_ExportTenThousandValues(benchmark::State& state) {
    BenchImage image;
    for (int k = 0; k < 100; ++k) {
        HKEY key = CreateKey(FormatW(u"Software\\Bench\\Key%03d", k).c_str());
        for (int v = 0; v < 100; ++v) {
            std::u16string text = FormatW(u"value %d of key %d", v, k);
            RegSetValueExW(key, FormatW(u"Name%03d", v).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           DWORD((text.size() + 1) * 2));
        }
        RegCloseKey(key);
    }
    size_t bytes = 0;
    for (auto _ : state) {
        std::string text, error;
        if (!host::ExportRegistry(image.Device(), {}, &text, &error)) abort();
        bytes = text.size();
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_ExportTenThousandValues)->Unit(benchmark::kMillisecond);

}  // namespace
