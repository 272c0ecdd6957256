// Fonts: what an HFONT stands for on the host, and text drawn with it. Every face is drawn with
// the DejaVu outline fonts (regular, or bold from a weight of 600), which hold Latin, Cyrillic
// and Greek, rendered monochrome as the device's screens show text without smoothing. Font
// handles live in a process-wide table of their own; the system font is a stock object.
#pragma once

#include <string_view>

#include "host/gdi/gdi_objects.h"
#include "platform/gdi.h"

namespace host {

struct Font {
    LOGFONTW logical{};
    bool stock = false;
};

HFONT RegisterFont(const LOGFONTW& logical);
const Font* FontFromHandle(HFONT handle);
// False for unknown or stock handles.
bool DeleteFont(HFONT handle);
// The system font: the sans serif at 9 points of the screen's pixels per inch.
HFONT SystemFont();

// The screen's pixels per inch: 96 up to a 240-pixel short side, 192 from 480 on, in between in
// proportion.
int ScreenPixelsPerInch();

struct FontMetrics {
    int height = 0;  // ascent + descent
    int ascent = 0;
    int descent = 0;
    int internalLeading = 0;
    int aveCharWidth = 0;
    int maxCharWidth = 0;
    int weight = FW_NORMAL;
};
// False when the outline fonts cannot be read (the trace says why).
bool MeasureFont(const LOGFONTW& logical, FontMetrics* metrics);
// The advance of the text in pixels.
int TextWidth(const LOGFONTW& logical, std::u16string_view text);

// Draws text with the top of its cell at (x, y) in colour, clipped to the context's clip list and
// to clip (when given); nothing behind the glyphs changes.
void DrawFontText(DeviceContext& dc, const LOGFONTW& logical, int x, int y, std::u16string_view text, COLORREF color,
                  const RECT* clip);

// ExtTextOutW with a font: (x, y) placed by the context's alignment, the cell's background filled
// in an opaque background mode, ETO_OPAQUE filling rect and ETO_CLIPPED clipping to it.
void DrawFontTextOut(DeviceContext& dc, const LOGFONTW& logical, int x, int y, UINT options, const RECT* rect,
                     std::u16string_view text);

}  // namespace host
