// What `pocketsim init` puts into a new image: the device's standard folders, the registry
// defaults and the screen size. Later steps of the package install add to it.
#pragma once

#include <filesystem>
#include <string>

namespace host {
class Device;
}

namespace setup {

struct ImageOptions {
    int screenWidth = 240;
    int screenHeight = 320;
    // The device's ROM version ("X.Y.Z"); empty for a device without the device information
    // library, on which no configuration script's ROM condition holds.
    std::string romVersion;
};

// The folder of the built package (pocketsim's own folder): skins/ and the package's libraries.
std::filesystem::path PackageDir();

// Runs on the installed device (host::CurrentDevice()); false with a reason on failure.
bool PopulateImage(host::Device& device, const ImageOptions& options, std::string* error);

// "240x320" -> 240, 320; false for anything else (sizes 1..8192).
bool ParseScreenSize(const std::string& text, int* width, int* height);

// True for three decimal numbers joined by dots ("1.10.5"), each of 1 to 9 digits.
bool IsRomVersion(const std::string& text);

}  // namespace setup
