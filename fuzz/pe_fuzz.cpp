// Drives the PE reader with arbitrary bytes, then everything it accepted through the resource
// decoders (fuzz/resource_checks.h).
#include "host/modules/pe_image.h"
#include "resource_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    host::ResourceTree tree;
    std::string error;
    bool parsed = host::ReadPeResources(std::vector<uint8_t>(data, data + size), &tree, nullptr, &error);
    fuzzcheck::ExerciseTree(tree, parsed, error);
    return 0;
}
