// A program for the process tests to start on a device. It opens the image it was started on,
// records what it was given under HKEY_CURRENT_USER\Software\VxProcessTest, and ends.
// Command-line words: "exit:N" ends with code N, "sleep:MS" waits MS milliseconds first.
#include <cstdio>
#include <string>

#include "host/kernel/device.h"
#include "host/kernel/process.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/toolhelp.h"

namespace {

void WriteText(HKEY key, const WCHAR* name, const std::u16string& text) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

// The value after "word:" in the command line, or fallback.
DWORD Option(const std::u16string& commandLine, const std::u16string& word, DWORD fallback) {
    const size_t at = commandLine.find(word + u":");
    if (at == std::u16string::npos) return fallback;
    return static_cast<DWORD>(wcstoul(commandLine.c_str() + at + word.size() + 1, nullptr, 10));
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    auto device = host::OpenStartedDevice(&error);
    if (!device) {
        std::fprintf(stderr, "proc_child: %s\n", error.c_str());
        return 100;
    }
    host::ScopedDevice scope(device.get());
    const std::u16string commandLine = host::StartedCommandLine(argc, argv);

    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\VxProcessTest", 0, nullptr, 0, 0, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return 101;
    WriteText(key, u"CommandLine", commandLine);
    WriteText(key, u"ArgumentCount", FromUtf8(std::to_string(argc)));
    const DWORD id = GetCurrentProcessId();
    RegSetValueExW(key, u"ProcessId", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&id), sizeof id);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    if (snapshot != INVALID_HANDLE_VALUE && Process32First(snapshot, &entry)) WriteText(key, u"SelfName", entry.szExeFile);
    if (snapshot != INVALID_HANDLE_VALUE) CloseToolhelp32Snapshot(snapshot);
    RegCloseKey(key);

    if (DWORD ms = Option(commandLine, u"sleep", 0)) Sleep(ms);
    return static_cast<int>(Option(commandLine, u"exit", 0));
}
