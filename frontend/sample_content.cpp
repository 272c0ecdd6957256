#include "sample_content.h"

#include <string_view>
#include <vector>

#include "host/kernel/device.h"
#include "host/store/object_store.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace setup {

namespace {

struct Shortcut {
    const WCHAR* path;
    const char* target;
};

const WCHAR* const kFolders[] = {
    u"\\Windows\\Start Menu",
    u"\\Windows\\Start Menu\\Programs",
    u"\\Windows\\Start Menu\\Programs\\Accessories",
    u"\\Windows\\Start Menu\\Programs\\Games",
};

const Shortcut kShortcuts[] = {
    {u"\\Windows\\Start Menu\\Calendar.lnk", "\\Windows\\calendar.exe"},
    {u"\\Windows\\Start Menu\\Contacts.lnk", "\\Windows\\addrbook.exe"},
    {u"\\Windows\\Start Menu\\Programs\\Calculator.lnk", "\\Windows\\calc.exe"},
    {u"\\Windows\\Start Menu\\Programs\\Notes.lnk", "\\Windows\\notes.exe"},
    {u"\\Windows\\Start Menu\\Programs\\Accessories\\Clock.lnk", "\\Windows\\clock.exe"},
    {u"\\Windows\\Start Menu\\Programs\\Games\\Solitaire.lnk", "\\Windows\\solitare.exe"},
};

// The shell's button commands as the language switcher leaves them after a switch to English:
// lower case, except for the names the switch put in, which keep the spelling of the package.
struct KeyCommand {
    const WCHAR* key;
    const WCHAR* command;
    const WCHAR* resetCommand;
};

const KeyCommand kKeyCommands[] = {
    {u"40C1", u"\\Windows\\Start Menu\\Calendar.lnk", u"\\Windows\\Start Menu\\Calendar.lnk"},
    {u"40C2", u"\\Windows\\Start Menu\\Contacts.lnk", u"\\Windows\\Start Menu\\Contacts.lnk"},
    {u"40C3", u"\\Windows\\Start Menu\\Programs\\Notes.lnk", u"\\windows\\notes.exe"},
    {u"40C4", u"\\Windows\\Start Menu\\Programs\\Games\\Solitaire.lnk", u"\\windows\\solitare.exe"},
    {u"40C5", u"\\Windows\\Start Menu\\Programs\\Accessories\\Clock.lnk", u"\\windows\\clock.exe"},
};

const WCHAR kSampleKey[] = u"Software\\Vexor\\Sample";
const WCHAR kShellKeys[] = u"SOFTWARE\\Microsoft\\Shell\\Keys";

const char kGreetingEnglish[] = "Hello! This device speaks English.\r\n";
const char kGreetingRussian[] = "Здравствуйте! Это устройство говорит по-русски.\r\n";

bool Fail(std::string* error, std::string what, DWORD code) {
    *error = what + " (" + DescribeError(code) + ")";
    return false;
}

bool MakeFolder(const WCHAR* path, std::string* error) {
    if (CreateDirectoryW(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return true;
    return Fail(error, "cannot create " + ToUtf8(path), GetLastError());
}

bool WriteFileBytes(const WCHAR* path, std::string_view bytes, std::string* error) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail(error, "cannot create " + ToUtf8(path), GetLastError());
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    DWORD code = GetLastError();
    CloseHandle(file);
    if (!ok) return Fail(error, "cannot write " + ToUtf8(path), code);
    return true;
}

// The device's shortcut files: the length of the quoted command, '#', the quoted command.
std::string ShortcutText(std::string_view target) {
    std::string command = "\"" + std::string(target) + "\"";
    return std::to_string(command.size()) + "#" + command;
}

bool SetValue(const WCHAR* path, const WCHAR* name, DWORD type, const void* data, size_t size, std::string* error) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, 0, nullptr, &key, &disposition);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), DWORD(size));
        RegCloseKey(key);
    }
    if (rc != ERROR_SUCCESS) return Fail(error, "cannot write " + ToUtf8(path) + " " + ToUtf8(name), DWORD(rc));
    return true;
}

bool SetText(const WCHAR* path, const WCHAR* name, std::u16string_view text, std::string* error, DWORD type = REG_SZ) {
    std::u16string units(text);
    units += u'\0';
    return SetValue(path, name, type, units.data(), units.size() * sizeof(WCHAR), error);
}

bool InstallStartMenu(std::string* error) {
    for (const WCHAR* folder : kFolders)
        if (!MakeFolder(folder, error)) return false;
    for (const Shortcut& shortcut : kShortcuts)
        if (!WriteFileBytes(shortcut.path, ShortcutText(shortcut.target), error)) return false;
    return true;
}

// The language switch marks the per-language files as normal files when it exchanges them, so
// they start out that way.
bool InstallGreeting(std::string* error) {
    for (const auto& [path, text] : {std::pair{u"\\Windows\\greeting.txt", kGreetingEnglish},
                                     std::pair{u"\\Windows\\greeting.txt.0419", kGreetingRussian}}) {
        if (!WriteFileBytes(path, text, error)) return false;
        if (!SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL))
            return Fail(error, "cannot set the attributes of " + ToUtf8(path), GetLastError());
    }
    return true;
}

bool InstallRegistryTexts(std::string* error) {
    const DWORD locale = 0x409;
    const BYTE layout[] = {0x09, 0x04, 0x00, 0x00};
    // The folder list as a REG_MULTI_SZ: each name with its terminator, then an empty name.
    const std::u16string folders(u"Programs\0Accessories\0Games\0", 27);
    std::u16string dictionary = std::u16string(kSampleKey) + u"\\Dictionary\\en-US";
    if (!SetText(kSampleKey, u"Welcome", u"Welcome to your device", error)) return false;
    if (!SetText(kSampleKey, u"Separator", u" ", error)) return false;
    if (!SetText(kSampleKey, u"Folders", folders, error, REG_MULTI_SZ)) return false;
    if (!SetValue(kSampleKey, u"Locale", REG_DWORD, &locale, sizeof locale, error)) return false;
    if (!SetValue(kSampleKey, u"Layout", REG_BINARY, layout, sizeof layout, error)) return false;
    if (!SetText(dictionary.c_str(), u"File", u"\\Windows\\en-US.dic", error)) return false;
    for (const KeyCommand& key : kKeyCommands) {
        std::u16string path = std::u16string(kShellKeys) + u"\\" + key.key;
        if (!SetText(path.c_str(), u"", key.command, error) || !SetText(path.c_str(), u"ResetCmd", key.resetCommand, error))
            return false;
    }
    return true;
}

bool InstallPackages(host::Device& device, const std::filesystem::path& samples, std::string* error) {
    for (const char* name : {"vl_0409.xml", "vl_0419.xml", "muiconfig.xml"}) {
        DWORD code = 0;
        std::u16string target = u"\\Windows\\" + FromUtf8(name);
        if (!device.Files().ImportHostFile(samples / name, target, &code))
            return Fail(error, "cannot install " + (samples / name).string() + " as " + ToUtf8(target), code);
    }
    return true;
}

}  // namespace

bool InstallSampleContent(host::Device& device, const std::filesystem::path& samples, std::string* error) {
    return InstallStartMenu(error) && InstallGreeting(error) && InstallRegistryTexts(error) &&
           InstallPackages(device, samples, error);
}

}  // namespace setup
