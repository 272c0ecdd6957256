// The cabinet installer. An install first reads and checks everything (the cabinet, its
// manifest, every path it writes) and writes nothing until all of it holds; then it stages and
// loads the setup library, asks Install_Init, and writes folders, files, registry values,
// shortcuts and the application's record, keeping a journal of each change. A write that fails
// (a full store) rolls the journal back, so the device is left as it was.
//
// The installer records no trust for anything it writes: whether a library or program it copied
// may run is decided by whoever started it (pocketsim install records the build's own code
// before it starts the installer), never by the cabinet.
#include "standins/cab_installer.h"

#include <algorithm>
#include <string>
#include <vector>

#include "host/cabinet/install_plan.h"
#include "host/kernel/ansi_codepage.h"
#include "host/kernel/device.h"
#include "platform/cesetup.h"
#include "platform/files.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/winerror.h"

namespace standins {

namespace {

const WCHAR kAppsKey[] = u"SOFTWARE\\Apps";
// A cabinet larger than this is refused before it is read.
constexpr DWORD kMaxCabinetBytes = 128u << 20;

std::string Num(size_t n) { return std::to_string(n); }
std::string Utf8(std::u16string_view text) { return ToUtf8(text); }

HKEY RootKey(host::CeRegistryRoot root) {
    switch (root) {
    case host::CeRegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case host::CeRegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
    case host::CeRegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case host::CeRegistryRoot::Users: return HKEY_USERS;
    }
    return HKEY_LOCAL_MACHINE;
}

bool ReadDeviceFile(const std::u16string& path, DWORD limit, std::string* bytes, std::string* why) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *why = "cannot open it (error " + Num(GetLastError()) + ")";
        return false;
    }
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    if (high || size > limit) {
        CloseHandle(file);
        *why = "larger than " + Num(limit) + " bytes";
        return false;
    }
    bytes->assign(size, '\0');
    DWORD got = 0;
    const bool ok = size == 0 || (ReadFile(file, bytes->data(), size, &got, nullptr) && got == size);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok) *why = "cannot read it (error " + Num(error) + ")";
    return ok;
}

// Writes a new file (the path must not exist); a failed write leaves no file.
DWORD WriteNewFile(const std::u16string& path, std::string_view bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD written = 0;
    const bool ok = bytes.empty() || (WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                                      written == bytes.size());
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (!CloseHandle(file) && error == ERROR_SUCCESS) error = GetLastError();
    if (error != ERROR_SUCCESS) DeleteFileW(path.c_str());
    return error;
}

bool Exists(const std::u16string& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct SavedValue {
    bool existed = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

bool QueryValue(HKEY key, const std::u16string& name, SavedValue* value) {
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &value->type, nullptr, &size) != ERROR_SUCCESS) return false;
    value->data.resize(size);
    if (RegQueryValueExW(key, name.c_str(), nullptr, &value->type, value->data.data(), &size) != ERROR_SUCCESS)
        return false;
    value->data.resize(size);
    value->existed = true;
    return true;
}

LONG SetValue(HKEY root, const std::u16string& keyPath, const std::u16string& name, DWORD type,
              const std::vector<BYTE>& data) {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExW(root, keyPath.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExW(key, name.c_str(), 0, type, data.data(), DWORD(data.size()));
    RegCloseKey(key);
    return rc;
}

std::vector<BYTE> TextData(std::u16string_view text) {
    std::vector<BYTE> data;
    for (char16_t unit : text) {
        data.push_back(BYTE(unit & 0xFF));
        data.push_back(BYTE(unit >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

std::vector<BYTE> MultiData(const std::vector<std::u16string>& texts) {
    std::u16string joined;
    for (const std::u16string& text : texts) {
        joined += text;
        joined += u'\0';
    }
    std::vector<BYTE> data = TextData(joined);
    if (texts.empty()) data.resize(2);
    return data;
}

std::vector<std::u16string> ReadMulti(HKEY key, const WCHAR* name) {
    SavedValue value;
    std::vector<std::u16string> texts;
    if (!QueryValue(key, name, &value) || value.type != REG_MULTI_SZ) return texts;
    std::u16string current;
    for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
        const char16_t unit = char16_t(value.data[i] | value.data[i + 1] << 8);
        if (unit) {
            current += unit;
        } else {
            if (current.empty()) break;
            texts.push_back(std::move(current));
            current.clear();
        }
    }
    return texts;
}

std::u16string ReadText(HKEY key, const WCHAR* name) {
    SavedValue value;
    std::u16string text;
    if (!QueryValue(key, name, &value) || value.type != REG_SZ) return text;
    for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
        const char16_t unit = char16_t(value.data[i] | value.data[i + 1] << 8);
        if (!unit) break;
        text += unit;
    }
    return text;
}

bool KeyExists(HKEY root, const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, 0, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// The first key of path (from the root down) that does not exist yet, or empty.
std::u16string FirstMissingKey(HKEY root, const std::u16string& path) {
    for (size_t at = 0;;) {
        const size_t slash = path.find(u'\\', at);
        const std::u16string prefix = path.substr(0, slash);
        if (!KeyExists(root, prefix)) return prefix;
        if (slash == std::u16string::npos) return {};
        at = slash + 1;
    }
}

bool KeyIsEmpty(HKEY root, const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, 0, &key) != ERROR_SUCCESS) return false;
    DWORD subKeys = 0, values = 0;
    const bool ok = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                                     nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok && subKeys == 0 && values == 0;
}

std::u16string KeyText(HKEY root, const std::u16string& key) {
    const char16_t* name = root == HKEY_CLASSES_ROOT    ? u"HKCR"
                           : root == HKEY_CURRENT_USER  ? u"HKCU"
                           : root == HKEY_USERS         ? u"HKU"
                                                        : u"HKLM";
    return std::u16string(name) + u"\\" + key;
}

HKEY RootFromText(std::u16string_view text) {
    if (text == u"HKCR") return HKEY_CLASSES_ROOT;
    if (text == u"HKCU") return HKEY_CURRENT_USER;
    if (text == u"HKU") return HKEY_USERS;
    if (text == u"HKLM") return HKEY_LOCAL_MACHINE;
    return nullptr;
}

// What one run changed, so that a failure can put it all back.
class Journal {
public:
    ~Journal() {
        if (!m_committed) RollBack();
    }
    void Commit() { m_committed = true; }

    DWORD MakeFolder(const std::u16string& path) {
        if (CreateDirectoryW(path.c_str(), nullptr)) {
            m_folders.push_back(path);
            return ERROR_SUCCESS;
        }
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return ERROR_SUCCESS;
        return error == ERROR_ALREADY_EXISTS ? ERROR_DIRECTORY : error;
    }

    // Writes the file, moving one that is there aside until the run is over.
    DWORD PutFile(const std::u16string& path, std::string_view bytes) {
        std::u16string backup;
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_ACCESS_DENIED;
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            for (int n = 0; backup.empty() || Exists(backup); ++n)
                backup = path.substr(0, path.rfind(u'\\') + 1) + u"~wceload" + FromUtf8(Num(n)) + u".tmp";
            if (!MoveFileW(path.c_str(), backup.c_str())) return GetLastError();
        }
        m_files.push_back({path, backup});
        const DWORD error = WriteNewFile(path, bytes);
        if (error != ERROR_SUCCESS) {
            // The write left no file: only the old one goes back.
            m_files.back().written = false;
        }
        return error;
    }

    LONG PutValue(HKEY root, const std::u16string& key, const std::u16string& name, DWORD type,
                  const std::vector<BYTE>& data) {
        const std::u16string missing = FirstMissingKey(root, key);
        SavedValue old;
        if (missing.empty()) {
            HKEY open = nullptr;
            if (RegOpenKeyExW(root, key.c_str(), 0, 0, &open) == ERROR_SUCCESS) {
                QueryValue(open, name, &old);
                RegCloseKey(open);
            }
        }
        const LONG rc = SetValue(root, key, name, type, data);
        if (!missing.empty() && KeyExists(root, missing)) m_keys.push_back({root, missing});
        if (rc == ERROR_SUCCESS) m_values.push_back({root, key, name, std::move(old)});
        return rc;
    }

    // The folders this run made, parents first, for the record.
    const std::vector<std::u16string>& CreatedFolders() const { return m_folders; }

    // The keys this run made, for the record, so that removal can take them away again.
    std::vector<std::u16string> CreatedKeys() const {
        std::vector<std::u16string> keys;
        for (const auto& [root, key] : m_keys) keys.push_back(KeyText(root, key));
        return keys;
    }

    // After success: the files moved aside are no longer needed.
    void DropBackups() {
        for (const FileChange& change : m_files)
            if (!change.backup.empty()) DeleteFileW(change.backup.c_str());
    }

private:
    struct FileChange {
        std::u16string path;
        std::u16string backup;  // where the file it replaced waits; empty when there was none
        bool written = true;
    };
    struct ValueChange {
        HKEY root;
        std::u16string key, name;
        SavedValue old;
    };

    void RollBack() {
        for (auto it = m_values.rbegin(); it != m_values.rend(); ++it) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(it->root, it->key.c_str(), 0, 0, &key) != ERROR_SUCCESS) continue;
            if (it->old.existed)
                RegSetValueExW(key, it->name.c_str(), 0, it->old.type, it->old.data.data(), DWORD(it->old.data.size()));
            else
                RegDeleteValueW(key, it->name.c_str());
            RegCloseKey(key);
        }
        for (auto it = m_keys.rbegin(); it != m_keys.rend(); ++it) RegDeleteKeyW(it->first, it->second.c_str());
        for (auto it = m_files.rbegin(); it != m_files.rend(); ++it) {
            if (it->written) DeleteFileW(it->path.c_str());
            if (!it->backup.empty()) MoveFileW(it->backup.c_str(), it->path.c_str());
        }
        for (auto it = m_folders.rbegin(); it != m_folders.rend(); ++it) RemoveDirectoryW(it->c_str());
    }

    bool m_committed = false;
    std::vector<std::u16string> m_folders;
    std::vector<FileChange> m_files;
    std::vector<ValueChange> m_values;
    std::vector<std::pair<HKEY, std::u16string>> m_keys;
};

// The staged and loaded setup library; unloaded and deleted when it goes.
class SetupLibrary {
public:
    ~SetupLibrary() {
        if (m_module) FreeLibrary(m_module);
        if (m_staged) DeleteFileW(m_path.c_str());
    }
    // Writes the library (when bytes are given) and loads it. False with the reason.
    bool Load(const std::u16string& path, const std::string* bytes, std::string* why) {
        m_path = path;
        if (bytes) {
            if (Exists(path) && !DeleteFileW(path.c_str())) {
                *why = "cannot replace " + Utf8(path) + " (error " + Num(GetLastError()) + ")";
                return false;
            }
            const DWORD error = WriteNewFile(path, *bytes);
            if (error != ERROR_SUCCESS) {
                *why = "cannot write the setup library " + Utf8(path) + " (error " + Num(error) + ")";
                return false;
            }
            m_staged = true;
        }
        m_module = LoadLibraryW(path.c_str());
        if (!m_module) {
            *why = "the setup library " + Utf8(path) + " does not load (error " + Num(GetLastError()) + ")";
            return false;
        }
        return true;
    }
    template <class Proc>
    bool Export(const WCHAR* name, Proc* proc, std::string* why) {
        *proc = reinterpret_cast<Proc>(GetProcAddressW(m_module, name));
        if (!*proc) *why = "the setup library " + Utf8(m_path) + " lacks the export " + Utf8(name);
        return *proc != nullptr;
    }

private:
    std::u16string m_path;
    HMODULE m_module = nullptr;
    bool m_staged = false;
};

class Installer {
public:
    Installer(std::FILE* out, std::FILE* err) : m_out(out), m_err(err) {}

    int Install(const std::u16string& cabPath) {
        m_subject = Utf8(cabPath);
        std::string bytes, why;
        if (!ReadDeviceFile(cabPath, kMaxCabinetBytes, &bytes, &why)) return Fail(why);
        int codePage = host::kDefaultAnsiCodePage;
        if (host::Device* device = host::CurrentDevice(); device && !host::DeviceAnsiCodePage(*device, &codePage, &why))
            return Fail(why);
        host::CeCabinet cabinet;
        host::InstallPlan plan;
        if (!host::ReadCeCabinet(bytes, host::CabinetLimits{}, codePage, &cabinet, &why) ||
            !host::PlanInstall(cabinet, &plan, &why))
            return Fail(why);
        bytes.clear();
        const std::u16string recordKey = std::u16string(kAppsKey) + u"\\" + plan.recordName;
        const bool previouslyInstalled = KeyExists(HKEY_LOCAL_MACHINE, recordKey);

        SetupLibrary library;
        InstallInitProc init = nullptr;
        InstallExitProc exit = nullptr;
        if (!plan.setupLibrary.empty()) {
            if (!library.Load(plan.setupLibrary, &cabinet.Member(host::kSetupLibraryMember)->bytes, &why) ||
                !library.Export(u"Install_Init", &init, &why) || !library.Export(u"Install_Exit", &exit, &why))
                return Fail(why);
            const int answer = init(nullptr, TRUE, previouslyInstalled, plan.installDir.c_str());
            if (answer != 0)
                return Fail("the setup library cancelled the installation (Install_Init answered " + Num(answer) + ")");
        }

        Journal journal;
        std::vector<std::string> lines;
        std::vector<std::u16string> files, shortcuts, values;
        for (const std::u16string& folder : plan.folders)
            if (DWORD error = journal.MakeFolder(folder); error != ERROR_SUCCESS)
                return WriteFailed("folder " + Utf8(folder), error);
        for (const host::PlannedFile& file : plan.files) {
            if (file.keepExisting && Exists(file.target)) {
                lines.push_back("file " + Utf8(file.target) + " kept");
                continue;
            }
            if (DWORD error = journal.PutFile(file.target, cabinet.Member(file.member)->bytes); error != ERROR_SUCCESS)
                return WriteFailed("file " + Utf8(file.target), error);
            lines.push_back("file " + Utf8(file.target));
            files.push_back(file.target);
        }
        for (const host::PlannedValue& value : plan.values) {
            const HKEY root = RootKey(value.root);
            const std::string shown = Utf8(KeyText(root, value.key)) + " \"" + Utf8(value.name) + "\"";
            if (value.keepExisting && HasValue(root, value.key, value.name)) {
                lines.push_back("reg " + shown + " kept");
                continue;
            }
            if (LONG rc = journal.PutValue(root, value.key, value.name, value.type, value.data); rc != ERROR_SUCCESS)
                return WriteFailed("registry value " + shown, DWORD(rc));
            lines.push_back("reg " + shown);
            values.push_back(KeyText(root, value.key));
            values.push_back(u"=" + value.name);
        }
        for (const host::PlannedShortcut& shortcut : plan.shortcuts) {
            if (DWORD error = journal.PutFile(shortcut.path, shortcut.text); error != ERROR_SUCCESS)
                return WriteFailed("shortcut " + Utf8(shortcut.path), error);
            lines.push_back("shortcut " + Utf8(shortcut.path));
            shortcuts.push_back(shortcut.path);
        }
        // The record: enough to remove what this run wrote.
        const struct {
            const WCHAR* name;
            DWORD type;
            std::vector<BYTE> data;
        } record[] = {
            {u"Instl", REG_DWORD, {1, 0, 0, 0}},
            {u"InstlDir", REG_SZ, TextData(plan.installDir)},
            {u"CabFile", REG_SZ, TextData(cabPath)},
            {u"SetupDll", REG_SZ, TextData(plan.setupLibrary)},
            {u"Files", REG_MULTI_SZ, MultiData(files)},
            {u"Shortcuts", REG_MULTI_SZ, MultiData(shortcuts)},
            {u"RegValues", REG_MULTI_SZ, MultiData(values)},
            {u"RegKeys", REG_MULTI_SZ, MultiData(journal.CreatedKeys())},
            {u"Folders", REG_MULTI_SZ, MultiData(journal.CreatedFolders())},
        };
        for (const auto& value : record)
            if (LONG rc = journal.PutValue(HKEY_LOCAL_MACHINE, recordKey, value.name, value.type, value.data);
                rc != ERROR_SUCCESS)
                return WriteFailed("the record " + Utf8(KeyText(HKEY_LOCAL_MACHINE, recordKey)), DWORD(rc));

        if (exit) {
            const int answer = exit(nullptr, plan.installDir.c_str(), 0, 0, 0, 0, 0);
            if (answer != 0)
                return Fail("the setup library undid the installation (Install_Exit answered " + Num(answer) + ")");
        }
        journal.Commit();
        journal.DropBackups();
        for (const std::string& line : lines) Line(line);
        Line("installed \"" + Utf8(plan.recordName) + "\"");
        return 0;
    }

    int Remove(const std::u16string& name) {
        m_subject = Utf8(name);
        const std::u16string recordKey = std::u16string(kAppsKey) + u"\\" + name;
        HKEY record = nullptr;
        if (name.empty() || name.find(u'\\') != std::u16string::npos ||
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, recordKey.c_str(), 0, 0, &record) != ERROR_SUCCESS)
            return Fail("no application of that name is installed");
        const std::u16string installDir = ReadText(record, u"InstlDir");
        const std::u16string setupDll = ReadText(record, u"SetupDll");
        const std::u16string cabFile = ReadText(record, u"CabFile");
        const std::vector<std::u16string> files = ReadMulti(record, u"Files");
        const std::vector<std::u16string> shortcuts = ReadMulti(record, u"Shortcuts");
        const std::vector<std::u16string> values = ReadMulti(record, u"RegValues");
        const std::vector<std::u16string> keys = ReadMulti(record, u"RegKeys");
        const std::vector<std::u16string> folders = ReadMulti(record, u"Folders");
        RegCloseKey(record);

        SetupLibrary library;
        UninstallInitProc init = nullptr;
        UninstallExitProc exit = nullptr;
        std::string why;
        // The library staged at install time was removed after it; the cabinet, when it is still
        // there, supplies it again at the same path. With neither, there is no one to ask.
        std::string staged;
        const std::string* bytes = nullptr;
        const bool present = !setupDll.empty() && (Exists(setupDll) || StagedFromCabinet(cabFile, &staged));
        if (present && !Exists(setupDll)) bytes = &staged;
        if (present) {
            if (!library.Load(setupDll, bytes, &why) || !library.Export(u"Uninstall_Init", &init, &why) ||
                !library.Export(u"Uninstall_Exit", &exit, &why))
                return Fail(why);
            const int answer = init(nullptr, installDir.c_str());
            if (answer != 0)
                return Fail("the setup library refused the removal (Uninstall_Init answered " + Num(answer) + ")");
        }
        for (const std::u16string& file : files)
            if (DeleteFileW(file.c_str())) Line("removed file " + Utf8(file));
        for (const std::u16string& shortcut : shortcuts)
            if (DeleteFileW(shortcut.c_str())) Line("removed shortcut " + Utf8(shortcut));
        for (size_t i = 0; i + 1 < values.size(); i += 2) {
            const size_t slash = values[i].find(u'\\');
            const HKEY root = RootFromText(std::u16string_view(values[i]).substr(0, slash));
            if (!root || slash == std::u16string::npos || values[i + 1].empty()) continue;
            HKEY key = nullptr;
            if (RegOpenKeyExW(root, values[i].c_str() + slash + 1, 0, 0, &key) != ERROR_SUCCESS) continue;
            const std::u16string valueName = values[i + 1].substr(1);
            if (RegDeleteValueW(key, valueName.c_str()) == ERROR_SUCCESS)
                Line("removed reg " + Utf8(values[i]) + " \"" + Utf8(valueName) + "\"");
            RegCloseKey(key);
        }
        // Keys the installation made go when nothing else has been put into them since.
        for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
            const size_t slash = it->find(u'\\');
            const HKEY root = RootFromText(std::u16string_view(*it).substr(0, slash));
            if (root && slash != std::u16string::npos && KeyIsEmptyTree(root, it->substr(slash + 1)))
                RegDeleteKeyW(root, it->c_str() + slash + 1);
        }
        // Folders the installation made go when they are empty.
        for (auto it = folders.rbegin(); it != folders.rend(); ++it) RemoveDirectoryW(it->c_str());
        HKEY apps = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAppsKey, 0, 0, &apps) == ERROR_SUCCESS) {
            RegDeleteKeyW(apps, name.c_str());
            RegCloseKey(apps);
        }
        if (exit) exit(nullptr);
        Line("removed \"" + Utf8(name) + "\"");
        return 0;
    }

    // /silent: only failures are reported.
    void Silence() { m_silent = true; }

    int Usage(const std::string& why) {
        std::fprintf(m_err, "wceload: %s (usage: wceload [/noui] [/silent] PATH.CAB | wceload /u \"PROVIDER NAME\")\n",
                     why.c_str());
        return 2;
    }

private:
    int Fail(const std::string& why) {
        std::fprintf(m_err, "wceload: %s: %s\n", m_subject.c_str(), why.c_str());
        return 1;
    }
    int WriteFailed(const std::string& what, DWORD error) {
        std::string why = "cannot write " + what + " (error " + Num(error) + ")";
        if (error == ERROR_DISK_FULL) why += ": the device's storage is full";
        return Fail(why + "; nothing was installed");
    }
    void Line(const std::string& line) {
        if (m_silent) return;
        std::fprintf(m_out, "%s\n", line.c_str());
        std::fflush(m_out);
    }

    static bool HasValue(HKEY root, const std::u16string& keyPath, const std::u16string& name) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, keyPath.c_str(), 0, 0, &key) != ERROR_SUCCESS) return false;
        const bool has = RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        RegCloseKey(key);
        return has;
    }

    // A key holding no values, directly or in any subkey.
    static bool KeyIsEmptyTree(HKEY root, const std::u16string& path) {
        if (KeyIsEmpty(root, path)) return true;
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, path.c_str(), 0, 0, &key) != ERROR_SUCCESS) return false;
        DWORD values = 0;
        bool empty = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                                      nullptr, nullptr, nullptr) == ERROR_SUCCESS && values == 0;
        for (DWORD i = 0; empty; ++i) {
            WCHAR child[256];
            DWORD size = 256;
            if (RegEnumKeyExW(key, i, child, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            empty = KeyIsEmptyTree(root, path + u"\\" + child);
        }
        RegCloseKey(key);
        return empty;
    }

    bool StagedFromCabinet(const std::u16string& cabFile, std::string* bytes) {
        std::string content, why;
        int codePage = host::kDefaultAnsiCodePage;
        if (host::Device* device = host::CurrentDevice()) host::DeviceAnsiCodePage(*device, &codePage, &why);
        host::CeCabinet cabinet;
        if (cabFile.empty() || !ReadDeviceFile(cabFile, kMaxCabinetBytes, &content, &why) ||
            !host::ReadCeCabinet(content, host::CabinetLimits{}, codePage, &cabinet, &why))
            return false;
        const host::CabinetMember* setup = cabinet.Member(host::kSetupLibraryMember);
        if (!setup) return false;
        *bytes = setup->bytes;
        return true;
    }

    std::FILE* m_out;
    bool m_silent = false;
    std::FILE* m_err;
    std::string m_subject;
};

// The next word of a command line: quoted text without its quotes, or a run without spaces.
std::u16string NextWord(std::u16string_view* rest) {
    while (!rest->empty() && rest->front() == u' ') rest->remove_prefix(1);
    std::u16string word;
    if (!rest->empty() && rest->front() == u'"') {
        const size_t end = rest->find(u'"', 1);
        word = rest->substr(1, end == std::u16string_view::npos ? std::u16string_view::npos : end - 1);
        rest->remove_prefix(end == std::u16string_view::npos ? rest->size() : end + 1);
        return word;
    }
    const size_t end = std::min(rest->find(u' '), rest->size());
    word = rest->substr(0, end);
    rest->remove_prefix(end);
    return word;
}

// The rest of the line as one argument: without its quotes when it is quoted whole.
std::u16string Remainder(std::u16string_view rest) {
    while (!rest.empty() && (rest.front() == u' ' || rest.front() == u'\t')) rest.remove_prefix(1);
    while (!rest.empty() && (rest.back() == u' ' || rest.back() == u'\t')) rest.remove_suffix(1);
    if (rest.size() >= 2 && rest.front() == u'"' && rest.back() == u'"' &&
        rest.substr(1, rest.size() - 2).find(u'"') == std::u16string_view::npos)
        rest = rest.substr(1, rest.size() - 2);
    return std::u16string(rest);
}

}  // namespace

int RunCabInstaller(std::u16string_view commandLine, std::FILE* out, std::FILE* err) {
    Installer installer(out, err);
    std::u16string_view rest = commandLine;
    for (;;) {
        std::u16string_view peek = rest;
        const std::u16string word = NextWord(&peek);
        if (word.empty() || word.front() != u'/') break;
        rest = peek;
        if (EqualsNoCase(word, u"/noui")) continue;
        if (EqualsNoCase(word, u"/silent")) {
            installer.Silence();
            continue;
        }
        if (EqualsNoCase(word, u"/u")) {
            const std::u16string name = Remainder(rest);
            if (name.empty()) return installer.Usage("/u needs the name of an installed application");
            return installer.Remove(name);
        }
        return installer.Usage("unknown switch " + ToUtf8(word));
    }
    const std::u16string path = Remainder(rest);
    if (path.empty()) return installer.Usage("no cabinet given");
    return installer.Install(path);
}

}  // namespace standins
