// Device bitmaps: what an HBITMAP stands for on the host. Pixels are kept decoded as
// 0x00RRGGBB, rows top-down, so the drawing code reads any depth the same way; the stored depth,
// the palette and (for palette depths) the palette index of every pixel are kept too, which is
// what monochrome masks are tested on. Drawing keeps a monochrome bitmap's indices in step with
// its pixels (the palette entry of each shade); a 4- or 8-bit bitmap drawn into keeps exact
// colours and its indices as loaded.
//
// Handles are entries of a process-wide table (GDI objects belong to the process, not to a
// device): a value that was never handed out or was deleted finds nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace host {

class Bitmap {
public:
    // Refuses sizes whose pixel count exceeds kMaxPixels.
    static constexpr uint64_t kMaxPixels = 1u << 26;

    // A blank bitmap (pixels 0) of that size and depth (1, 4, 8, 16, 24 or 32); null when the
    // size is not positive or too large.
    static std::unique_ptr<Bitmap> Create(int width, int height, int depth);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // 1 for monochrome bitmaps, else the depth the bitmap was stored with.
    int Depth() const { return m_depth; }
    // Bytes per row as the platform reports them: rows padded to 16 bits.
    int WidthBytes() const { return ((m_width * m_depth + 15) / 16) * 2; }

    uint32_t Pixel(int x, int y) const { return m_pixels[Index(x, y)]; }
    void SetPixel(int x, int y, uint32_t rgb) { m_pixels[Index(x, y)] = rgb & 0x00FFFFFFu; }
    // Palette index of a pixel of a bitmap that has a palette (depth 8 or less), else 0.
    uint8_t PaletteIndex(int x, int y) const { return m_indices.empty() ? 0 : m_indices[Index(x, y)]; }
    void SetPaletteIndex(int x, int y, uint8_t index);
    // Monochrome bitmaps: the pixel becomes white or black and its index the palette entry of
    // that shade.
    void SetMono(int x, int y, bool white) {
        size_t i = Index(x, y);
        m_pixels[i] = white ? 0xFFFFFFu : 0u;
        if (!m_indices.empty()) m_indices[i] = static_cast<uint8_t>(white ? m_whiteIndex : 1 - m_whiteIndex);
    }

    // The pixels of row y, left to right.
    uint32_t* Row(int y) { return m_pixels.data() + Index(0, y); }
    const uint32_t* Row(int y) const { return m_pixels.data() + Index(0, y); }
    std::vector<uint32_t>& Pixels() { return m_pixels; }
    const std::vector<uint32_t>& Pixels() const { return m_pixels; }
    // 0x00RRGGBB entries; empty for direct-colour depths.
    const std::vector<uint32_t>& Palette() const { return m_palette; }
    void SetPalette(std::vector<uint32_t> palette);

    // The device context the bitmap is selected into, or null. A bitmap lives in at most one
    // context at a time and cannot be deleted while it is there.
    const void* SelectedInto() const { return m_selectedInto; }
    void SetSelectedInto(const void* dc) { m_selectedInto = dc; }

private:
    Bitmap(int width, int height, int depth);
    size_t Index(int x, int y) const { return static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x); }

    int m_width;
    int m_height;
    int m_depth;
    std::vector<uint32_t> m_pixels;
    std::vector<uint8_t> m_indices;
    std::vector<uint32_t> m_palette;
    const void* m_selectedInto = nullptr;
    int m_whiteIndex = 1;
};

// Decodes a stored DIB (BITMAPINFOHEADER or a later header, colour table, bits) as a bitmap
// resource holds it: 1, 4, 8, 24 and 32 bits, BI_RGB, and BI_BITFIELDS for 32 bits; rows
// bottom-up or top-down (negative height). Null with a reason for compressed (RLE) data,
// other depths, absurd sizes, or a table or bits cut short.
std::unique_ptr<Bitmap> DecodeDib(std::span<const uint8_t> dib, std::string* error);

// The handle table.
HBITMAP RegisterBitmap(std::unique_ptr<Bitmap> bitmap);
// Null for a value that is not a live bitmap. The pointer stays valid until DeleteBitmap.
Bitmap* BitmapFromHandle(HBITMAP handle);
bool IsBitmapHandle(const void* handle);
// False when the handle is not a live bitmap.
bool DeleteBitmap(HBITMAP handle);

// The process's stock 1x1 monochrome bitmap that every new memory device context holds. It is
// never deleted and may be selected into any number of contexts.
HBITMAP StockBitmap();

}  // namespace host
