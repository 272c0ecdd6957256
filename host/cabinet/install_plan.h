// A device cabinet read whole (members, manifest, setup library) and what installing it would
// do: every file's device path, every registry value, every shortcut, worked out before anything
// is written, so that a cabinet that names a path outside the image, or anything else it cannot
// do, is refused with nothing installed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/cabinet/cabinet.h"
#include "host/cabinet/ce_manifest.h"
#include "host/kernel/sha256.h"

namespace host {

// Members NAME.000 (the manifest), NAME.999 (the setup library) and NAME.NNN (file NNN).
constexpr uint16_t kSetupLibraryMember = 999;

struct CeCabinet {
    std::vector<CabinetMember> members;
    std::vector<uint16_t> numbers;  // each member's number, in the same order
    CeManifest manifest;

    // The member with that number, or null.
    const CabinetMember* Member(uint16_t number) const;
};

// Reads the cabinet and its manifest (text in the given ANSI code page). False with the reason
// when the bytes are not a cabinet, a member's name has no three-digit number or shares it with
// another, the manifest is missing or does not parse, or a file names a member that is absent.
bool ReadCeCabinet(std::string_view bytes, const CabinetLimits& limits, int codePage, CeCabinet* cabinet,
                   std::string* error);

struct PlannedFile {
    std::u16string target;  // device path
    uint16_t member = 0;
    bool keepExisting = false;  // the manifest's no-overwrite flag
};

struct PlannedValue {
    CeRegistryRoot root = CeRegistryRoot::LocalMachine;
    std::u16string key;   // below the root, '\'-joined
    std::u16string name;  // empty: the key's default value
    DWORD type = 0;
    std::vector<uint8_t> data;
    bool keepExisting = false;  // no-clobber
};

struct PlannedShortcut {
    std::u16string path;    // the .lnk file
    std::u16string target;  // what it starts
    std::string text;       // the file's content
};

struct InstallPlan {
    std::u16string appName;
    std::u16string provider;
    std::u16string recordName;  // "PROVIDER APPNAME", the record's key under HKLM\SOFTWARE\APPS
    std::u16string installDir;
    // Every folder the files and shortcuts go to, each after its parent.
    std::vector<std::u16string> folders;
    std::vector<PlannedFile> files;
    std::vector<PlannedValue> values;
    std::vector<PlannedShortcut> shortcuts;
    std::u16string setupLibrary;  // where the setup library is staged; empty when there is none
};

// The folder a macro stands for ("%CE2%" -> "\Windows"); empty for a name that is no macro.
std::u16string ExpandFolderMacro(std::u16string_view component, std::u16string_view installDir);

// "HKLM" and its fellows, as the installer prints keys.
const char16_t* RegistryRootName(CeRegistryRoot root);

// Works out the plan. False with the reason when a path leaves the image or is no device path,
// two files land on one path, a folder macro is unknown or a name cannot be a registry key.
bool PlanInstall(const CeCabinet& cabinet, InstallPlan* plan, std::string* error);

// A device path to trust before the installer writes it, with the content it must have.
struct ExpectedCode {
    std::u16string path;
    Sha256Digest hash{};
};

// The cabinet's files and setup library whose content is one of the known hashes (the build's
// own programs and libraries), at the paths the plan puts them.
std::vector<ExpectedCode> KnownCodeInPlan(const CeCabinet& cabinet, const InstallPlan& plan,
                                          const std::vector<Sha256Digest>& known);

Sha256Digest HashBytes(std::string_view bytes);

}  // namespace host
