// The process's window table, shared by the files of the window layer (window.cpp for surfaces,
// painting and the capture; window_manager.cpp for classes, procedures, placement and queues).
// Not for use outside host/.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "host/kernel/device.h"
#include "host/windows/window.h"
#include "platform/winerror.h"

namespace host {

struct WindowTable {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::unique_ptr<Window>> live;
    uintptr_t next = 1;
    HWND capture = nullptr;
    // Top-level windows, topmost first. A new one goes on top.
    std::vector<HWND> stack;
    HWND foreground = nullptr;
    HWND active = nullptr;
};

inline constexpr uintptr_t kWindowBase = 0x00A00000u;
inline constexpr uintptr_t kWindowStep = 4;

WindowTable& Windows();
// Hands out a handle for the window and records it in window->handle.
HWND AddWindow(std::unique_ptr<Window> window);
// Frees one window's entry (no messages, no children); its contexts stop drawing and it loses
// the capture. False for an unknown handle.
bool RemoveWindow(HWND window);
// The live window a handle names, or null. The table's lock is held.
Window* Live(WindowTable& table, HWND window);

// Runs use on the live window under the table's lock; for a handle that names no live window,
// ERROR_INVALID_WINDOW_HANDLE and the fallback.
template <class T, class Use>
T WithWindow(HWND window, T fallback, Use use) {
    WindowTable& table = Windows();
    std::lock_guard guard(table.lock);
    Window* found = Live(table, window);
    if (!found) {
        SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return fallback;
    }
    return use(table, *found);
}

// The live window a handle names, looked up under the lock; null with
// ERROR_INVALID_WINDOW_HANDLE when there is none. For callers that do not hold the lock and only
// need the window to exist (its fields are then read without the lock, on the window's thread).
Window* FindLive(HWND window);

// Records the calling thread as one that has windows (AddWindow calls it), so that messages
// other threads send to them wait for it, and are answered with 0 once it has ended.
void NoteWindowThread();

// A thread blocked in GetMessageW looks again (an update region may have appeared).
void WakeMessageWaiters();

}  // namespace host
