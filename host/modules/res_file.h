// Reader of .res files (the resource compiler's output, also the blob the package's ELF modules
// carry in their ".vxres" section) into a ResourceTree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/modules/resource_tree.h"

namespace host {

// The tree takes the bytes. Several .res files joined end to end read as one (the linker joins
// the blobs of several objects that way). False with a reason for truncated headers or data,
// names without a terminator, sizes beyond the file, or more entries than the tree allows.
bool ReadResFile(std::vector<uint8_t> bytes, ResourceTree* tree, std::string* error);

}  // namespace host
