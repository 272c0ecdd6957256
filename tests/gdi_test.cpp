// The drawing calls as the platform defines them: memory device contexts and their stock bitmap,
// selection and deletion rules, masked and plain block transfers with their raster operations
// (pixel-exact on 8x8 bitmaps), fills, system colours and text.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "host/gdi/bitmap.h"
#include "host/gdi/raster.h"
#include "platform/gdi.h"

namespace {

constexpr DWORD kSentinel = 0xDEADBEEF;

// A 32-bit bitmap whose pixel (x, y) is Colour(x, y).
uint32_t Colour(int x, int y) { return static_cast<uint32_t>(0x100000 * (x + 1) + 0x000800 * (y + 1) + 0x21); }

HBITMAP ColourBitmap(int width, int height, uint32_t (*colour)(int, int)) {
    std::vector<uint8_t> bits(static_cast<size_t>(width * height * 4));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t c = colour(x, y);
            uint8_t* q = &bits[static_cast<size_t>((y * width + x) * 4)];
            q[0] = static_cast<uint8_t>(c);
            q[1] = static_cast<uint8_t>(c >> 8);
            q[2] = static_cast<uint8_t>(c >> 16);
        }
    return CreateBitmap(width, height, 1, 32, bits.data());
}

// An 8x8 monochrome bitmap from one byte per row (bit 7 is x = 0), rows padded to 16 bits.
HBITMAP Mask8(const std::array<uint8_t, 8>& rows) {
    uint8_t bits[16] = {};
    for (int y = 0; y < 8; ++y) bits[y * 2] = rows[static_cast<size_t>(y)];
    return CreateBitmap(8, 8, 1, 1, bits);
}

uint32_t Pixel(HBITMAP bitmap, int x, int y) { return host::BitmapFromHandle(bitmap)->Pixel(x, y); }

// A memory context holding a blank 32-bit bitmap filled with one colour.
struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ stock = nullptr;

    Canvas(int width, int height, uint32_t fill, HBITMAP use = nullptr) {
        dc = CreateCompatibleDC(nullptr);
        bitmap = use ? use : ColourBitmap(width, height, [](int, int) { return 0u; });
        stock = SelectObject(dc, bitmap);
        if (!use)
            for (uint32_t& p : host::BitmapFromHandle(bitmap)->Pixels()) p = fill;
    }
    ~Canvas() {
        SelectObject(dc, stock);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    uint32_t At(int x, int y) const { return Pixel(bitmap, x, y); }
};

const std::array<uint8_t, 8> kHalfMask = {0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0};
const std::array<uint8_t, 8> kChecker = {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55};

bool Bit(const std::array<uint8_t, 8>& rows, int x, int y) { return (rows[static_cast<size_t>(y)] >> (7 - x)) & 1; }

}  // namespace

// A new memory context holds a 1x1 monochrome stock bitmap; every context holds the same one.
TEST(GdiContexts, NewContextHoldsMonochromeStockBitmap) {
    HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(GetObjectType(a), static_cast<DWORD>(OBJ_MEMDC));
    HGDIOBJ stock = GetCurrentObject(a, OBJ_BITMAP);
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(GetCurrentObject(b, OBJ_BITMAP), stock);
    BITMAP bm{};
    ASSERT_EQ(GetObjectW(stock, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 1);
    EXPECT_EQ(bm.bmHeight, 1);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    // Compatible with a fresh memory context means monochrome.
    HBITMAP compatible = CreateCompatibleBitmap(a, 5, 3);
    ASSERT_EQ(GetObjectW(compatible, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBitsPixel, 1);
    EXPECT_EQ(bm.bmWidth, 5);
    // Stock objects survive deletion.
    EXPECT_TRUE(DeleteObject(stock));
    EXPECT_EQ(GetObjectType(stock), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_TRUE(DeleteObject(compatible));
    EXPECT_TRUE(DeleteDC(a));
    EXPECT_TRUE(DeleteDC(b));
}

// SelectObject returns what it replaces; a bitmap lives in one context at a time, and one that
// is selected cannot be deleted until its context lets it go.
TEST(GdiContexts, SelectionAndDeletionRules) {
    HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
    HGDIOBJ stock = GetCurrentObject(a, OBJ_BITMAP);
    HBITMAP image = ColourBitmap(4, 4, Colour);
    EXPECT_EQ(SelectObject(a, image), stock);
    EXPECT_EQ(GetCurrentObject(a, OBJ_BITMAP), image);

    // Already in a: refused by b, which keeps its stock bitmap.
    EXPECT_EQ(SelectObject(b, image), nullptr);
    EXPECT_EQ(GetCurrentObject(b, OBJ_BITMAP), stock);

    // Deleting it while selected is refused and leaves it whole.
    EXPECT_FALSE(DeleteObject(image));
    BITMAP bm{};
    EXPECT_EQ(GetObjectW(image, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 4);

    EXPECT_EQ(SelectObject(a, stock), image);
    EXPECT_EQ(SelectObject(b, image), stock);
    // Deleting the context frees what it held.
    EXPECT_TRUE(DeleteDC(b));
    EXPECT_TRUE(DeleteObject(image));

    // A deleted bitmap is gone: GetObjectW fails and leaves the buffer as it was.
    DWORD buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), kSentinel);
    SetLastError(0);
    EXPECT_EQ(GetObjectW(image, sizeof buffer, buffer), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    for (DWORD v : buffer) EXPECT_EQ(v, kSentinel);
    EXPECT_EQ(SelectObject(a, image), nullptr);
    EXPECT_FALSE(DeleteObject(image));
    EXPECT_TRUE(DeleteDC(a));
}

// Calls on a context that does not exist fail with the platform's error codes.
TEST(GdiContexts, DeadContextRefused) {
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_TRUE(DeleteDC(dc));
    RECT r{0, 0, 1, 1};
    SetLastError(0);
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(SetTextColor(dc, 0), static_cast<COLORREF>(CLR_INVALID));
    EXPECT_EQ(SetBkColor(dc, 0), static_cast<COLORREF>(CLR_INVALID));
    EXPECT_EQ(SetTextAlign(dc, TA_CENTER), static_cast<UINT>(GDI_ERROR));
    EXPECT_EQ(FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW)), 0);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BITMAP), nullptr);
    EXPECT_EQ(CreateCompatibleDC(dc), nullptr);
    EXPECT_EQ(GetObjectType(dc), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// Normal drawing of a key: where the mask bit is 1 the image shows, where it is 0 the label
// pixel is black.
TEST(GdiMaskBlt, NormalRopCopiesImageAndBlackensLabels) {
    Canvas image(8, 8, 0, ColourBitmap(8, 8, Colour));
    Canvas out(8, 8, 0x00123456);
    HBITMAP mask = Mask8(kChecker);
    ASSERT_TRUE(MaskBlt(out.dc, 0, 0, 8, 8, image.dc, 0, 0, mask, 0, 0, 0x00CC0020));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(out.At(x, y), Bit(kChecker, x, y) ? Colour(x, y) : 0u) << x << "," << y;
    DeleteObject(mask);
}

// Pressed drawing: the image inverted where the mask bit is 1, label pixels white.
TEST(GdiMaskBlt, PressedRopInvertsImageAndWhitensLabels) {
    Canvas image(8, 8, 0, ColourBitmap(8, 8, Colour));
    Canvas out(8, 8, 0x00123456);
    HBITMAP mask = Mask8(kHalfMask);
    ASSERT_TRUE(MaskBlt(out.dc, 0, 0, 8, 8, image.dc, 0, 0, mask, 0, 0, 0xFF330008));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(out.At(x, y), x < 4 ? (~Colour(x, y) & 0xFFFFFFu) : 0xFFFFFFu) << x << "," << y;
    DeleteObject(mask);
}

// Source, mask and destination each use their own origin; what falls outside the destination
// is dropped and the rest of the destination is untouched.
TEST(GdiMaskBlt, OffsetsAndDestinationClipping) {
    Canvas image(8, 8, 0, ColourBitmap(8, 8, Colour));
    Canvas out(8, 8, 0x00123456);
    HBITMAP mask = Mask8(kHalfMask);
    // Destination (6, 1) 4x3 from source (1, 2), mask (2, 0): columns 6 and 7 only.
    ASSERT_TRUE(MaskBlt(out.dc, 6, 1, 4, 3, image.dc, 1, 2, mask, 2, 0, 0x00CC0020));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            uint32_t expected = 0x00123456;
            if (x >= 6 && y >= 1 && y < 4) {
                const int mx = x - 6 + 2;
                expected = mx < 4 ? Colour(x - 6 + 1, y - 1 + 2) : 0u;
            }
            EXPECT_EQ(out.At(x, y), expected) << x << "," << y;
        }
    DeleteObject(mask);
}

// Without a mask MaskBlt is a plain transfer with the foreground operation; a mask smaller
// than the area counts as 1 beyond its edge; a colour bitmap is not a mask.
TEST(GdiMaskBlt, MaskEdgeCases) {
    Canvas image(8, 8, 0, ColourBitmap(8, 8, Colour));
    Canvas out(8, 8, 0x00123456);
    ASSERT_TRUE(MaskBlt(out.dc, 0, 0, 8, 8, image.dc, 0, 0, nullptr, 0, 0, 0xFF330008));
    EXPECT_EQ(out.At(3, 5), ~Colour(3, 5) & 0xFFFFFFu);

    uint8_t one[2] = {0x00, 0x00};  // a 1x1 mask with its bit 0
    HBITMAP tiny = CreateBitmap(1, 1, 1, 1, one);
    ASSERT_TRUE(MaskBlt(out.dc, 0, 0, 8, 8, image.dc, 0, 0, tiny, 0, 0, 0x00CC0020));
    EXPECT_EQ(out.At(0, 0), 0u);
    EXPECT_EQ(out.At(1, 0), Colour(1, 0));
    EXPECT_EQ(out.At(7, 7), Colour(7, 7));

    // A mask one column short: its bits rule columns 0 to 6, column 7 takes the foreground.
    uint8_t narrowBits[16] = {};
    for (int y = 0; y < 8; ++y) narrowBits[y * 2] = kChecker[static_cast<size_t>(y)] & 0xFE;
    HBITMAP narrow = CreateBitmap(7, 8, 1, 1, narrowBits);
    ASSERT_TRUE(MaskBlt(out.dc, 0, 0, 8, 8, image.dc, 0, 0, narrow, 0, 0, 0xFF330008));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool fore = x == 7 || Bit(kChecker, x, y);
            EXPECT_EQ(out.At(x, y), fore ? (~Colour(x, y) & 0xFFFFFFu) : 0xFFFFFFu) << x << "," << y;
        }
    DeleteObject(narrow);

    HBITMAP colour = ColourBitmap(8, 8, Colour);
    for (uint32_t& p : host::BitmapFromHandle(out.bitmap)->Pixels()) p = 0x00123456;
    SetLastError(0);
    EXPECT_FALSE(MaskBlt(out.dc, 0, 0, 8, 8, image.dc, 0, 0, colour, 0, 0, 0x00CC0020));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(out.At(2, 2), 0x00123456u);
    DeleteObject(tiny);
    DeleteObject(colour);
}

// Coordinates at the ends of the integer range draw nothing and overflow nothing.
TEST(GdiMaskBlt, ExtremeCoordinatesDrawNothing) {
    Canvas image(8, 8, 0, ColourBitmap(8, 8, Colour));
    Canvas out(8, 8, 0x00123456);
    HBITMAP mask = Mask8(kChecker);
    constexpr int kMax = 0x7FFFFFFF, kMin = -kMax - 1;
    EXPECT_TRUE(MaskBlt(out.dc, kMax - 1, kMax - 1, kMax, kMax, image.dc, kMin, kMin, mask, kMax, kMin, 0x00CC0020));
    EXPECT_TRUE(MaskBlt(out.dc, kMin, kMin, kMax, kMax, image.dc, kMax, kMax, mask, kMin, kMax, 0xFF330008));
    EXPECT_TRUE(BitBlt(out.dc, 0, 0, kMax, kMax, image.dc, kMax, kMax, SRCCOPY));
    const int far[] = {kMax, kMax};
    EXPECT_TRUE(ExtTextOutW(out.dc, kMax, kMax, 0, nullptr, u"AB", 2, far));
    EXPECT_TRUE(ExtTextOutW(out.dc, kMin, kMin, 0, nullptr, u"AB", 2, nullptr));
    for (uint32_t p : host::BitmapFromHandle(out.bitmap)->Pixels()) EXPECT_EQ(p, 0x00123456u);
    DeleteObject(mask);
}

// The common three-operand codes through BitBlt, pixel by pixel: source 0x0F0F0F, destination
// 0x3C3C3C, brush 0x550055 (pixel order).
TEST(GdiBitBlt, CommonRasterOperations) {
    struct Case {
        DWORD rop;
        uint32_t expected;
    };
    const uint32_t s = 0x0F0F0F, d = 0x3C3C3C, p = 0x550055;
    const Case cases[] = {
        {SRCCOPY, s},        {NOTSRCCOPY, ~s & 0xFFFFFF}, {BLACKNESS, 0},     {WHITENESS, 0xFFFFFF},
        {SRCINVERT, s ^ d},  {SRCAND, s & d},             {SRCPAINT, s | d},  {PATCOPY, p},
        {DSTINVERT, ~d & 0xFFFFFF}, {PATINVERT, p ^ d},
    };
    Canvas src(1, 1, s);
    for (const Case& c : cases) {
        Canvas out(1, 1, d);
        HBRUSH brush = CreateSolidBrush(RGB(0x55, 0x00, 0x55));
        HGDIOBJ old = SelectObject(out.dc, brush);
        ASSERT_TRUE(BitBlt(out.dc, 0, 0, 1, 1, src.dc, 0, 0, c.rop)) << std::hex << c.rop;
        EXPECT_EQ(out.At(0, 0), c.expected) << std::hex << c.rop;
        SelectObject(out.dc, old);
        EXPECT_TRUE(DeleteObject(brush));
    }
}

// Every code agrees with its definition: bit (P << 2 | S << 1 | D) of the code is the result.
TEST(GdiBitBlt, EveryRop3MatchesItsTruthTable) {
    std::mt19937 random(7);
    for (int code = 0; code < 256; ++code) {
        const uint32_t p = random() & 0xFFFFFF, s = random() & 0xFFFFFF, d = random() & 0xFFFFFF;
        uint32_t expected = 0;
        for (int bit = 0; bit < 24; ++bit) {
            const int index = ((p >> bit) & 1) << 2 | ((s >> bit) & 1) << 1 | ((d >> bit) & 1);
            expected |= static_cast<uint32_t>((code >> index) & 1) << bit;
        }
        EXPECT_EQ(host::ApplyRop3(static_cast<uint8_t>(code), p, s, d), expected) << code;
    }
}

// A monochrome source drawn into colour takes the destination's text colour for 0 and its
// background colour for 1; a colour source drawn into monochrome is white where it has the
// source context's background colour.
TEST(GdiBitBlt, MonochromeConversions) {
    HBITMAP monoBits = Mask8(kHalfMask);
    Canvas mono(8, 8, 0, monoBits);
    Canvas out(8, 8, 0);
    SetTextColor(out.dc, RGB(0x11, 0x22, 0x33));
    SetBkColor(out.dc, RGB(0xAA, 0xBB, 0xCC));
    ASSERT_TRUE(BitBlt(out.dc, 0, 0, 8, 8, mono.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(out.At(0, 0), 0xAABBCCu);
    EXPECT_EQ(out.At(7, 0), 0x112233u);

    Canvas colour(8, 8, 0, ColourBitmap(8, 8, Colour));
    SetBkColor(colour.dc, RGB(0x20, 0x10, 0x21));  // Colour(1, 1) in pixel order 0x201021
    HBITMAP target = Mask8({});
    Canvas monoOut(8, 8, 0, target);
    ASSERT_TRUE(BitBlt(monoOut.dc, 0, 0, 8, 8, colour.dc, 0, 0, SRCCOPY));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool white = x == 1 && y == 1;
            EXPECT_EQ(monoOut.At(x, y), white ? 0xFFFFFFu : 0u) << x << "," << y;
            EXPECT_EQ(host::BitmapFromHandle(target)->PaletteIndex(x, y), white ? 1 : 0);
        }
}

// A transfer within one bitmap reads every source pixel before it is overwritten.
TEST(GdiBitBlt, OverlappingCopyWithinOneBitmap) {
    Canvas c(8, 8, 0, ColourBitmap(8, 8, Colour));
    ASSERT_TRUE(BitBlt(c.dc, 1, 1, 7, 7, c.dc, 0, 0, SRCCOPY));
    for (int y = 1; y < 8; ++y)
        for (int x = 1; x < 8; ++x) EXPECT_EQ(c.At(x, y), Colour(x - 1, y - 1)) << x << "," << y;
    ASSERT_TRUE(BitBlt(c.dc, 0, 0, 7, 7, c.dc, 1, 1, SRCCOPY));
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(c.At(x, y), Colour(x, y)) << x << "," << y;
}

// FillRect leaves out the right and bottom edges and stays inside the bitmap; system colours
// are read with and without the index flag.
TEST(GdiFill, FillRectAndSystemColours) {
    Canvas out(8, 8, 0x00123456);
    RECT r{-3, 2, 4, 40};
    ASSERT_NE(FillRect(out.dc, &r, GetSysColorBrush(COLOR_INACTIVECAPTION)), 0);
    const COLORREF inactive = GetSysColor(COLOR_INACTIVECAPTION);
    EXPECT_EQ(inactive, GetSysColor(3));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(out.At(x, y), (x < 4 && y >= 2) ? host::ColorToPixel(inactive) : 0x00123456u) << x << "," << y;
    EXPECT_NE(GetSysColor(COLOR_ACTIVECAPTION), GetSysColor(COLOR_INACTIVECAPTION));
    EXPECT_EQ(GetSysColorBrush(0x40000000 | 999), nullptr);
    EXPECT_EQ(GetSysColor(999), 0u);
    // System-colour brushes are stock objects.
    EXPECT_TRUE(DeleteObject(GetSysColorBrush(COLOR_WINDOW)));
    EXPECT_EQ(GetObjectType(GetSysColorBrush(COLOR_WINDOW)), static_cast<DWORD>(OBJ_BRUSH));
}

// Centred on a baseline, the text lies around the point in its text colour on its background
// colour; ETO_CLIPPED keeps every pixel inside the rectangle.
TEST(GdiText, CentredBaselineTextAndClipping) {
    Canvas out(64, 24, 0x00123456);
    EXPECT_EQ(SetTextAlign(out.dc, TA_CENTER | TA_BASELINE), 0u);
    EXPECT_EQ(SetTextColor(out.dc, RGB(255, 0, 0)), 0u);
    EXPECT_EQ(SetBkColor(out.dc, RGB(0, 0, 255)), 0xFFFFFFu);
    const char16_t text[] = u"SKINS";
    ASSERT_TRUE(ExtTextOutW(out.dc, 32, 12, 0, nullptr, text, 5, nullptr));
    const int width = 5 * host::kCellWidth;
    int ink = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool inside = x >= 32 - width / 2 && x < 32 + width / 2 && y >= 12 - host::kAscent &&
                                y < 12 - host::kAscent + host::kCellHeight;
            const uint32_t p = out.At(x, y);
            if (!inside) {
                EXPECT_EQ(p, 0x00123456u) << x << "," << y;
                continue;
            }
            EXPECT_TRUE(p == 0xFF0000u || p == 0x0000FFu) << x << "," << y;
            ink += p == 0xFF0000u;
            // Nothing is inked below the baseline.
            if (y >= 12) {
                EXPECT_EQ(p, 0x0000FFu) << x << "," << y;
            }
        }
    EXPECT_GT(ink, 5 * 8);

    Canvas clipped(64, 24, 0x00123456);
    SetTextAlign(clipped.dc, TA_CENTER | TA_BASELINE);
    RECT box{30, 0, 34, 24};
    ASSERT_TRUE(ExtTextOutW(clipped.dc, 32, 12, ETO_CLIPPED, &box, text, 5, nullptr));
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 64; ++x)
            if (x < 30 || x >= 34) {
                EXPECT_EQ(clipped.At(x, y), 0x00123456u) << x << "," << y;
            }

    SetLastError(0);
    EXPECT_FALSE(ExtTextOutW(clipped.dc, 0, 0, 0, nullptr, nullptr, 3, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}
