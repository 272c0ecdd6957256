// Drives the skin maker's description reader with arbitrary text, as a skin author's file: it
// must never crash, hang or grow without bound, and a refusal always says where and why.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "description.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static skinmaker::CharTables tables;
    static bool loaded = [] {
        std::string error;
        return tables.Load(VX_SKIN_TABLES_DIR, &error);
    }();
    if (!loaded) abort();
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("vx-skin-fuzz-" + std::to_string(getpid()) + ".skin");
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), size);
    skinmaker::SkinDescription skin;
    std::string error;
    if (!skinmaker::ParseDescription(file, tables, 1, &skin, &error) && error.empty()) abort();
    return 0;
}
