// The sample content of a new device image: the English Start menu with its shortcuts, the
// shell's button commands, a per-language file with its Russian variant, registry texts, the
// database Categories with its two rules files, and the two language packages (vl_0409.xml,
// vl_0419.xml) that switch all of it between English and Russian and back, and the configuration
// script muiconfig.xml that the runner applies.
#pragma once

#include <filesystem>
#include <string>

#include "image_setup.h"

namespace host {
class Device;
}

namespace setup {

// Makes the English state on the installed device and copies the language packages, their rules
// files and the configuration script from samples (the folder that holds vl_*.xml) into \Windows. False with a reason on failure.
bool InstallSampleContent(host::Device& device, const std::filesystem::path& samples, std::string* error);

// The sample language packages (English first, the order the switcher lists them in), which the
// package carries.
bool InstallLanguagePackages(host::Device& device, const std::filesystem::path& samples, std::string* error);

// The same with the packages that lie beside pocketsim.
inline bool InstallSampleContent(host::Device& device, std::string* error) {
    return InstallSampleContent(device, PackageDir() / "samples", error);
}

}  // namespace setup
