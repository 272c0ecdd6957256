// cabmaker: makes a device cabinet from a text description of what it installs. See README.md.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "description.h"

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::puts("usage: cabmaker DESCRIPTION OUTPUT.CAB\n"
                  "Makes a device cabinet (setup manifest, files, setup library) from the description;\n"
                  "see tools/cabmaker/README.md for its lines.");
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "cabmaker: takes DESCRIPTION OUTPUT.CAB (try cabmaker --help)\n");
        return 2;
    }
    const std::filesystem::path description = argv[1];
    std::ifstream in(description, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cabmaker: cannot read %s\n", argv[1]);
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    host::CeCabinetDescription parsed;
    std::string error, cabinet;
    if (!cabmaker::ParseDescription(text.str(), description.parent_path(), &parsed, &error)) {
        std::fprintf(stderr, "cabmaker: %s:%s\n", argv[1], error.c_str());
        return 1;
    }
    if (!host::BuildCeCabinet(parsed, &cabinet, &error)) {
        std::fprintf(stderr, "cabmaker: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    // Written beside the target first, so that a failed write leaves no half cabinet behind.
    const std::string partial = std::string(argv[2]) + ".partial";
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(cabinet.data(), std::streamsize(cabinet.size()));
    out.close();
    std::error_code ec;
    if (!out || (std::filesystem::rename(partial, argv[2], ec), ec)) {
        std::filesystem::remove(partial, ec);
        std::fprintf(stderr, "cabmaker: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
