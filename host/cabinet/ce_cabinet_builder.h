// Makes a device cabinet from a plain description: the files (from the host or given as bytes)
// with their device folders and names, registry values, shortcuts and an optional setup
// library. The manifest and the member names follow the layout of the device's own tools:
// NAME.000 first, then the other members by number, highest first. Part of vxcabwriter (libgcab),
// for build tools and tests.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/cabinet/ce_manifest.h"

namespace host {

// Content from a host file, or the bytes themselves when hostFile is empty.
struct CabinetContent {
    std::filesystem::path hostFile;
    std::string bytes;
};

struct CeCabinetDescription {
    std::u16string appName;
    std::u16string provider;
    // The members are named BASE.NNN; a base of up to 8 letters and digits, as on the device.
    std::string memberBase = "SETUP";
    int codePage = 1252;

    struct File {
        CabinetContent content;
        std::u16string folder;  // "\Windows", "%CE2%\Sub" or "%InstallDir%"
        std::u16string name;    // the installed file's name
        uint32_t flags = 0;
    };
    std::vector<File> files;

    struct Value {
        CeRegistryRoot root = CeRegistryRoot::LocalMachine;
        std::u16string key;   // below the root, '\'-joined
        std::u16string name;  // empty for the default value
        DWORD type = 0;       // REG_SZ, REG_MULTI_SZ, REG_DWORD, REG_BINARY
        std::vector<uint8_t> data;  // as RegSetValueExW takes it
        bool noClobber = false;
        bool substitute = false;  // expand folder macros in the text when installed
    };
    std::vector<Value> values;

    struct Link {
        std::u16string folder;  // a folder macro or a folder below one ("\Windows\StartUp", "%CE11%")
        std::u16string name;    // the shortcut's name (".lnk" is added by the installer)
        std::u16string target;  // the name of one of the files, which the shortcut starts
    };
    std::vector<Link> shortcuts;

    std::optional<CabinetContent> setupLibrary;
};

// The cabinet's bytes. False with the reason: a host file that cannot be read, a folder that is
// no device folder, a shortcut's target that is none of the files, a name the code page lacks.
bool BuildCeCabinet(const CeCabinetDescription& description, std::string* cabinet, std::string* error);

}  // namespace host
