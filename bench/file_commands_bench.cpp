// The script's CopyTo of a tree of 5,000 small files (50 folders of 100) through the object store,
// against `cp -r` of the same host folder in the same run (target: within 3x of cp).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_image.h"
#include "platform/files.h"
#include "platform/text.h"
#include "script/command_table.h"
#include "script/file_commands.h"

namespace {

constexpr int kFolders = 50;
constexpr int kFilesPerFolder = 100;

// A fresh image holding \Src with kFolders folders of kFilesPerFolder files of 64 bytes.
class TreeImage : public BenchImage {
public:
    TreeImage() {
        std::string data(64, 'x');
        if (!CreateDirectoryW(u"\\Src", nullptr)) abort();
        for (int f = 0; f < kFolders; ++f) {
            std::u16string folder = FormatW(u"\\Src\\Folder%02d", f);
            if (!CreateDirectoryW(folder.c_str(), nullptr)) abort();
            for (int i = 0; i < kFilesPerFolder; ++i) {
                std::u16string path = FormatW(u"%s\\File%03d.txt", folder.c_str(), i);
                HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
                DWORD written = 0;
                if (h == INVALID_HANDLE_VALUE || !WriteFile(h, data.data(), DWORD(data.size()), &written, nullptr))
                    abort();
                CloseHandle(h);
            }
        }
    }
};

void BM_CopyToTree(benchmark::State& state) {
    TreeImage image;
    AttributeMap attributes;
    attributes.Add(NameHash(u"FROM"), u"\\Src");
    attributes.Add(NameHash(u"TO"), u"\\Dst");
    ProcessList processes;
    CommandTable table(&processes);
    for (auto _ : state) {
        int handled = 1;
        CmdCopyTo(&table, &attributes, &handled);
        state.PauseTiming();
        if (filecmd::DeleteTree(u"\\Dst") != 0) state.SkipWithError("copy incomplete");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kFolders * kFilesPerFolder);
}

void BM_HostCpRecursive(benchmark::State& state) {
    TreeImage image;
    std::filesystem::path source = image.Device().StoreRoot() / "Src";
    std::filesystem::path target = image.Device().StoreRoot() / "Dst";
    std::string command = "cp -r '" + source.string() + "' '" + target.string() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
        state.PauseTiming();
        std::filesystem::remove_all(target);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kFolders * kFilesPerFolder);
}

BENCHMARK(BM_CopyToTree)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_HostCpRecursive)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace
