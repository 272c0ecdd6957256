#include "sample_content.h"

#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

#include "host/kernel/device.h"
#include "host/shell/shortcut.h"
#include "host/store/object_store.h"
#include "platform/database.h"
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
        if (!WriteFileBytes(shortcut.path, host::FormatShortcut({FromUtf8(shortcut.target), u""}), error)) return false;
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

// The categories database, in English. Its names are what the language packages change; the
// rules find each record by its number (property 1), so a package applied twice, or from any
// language, changes the names and adds nothing.
struct Category {
    USHORT number;
    const WCHAR* name;
    DWORD colour;
    BOOL shown;
};

const Category kCategories[] = {
    {1, u"Business", RGB(0x1F, 0x4E, 0x9A), TRUE}, {2, u"Personal", RGB(0x2E, 0x8B, 0x57), TRUE},
    {3, u"Holiday", RGB(0xD2, 0x69, 0x1E), TRUE},  {4, u"Gifts", RGB(0xB2, 0x22, 0x22), TRUE},
    {5, u"Travel", RGB(0x46, 0x82, 0xB4), FALSE},  {6, u"Ideas", RGB(0xDA, 0xA5, 0x20), FALSE},
};
const WCHAR kCategoriesName[] = u"Categories";
constexpr DWORD kCategoriesType = 0x56430001;

bool InstallCategories(std::string* error) {
    CEGUID volume;
    CREATE_SYSTEMGUID(&volume);
    CEDBASEINFO info{};
    info.dwFlags = CEDB_VALIDNAME | CEDB_VALIDTYPE;
    wcscpy(info.szDbaseName, kCategoriesName);
    info.dwDbaseType = kCategoriesType;
    if (!CeCreateDatabaseEx(&volume, &info)) return Fail(error, "cannot create the database Categories", GetLastError());
    CEOID oid = 0;
    HANDLE db = CeOpenDatabaseEx(&volume, &oid, kCategoriesName, 0, 0, nullptr);
    if (db == INVALID_HANDLE_VALUE) return Fail(error, "cannot open the database Categories", GetLastError());
    for (const Category& category : kCategories) {
        CEPROPVAL values[4] = {};
        values[0].propid = PROPID_FROM(1, CEVT_UI2);
        values[0].val.uiVal = category.number;
        values[1].propid = PROPID_FROM(2, CEVT_LPWSTR);
        values[1].val.lpwstr = const_cast<LPWSTR>(category.name);
        values[2].propid = PROPID_FROM(3, CEVT_UI4);
        values[2].val.ulVal = category.colour;
        values[3].propid = PROPID_FROM(4, CEVT_BOOL);
        values[3].val.boolVal = category.shown;
        if (!CeWriteRecordProps(db, 0, 4, values)) {
            const DWORD code = GetLastError();
            CloseHandle(db);
            return Fail(error, "cannot write the database Categories", code);
        }
    }
    CloseHandle(db);
    return true;
}

// The rules files are kept as UTF-8 text beside the packages and installed as the device reads
// them: UTF-16LE with its byte-order mark, lines ending with CR LF.
bool InstallRules(const std::filesystem::path& samples, std::string* error) {
    for (const char* name : {"categories_0409.rules", "categories_0419.rules"}) {
        std::ifstream in(samples / name, std::ios::binary);
        if (!in) {
            *error = "cannot read " + (samples / name).string();
            return false;
        }
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string bytes = "\xFF\xFE";
        for (char16_t unit : FromUtf8(text)) {
            if (unit == u'\n') bytes += std::string("\r\0", 2);
            bytes += char(unit & 0xFF);
            bytes += char(unit >> 8);
        }
        const std::u16string target = u"\\Windows\\" + FromUtf8(name);
        if (!WriteFileBytes(target.c_str(), bytes, error)) return false;
    }
    return true;
}

bool InstallFiles(host::Device& device, const std::filesystem::path& samples, std::initializer_list<const char*> names,
                  std::string* error) {
    for (const char* name : names) {
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
           InstallCategories(error) && InstallRules(samples, error) && InstallFiles(device, samples, {"muiconfig.xml"}, error);
}

bool InstallLanguagePackages(host::Device& device, const std::filesystem::path& samples, std::string* error) {
    return InstallFiles(device, samples, {"vl_0409.xml", "vl_0419.xml"}, error);
}

}  // namespace setup
