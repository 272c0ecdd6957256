// Shows what a device holds, for a person: the file tree and the registry.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace host {
class Device;
}

namespace view {

// Every file and folder of the installed device, one per line, depth first in the device's
// enumeration order: "\Windows\Startup\" for folders, "\Windows\a.txt  12 bytes  [R H]" for files.
void PrintTree(FILE* out);
// The registry as .reg text.
bool PrintRegistry(host::Device& device, FILE* out, std::string* error);

// What the installed device holds, as lines to compare: the tree as PrintTree prints it, the
// registry as .reg lines, each value line after its key ("[HKEY_CURRENT_USER\MUI] "CurLang"=..."),
// then every property database's records in creation order as
// "db NAME: RECORD" in the form `pocketsim db dump` prints them. False with the reason when the
// registry or a database cannot be read.
bool Snapshot(host::Device& device, std::vector<std::string>* lines, std::string* error);
// The lines only one side has: "- " for those gone, "+ " for those new, each in its own order.
void PrintChanges(const std::vector<std::string>& before, const std::vector<std::string>& after, FILE* out);

}  // namespace view
