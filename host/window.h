// Windows on the host: a window is a host object with a client area, a surface that its device
// contexts draw into, and an update region kept as a list of rectangles. This is the base the
// window and message layer builds on (window procedures, messages and children come with it);
// for now a host program creates the top-level panel window itself.
//
// Invariants: the update region's rectangles lie inside the client area and never overlap
// (a new invalid rectangle is added as the parts not already covered); the capture is held by
// at most one live window of the process.
#pragma once

#include <memory>
#include <vector>

#include "bitmap.h"
#include "platform/wintypes.h"

namespace host {

class Window {
public:
    Window(int width, int height, std::unique_ptr<Bitmap> surface);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    RECT ClientRect() const { return RECT{0, 0, m_width, m_height}; }
    // 32-bit colour, as large as the client area.
    Bitmap& Surface() { return *m_surface; }
    const Bitmap& Surface() const { return *m_surface; }

    // rect null: the whole client area. Parts outside the client area are dropped.
    void Invalidate(const RECT* rect, bool erase);
    // rect null: the whole update region goes.
    void Validate(const RECT* rect);
    const std::vector<RECT>& UpdateRects() const { return m_update; }
    // The smallest rectangle holding the update region; empty when there is none.
    RECT UpdateBounds() const;
    bool NeedsErase() const { return m_erase; }

private:
    int m_width;
    int m_height;
    std::unique_ptr<Bitmap> m_surface;
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

}  // namespace host
