#include "process_commands.h"

#include <iterator>
#include <string>

#include "platform/files.h"
#include "platform/processes.h"
#include "platform/text.h"
#include "platform/toolhelp.h"
#include "script_trace.h"

namespace {

const WCHAR* const kAppletClassExclusions[] = {u"Dialog", u"Worker", u"menu_worker", u"HHTaskBar", u"MS_SIPBUTTON"};
const WCHAR* const kTitleExclusions[] = {u"Pocket PC Emulation", u"CursorWindow"};
const WCHAR* const kShellNames[] = {u"shell32.exe", u"shell32r.exe"};

// Names compare exactly, case included.
bool Listed(const WCHAR* name, const WCHAR* const* names, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (wcscmp(name, names[i]) == 0) return true;
    return false;
}

struct PassEntry {
    HWND window;
    BYTE dialog;
};

void AskToClose(const PassEntry& entry) {
    if (entry.dialog) {
        CloseDialogWindow(entry.window);
    } else {
        CloseWindowPolitely(entry.window);
    }
}

}  // namespace

const CloseExclusions& AppletCloseExclusions() {
    static const CloseExclusions exclusions{kAppletClassExclusions, std::size(kAppletClassExclusions)};
    return exclusions;
}

int IsCloseCandidate(const ProcessList* list, HWND window, WCHAR* title, WCHAR* className, int* excluded,
                     const CloseExclusions& exclusions) {
    title[0] = 0;
    className[0] = 0;
    *excluded = 0;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (!IsWindowVisible(window)) return 0;
    GetWindowTextW(window, title, kCloseNameUnits);
    if (!title[0] || Listed(title, kTitleExclusions, std::size(kTitleExclusions))) return 0;
    GetClassNameW(window, className, kCloseNameUnits);
    if (!className[0] || Listed(className, exclusions.classes, exclusions.classCount)) return 0;
    if (list) {
        for (DWORD i = 0; i < list->count && i < std::size(list->ids); ++i) {
            if (list->ids[i] != owner) continue;
            *excluded = 1;
            return (static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)) & 0x80000000u) ? 1 : 0;
        }
    }
    return 1;
}

void CloseAllWindows(const ProcessList* list, BOOL spareForeground, int activateDesktop,
                     const CloseExclusions& exclusions) {
    HWND spared = spareForeground ? GetForegroundWindow() : nullptr;
    for (int pass = 0; pass < 4; ++pass) {
        PassEntry collected[kClosePassWindows] = {};
        int count = 0;
        const bool workersOnly = pass % 2 == 0;
        for (HWND window = GetWindow(nullptr, GW_CHILD); window && count < kClosePassWindows;
             window = GetWindow(window, GW_HWNDNEXT)) {
            WCHAR title[kCloseNameUnits];
            WCHAR cls[kCloseNameUnits];
            int excluded = 0;
            if (!IsCloseCandidate(list, window, title, cls, &excluded, exclusions) || excluded || window == spared)
                continue;
            const bool dialog = wcscmp(cls, u"Dialog") == 0;
            if (workersOnly && !dialog && wcscmp(cls, u"Worker") != 0) continue;
            collected[count++] = PassEntry{window, static_cast<BYTE>(dialog ? 1 : 0)};
        }
        for (int i = 0; i < count; ++i) AskToClose(collected[i]);
        // Programs that did not close at once are asked a second time before the next pass.
        for (int i = 0; i < count; ++i)
            if (IsWindow(collected[i].window)) AskToClose(collected[i]);
    }
    if (!spareForeground && activateDesktop == -1) {
        if (HWND desktop = FindWindowW(u"DesktopExplorerWindow", nullptr)) SetForegroundWindow(desktop);
    }
}

void CloseWindowPolitely(HWND window) {
    SetForegroundWindow(window);
    WCHAR cls[16] = {};
    GetClassNameW(window, cls, 16);
    if (cls[0]) {
        if (wcsncmp(cls, u"WMP ", 4) == 0) {
            // The window just brought forward needs a moment to take the keyboard.
            Sleep(100);
            keybd_event(VK_CONTROL, 0, 0, 1);
            keybd_event('Q', 0, 0, 1);
            keybd_event('Q', 0, KEYEVENTF_KEYUP, 1);
            keybd_event(VK_CONTROL, 0, KEYEVENTF_KEYUP, 1);
        }
        if (wcscmp(cls, u"Dialog") == 0) {
            CloseDialogWindow(window);
            if (!IsWindow(window)) return;
        }
    }
    PostMessageW(window, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(window));
    PostMessageW(window, WM_CLOSE, 0, 0);
}

void CloseDialogWindow(HWND window) {
    WCHAR cls[32] = {};
    GetClassNameW(window, cls, 32);
    if (wcscmp(cls, u"Dialog") == 0) {
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    } else {
        SetForegroundWindow(window);
        SetActiveWindow(window);
    }
}

int CollectShellProcesses(ProcessList* list) {
    list->count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        const WCHAR* name = entry.szExeFile;
        if (const WCHAR* slash = wcsrchr(name, u'\\')) name = slash + 1;
        if (!Listed(name, kShellNames, std::size(kShellNames))) continue;
        // The list holds four; later shells are not spared.
        if (list->count < std::size(list->ids)) list->ids[list->count++] = entry.th32ProcessID;
    }
    CloseToolhelp32Snapshot(snapshot);
    return 1;
}

DWORD StopAllWith(const ProcessList* list, const CloseExclusions& exclusions) {
    CloseAllWindows(list, TRUE, 0, exclusions);
    return 1;
}

DWORD CmdStopAll(CommandTable* table, AttributeMap* /*attributes: none*/, int* /*handled: stays set*/) {
    return StopAllWith(table ? table->m_pProcessList : nullptr, AppletCloseExclusions());
}

DWORD CmdStartProcess(CommandTable* /*table*/, AttributeMap* attributes, int* /*handled: stays set*/) {
    const WCHAR* name = NeededAttribute(attributes, u"NAME");
    if (!name) return 0;
    const WCHAR* given = attributes->Find(u"CMDLINE");
    // The call may write to the command line, so it gets a copy.
    std::u16string commandLine = given ? given : u"";
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(name, given ? commandLine.data() : nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        nullptr, &info))
        return 0;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return 1;
}
