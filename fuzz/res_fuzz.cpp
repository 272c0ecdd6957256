// Drives the .res reader with arbitrary bytes, then everything it accepted through the resource
// decoders (fuzz/resource_checks.h).
#include "host/modules/res_file.h"
#include "resource_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    host::ResourceTree tree;
    std::string error;
    bool parsed = host::ReadResFile(std::vector<uint8_t>(data, data + size), &tree, &error);
    fuzzcheck::ExerciseTree(tree, parsed, error);
    return 0;
}
