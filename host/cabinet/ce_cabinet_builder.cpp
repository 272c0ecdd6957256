#include "host/cabinet/ce_cabinet_builder.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "host/cabinet/cabinet.h"
#include "host/cabinet/install_plan.h"
#include "platform/text.h"

namespace host {

namespace {

constexpr uintmax_t kMaxHostFile = 64u << 20;

CePath SplitFolder(std::u16string_view folder) {
    CePath parts;
    for (size_t at = 0; at <= folder.size();) {
        const size_t slash = std::min(folder.find(u'\\', at), folder.size());
        if (slash > at) parts.emplace_back(folder.substr(at, slash - at));
        at = slash + 1;
    }
    return parts;
}

bool Load(const CabinetContent& content, std::string* bytes, std::string* error) {
    if (content.hostFile.empty()) {
        *bytes = content.bytes;
        return true;
    }
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(content.hostFile, ec);
    if (ec || size > kMaxHostFile) {
        *error = "cannot read " + content.hostFile.string() + (ec ? ": " + ec.message() : ": larger than 64 MiB");
        return false;
    }
    std::ifstream in(content.hostFile, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && !in.eof()) {
        *error = "cannot read " + content.hostFile.string();
        return false;
    }
    *bytes = text.str();
    return true;
}

// A shortcut's folder as the manifest holds it: a macro's number and the folders below it.
bool ShortcutBase(std::u16string_view folder, uint16_t* base, CePath* below) {
    CePath parts = SplitFolder(folder);
    if (!parts.empty() && EqualsNoCase(parts.front(), u"%InstallDir%")) {
        *base = 0;
        below->assign(parts.begin() + 1, parts.end());
        return true;
    }
    std::u16string text;
    for (const std::u16string& part : parts) text += part.front() == u'%' ? ExpandFolderMacro(part, u"") : u"\\" + part;
    size_t best = 0, bestLength = 0;
    for (uint16_t n = 1; n < 100; ++n) {
        const std::u16string macro = ExpandFolderMacro(u"%CE" + FromUtf8(std::to_string(n)) + u"%", u"");
        if (macro.empty()) break;
        const bool prefix = text.size() >= macro.size() && EqualsNoCase(text.substr(0, macro.size()), macro) &&
                            (text.size() == macro.size() || text[macro.size()] == u'\\');
        if (prefix && macro.size() > bestLength) {
            best = n;
            bestLength = macro.size();
        }
    }
    if (!best) return false;
    *base = uint16_t(best);
    *below = SplitFolder(std::u16string_view(text).substr(bestLength));
    return true;
}

std::string Number(uint16_t n) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%03u", unsigned(n % 1000));
    return digits;
}

}  // namespace

bool BuildCeCabinet(const CeCabinetDescription& d, std::string* cabinet, std::string* error) {
    std::string why;
    auto fail = [&](std::string reason) {
        if (error) *error = std::move(reason);
        return false;
    };
    if (d.memberBase.empty() || d.memberBase.size() > 8 ||
        !std::all_of(d.memberBase.begin(), d.memberBase.end(), [](char c) { return std::isalnum((unsigned char)c); }))
        return fail("the member base '" + d.memberBase + "' is not 1 to 8 letters and digits");
    if (d.files.size() > 998) return fail("more than 998 files");
    CeManifest m;
    m.appName = d.appName;
    m.provider = d.provider;
    std::vector<CabinetMember> members;
    std::map<std::u16string, uint16_t> folders;  // upper-cased folder text -> directory id
    for (size_t i = 0; i < d.files.size(); ++i) {
        const CeCabinetDescription::File& file = d.files[i];
        const std::u16string key = UpperCase(file.folder);
        if (!folders.count(key)) {
            const uint16_t id = uint16_t(folders.size() + 1);
            folders.emplace(key, id);
            m.directories.push_back({id, SplitFolder(file.folder)});
        }
        CeFile entry;
        entry.member = uint16_t(i + 1);
        entry.directory = folders.at(key);
        entry.flags = file.flags;
        entry.name = file.name;
        m.files.push_back(entry);
        CabinetMember member{d.memberBase + "." + Number(entry.member), {}};
        if (!Load(file.content, &member.bytes, &why)) return fail(why);
        members.push_back(std::move(member));
    }
    std::map<std::pair<uint16_t, std::u16string>, uint16_t> keys;
    for (const CeCabinetDescription::Value& value : d.values) {
        const auto keyId = std::make_pair(uint16_t(value.root), UpperCase(value.key));
        if (!keys.count(keyId)) {
            const uint16_t id = uint16_t(keys.size() + 1);
            keys.emplace(keyId, id);
            m.registryKeys.push_back({id, value.root, SplitFolder(value.key)});
        }
        CeRegistryValue entry;
        entry.key = keys.at(keyId);
        entry.substitution = value.substitute ? 1 : 0;
        entry.noClobber = value.noClobber;
        entry.name = value.name;
        entry.type = value.type;
        entry.data = value.data;
        m.registryValues.push_back(std::move(entry));
    }
    for (const CeCabinetDescription::Link& link : d.shortcuts) {
        CeShortcut entry;
        if (!ShortcutBase(link.folder, &entry.folder, &entry.path))
            return fail("the shortcut folder \"" + ToUtf8(link.folder) + "\" is not below a folder the device names");
        entry.path.push_back(link.name);
        std::vector<uint16_t> targets;
        for (const CeFile& file : m.files)
            if (EqualsNoCase(file.name, link.target)) targets.push_back(file.member);
        if (targets.size() != 1)
            return fail("the shortcut \"" + ToUtf8(link.name) + "\" starts \"" + ToUtf8(link.target) + "\", which is " +
                        (targets.empty() ? "none of the files" : "the name of several files"));
        entry.target = targets.front();
        m.shortcuts.push_back(std::move(entry));
    }
    std::string manifest;
    if (!WriteCeManifest(m, d.codePage, &manifest, &why)) return fail(why);

    std::vector<CabinetMember> ordered{{d.memberBase + ".000", manifest}};
    if (d.setupLibrary) {
        CabinetMember setup{d.memberBase + ".999", {}};
        if (!Load(*d.setupLibrary, &setup.bytes, &why)) return fail(why);
        ordered.push_back(std::move(setup));
    }
    ordered.insert(ordered.end(), std::make_move_iterator(members.rbegin()), std::make_move_iterator(members.rend()));
    std::string bytes;
    if (!WriteCabinet(ordered, &bytes, &why)) return fail(why);
    // What the installer would refuse is refused here, where the author can still mend it.
    CeCabinet check;
    InstallPlan plan;
    if (!ReadCeCabinet(bytes, CabinetLimits{}, d.codePage, &check, &why) || !PlanInstall(check, &plan, &why))
        return fail("the installer would refuse the cabinet: " + why);
    *cabinet = std::move(bytes);
    return true;
}

}  // namespace host
