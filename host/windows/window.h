// Windows on the host: a window is a host object with a client area, a surface that its device
// contexts draw into (made when the window is first drawn into: most windows of other programs
// never are, and a surface costs four bytes a pixel), and an update region kept as a list of
// rectangles. Around it sit the platform's window classes, procedures, children and the
// per-thread message queues (window.cpp), and the pen input that host programs feed in
// (PenEvent).
//
// Invariants: the update region's rectangles lie inside the client area and never overlap
// (a new invalid rectangle is added as the parts not already covered); the capture is held by
// at most one live window of the process; a window has no frame, so its window rectangle and
// its client area have the same size.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/gdi/bitmap.h"
#include "platform/windows.h"
#include "platform/wintypes.h"

namespace host {

class Window {
public:
    // A window of that client size has no surface yet; SizeFits tells whether it may have one.
    Window(int width, int height);
    // True when a surface of that size can be made (a side of 0 counts as 1).
    static bool SizeFits(int width, int height);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    RECT ClientRect() const { return RECT{0, 0, m_width, m_height}; }
    // 32-bit colour, as large as the client area (a side of 0 counts as 1); black when made here
    // on first use, which is what a window's device context draws into.
    Bitmap& Surface() { return MadeSurface(); }
    const Bitmap& Surface() const { return MadeSurface(); }
    // Bytes of pixels the window holds: 0 until it is first drawn into.
    size_t SurfaceBytes() const;

    // rect null: the whole client area. Parts outside the client area are dropped.
    void Invalidate(const RECT* rect, bool erase);
    // rect null: the whole update region goes.
    void Validate(const RECT* rect);
    const std::vector<RECT>& UpdateRects() const { return m_update; }
    // The smallest rectangle holding the update region; empty when there is none.
    RECT UpdateBounds() const;
    bool NeedsErase() const { return m_erase; }
    // The new size; a surface already made is replaced by one of that size keeping what stays
    // inside (its contexts stop drawing). The update region is cut to it. False when the size
    // does not fit.
    bool Resize(int width, int height);

    // What the window layer keeps beside the client area; window.cpp owns these.
    HWND handle = nullptr;
    HWND parent = nullptr;
    std::vector<HWND> children;
    WNDPROC proc = nullptr;
    UINT classStyle = 0;
    ATOM classAtom = 0;
    HBRUSH background = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    // Left-top corner in the parent's client coordinates (the screen for a top-level window).
    int x = 0;
    int y = 0;
    LONG id = 0;
    LONG_PTR userData = 0;
    std::vector<uint8_t> extra;
    std::thread::id thread;
    bool destroying = false;
    // Top-level windows keep what other programs look at: title, class name and owner.
    std::u16string title;
    std::u16string className;
    DWORD processId = 0;
    DWORD threadId = 0;

private:
    Bitmap& MadeSurface() const;

    int m_width;
    int m_height;
    // Made by a read as well: a new surface is black, as a window never drawn into looks.
    mutable std::unique_ptr<Bitmap> m_surface;
    std::vector<RECT> m_update;
    bool m_erase = false;
};

// The panel window of a host program: a top-level window of that client size; null when the
// size is not positive or too large.
HWND CreateHostWindow(int width, int height);
// Its device contexts stop drawing and it loses the capture. False for an unknown handle.
bool DestroyHostWindow(HWND window);
// Null for a value that is not a live window. The pointer stays valid until DestroyHostWindow.
Window* WindowFromHandle(HWND window);

enum class PenKind { Down, Move, Up };
// Delivers a pen event at (x, y) in the client coordinates of window: to the capture window if
// there is one, else to the deepest visible window under the point. A second pen-down on a
// window whose class has CS_DBLCLKS, within kDoubleClickTime ms (time is the caller's clock) and
// kDoubleClickDistance pixels of the first, becomes WM_LBUTTONDBLCLK. Returns the window that
// received the message, or null when none lay under the point.
constexpr DWORD kDoubleClickTime = 500;
constexpr int kDoubleClickDistance = 2;
HWND PenEvent(HWND window, PenKind kind, int x, int y, DWORD time);

// What the observer sees: messages posted (and sent with SendMessageW) to any window, every
// synthesised keystroke, every SetForegroundWindow and every program CreateProcessW started, in
// the order they happen.
enum class WindowEventKind { Posted, Sent, Keystroke, Foreground, Started };
struct WindowEvent {
    WindowEventKind kind = WindowEventKind::Posted;
    HWND window = nullptr;
    std::u16string className;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    BYTE vk = 0;
    BYTE scan = 0;
    DWORD flags = 0;
    DWORD extraInfo = 0;
    // Started: the program as CreateProcessW was given it, and its command line (empty for none).
    std::u16string program;
    std::u16string commandLine;
};
using WindowObserver = std::function<void(const WindowEvent&)>;
// One observer per process; an empty function removes it. It is called with no lock held.
void SetWindowObserver(WindowObserver observer);
// One line: Message 0x%08X "CLASS" 0x%04X 0x%08X 0x%08X (window, class, message, wParam,
// lParam), the same with SendMessage for a sent one, keybd_event 0x%02X 0x%08X (key, flags),
// SetForegroundWindow 0x%08X "CLASS", StartProcess "NAME" "CMDLINE".
std::string FormatWindowEvent(const WindowEvent& event);
void NotifyWindowObserver(const WindowEvent& event);

// For simulated programs: the process a window belongs to (GetWindowThreadProcessId), and
// whether posted messages reach its procedure at once. False for an unknown window.
bool SetWindowProcess(HWND window, DWORD processId);

}  // namespace host
