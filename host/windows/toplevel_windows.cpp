// Top-level windows as other programs see them: the stacking order, titles and class names, the
// owning process, the foreground and active windows, synthesised keystrokes, and the observer
// that front ends and tests use to watch what every window is told.
#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

#include "host/kernel/device.h"
#include "platform/text.h"
#include "platform/windows.h"
#include "host/windows/window.h"
#include "host/windows/window_table.h"

namespace host {

namespace {

struct ObserverSlot {
    std::mutex lock;
    std::shared_ptr<WindowObserver> observer;
};

ObserverSlot& Observer() {
    static ObserverSlot* slot = new ObserverSlot;  // never destroyed: windows may post during exit
    return *slot;
}

// Copies text into buffer as the platform's text getters do. The lock is not needed.
int CopyOut(const std::u16string& text, LPWSTR buffer, int maxCount) {
    if (!buffer || maxCount <= 0) {
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const size_t units = std::min(text.size(), static_cast<size_t>(maxCount - 1));
    std::copy_n(text.data(), units, buffer);
    buffer[units] = 0;
    return static_cast<int>(units);
}

// The top-level window that holds window. The lock is held.
HWND TopLevelOf(WindowTable& table, HWND window) {
    Window* found = Live(table, window);
    while (found && found->parent) {
        Window* up = Live(table, found->parent);
        if (!up) break;
        found = up;
    }
    return found ? found->handle : nullptr;
}

}  // namespace

void SetWindowObserver(WindowObserver observer) {
    ObserverSlot& slot = Observer();
    std::lock_guard guard(slot.lock);
    slot.observer = observer ? std::make_shared<WindowObserver>(std::move(observer)) : nullptr;
}

void NotifyWindowObserver(const WindowEvent& event) {
    std::shared_ptr<WindowObserver> observer;
    {
        ObserverSlot& slot = Observer();
        std::lock_guard guard(slot.lock);
        observer = slot.observer;
    }
    if (observer) (*observer)(event);
}

std::string FormatWindowEvent(const WindowEvent& event) {
    char line[160];
    const auto handle = static_cast<unsigned>(reinterpret_cast<uintptr_t>(event.window));
    const std::string cls = ToUtf8(event.className);
    switch (event.kind) {
    case WindowEventKind::Posted:
    case WindowEventKind::Sent: {
        std::snprintf(line, sizeof line, " 0x%08X \"", handle);
        std::string text = (event.kind == WindowEventKind::Posted ? "Message" : "SendMessage") + std::string(line) + cls;
        std::snprintf(line, sizeof line, "\" 0x%04X 0x%08X 0x%08X", event.message, static_cast<unsigned>(event.wParam),
                      static_cast<unsigned>(event.lParam));
        return text + line;
    }
    case WindowEventKind::Keystroke:
        std::snprintf(line, sizeof line, "keybd_event 0x%02X 0x%08X", event.vk, event.flags);
        return line;
    case WindowEventKind::Foreground:
        std::snprintf(line, sizeof line, "SetForegroundWindow 0x%08X \"", handle);
        return line + cls + "\"";
    case WindowEventKind::Started:
        return "StartProcess \"" + ToUtf8(event.program) + "\" \"" + ToUtf8(event.commandLine) + "\"";
    }
    return {};
}

bool SetWindowProcess(HWND window, DWORD processId) {
    auto& table = Windows();
    std::lock_guard guard(table.lock);
    Window* found = Live(table, window);
    if (!found) return false;
    found->processId = processId;
    return true;
}


}  // namespace host

HWND GetWindow(HWND window, UINT command) {
    auto& table = host::Windows();
    std::lock_guard guard(table.lock);
    if (!window) {
        // The desktop's children are the top-level windows.
        if (command == GW_CHILD && !table.stack.empty()) return table.stack.front();
        if (command != GW_CHILD) host::SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    host::Window* found = host::Live(table, window);
    if (!found) {
        host::SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (command == GW_CHILD) return found->children.empty() ? nullptr : found->children.back();
    if (command == GW_OWNER) return nullptr;
    // Siblings topmost first: the stack for top-level windows; a parent keeps its children
    // bottom first, so they are read backwards.
    std::vector<HWND> siblings;
    if (host::Window* parent = host::Live(table, found->parent)) {
        siblings.assign(parent->children.rbegin(), parent->children.rend());
    } else {
        siblings = table.stack;
    }
    auto at = std::find(siblings.begin(), siblings.end(), window);
    if (at == siblings.end()) return nullptr;
    switch (command) {
    case GW_HWNDFIRST: return siblings.front();
    case GW_HWNDLAST: return siblings.back();
    case GW_HWNDNEXT: return at + 1 == siblings.end() ? nullptr : *(at + 1);
    case GW_HWNDPREV: return at == siblings.begin() ? nullptr : *(at - 1);
    default: host::SetLastErrorCode(ERROR_INVALID_PARAMETER); return nullptr;
    }
}

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
    auto& table = host::Windows();
    std::lock_guard guard(table.lock);
    for (HWND candidate : table.stack) {
        host::Window* found = host::Live(table, candidate);
        if (!found) continue;
        if (className && !EqualsNoCase(found->className, className)) continue;
        if (windowName && found->title != windowName) continue;
        return candidate;
    }
    host::SetLastErrorCode(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

int GetClassNameW(HWND window, LPWSTR className, int maxCount) {
    std::u16string name;
    if (!host::WithWindow(window, false, [&](host::WindowTable&, host::Window& w) {
            name = w.className;
            return true;
        })) return 0;
    return host::CopyOut(name, className, maxCount);
}

int GetWindowTextW(HWND window, LPWSTR text, int maxCount) {
    std::u16string title;
    if (!host::WithWindow(window, false, [&](host::WindowTable&, host::Window& w) {
            title = w.title;
            return true;
        })) {
        if (text && maxCount > 0) text[0] = 0;
        return 0;
    }
    return host::CopyOut(title, text, maxCount);
}

int GetWindowTextLengthW(HWND window) {
    return host::WithWindow(window, 0, [](host::WindowTable&, host::Window& w) { return static_cast<int>(w.title.size()); });
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
    if (!IsWindow(window)) {
        host::SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId) {
    return host::WithWindow(window, DWORD{0}, [&](host::WindowTable&, host::Window& w) {
        if (processId) *processId = w.processId;
        return w.threadId;
    });
}

HWND GetForegroundWindow() {
    auto& table = host::Windows();
    std::lock_guard guard(table.lock);
    return table.foreground;
}

BOOL SetForegroundWindow(HWND window) {
    host::WindowEvent event;
    event.kind = host::WindowEventKind::Foreground;
    {
        auto& table = host::Windows();
        std::lock_guard guard(table.lock);
        HWND top = host::TopLevelOf(table, window);
        if (!top) {
            host::SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        std::erase(table.stack, top);
        table.stack.insert(table.stack.begin(), top);
        table.foreground = top;
        table.active = top;
        event.window = window;
        event.className = host::Live(table, window)->className;
    }
    host::NotifyWindowObserver(event);
    return TRUE;
}

HWND GetActiveWindow() {
    auto& table = host::Windows();
    std::lock_guard guard(table.lock);
    return table.active;
}

HWND SetActiveWindow(HWND window) {
    auto& table = host::Windows();
    std::lock_guard guard(table.lock);
    HWND top = host::TopLevelOf(table, window);
    if (!top) {
        host::SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return std::exchange(table.active, top);
}

void keybd_event(BYTE vk, BYTE scan, DWORD flags, DWORD extraInfo) {
    // The host has no keyboard focus to deliver keys to; the keystroke is only reported.
    host::WindowEvent event;
    event.kind = host::WindowEventKind::Keystroke;
    event.vk = vk;
    event.scan = scan;
    event.flags = flags;
    event.extraInfo = extraInfo;
    host::NotifyWindowObserver(event);
}
