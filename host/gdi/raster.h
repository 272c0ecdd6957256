// The pixel work behind the drawing calls: raster operations of three operands (pattern,
// source, destination) combined per pixel, masked block transfers, rectangle fills and text
// in a small built-in font. Everything works in place on the destination's surface, clipped to
// the surface and the context's clip list, and allocates nothing.
#pragma once

#include <cstdint>

#include "host/gdi/gdi_objects.h"

namespace host {

// The result of ROP3 code (the index byte of a raster operation) for pattern p, source s and
// destination d, bit by bit over 24-bit pixels.
inline uint32_t ApplyRop3(uint8_t code, uint32_t p, uint32_t s, uint32_t d) {
    constexpr uint32_t kAll = 0x00FFFFFFu;
    switch (code) {
    case 0x00: return 0;
    case 0xFF: return kAll;
    case 0xCC: return s & kAll;
    case 0x33: return ~s & kAll;
    case 0x66: return (s ^ d) & kAll;
    case 0x88: return s & d & kAll;
    case 0xEE: return (s | d) & kAll;
    case 0xF0: return p & kAll;
    case 0x55: return ~d & kAll;
    case 0xAA: return d & kAll;
    case 0x5A: return (p ^ d) & kAll;
    default: break;
    }
    // Any other code: the sum of the minterms its bits select. Bit (P << 2 | S << 1 | D) of
    // the code is the result for those operand bits.
    uint32_t result = 0;
    for (int term = 0; term < 8; ++term) {
        if (!((code >> term) & 1)) continue;
        result |= (term & 4 ? p : ~p) & (term & 2 ? s : ~s) & (term & 1 ? d : ~d);
    }
    return result & kAll;
}
inline bool RopUsesSource(uint8_t code) { return ((code >> 2) ^ code) & 0x33; }
inline bool RopUsesPattern(uint8_t code) { return ((code >> 4) ^ code) & 0x0F; }

// A monochrome bitmap's bit for a pixel: 1 for white, 0 for black.
inline bool MonoBit(uint32_t pixel) {
    return ((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF) >= 384;
}

struct BlitRequest {
    DeviceContext* dest = nullptr;
    int x = 0, y = 0, width = 0, height = 0;
    // The source, when the operations read one, with its context's background colour: a colour
    // source drawn into a monochrome destination gives white where it has that colour.
    const Bitmap* source = nullptr;
    int xSrc = 0, ySrc = 0;
    COLORREF sourceBkColor = 0xFFFFFF;
    // Foreground where the mask bit is 1 (and everywhere without a mask), background where it
    // is 0. Mask pixels beyond the mask bitmap count as 1.
    const Bitmap* mask = nullptr;
    int xMask = 0, yMask = 0;
    uint8_t foreground = 0xCC;
    uint8_t background = 0xCC;
};

// False when a needed source is missing or the destination has no surface.
bool Blit(const BlitRequest& request);

// Fills rect (right and bottom excluded) with a colour.
void FillSolid(DeviceContext& dc, const RECT& rect, COLORREF color);

// Built-in font metrics: every character cell is the same size.
inline constexpr int kCellWidth = 6;
inline constexpr int kCellHeight = 9;
inline constexpr int kAscent = 8;

// Text in the built-in font at (x, y) as the context's alignment places it, with its text and
// background colours; options ETO_OPAQUE and ETO_CLIPPED apply to rect.
void DrawText(DeviceContext& dc, int x, int y, UINT options, const RECT* rect, const WCHAR* text, UINT count,
              const int* dx);

}  // namespace host
