// Reader of PE images (PE32 and PE32+, any machine) as resource containers: the headers the
// loader checks and the resource directory, walked into a ResourceTree. No code is mapped or run.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/modules/resource_tree.h"

namespace host {

struct PeHeaders {
    WORD machine = 0;    // COFF machine field: 0x01C0 ARM, 0x014C x86, 0x8664 x64 ...
    WORD subsystem = 0;  // 9 is Windows CE
    bool pe32Plus = false;
    WORD sectionCount = 0;
};

// "MZ" at the start: the file claims to be a PE image (the loader then requires it to be one).
bool HasDosSignature(std::span<const uint8_t> file);

// Checks the headers and reads the resource directory. The tree takes the file's bytes; a file
// without a resource directory gives an empty tree. False with a reason for anything malformed:
// bad signatures, out-of-range or truncated directories, a directory reached twice (cycles),
// names or data outside the file, more entries than ResourceTree::kMaxEntries.
bool ReadPeResources(std::vector<uint8_t> file, ResourceTree* tree, PeHeaders* headers, std::string* error);

}  // namespace host
