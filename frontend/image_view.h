// Shows what a device holds, for a person: the file tree and the registry.
#pragma once

#include <cstdio>
#include <string>

namespace host {
class Device;
}

namespace view {

// Every file and folder of the installed device, one per line, depth first in the device's
// enumeration order: "\Windows\Startup\" for folders, "\Windows\a.txt  12 bytes  [R H]" for files.
void PrintTree(FILE* out);
// The registry as .reg text.
bool PrintRegistry(host::Device& device, FILE* out, std::string* error);

}  // namespace view
