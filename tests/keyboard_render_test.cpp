// CKeyboard's drawing glue on the real drawing layer: Paint's masked transfers pixel-exact on
// 8x8 bitmaps (normal and pressed operations, the CAPS-rectangle split), the pressed-key toggle
// with its invalidation, the no-skin notice, and a shipped skin painted into a host window.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>

#include "test_image.h"
#include "CKeyboard.h"
#include "host/gdi/bitmap.h"
#include "host/kernel/device.h"
#include "host/gdi/gdi_objects.h"
#include "host/store/object_store.h"
#include "host/windows/window.h"
#include "keyboard_fixtures.h"
#include "platform/files.h"
#include "platform/modules.h"

namespace fs = std::filesystem;

// Counts the allocations of this thread while a test asks for it, to prove that painting
// allocates nothing. Every other allocation of the test program passes straight through. A
// sanitizer build keeps its own allocator (modules loaded at run time would otherwise mix the
// two), and there the count is not taken.
#if defined(__SANITIZE_ADDRESS__)
#define VX_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VX_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef VX_COUNT_ALLOCATIONS
#define VX_COUNT_ALLOCATIONS 1
#endif

namespace {
thread_local bool t_countAllocations = false;
thread_local int t_allocations = 0;

struct AllocationCount {
    AllocationCount() {
        t_allocations = 0;
        t_countAllocations = true;
    }
    ~AllocationCount() { t_countAllocations = false; }
    // Expects no allocation since construction, where allocations are counted.
    void ExpectNone() const {
#if VX_COUNT_ALLOCATIONS
        EXPECT_EQ(t_allocations, 0);
#endif
    }
};
}  // namespace

#if VX_COUNT_ALLOCATIONS
// The pair is replaced together so that every allocation is malloc's and every release free's;
// the compiler cannot see that once the pair is inlined into library code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (t_countAllocations) ++t_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
#endif

namespace {

uint32_t ImageColour(int x, int y) { return static_cast<uint32_t>(0x100000 * (x + 1) + 0x000900 * (y + 1) + 0x31); }

HBITMAP MakeImage() {
    HBITMAP bitmap = CreateBitmap(8, 8, 1, 32, nullptr);
    host::Bitmap* b = host::BitmapFromHandle(bitmap);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) b->SetPixel(x, y, ImageColour(x, y));
    return bitmap;
}

HBITMAP MakeMask(const std::array<uint8_t, 8>& rows) {
    uint8_t bits[16] = {};
    for (int y = 0; y < 8; ++y) bits[y * 2] = rows[static_cast<size_t>(y)];
    return CreateBitmap(8, 8, 1, 1, bits);
}

bool Bit(const std::array<uint8_t, 8>& rows, int x, int y) { return (rows[static_cast<size_t>(y)] >> (7 - x)) & 1; }

uint32_t Normal(const std::array<uint8_t, 8>& mask, int x, int y) { return Bit(mask, x, y) ? ImageColour(x, y) : 0u; }
uint32_t Pressed(const std::array<uint8_t, 8>& mask, int x, int y) {
    return Bit(mask, x, y) ? (~ImageColour(x, y) & 0xFFFFFFu) : 0xFFFFFFu;
}

const std::array<uint8_t, 8> kMain = {0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0};  // left half shows
const std::array<uint8_t, 8> kExt = {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55};

bool Inside(const RECT& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

// A keyboard whose contexts hold 8x8 bitmaps made here, painting into an 8x8 host window.
class KeyboardPaint : public ::testing::Test {
protected:
    void SetUp() override {
        kbd.m_hKbdDC = CreateCompatibleDC(nullptr);
        kbd.m_hMaskDC = CreateCompatibleDC(nullptr);
        kbd.m_hExtMaskDC = CreateCompatibleDC(nullptr);
        kbd.m_hStockKbdBmp = SelectObject(kbd.m_hKbdDC, m_image);
        kbd.m_hStockMaskBmp = SelectObject(kbd.m_hMaskDC, m_main);
        kbd.m_hStockExtMaskBmp = SelectObject(kbd.m_hExtMaskDC, m_ext);
        m_window = host::CreateHostWindow(8, 8);
        m_dc = GetDC(m_window);
    }
    void TearDown() override {
        ReleaseDC(m_window, m_dc);
        host::DestroyHostWindow(m_window);
        kbd.ReleaseSkin();
        EXPECT_TRUE(DeleteObject(m_image));
        EXPECT_TRUE(DeleteObject(m_main));
        EXPECT_TRUE(DeleteObject(m_ext));
    }
    void Paint() {
        for (uint32_t& p : host::WindowFromHandle(m_window)->Surface().Pixels()) p = 0x00ABCDEF;
        kbd.Paint(m_dc, &m_window);
    }
    uint32_t At(int x, int y) const { return host::WindowFromHandle(m_window)->Surface().Pixel(x, y); }

    HBITMAP m_image = MakeImage();
    HBITMAP m_main = MakeMask(kMain);
    HBITMAP m_ext = MakeMask(kExt);
    HWND m_window = nullptr;
    HDC m_dc = nullptr;
    CKeyboard kbd;
};

}  // namespace

// Without pressed keys or CAPS the whole image is drawn with the main mask; a pressed rectangle
// is drawn inverted with white labels, and nothing else changes.
TEST_F(KeyboardPaint, ImageAndPressedKeys) {
    Paint();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(At(x, y), Normal(kMain, x, y)) << x << "," << y;

    const RECT key{2, 1, 6, 4}, other{0, 6, 3, 8};
    kbd.m_PressedRects = {key, other};
    Paint();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool pressed = Inside(key, x, y) || Inside(other, x, y);
            EXPECT_EQ(At(x, y), pressed ? Pressed(kMain, x, y) : Normal(kMain, x, y)) << x << "," << y;
        }
}

// CAPS in portrait: the CAPS rectangle shows the opposite-case mask, the rest the main one; a
// pressed key whose top-left corner lies in the CAPS rectangle (bounds inclusive) uses the
// opposite-case mask, any other the main mask.
TEST_F(KeyboardPaint, CapsRectangleSplit) {
    kbd.m_bPortrait = true;
    kbd.m_stKbStatus.m_bCAPS = true;
    kbd.m_CAPSRect = RECT{0, 0, 8, 2};
    const RECT onEdge{4, 2, 8, 4};  // top-left corner on the CAPS rectangle's bottom edge
    const RECT below{0, 5, 2, 7};
    kbd.m_PressedRects = {onEdge, below};
    Paint();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            uint32_t expected = y < 2 ? Normal(kExt, x, y) : Normal(kMain, x, y);
            if (Inside(onEdge, x, y)) expected = Pressed(kExt, x, y);
            if (Inside(below, x, y)) expected = Pressed(kMain, x, y);
            EXPECT_EQ(At(x, y), expected) << x << "," << y;
        }

    // Ctrl, the digit keyboard or landscape: no split.
    kbd.m_stKbStatus.m_bCtrl = true;
    kbd.m_PressedRects.clear();
    Paint();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(At(x, y), Normal(kMain, x, y)) << x << "," << y;
}

// DrawButton toggles every non-empty rectangle of an entry and invalidates each one it
// toggles; twice leaves the list as it was.
TEST_F(KeyboardPaint, DrawButtonTogglesAndInvalidates) {
    keyboard::LayoutEntry entry;
    entry.m_Rect = {RECT{0, 0, 2, 2}, RECT{3, 3, 3, 7}, RECT{4, 4, 8, 6}};
    host::Window* window = host::WindowFromHandle(m_window);
    kbd.DrawButton(entry, &m_window, TRUE);
    ASSERT_EQ(kbd.m_PressedRects.size(), 2u);
    RECT bounds{};
    ASSERT_TRUE(GetUpdateRect(m_window, &bounds, FALSE));
    EXPECT_EQ(bounds.left, 0);
    EXPECT_EQ(bounds.bottom, 6);
    EXPECT_TRUE(window->NeedsErase());
    long area = 0;
    for (const RECT& r : window->UpdateRects()) area += (r.right - r.left) * (r.bottom - r.top);
    EXPECT_EQ(area, 4 + 8);

    ValidateRect(m_window, nullptr);
    kbd.DrawButton(entry, &m_window, FALSE);
    EXPECT_TRUE(kbd.m_PressedRects.empty());
    EXPECT_FALSE(GetUpdateRect(m_window, &bounds, FALSE));
}

// A paint through BeginPaint lands only in the invalidated key; the rest of the window keeps
// what it showed.
TEST_F(KeyboardPaint, PaintRespectsUpdateRegion) {
    Paint();
    ValidateRect(m_window, nullptr);
    keyboard::LayoutEntry entry;
    entry.m_Rect = {RECT{1, 1, 3, 3}};
    kbd.DrawButton(entry, &m_window, TRUE);
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(m_window, &ps);
    kbd.Paint(dc, &m_window);
    EndPaint(m_window, &ps);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(At(x, y), Inside(entry.m_Rect[0], x, y) ? Pressed(kMain, x, y) : Normal(kMain, x, y))
                << x << "," << y;
}

namespace {

// The engine on a fresh image: its module with string 103 and the shipped Classic skin.
class KeyboardRender : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        ASSERT_TRUE(CreateDirectoryW(u"\\Windows", nullptr));
        Install(fs::path(VX_KBD_DATA_DIR) / "kbdengine.so", u"\\Windows\\kbdengine.dll");
        m_engine = LoadLibraryW(u"\\Windows\\kbdengine.dll");
        ASSERT_NE(m_engine, nullptr);
        kbd.m_hInstance = m_engine;
        kbd.m_pIMCallback = &sink;
        m_window = host::CreateHostWindow(240, 80);
        m_dc = GetDC(m_window);
    }
    void TearDown() override {
        kbd.ReleaseSkin();
        ReleaseDC(m_window, m_dc);
        host::DestroyHostWindow(m_window);
        if (m_engine) FreeLibrary(m_engine);
        ImageTest::TearDown();
    }
    void Install(const fs::path& file, std::u16string_view devicePath) { InstallFile(file, devicePath); }
    const host::Bitmap& Surface() const { return host::WindowFromHandle(m_window)->Surface(); }
    const host::Bitmap& Selected(HDC dc) const {
        return *host::BitmapFromHandle(static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP)));
    }

    HMODULE m_engine = nullptr;
    HWND m_window = nullptr;
    HDC m_dc = nullptr;
    kbdtest::RecordingCallback sink;
    CKeyboard kbd;
};

}  // namespace

// Without a skin the client area is filled with the inactive caption colour and the notice is
// written in the active caption colour around its centre; without a window nothing is drawn.
TEST_F(KeyboardRender, NoSkinNotice) {
    ASSERT_TRUE(kbd.Init(240, 320));
    ASSERT_TRUE(kbd.m_bNoSkin);
    HWND none = nullptr;
    kbd.Paint(m_dc, &none);
    for (uint32_t p : Surface().Pixels()) ASSERT_EQ(p, 0u);

    kbd.Paint(m_dc, &m_window);
    const uint32_t back = host::ColorToPixel(GetSysColor(COLOR_INACTIVECAPTION));
    const uint32_t ink = host::ColorToPixel(GetSysColor(COLOR_ACTIVECAPTION));
    int inked = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 240; ++x) {
            const uint32_t p = Surface().Pixel(x, y);
            ASSERT_TRUE(p == back || p == ink) << x << "," << y;
            if (p == ink) {
                ++inked;
                EXPECT_LT(std::abs(x - 120), 60) << x;
                EXPECT_LT(std::abs(y - 40), 10) << y;
            }
        }
    EXPECT_GT(inked, 100);

    AllocationCount count;
    kbd.Paint(m_dc, &m_window);
    count.ExpectNone();
}

// The shipped Classic skin painted whole: every pixel is the image's where the mask bit is 1
// and black where it is 0; a pressed key shows inverted until released.
TEST_F(KeyboardRender, ClassicSkinPaintsImageThroughMask) {
    Install(fs::path(VX_SKINS_DIR) / "Classic.vxs", u"\\Windows\\Classic.vxs");
    ASSERT_TRUE(kbd.Init(240, 320));
    ASSERT_FALSE(kbd.m_bNoSkin);
    kbd.Paint(m_dc, &m_window);
    const host::Bitmap& image = Selected(kbd.m_hKbdDC);
    const host::Bitmap& mask = Selected(kbd.m_hMaskDC);
    ASSERT_EQ(image.Width(), 240);
    ASSERT_EQ(mask.Height(), 80);
    int labels = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 240; ++x) {
            const bool shows = mask.Pixel(x, y) != 0;
            labels += !shows;
            ASSERT_EQ(Surface().Pixel(x, y), shows ? image.Pixel(x, y) : 0u) << x << "," << y;
        }
    EXPECT_GT(labels, 100);

    const keyboard::LayoutEntry* q = kbd.m_CharLayout.Find(82);
    ASSERT_NE(q, nullptr);
    const RECT r = q->m_Rect.front();
    const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    kbd.PressKey(centre, &m_window, TRUE);
    EXPECT_EQ(GetCapture(), m_window);
    {
        // Painting allocates nothing, through a window context or a paint's clipped one.
        AllocationCount count;
        kbd.Paint(m_dc, &m_window);
        count.ExpectNone();
    }
    PAINTSTRUCT ps{};
    HDC paintDc = BeginPaint(m_window, &ps);
    {
        AllocationCount count;
        kbd.Paint(paintDc, &m_window);
        count.ExpectNone();
    }
    EndPaint(m_window, &ps);
    const bool shows = mask.Pixel(centre.x, centre.y) != 0;
    EXPECT_EQ(Surface().Pixel(centre.x, centre.y), shows ? (~image.Pixel(centre.x, centre.y) & 0xFFFFFFu) : 0xFFFFFFu);
    kbd.PressKey(centre, &m_window, FALSE);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(kbd.m_PressedRects.empty());
    EXPECT_EQ(sink.Take(), (std::vector<std::string>{"SendCharEvents 0x51 0x00000080 U+0071",
                                                     "SendCharEvents 0x51 0x00010000 U+0071"}));
}
