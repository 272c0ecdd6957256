#include "registry_commands.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "command_table.h"
#include "script_trace.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

const DWORD kBinaryCapacity = 16384;
// Subkey names are enumerated into a buffer of this many units.
const DWORD kKeyNameUnits = 256;

// The whole value of the Data entry. A script may carry an attribute named "Data", which is found
// before the list of child texts and is only as long as its text, so readers must not walk past
// the end of what the map holds.
std::u16string_view DataList(const AttributeMap* attributes) {
    const DWORD key = NameHash(u"Data");
    for (size_t i = 0; i < attributes->Count(); ++i) {
        const AttributeEntry& entry = attributes->At(i);
        if (entry.key == key) return entry.value;
    }
    return {};
}

// The bytes of a REG_MULTI_SZ value: every text with its terminator and the closing empty text.
std::vector<WCHAR> MultiStringUnits(std::u16string_view list) {
    std::vector<WCHAR> units;
    size_t at = 0;
    while (at < list.size() && list[at] != 0) {
        size_t end = list.find(u'\0', at);
        if (end == std::u16string_view::npos) end = list.size();
        units.insert(units.end(), list.begin() + at, list.begin() + end);
        units.push_back(0);
        at = end + 1;
    }
    units.push_back(0);
    return units;
}

// Hexadecimal numbers, each followed by exactly one separator of any kind; the text's end after a
// number ends the list. Only the low 8 bits of each number are kept.
DWORD ParseBinary(const WCHAR* text, BYTE* bytes, DWORD capacity) {
    DWORD count = 0;
    const WCHAR* p = text;
    while (*p && count < capacity) {
        WCHAR* end = nullptr;
        unsigned long number = wcstoul(p, &end, 16);
        bytes[count++] = static_cast<BYTE>(number & 0xFF);
        if (!*end) break;
        p = end + 1;
    }
    return count;
}

DWORD WriteValue(HKEY root, LPCWSTR path, LPCWSTR name, DWORD type, const BYTE* data, DWORD size) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG created = RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition);
    if (created != ERROR_SUCCESS) {
        TraceError(std::u16string(u"create key ") + path, static_cast<DWORD>(created));
        return 0;
    }
    LONG rc = RegSetValueExW(key, name, 0, type, data, size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) TraceError(std::u16string(u"set value ") + name, static_cast<DWORD>(rc));
    return rc == ERROR_SUCCESS ? 1 : 0;
}

}  // namespace

HKEY SelectRegRoot(LPCWSTR rootName) {
    if (rootName && wcscmp(rootName, u"HKCR") == 0) return HKEY_CLASSES_ROOT;
    if (rootName && wcscmp(rootName, u"HKCU") == 0) return HKEY_CURRENT_USER;
    if (rootName && wcscmp(rootName, u"HKLM") != 0)
        TraceNote(std::u16string(u"root ") + rootName + u" unknown, HKLM used");
    return HKEY_LOCAL_MACHINE;
}

DWORD SelectRegType(LPCWSTR typeName) {
    if (!typeName) return REG_SZ;
    if (wcscmp(typeName, u"BINARY") == 0) return REG_BINARY;
    if (wcscmp(typeName, u"DWORD") == 0) return REG_DWORD;
    if (wcscmp(typeName, u"MULTI_SZ") == 0) return REG_MULTI_SZ;
    if (wcscmp(typeName, u"SZ") != 0) TraceNote(std::u16string(u"type ") + typeName + u" unknown, stored as SZ");
    return REG_SZ;
}

LONG DeleteKeyTree(HKEY parent, LPCWSTR name) {
    // Depth first, the deepest key deleted first, with the open keys on a list of its own rather
    // than the call stack: a tree of any depth, even one deeper than the registry now makes,
    // cannot exhaust the stack.
    struct Level {
        HKEY key;
        HKEY parent;
        std::u16string name;
    };
    std::vector<Level> levels;
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(parent, name, 0, KEY_READ | KEY_WRITE, &key);
    if (rc != ERROR_SUCCESS) return rc;
    levels.push_back(Level{key, parent, name});
    while (!levels.empty()) {
        Level& top = levels.back();
        WCHAR subKey[kKeyNameUnits];
        DWORD length = kKeyNameUnits;
        // Index 0 every time: deleting a subkey moves the next one to the front.
        if (RegEnumKeyExW(top.key, 0, subKey, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            HKEY child = nullptr;
            rc = RegOpenKeyExW(top.key, subKey, 0, KEY_READ | KEY_WRITE, &child);
            if (rc == ERROR_SUCCESS) {
                levels.push_back(Level{child, top.key, subKey});
                continue;
            }
        } else {
            RegCloseKey(top.key);
            rc = RegDeleteKeyW(top.parent, top.name.c_str());
            levels.pop_back();
            if (rc == ERROR_SUCCESS) continue;
        }
        // The first failure ends the deletion: what is not deleted yet stays, parents included.
        for (const Level& level : levels) RegCloseKey(level.key);
        return rc;
    }
    return ERROR_SUCCESS;
}

DWORD CmdDeleteRegKey(CommandTable*, AttributeMap* attributes, int*) {
    const WCHAR* path = NeededAttribute(attributes, u"path");
    const WCHAR* name = NeededAttribute(attributes, u"name");
    // An empty name would open the parent itself and wipe everything below it: a script that
    // lost its name in a merge must not empty a whole root.
    if (!path || !name || !*name) return 0;
    HKEY key = nullptr;
    LONG opened = RegOpenKeyExW(SelectRegRoot(attributes->Find(u"root")), path, 0, KEY_ALL_ACCESS, &key);
    if (opened != ERROR_SUCCESS) {
        TraceError(std::u16string(u"open key ") + path, static_cast<DWORD>(opened));
        return 0;
    }
    DeleteKeyTree(key, name);
    RegCloseKey(key);
    return 1;
}

DWORD CmdRenameRegKey(CommandTable*, AttributeMap*, int* handled) {
    *handled = 0;
    return 0;
}

DWORD CmdCreateRegValue(CommandTable*, AttributeMap* attributes, int*) {
    return CreateRegValueWith(attributes, RegTextMarkers::Interpreted);
}

DWORD CreateRegValueWith(AttributeMap* attributes, RegTextMarkers markers) {
    if (!attributes) return 0;
    const WCHAR* path = NeededAttribute(attributes, u"path");
    const WCHAR* name = NeededAttribute(attributes, u"name");
    // Without Data the script has not said what to store; writing an empty text or a zero would
    // replace a value the device relies on with one nobody asked for.
    if (!path || !name || !NeededAttribute(attributes, u"Data")) return 0;
    HKEY root = SelectRegRoot(attributes->Find(u"root"));
    DWORD type = SelectRegType(attributes->Find(u"type"));
    std::u16string_view list = DataList(attributes);
    const WCHAR* first = attributes->Find(u"Data");

    switch (type) {
    case REG_DWORD: {
        DWORD value = static_cast<DWORD>(wcstoul(first, nullptr, 16));
        return WriteValue(root, path, name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    case REG_BINARY: {
        std::vector<BYTE> bytes(kBinaryCapacity, 0);
        DWORD count = ParseBinary(first, bytes.data(), kBinaryCapacity);
        return WriteValue(root, path, name, REG_BINARY, bytes.data(), count);
    }
    case REG_MULTI_SZ: {
        std::vector<WCHAR> units = MultiStringUnits(list);
        return WriteValue(root, path, name, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(units.data()),
                          static_cast<DWORD>(units.size() * sizeof(WCHAR)));
    }
    default: {
        // The device's XML DOM trims the texts of nodes, so scripts spell an empty or a blank
        // text with these markers.
        const WCHAR* text = first;
        if (markers == RegTextMarkers::Interpreted) {
            if (wcsstr(first, u"[NULL]")) text = u"";
            else if (wcsstr(first, u"[SPACE]")) text = u" ";
        }
        return WriteValue(root, path, name, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>((wcslen(text) + 1) * sizeof(WCHAR)));
    }
    }
}

DWORD CmdDeleteRegValue(CommandTable*, AttributeMap* attributes, int*) {
    const WCHAR* path = NeededAttribute(attributes, u"path");
    const WCHAR* name = NeededAttribute(attributes, u"name");
    if (!path || !name) return 0;
    HKEY key = nullptr;
    LONG opened = RegOpenKeyExW(SelectRegRoot(attributes->Find(u"root")), path, 0, KEY_ALL_ACCESS, &key);
    if (opened != ERROR_SUCCESS) {
        TraceError(std::u16string(u"open key ") + path, static_cast<DWORD>(opened));
        return 0;
    }
    RegDeleteValueW(key, name);
    RegCloseKey(key);
    return 1;
}
