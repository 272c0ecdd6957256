// What `pocketsim init` puts into a new image: the device's standard folders, the registry
// defaults and the screen size. Later steps of the package install add to it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "host/kernel/ansi_codepage.h"
#include "host/kernel/device.h"
#include "platform/winerror.h"

namespace setup {

struct ImageOptions {
    int screenWidth = 240;
    int screenHeight = 320;
    // The object store's capacity in bytes, stored in the image before anything is installed.
    uint64_t storeCapacity = host::kDefaultStoreCapacity;
    // The device's ROM version ("X.Y.Z"); empty for a device without the device information
    // library, on which no configuration script's ROM condition holds.
    std::string romVersion;
    // The code page of the device's ANSI text (host/kernel/ansi_codepage.h): 1252 or 1251.
    int ansiCodePage = host::kDefaultAnsiCodePage;
    // A device without the package: folders, settings, the platform's own values and programs.
    bool bare = false;
};

// The folder of the built package (pocketsim's own folder): skins/ and the package's libraries.
std::filesystem::path PackageDir();

// The build's own host code that an image may hold (what PopulateImage copies in, beside
// pocketsim): the only content a cabinet may bring in as code that runs.
std::vector<std::filesystem::path> BuildModules();

// Runs on the installed device (host::CurrentDevice()); false with a reason on failure.
bool PopulateImage(host::Device& device, const ImageOptions& options, std::string* error);

// "240x320" -> 240, 320; false for anything else (sizes 1..8192).
bool ParseScreenSize(const std::string& text, int* width, int* height);

// True for three decimal numbers joined by dots ("1.10.5"), each of 1 to 9 digits.
bool IsRomVersion(const std::string& text);

// "65536", "512K", "32M", "1G" (K, M, G in either case are 1024, 1024², 1024³) -> bytes; false for
// anything else and for sizes outside 1 .. host::kMaxStoreCapacity.
bool ParseStoreSize(const std::string& text, uint64_t* bytes);

// "error N" for a failed file call's code, with what it means when that is a full store.
inline std::string DescribeError(DWORD code) {
    std::string text = "error " + std::to_string(code);
    if (code == ERROR_DISK_FULL) text += ": the object store is full, see --store-size";
    return text;
}

}  // namespace setup
