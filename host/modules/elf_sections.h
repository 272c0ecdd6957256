// Finds a named section (".vxres", the package's resources) in an ELF file, 32 or 64-bit,
// little-endian. Reads go through a callback so the same code serves a file on disk (only the
// headers and the one section are read) and a buffer in memory (the fuzz target).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// Reads exactly size bytes at offset into out; false when the range is not in the file.
using ElfReader = std::function<bool(uint64_t offset, size_t size, void* out)>;

struct ElfSection {
    uint64_t offset = 0;
    uint64_t size = 0;
};

enum class ElfLookup { Found, NotFound, Malformed };

// "\x7F" "ELF" at the start.
bool HasElfSignature(std::span<const uint8_t> header);

// Malformed comes with a reason: an unsupported class or byte order, headers or names out of
// range, a section that lies beyond the file.
ElfLookup FindElfSection(const ElfReader& read, uint64_t fileSize, std::string_view name, ElfSection* section,
                         std::string* error);
ElfLookup FindElfSection(std::span<const uint8_t> file, std::string_view name, ElfSection* section,
                         std::string* error);

// The named section's bytes from a host file, refusing sections above maxSize.
ElfLookup ReadElfSection(const std::filesystem::path& file, std::string_view name, size_t maxSize,
                         std::vector<uint8_t>* bytes, std::string* error);

}  // namespace host
