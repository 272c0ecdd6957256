#include "host/shell/startup.h"

#include <algorithm>
#include <vector>

#include "host/kernel/ansi_codepage.h"
#include "host/kernel/device.h"
#include "host/shell/shortcut.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/text.h"

namespace host {

namespace {

// A shortcut is one short line; anything larger is not one.
constexpr DWORD kMaxShortcutBytes = 4096;

bool EndsWithNoCase(std::u16string_view name, std::u16string_view suffix) {
    return name.size() >= suffix.size() && EqualsNoCase(name.substr(name.size() - suffix.size()), suffix);
}

bool ReadShortcut(const Device& device, const std::u16string& path, Shortcut* shortcut, std::string* reason,
                  DWORD* error) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        *reason = "cannot open it";
        return false;
    }
    std::string bytes(kMaxShortcutBytes + 1, '\0');
    DWORD read = 0;
    const BOOL ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    const DWORD readError = GetLastError();
    CloseHandle(file);
    if (!ok) {
        *error = readError;
        *reason = "cannot read it";
        return false;
    }
    if (read > kMaxShortcutBytes) {
        *reason = "not a shortcut: larger than " + std::to_string(kMaxShortcutBytes) + " bytes";
        return false;
    }
    bytes.resize(read);
    int codePage = kDefaultAnsiCodePage;
    std::string ignored;
    DeviceAnsiCodePage(device, &codePage, &ignored);
    return ParseShortcut(bytes, codePage, shortcut, reason);
}

std::vector<std::u16string> Items() {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((std::u16string(kStartupFolder) + u"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end(),
              [](const std::u16string& a, const std::u16string& b) { return CompareNoCase(a, b) < 0; });
    return names;
}

std::string Resets(const Device& device) { return device.Setting(kResetCountSetting, "0"); }

}  // namespace

size_t RunStartupFolder(Device& device, const StartupObserver& observer) {
    const std::vector<std::u16string> names = Items();
    for (const std::u16string& name : names) {
        StartupItem item;
        item.file = std::u16string(kStartupFolder) + u"\\" + name;
        Shortcut shortcut;
        if (EndsWithNoCase(name, u".lnk")) {
            if (ReadShortcut(device, item.file, &shortcut, &item.reason, &item.error)) {
                item.program = shortcut.target;
                item.arguments = shortcut.arguments;
            }
        } else if (EndsWithNoCase(name, u".exe")) {
            item.program = item.file;
        } else {
            item.reason = "neither a shortcut nor a program";
        }
        if (item.program.empty()) {
            observer(item, true);
            continue;
        }
        observer(item, false);
        const std::string resetsBefore = Resets(device);
        std::u16string commandLine = item.arguments;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(item.program.c_str(), item.arguments.empty() ? nullptr : commandLine.data(), nullptr,
                            nullptr, FALSE, 0, nullptr, nullptr, nullptr, &process)) {
            item.error = GetLastError();
            item.reason = "cannot start " + ToUtf8(item.program);
            observer(item, true);
            continue;
        }
        CloseHandle(process.hThread);
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &item.exitCode);
        CloseHandle(process.hProcess);
        item.started = true;
        observer(item, true);
        if (Resets(device) != resetsBefore) break;
    }
    return names.size();
}

}  // namespace host
