// Device contexts and brushes: the GDI objects besides bitmaps (bitmap.h). Like bitmaps they
// belong to the process, live in handle tables of their own, and a handle that was never handed
// out or was deleted finds nothing; values are never reused within a process.
//
// A context draws into one surface: the bitmap selected into a memory context, or the surface
// of the window a window context belongs to. Its clip list limits every drawing call; an empty
// list means the whole surface. Nothing here allocates once a context exists, so painting
// through long-lived contexts allocates nothing.
#pragma once

#include <memory>

#include "host/gdi/bitmap.h"
#include "platform/wintypes.h"

namespace host {

class Window;

struct DeviceContext {
    static constexpr int kMaxClipRects = 16;
    enum class Kind { Memory, Window };

    Kind kind = Kind::Memory;
    HBITMAP bitmap = nullptr;  // memory contexts: the bitmap selected
    Bitmap* surface = nullptr;  // where drawing lands; null once a window is gone
    HWND window = nullptr;
    HBRUSH brush = nullptr;
    COLORREF textColor = 0x000000;
    COLORREF bkColor = 0xFFFFFF;
    // Null: ExtTextOutW draws in the emulator's fixed cell font, the text calls of fonts
    // (DrawTextW, metrics, extents) in the system font.
    HFONT font = nullptr;
    int bkMode = 2;  // OPAQUE
    UINT textAlign = 0;
    RECT clip[kMaxClipRects]{};
    int clipCount = 0;
};

// Counts the context's brush as held.
HDC RegisterDC(std::unique_ptr<DeviceContext> dc);
// Null for a value that is not a live context. The pointer stays valid until RemoveDC.
DeviceContext* DCFromHandle(HDC handle);
// Takes the context out of the table and lets go of the bitmap and brush it held; false for
// an unknown handle.
bool RemoveDC(HDC handle);
// Every context of window stops drawing (its surface is gone).
void DetachWindowDCs(HWND window);

struct Brush {
    COLORREF color = 0;
    bool stock = false;      // system-colour and stock brushes are never deleted
    int selections = 0;      // contexts holding it
};

// A solid brush of that colour; stock brushes are not made here.
HBRUSH CreateBrush(COLORREF color);
// Live brushes and stock brushes; null otherwise.
Brush* BrushFromHandle(HBRUSH handle);
// False for unknown or stock handles.
bool DeleteBrush(HBRUSH handle);

// System colours; the index may carry the index flag. False for an index the device lacks.
bool SysColor(int index, COLORREF* color);
// The stock brush of a system colour, or null.
HBRUSH SysColorBrush(int index);
// The stock brush a new context holds (white).
HBRUSH DefaultBrush();
HBRUSH StockBrush(int object);

// COLORREF (0x00BBGGRR) and pixel (0x00RRGGBB) orders.
inline uint32_t ColorToPixel(COLORREF c) { return (c & 0xFF) << 16 | (c & 0xFF00) | ((c >> 16) & 0xFF); }
inline COLORREF PixelToColor(uint32_t p) { return (p & 0xFF) << 16 | (p & 0xFF00) | ((p >> 16) & 0xFF); }

}  // namespace host
