#include "pe_machine.h"

#include <cstdint>
#include <fstream>
#include <vector>

namespace skinmaker {
namespace {

uint32_t Read16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t Read32(const std::vector<uint8_t>& b, size_t at) { return Read16(b, at) | (Read16(b, at + 2) << 16); }

}  // namespace

bool SetMachineArm(const std::filesystem::path& file, std::string* error) {
    std::fstream io(file, std::ios::in | std::ios::out | std::ios::binary);
    if (!io) {
        *error = file.string() + ": cannot open the file for update";
        return false;
    }
    // The headers live in the first few hundred bytes; 4 KiB covers any sane e_lfanew.
    std::vector<uint8_t> head(4096);
    io.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(io.gcount()));
    io.clear();
    if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') {
        *error = file.string() + ": not a PE file (no MZ header)";
        return false;
    }
    uint32_t pe = Read32(head, 0x3C);
    // Signature (4), COFF header (20), optional header magic (2).
    if (pe > head.size() || head.size() - pe < 26 || head[pe] != 'P' || head[pe + 1] != 'E' || head[pe + 2] != 0 ||
        head[pe + 3] != 0) {
        *error = file.string() + ": not a PE file (no PE signature)";
        return false;
    }
    uint32_t optionalSize = Read16(head, pe + 20);
    uint32_t magic = Read16(head, pe + 24);
    if (optionalSize < 2 || (magic != 0x10B && magic != 0x20B)) {
        *error = file.string() + ": not a PE32 or PE32+ image";
        return false;
    }
    const char machine[2] = {static_cast<char>(kMachineArm & 0xFF), static_cast<char>(kMachineArm >> 8)};
    io.seekp(pe + 4);
    io.write(machine, 2);
    io.flush();
    if (!io) {
        *error = file.string() + ": cannot write the machine field";
        return false;
    }
    return true;
}

}  // namespace skinmaker
