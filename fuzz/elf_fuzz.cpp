// Drives the ELF section finder with arbitrary bytes: a section it reports must lie inside the
// file, and its bytes then go through the .res reader as a module's resources would.
#include <cstdlib>

#include "host/modules/elf_sections.h"
#include "host/modules/res_file.h"
#include "resource_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    host::ElfSection section;
    std::string error;
    std::span<const uint8_t> file(data, size);
    switch (host::FindElfSection(file, ".vxres", &section, &error)) {
    case host::ElfLookup::Malformed:
        if (error.empty()) abort();
        return 0;
    case host::ElfLookup::NotFound: return 0;
    case host::ElfLookup::Found: break;
    }
    if (section.offset > size || section.size > size - section.offset) abort();
    host::ResourceTree tree;
    error.clear();
    bool parsed = host::ReadResFile(std::vector<uint8_t>(data + section.offset, data + section.offset + section.size),
                                    &tree, &error);
    fuzzcheck::ExerciseTree(tree, parsed, error);
    return 0;
}
