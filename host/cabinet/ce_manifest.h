// The setup manifest of a device cabinet: the member `*.000` that tells the cabinet installer
// what the cabinet installs (files and their folders, registry values, shortcuts), read into
// plain data and written back. The manifest is outside input: the reader checks every offset,
// count and length against the bytes it was given and refuses anything it cannot account for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"

namespace host {

// A folder, registry key or shortcut name as the manifest spells it: components that are joined
// with backslashes. A component may be a folder macro ("%CE2%", "%InstallDir%").
using CePath = std::vector<std::u16string>;

// The registry roots a manifest names, by their numbers in the file.
enum class CeRegistryRoot : uint16_t { ClassesRoot = 1, CurrentUser = 2, LocalMachine = 3, Users = 4 };

// The flags of a registry value in the file: its type in the bits of kCeRegTypeMask, and whether
// an existing value is kept. No other bit is known.
constexpr uint32_t kCeRegTypeMask = 0x00010001;
constexpr uint32_t kCeRegSz = 0x00000000;
constexpr uint32_t kCeRegBinary = 0x00000001;
constexpr uint32_t kCeRegMultiSz = 0x00010000;
constexpr uint32_t kCeRegDword = 0x00010001;
constexpr uint32_t kCeRegNoClobber = 0x00000002;

// The flags of a file the installer acts on; the others (warnings, date checks, shared-library
// counts) are kept as they were read.
constexpr uint32_t kCeFileNoOverwrite = 0x00000010;

// The manifest's architecture for "any processor".
constexpr uint32_t kCeAnyArchitecture = 0;

struct CeDirectory {
    uint16_t id = 0;
    CePath path;

    bool operator==(const CeDirectory&) const = default;
};

struct CeFile {
    uint16_t member = 0;     // the cabinet member NAME.NNN with this number holds the content
    uint16_t directory = 0;  // a CeDirectory id
    uint32_t flags = 0;
    std::u16string name;     // the installed file's name in that folder

    bool operator==(const CeFile&) const = default;
};

struct CeRegistryKey {
    uint16_t id = 0;
    CeRegistryRoot root = CeRegistryRoot::LocalMachine;
    CePath path;

    bool operator==(const CeRegistryKey&) const = default;
};

struct CeRegistryValue {
    uint16_t key = 0;              // a CeRegistryKey id
    uint16_t substitution = 0;     // non-zero: folder macros in string data are expanded
    bool noClobber = false;        // an existing value is kept
    std::u16string name;           // empty for the key's default value
    DWORD type = 0;                // REG_SZ, REG_MULTI_SZ, REG_DWORD or REG_BINARY, from flags
    std::vector<uint8_t> data;     // as RegSetValueExW takes it: UTF-16 strings with terminators

    bool operator==(const CeRegistryValue&) const = default;
};

struct CeShortcut {
    uint16_t folder = 0;        // 0: the install folder, N: the folder of macro %CEN%
    uint16_t target = 0;        // a CeFile member number, or a CeDirectory id (0: the install folder)
    bool targetIsFile = true;
    CePath path;                // below the folder; the last component is the shortcut's name

    bool operator==(const CeShortcut&) const = default;
};

struct CeManifest {
    std::u16string appName;
    std::u16string provider;
    std::vector<std::u16string> unsupportedPlatforms;
    uint32_t architecture = kCeAnyArchitecture;
    uint32_t minVersionMajor = 0, minVersionMinor = 0, maxVersionMajor = 0, maxVersionMinor = 0;
    uint32_t minBuild = 0, maxBuild = 0;
    std::vector<CeDirectory> directories;
    std::vector<CeFile> files;
    std::vector<CeRegistryKey> registryKeys;
    std::vector<CeRegistryValue> registryValues;
    std::vector<CeShortcut> shortcuts;

    bool operator==(const CeManifest&) const = default;
};

// The largest manifest read or written: far beyond what a package's manifest holds.
constexpr size_t kMaxCeManifestBytes = 1 << 20;

// Reads a manifest whose text is in the given ANSI code page (1252 or 1251). False with the
// reason (which table, which entry, what is wrong) and *manifest untouched when it does not parse.
bool ParseCeManifest(std::string_view bytes, int codePage, CeManifest* manifest, std::string* error);

// Writes the manifest in the layout the installer's tools use. False with the reason when a text
// cannot be spelt in the code page, a value's data does not fit its type, an id is used twice or a
// reference names nothing.
bool WriteCeManifest(const CeManifest& manifest, int codePage, std::string* bytes, std::string* error);

}  // namespace host
