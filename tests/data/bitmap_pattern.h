// The pixel pattern of the generated test bitmaps. The generator writes it in the stored BMP
// layout of each depth; the resource tests read the decoded device bitmaps back against it.
#pragma once

#include <cstdint>

namespace testdata {

struct PatternBitmap {
    const char* file;    // BMP file name, also the resource name in the .rc sources
    int width;
    int height;
    int depth;           // 1, 4, 8, 24 or 32
    bool topDown;        // stored with a negative height
    int paletteSize;     // entries written (biClrUsed when smaller than 1 << depth)
    bool bitfields;      // 32 bits with BI_BITFIELDS and the unusual masks below
};

// Odd widths make every row need padding; the 4-bit file stores a short palette.
inline constexpr PatternBitmap kPatternBitmaps[] = {
    {"bpp1.bmp", 13, 5, 1, false, 2, false},     {"bpp1td.bmp", 9, 3, 1, true, 2, false},
    {"bpp4.bmp", 7, 3, 4, false, 6, false},      {"bpp8.bmp", 5, 4, 8, false, 256, false},
    {"bpp8td.bmp", 5, 4, 8, true, 256, false},   {"bpp24.bmp", 5, 3, 24, false, 0, false},
    {"bpp24td.bmp", 3, 2, 24, true, 0, false},   {"bpp32.bmp", 4, 3, 32, false, 0, false},
    {"bpp32bf.bmp", 4, 3, 32, false, 0, true},
};

// Masks of the BI_BITFIELDS file: red, green and blue in the upper three bytes, so that a
// reader that ignores the masks gets other colours.
inline constexpr uint32_t kRedMask = 0x0000FF00u, kGreenMask = 0x00FF0000u, kBlueMask = 0xFF000000u;

inline int PatternIndex(const PatternBitmap& b, int x, int y) {
    int colours = b.depth == 1 ? 2 : b.paletteSize;
    return (x * 3 + y * 5) % colours;
}

// Palette entry i as 0x00RRGGBB.
inline uint32_t PatternPalette(int i) {
    uint32_t r = (i * 37 + 11) & 0xFF, g = (i * 91 + 5) & 0xFF, b = (i * 13 + 7) & 0xFF;
    return (r << 16) | (g << 8) | b;
}

// Direct colour of pixel (x, y) of a 24 or 32-bit file as 0x00RRGGBB; y counts from the top.
inline uint32_t PatternColour(int x, int y) {
    uint32_t r = (x * 40 + y) & 0xFF, g = (y * 50 + 3) & 0xFF, b = (x * y * 7 + 1) & 0xFF;
    return (r << 16) | (g << 8) | b;
}

// Expected decoded pixel, whatever the depth.
inline uint32_t PatternPixel(const PatternBitmap& b, int x, int y) {
    return b.depth <= 8 ? PatternPalette(PatternIndex(b, x, y)) : PatternColour(x, y);
}

}  // namespace testdata
