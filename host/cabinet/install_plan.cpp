#include "host/cabinet/install_plan.h"

#include <algorithm>
#include <set>

#include "host/shell/shortcut.h"
#include "host/store/device_path.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/winerror.h"

namespace host {

namespace {

std::string Num(size_t n) { return std::to_string(n); }

// The folders of the device's folder macros, as the Pocket PC spells them.
const char16_t* const kCeFolders[] = {
    nullptr,
    u"\\Program Files",                                   // %CE1%
    u"\\Windows",                                         // %CE2%
    u"\\Windows\\Desktop",                                // %CE3%
    u"\\Windows\\StartUp",                                // %CE4%
    u"\\My Documents",                                    // %CE5%
    u"\\Program Files\\Accessories",                      // %CE6%
    u"\\Program Files\\Communication",                    // %CE7%
    u"\\Program Files\\Games",                            // %CE8%
    u"\\Program Files\\Pocket Outlook",                   // %CE9%
    u"\\Program Files\\Office",                           // %CE10%
    u"\\Windows\\Start Menu\\Programs",                   // %CE11%
    u"\\Windows\\Start Menu\\Programs\\Accessories",      // %CE12%
    u"\\Windows\\Start Menu\\Programs\\Communications",   // %CE13%
    u"\\Windows\\Start Menu\\Programs\\Games",            // %CE14%
    u"\\Windows\\Fonts",                                  // %CE15%
    u"\\Windows\\Recent",                                 // %CE16%
    u"\\Windows\\Start Menu",                             // %CE17%
};
constexpr size_t kCeFolderCount = sizeof kCeFolders / sizeof kCeFolders[0];

std::string Shown(std::u16string_view path) { return "\"" + ToUtf8(path) + "\""; }

// The members' numbers: the three digits after the last dot.
bool MemberNumber(const std::string& name, uint16_t* number) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot != 4) return false;
    uint16_t n = 0;
    for (size_t i = dot + 1; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        n = uint16_t(n * 10 + (name[i] - '0'));
    }
    *number = n;
    return true;
}

// Joins a manifest path into a device path, folder macros expanded, and checks it as the object
// store would: false with the reason when it is not a path inside the image.
bool JoinPath(const CePath& path, std::u16string_view installDir, std::u16string* joined, std::string* why) {
    std::u16string text;
    for (const std::u16string& part : path) {
        std::u16string expanded = ExpandFolderMacro(part, installDir);
        if (expanded.empty()) {
            if (!part.empty() && part.front() == u'%' && part.back() == u'%' && part.size() > 1) {
                *why = "names the unknown folder " + Shown(part);
                return false;
            }
            if (!IsValidDeviceName(part, PathKind::Entry)) {
                *why = "has the component " + Shown(part) + ", which is no name inside the device";
                return false;
            }
            text += u'\\';
            text += part;
        } else if (text.empty()) {
            text = expanded;
        } else {
            *why = "has the folder " + Shown(part) + " in the middle of a path";
            return false;
        }
    }
    std::vector<std::u16string> parts;
    const DWORD code = SplitDevicePath(text, PathKind::Entry, &parts);
    if (code != ERROR_SUCCESS) {
        *why = "gives " + Shown(text) + ", which is no path inside the device (error " + Num(code) + ")";
        return false;
    }
    if (parts.empty()) {
        *why = "names the root folder";
        return false;
    }
    *joined = text;
    return true;
}

// A registry key's or value's name: no NUL, no control character; a key's components no '\'.
bool IsRegistryName(std::u16string_view name, bool component) {
    if (name.size() > 255) return false;
    for (char16_t c : name)
        if (c < 0x20 || (component && c == u'\\')) return false;
    return !component || !name.empty();
}

// Replaces the folder macros in a registry text with their folders.
std::u16string SubstituteMacros(std::u16string_view text, std::u16string_view installDir) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const size_t end = text[i] == u'%' ? text.find(u'%', i + 1) : std::u16string_view::npos;
        if (end != std::u16string_view::npos) {
            const std::u16string folder = ExpandFolderMacro(text.substr(i, end - i + 1), installDir);
            if (!folder.empty()) {
                out += folder;
                i = end + 1;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

std::vector<uint8_t> SubstituteData(const std::vector<uint8_t>& data, std::u16string_view installDir) {
    std::u16string units;
    for (size_t i = 0; i + 1 < data.size(); i += 2) units += char16_t(data[i] | data[i + 1] << 8);
    // Each text of a multi-string on its own, so a macro never spans a separator.
    std::u16string out;
    for (size_t start = 0; start < units.size();) {
        size_t end = units.find(u'\0', start);
        if (end == std::u16string::npos) end = units.size();
        out += SubstituteMacros(std::u16string_view(units).substr(start, end - start), installDir);
        if (end < units.size()) out += u'\0';
        start = end + 1;
    }
    std::vector<uint8_t> bytes;
    for (char16_t unit : out) {
        bytes.push_back(uint8_t(unit & 0xFF));
        bytes.push_back(uint8_t(unit >> 8));
    }
    return bytes;
}

void AddFolders(std::u16string_view path, std::vector<std::u16string>* folders) {
    for (size_t at = path.find(u'\\', 1); at != std::u16string_view::npos; at = path.find(u'\\', at + 1)) {
        const std::u16string_view folder = path.substr(0, at);
        if (std::none_of(folders->begin(), folders->end(),
                         [&](const std::u16string& f) { return EqualsNoCase(f, folder); }))
            folders->emplace_back(folder);
    }
}

}  // namespace

const CabinetMember* CeCabinet::Member(uint16_t number) const {
    for (size_t i = 0; i < numbers.size(); ++i)
        if (numbers[i] == number) return &members[i];
    return nullptr;
}

std::u16string ExpandFolderMacro(std::u16string_view component, std::u16string_view installDir) {
    if (EqualsNoCase(component, u"%InstallDir%")) return std::u16string(installDir);
    if (component.size() < 5 || component.size() > 6 || component.back() != u'%' ||
        !EqualsNoCase(component.substr(0, 3), u"%CE"))
        return {};
    size_t n = 0;
    for (char16_t c : component.substr(3, component.size() - 4)) {
        if (c < u'0' || c > u'9') return {};
        n = n * 10 + size_t(c - u'0');
    }
    return n >= 1 && n < kCeFolderCount ? std::u16string(kCeFolders[n]) : std::u16string();
}

const char16_t* RegistryRootName(CeRegistryRoot root) {
    switch (root) {
    case CeRegistryRoot::ClassesRoot: return u"HKCR";
    case CeRegistryRoot::CurrentUser: return u"HKCU";
    case CeRegistryRoot::LocalMachine: return u"HKLM";
    case CeRegistryRoot::Users: return u"HKU";
    }
    return u"?";
}

bool ReadCeCabinet(std::string_view bytes, const CabinetLimits& limits, int codePage, CeCabinet* cabinet,
                   std::string* error) {
    CeCabinet result;
    if (!ReadCabinet(bytes, limits, &result.members, error)) return false;
    auto fail = [&](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    std::set<uint16_t> seen;
    for (const CabinetMember& member : result.members) {
        uint16_t number = 0;
        if (!MemberNumber(member.name, &number))
            return fail("member '" + member.name + "' has no three-digit number after its name");
        if (!seen.insert(number).second) return fail("two members have the number " + member.name.substr(member.name.size() - 3));
        result.numbers.push_back(number);
    }
    const CabinetMember* manifest = result.Member(0);
    if (!manifest) return fail("the cabinet has no setup manifest (a member NAME.000)");
    std::string why;
    if (!ParseCeManifest(manifest->bytes, codePage, &result.manifest, &why))
        return fail("the setup manifest '" + manifest->name + "' does not parse: " + why);
    for (const CeFile& file : result.manifest.files)
        if (!result.Member(file.member))
            return fail("the manifest installs member " + Num(file.member) + " as " + Shown(file.name) +
                        ", which the cabinet lacks");
    *cabinet = std::move(result);
    return true;
}

bool PlanInstall(const CeCabinet& cabinet, InstallPlan* plan, std::string* error) {
    const CeManifest& m = cabinet.manifest;
    auto fail = [&](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    InstallPlan p;
    p.appName = m.appName;
    p.provider = m.provider;
    if (m.appName.empty()) return fail("the manifest has no application name");
    p.recordName = m.provider.empty() ? m.appName : m.provider + u" " + m.appName;
    if (!IsRegistryName(p.recordName, true))
        return fail("the provider and application name " + Shown(p.recordName) + " cannot name a registry key");
    // A name that is no folder name leaves the install folder unusable, which matters only when
    // the manifest uses it.
    const bool appNameIsFolder = IsValidDeviceName(m.appName, PathKind::Entry);
    p.installDir = appNameIsFolder ? u"\\Program Files\\" + m.appName : std::u16string();
    auto usesInstallDir = [&](const CePath& path) {
        return std::any_of(path.begin(), path.end(), [](const std::u16string& c) { return EqualsNoCase(c, u"%InstallDir%"); });
    };

    std::vector<std::pair<uint16_t, std::u16string>> directories;
    for (const CeDirectory& dir : m.directories) {
        std::u16string path;
        std::string reason;
        if (usesInstallDir(dir.path) && !appNameIsFolder)
            return fail("directory " + Num(dir.id) + " uses the install folder, but the application name " +
                        Shown(m.appName) + " is no folder name");
        if (!JoinPath(dir.path, p.installDir, &path, &reason)) return fail("directory " + Num(dir.id) + " " + reason);
        directories.emplace_back(dir.id, path);
    }
    auto directory = [&](uint16_t id) -> const std::u16string* {
        for (const auto& [dirId, path] : directories)
            if (dirId == id) return &path;
        return nullptr;
    };

    for (const CeFile& file : m.files) {
        const std::u16string* folder = directory(file.directory);
        if (!folder) return fail("file " + Num(file.member) + " names directory " + Num(file.directory) + ", which does not exist");
        if (!IsValidDeviceName(file.name, PathKind::Entry))
            return fail("file " + Num(file.member) + "'s name " + Shown(file.name) + " is no file name inside the device");
        PlannedFile planned;
        planned.target = *folder + u"\\" + file.name;
        planned.member = file.member;
        planned.keepExisting = file.flags & kCeFileNoOverwrite;
        std::vector<std::u16string> parts;
        if (SplitDevicePath(planned.target, PathKind::Entry, &parts) != ERROR_SUCCESS)
            return fail("file " + Num(file.member) + " would be " + Shown(planned.target) + ", which is no device path");
        for (const PlannedFile& other : p.files)
            if (EqualsNoCase(other.target, planned.target))
                return fail("files " + Num(other.member) + " and " + Num(file.member) + " both install " +
                            Shown(planned.target));
        AddFolders(planned.target, &p.folders);
        p.files.push_back(std::move(planned));
    }

    for (const CeRegistryValue& value : m.registryValues) {
        const auto key = std::find_if(m.registryKeys.begin(), m.registryKeys.end(),
                                      [&](const CeRegistryKey& k) { return k.id == value.key; });
        if (key == m.registryKeys.end()) return fail("a registry value names key " + Num(value.key) + ", which does not exist");
        PlannedValue planned;
        planned.root = key->root;
        for (const std::u16string& part : key->path) {
            if (!IsRegistryName(part, true))
                return fail("registry key " + Num(key->id) + " has the component " + Shown(part) + ", which is no key name");
            if (!planned.key.empty()) planned.key += u'\\';
            planned.key += part;
        }
        if (planned.key.empty()) return fail("registry key " + Num(key->id) + " has no path");
        if (!IsRegistryName(value.name, false))
            return fail("registry value " + Shown(value.name) + " of key " + Num(key->id) + " has no usable name");
        planned.name = value.name;
        planned.type = value.type;
        planned.keepExisting = value.noClobber;
        const bool text = value.type == REG_SZ || value.type == REG_MULTI_SZ;
        if (value.substitution && text && !appNameIsFolder &&
            SubstituteData(value.data, u"") != SubstituteData(value.data, u"\\x"))
            return fail("registry value " + Shown(value.name) + " uses the install folder, but the application name " +
                        Shown(m.appName) + " is no folder name");
        planned.data = value.substitution && text ? SubstituteData(value.data, p.installDir) : value.data;
        p.values.push_back(std::move(planned));
    }

    for (size_t i = 0; i < m.shortcuts.size(); ++i) {
        const CeShortcut& link = m.shortcuts[i];
        std::u16string base;
        if (link.folder == 0) {
            if (!appNameIsFolder) return fail("shortcut " + Num(i) + " lies in the install folder, which has no name");
            base = p.installDir;
        } else if (link.folder < kCeFolderCount) {
            base = kCeFolders[link.folder];
        } else {
            return fail("shortcut " + Num(i) + " names the unknown folder %CE" + Num(link.folder) + "%");
        }
        if (!link.path.empty() && !ExpandFolderMacro(link.path.front(), p.installDir).empty())
            return fail("shortcut " + Num(i) + " has a folder macro in its name");
        std::u16string below;
        std::string reason;
        if (!JoinPath(link.path, p.installDir, &below, &reason)) return fail("shortcut " + Num(i) + " " + reason);
        PlannedShortcut planned;
        planned.path = base + below;
        if (planned.path.size() < 4 || !EqualsNoCase(std::u16string_view(planned.path).substr(planned.path.size() - 4), u".lnk"))
            planned.path += u".lnk";
        std::vector<std::u16string> parts;
        if (SplitDevicePath(planned.path, PathKind::Entry, &parts) != ERROR_SUCCESS)
            return fail("shortcut " + Num(i) + " would be " + Shown(planned.path) + ", which is no device path");
        if (link.targetIsFile) {
            const auto file = std::find_if(p.files.begin(), p.files.end(),
                                           [&](const PlannedFile& f) { return f.member == link.target; });
            if (file == p.files.end()) return fail("shortcut " + Num(i) + " starts file " + Num(link.target) + ", which does not exist");
            planned.target = file->target;
        } else if (link.target == 0) {
            if (!appNameIsFolder) return fail("shortcut " + Num(i) + " opens the install folder, which has no name");
            planned.target = p.installDir;
        } else {
            const std::u16string* folder = directory(link.target);
            if (!folder) return fail("shortcut " + Num(i) + " opens directory " + Num(link.target) + ", which does not exist");
            planned.target = *folder;
        }
        for (const PlannedFile& file : p.files)
            if (EqualsNoCase(file.target, planned.path))
                return fail("shortcut " + Num(i) + " and file " + Num(file.member) + " both are " + Shown(planned.path));
        Shortcut shortcut;
        shortcut.target = planned.target;
        planned.text = FormatShortcut(shortcut);
        AddFolders(planned.path, &p.folders);
        p.shortcuts.push_back(std::move(planned));
    }

    if (const CabinetMember* setup = cabinet.Member(kSetupLibraryMember)) {
        p.setupLibrary = u"\\Windows\\" + FromUtf8(setup->name);
        std::vector<std::u16string> parts;
        if (!IsValidDeviceName(FromUtf8(setup->name), PathKind::Entry) ||
            SplitDevicePath(p.setupLibrary, PathKind::Entry, &parts) != ERROR_SUCCESS)
            return fail("the setup library's member name '" + setup->name + "' is no file name inside the device");
    }
    *plan = std::move(p);
    return true;
}

Sha256Digest HashBytes(std::string_view bytes) {
    Sha256 hash;
    hash.Update(bytes);
    return hash.Finish();
}

std::vector<ExpectedCode> KnownCodeInPlan(const CeCabinet& cabinet, const InstallPlan& plan,
                                          const std::vector<Sha256Digest>& known) {
    std::vector<ExpectedCode> trusted;
    auto consider = [&](const std::u16string& path, const CabinetMember* member) {
        if (!member || path.empty()) return;
        const Sha256Digest hash = HashBytes(member->bytes);
        if (std::find(known.begin(), known.end(), hash) != known.end()) trusted.push_back({path, hash});
    };
    for (const PlannedFile& file : plan.files) consider(file.target, cabinet.Member(file.member));
    consider(plan.setupLibrary, cabinet.Member(kSetupLibraryMember));
    return trusted;
}

}  // namespace host
