// The process's window table, shared by the files of the window layer (window.cpp for surfaces,
// painting and the capture; window_manager.cpp for classes, procedures, placement and queues).
// Not for use outside host/.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "host/windows/window.h"

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
// A thread blocked in GetMessageW looks again (an update region may have appeared).
void WakeMessageWaiters();

}  // namespace host
