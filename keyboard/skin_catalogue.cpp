#include "skin_catalogue.h"

#include "platform/files.h"

namespace keyboard {

SettingsKey::SettingsKey(Mode mode) {
    HKEY key = nullptr;
    LONG rc = mode == Mode::Create
                  ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_ALL_ACCESS, nullptr, &key, nullptr)
                  : RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key);
    if (rc == ERROR_SUCCESS) m_key = key;
}

SettingsKey::~SettingsKey() {
    if (m_key) RegCloseKey(m_key);
}

std::optional<DWORD> SettingsKey::ReadDword(const WCHAR* name) const {
    if (!m_key) return std::nullopt;
    DWORD type = REG_NONE, value = 0, size = sizeof value;
    if (RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (type != REG_DWORD || size != sizeof value) return std::nullopt;
    return value;
}

bool SettingsKey::WriteDword(const WCHAR* name, DWORD value) const {
    return m_key && RegSetValueExW(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                   sizeof value) == ERROR_SUCCESS;
}

std::optional<std::u16string> SettingsKey::ReadString(const WCHAR* name) const {
    if (!m_key) return std::nullopt;
    WCHAR buffer[kPathChars] = {};
    DWORD type = REG_NONE, size = sizeof buffer;
    if (RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (!IsTextSettingType(type)) return std::nullopt;
    // A value stored without its terminator ends with the data.
    std::u16string_view text(buffer, size / sizeof(WCHAR));
    return std::u16string(text.substr(0, text.find(u'\0')));
}

bool SettingsKey::WriteString(const WCHAR* name, std::u16string_view value) const {
    if (!m_key) return false;
    std::u16string stored(value);
    DWORD bytes = static_cast<DWORD>((stored.size() + 1) * sizeof(WCHAR));
    return RegSetValueExW(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(stored.c_str()), bytes) ==
           ERROR_SUCCESS;
}

std::vector<std::u16string> SettingsKey::ReadMultiString(const WCHAR* name) const {
    if (!m_key) return {};
    WCHAR buffer[kUserSkinsBytes / sizeof(WCHAR)] = {};
    DWORD type = REG_NONE, size = sizeof buffer;
    if (RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return {};
    if (type != REG_MULTI_SZ) return {};
    return SplitMultiString(std::span<const WCHAR>(buffer, size / sizeof(WCHAR)));
}

bool SettingsKey::WriteMultiString(const WCHAR* name, const std::vector<std::u16string>& strings) const {
    if (!m_key) return false;
    std::u16string block;
    for (const std::u16string& text : strings) {
        block += text;
        block += u'\0';
    }
    block.append(2, u'\0');
    return RegSetValueExW(m_key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(block.data()),
                          static_cast<DWORD>(block.size() * sizeof(WCHAR))) == ERROR_SUCCESS;
}

std::vector<std::u16string> SplitMultiString(std::span<const WCHAR> block) {
    std::vector<std::u16string> strings;
    size_t pos = 0;
    while (pos < block.size()) {
        size_t end = pos;
        while (end < block.size() && block[end] != u'\0') ++end;
        if (end == pos) break;
        strings.emplace_back(block.data() + pos, end - pos);
        pos = end + 1;
    }
    return strings;
}

SkinList FindSkinFiles(const WCHAR* extension) {
    SkinList list;
    std::u16string folder = kSkinFolder;
    std::u16string pattern = folder + u"\\*." + (extension ? extension : u"");
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return list;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        data.cFileName[MAX_PATH - 1] = u'\0';
        list.push_back(folder + u"\\" + data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return list;
}

namespace {

bool FileExists(const std::u16string& path) {
    if (path.find_first_of(u"*?") != std::u16string::npos) return false;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

SkinList GetSkinList() {
    SkinList list = FindSkinFiles(u"vxs");
    SettingsKey key(SettingsKey::Mode::Open);
    for (std::u16string& path : key.ReadMultiString(kUserSkinsValue))
        if (FileExists(path)) list.push_back(std::move(path));
    return list;
}

SkinChoice ChooseSkin(const SkinList& list, std::u16string_view stored,
                      const std::function<bool(const std::u16string&)>& isValid) {
    SkinChoice choice;
    if (!stored.empty()) {
        for (const std::u16string& path : list) {
            if (path.find(stored) == std::u16string::npos || !isValid(path)) continue;
            choice.none = false;
            choice.skinPath = std::u16string(stored);
            choice.loadPath = path;
            return choice;
        }
    }
    for (const std::u16string& path : list) {
        if (!isValid(path)) continue;
        choice.none = false;
        choice.skinPath = path;
        choice.loadPath = path;
        choice.writeBack = true;
        return choice;
    }
    return choice;
}

}  // namespace keyboard
