// Script engine throughput: loading and walking a 1 MB script with no sink (target: under
// 50 ms; the parse alone is measured beside it), and 10,000 CreateRegValue commands through the command table onto a real image
// (target: under 2 s).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "bench_image.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "script/command_table.h"
#include "script/script_engine.h"

namespace {

void WriteDeviceFile(const WCHAR* path, const std::string& bytes) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) abort();
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) || written != bytes.size()) abort();
    CloseHandle(file);
}

// A language script's usual mix: file commands with paths, registry values with Data children,
// the occasional If, until the text reaches size bytes.
std::string MixedScript(size_t size) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<script>\n";
    for (int i = 0; xml.size() < size; ++i) {
        const std::string n = std::to_string(i);
        xml += "  <CopyFile Source=\"\\Windows\\Lang\\file" + n + ".dll.0419\" Destination=\"\\Windows\\file" + n +
               ".dll\"/>\n";
        xml += "  <CreateRegValue root=\"HKLM\" path=\"Software\\Vexor\\Strings\" name=\"s" + n +
               "\" type=\"MULTI_SZ\"><v>first " + n + "</v><v>second</v></CreateRegValue>\n";
        xml += "  <LDRename ID=\"" + n + "\" FROM=\"Programs\" TO=\"Programme\" ROOT=\"\\Windows\"/>\n";
        if (i % 50 == 0) xml += "  <If lng=\"409\"><Msg text=\"english " + n + "\"/></If>\n";
    }
    return xml + "</script>\n";
}

void BM_LoadAndWalk1MBScript(benchmark::State& state) {
    BenchImage image;
    const std::string xml = MixedScript(1 << 20);
    WriteDeviceFile(u"\\script.xml", xml);
    for (auto _ : state) {
        ScriptEngine engine;
        engine.CreateDocument();
        if (engine.Run(u"\\script.xml", nullptr) != 1) abort();
        engine.ReleaseDocuments();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(xml.size()));
}
BENCHMARK(BM_LoadAndWalk1MBScript)->Unit(benchmark::kMillisecond);

// The DOM's share of the above: parsing the same bytes and freeing the document, no walk.
void BM_ParseOnly1MBScript(benchmark::State& state) {
    const std::string xml = MixedScript(1 << 20);
    for (auto _ : state) {
        IXmlDocument* document = nullptr;
        if (CreateXmlDocument(&document) != S_OK) abort();
        VARIANT_BOOL ok = VARIANT_FALSE;
        if (document->load(xml.data(), xml.size(), &ok) != S_OK) abort();
        document->Release();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(xml.size()));
}
BENCHMARK(BM_ParseOnly1MBScript)->Unit(benchmark::kMillisecond);

void BM_TenThousandCreateRegValues(benchmark::State& state) {
    BenchImage image;
    std::string xml = "<script>\n";
    for (int i = 0; i < 10000; ++i)
        xml += "<CreateRegValue root=\"HKLM\" path=\"Software\\Bench\\K" + std::to_string(i % 100) + "\" name=\"v" +
               std::to_string(i) + "\" type=\"DWORD\"><v>" + std::to_string(i) + "</v></CreateRegValue>\n";
    xml += "</script>\n";
    WriteDeviceFile(u"\\values.xml", xml);
    ProcessList spared;
    CommandTable table(&spared);
    for (auto _ : state) {
        ScriptEngine engine;
        engine.CreateDocument();
        engine.m_pSink = &table;
        if (engine.Run(u"\\values.xml", nullptr) != 1) abort();
        engine.ReleaseDocuments();
    }
    // The last command's value proves the handler wrote through to the registry.
    HKEY key = nullptr;
    DWORD value = 0, size = 4;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Bench\\K99", 0, 0, &key) == ERROR_SUCCESS) {
        RegQueryValueExW(key, u"v9999", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
    }
    state.counters["last_value"] = double(value);
    state.SetItemsProcessed(int64_t(state.iterations()) * 10000);
}
BENCHMARK(BM_TenThousandCreateRegValues)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
