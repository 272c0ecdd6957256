// Host windows as the platform's window calls see them: client rectangles, the update region
// built by InvalidateRect and emptied by painting or validation, window device contexts drawing
// into the window's surface, and the pen capture.
#include <gtest/gtest.h>

#include "host/gdi/gdi_objects.h"
#include "host/windows/window.h"
#include "platform/gdi.h"
#include "platform/windows.h"

namespace {

constexpr LONG kSentinel = static_cast<LONG>(0xDEADBEEF);

struct HostWindow {
    HWND handle;
    explicit HostWindow(int width, int height) : handle(host::CreateHostWindow(width, height)) {}
    ~HostWindow() {
        if (handle) host::DestroyHostWindow(handle);
    }
    uint32_t At(int x, int y) const { return host::WindowFromHandle(handle)->Surface().Pixel(x, y); }
};

bool Same(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

// The client rectangle is the window's size at the origin; an unknown window fails with
// ERROR_INVALID_WINDOW_HANDLE and leaves the rectangle alone.
TEST(HostWindows, ClientRectAndUnknownWindows) {
    HostWindow w(240, 80);
    ASSERT_NE(w.handle, nullptr);
    RECT r{kSentinel, kSentinel, kSentinel, kSentinel};
    ASSERT_TRUE(GetClientRect(w.handle, &r));
    EXPECT_TRUE(Same(r, RECT{0, 0, 240, 80}));

    EXPECT_EQ(host::CreateHostWindow(0, 10), nullptr);
    HWND gone = host::CreateHostWindow(4, 4);
    ASSERT_TRUE(host::DestroyHostWindow(gone));
    r = RECT{kSentinel, kSentinel, kSentinel, kSentinel};
    SetLastError(0);
    EXPECT_FALSE(GetClientRect(gone, &r));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(r.left, kSentinel);
    EXPECT_EQ(r.bottom, kSentinel);
    EXPECT_FALSE(InvalidateRect(gone, nullptr, TRUE));
    EXPECT_EQ(GetDC(gone), nullptr);
    EXPECT_FALSE(host::DestroyHostWindow(gone));
}

// Invalid rectangles accumulate without overlap, are cut to the client area, and leave with
// validation; the erase request is remembered until then.
TEST(HostWindows, UpdateRegionAccumulates) {
    HostWindow w(100, 50);
    host::Window* window = host::WindowFromHandle(w.handle);
    RECT bounds{kSentinel, kSentinel, kSentinel, kSentinel};
    EXPECT_FALSE(GetUpdateRect(w.handle, &bounds, FALSE));
    EXPECT_TRUE(Same(bounds, RECT{0, 0, 0, 0}));

    RECT a{10, 10, 20, 20}, b{15, 15, 30, 25}, outside{90, 40, 200, 200};
    ASSERT_TRUE(InvalidateRect(w.handle, &a, FALSE));
    ASSERT_TRUE(InvalidateRect(w.handle, &b, FALSE));
    ASSERT_TRUE(InvalidateRect(w.handle, &a, FALSE));  // already covered: adds nothing
    EXPECT_FALSE(window->NeedsErase());
    ASSERT_TRUE(InvalidateRect(w.handle, &outside, TRUE));
    EXPECT_TRUE(window->NeedsErase());
    long area = 0;
    for (const RECT& r : window->UpdateRects()) area += (r.right - r.left) * (r.bottom - r.top);
    EXPECT_EQ(area, 100 + 15 * 10 - 5 * 5 + 10 * 10);
    ASSERT_TRUE(GetUpdateRect(w.handle, &bounds, FALSE));
    EXPECT_TRUE(Same(bounds, RECT{10, 10, 100, 50}));

    // Validating a part leaves the rest.
    ASSERT_TRUE(ValidateRect(w.handle, &outside));
    ASSERT_TRUE(GetUpdateRect(w.handle, &bounds, FALSE));
    EXPECT_TRUE(Same(bounds, RECT{10, 10, 30, 25}));
    ASSERT_TRUE(ValidateRect(w.handle, nullptr));
    EXPECT_FALSE(GetUpdateRect(w.handle, &bounds, FALSE));
    EXPECT_FALSE(window->NeedsErase());
}

// BeginPaint's context draws only inside the update region, reports the erase request and the
// region's bounds, and leaves the window valid.
TEST(HostWindows, PaintIsClippedToTheUpdateRegion) {
    HostWindow w(16, 8);
    RECT a{0, 0, 2, 2}, b{10, 4, 12, 8};
    InvalidateRect(w.handle, &a, TRUE);
    InvalidateRect(w.handle, &b, FALSE);
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(w.handle, &ps);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_DC));
    EXPECT_TRUE(ps.fErase);
    EXPECT_TRUE(Same(ps.rcPaint, RECT{0, 0, 12, 8}));
    RECT all{0, 0, 16, 8};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    ASSERT_NE(FillRect(dc, &all, red), 0);
    EXPECT_TRUE(EndPaint(w.handle, &ps));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool inside = (x < 2 && y < 2) || (x >= 10 && x < 12 && y >= 4);
            EXPECT_EQ(w.At(x, y), inside ? 0xFF0000u : 0u) << x << "," << y;
        }
    RECT bounds{};
    EXPECT_FALSE(GetUpdateRect(w.handle, &bounds, FALSE));
    // A paint with nothing invalid draws nothing.
    dc = BeginPaint(w.handle, &ps);
    RECT blackish{0, 0, 16, 8};
    FillRect(dc, &blackish, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    EndPaint(w.handle, &ps);
    EXPECT_EQ(w.At(5, 5), 0u);
    EXPECT_TRUE(DeleteObject(red));
}

// GetDC draws anywhere in the client area; the context belongs to its window, and drawing
// through it fails once the window is gone.
TEST(HostWindows, WindowContexts) {
    HWND handle = host::CreateHostWindow(8, 8);
    HostWindow other(8, 8);
    HDC dc = GetDC(handle);
    ASSERT_NE(dc, nullptr);
    RECT r{2, 2, 4, 4};
    ASSERT_NE(FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 0);
    EXPECT_EQ(host::WindowFromHandle(handle)->Surface().Pixel(3, 3), 0xFFFFFFu);
    EXPECT_EQ(host::WindowFromHandle(handle)->Surface().Pixel(4, 4), 0u);
    // Bitmaps go into memory contexts only; DeleteDC is not how a window context goes.
    HBITMAP bitmap = CreateBitmap(2, 2, 1, 32, nullptr);
    EXPECT_EQ(SelectObject(dc, bitmap), nullptr);
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_EQ(ReleaseDC(other.handle, dc), 0);
    // A brush held by the context cannot be deleted until the context is released.
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    ASSERT_NE(SelectObject(dc, brush), nullptr);

    ASSERT_TRUE(host::DestroyHostWindow(handle));
    SetLastError(0);
    EXPECT_EQ(FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(ReleaseDC(handle, dc), 1);
    EXPECT_EQ(ReleaseDC(handle, dc), 0);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(bitmap));
}

// A window holds no pixels until it is first drawn into: sizing, invalidating and validating
// leave it without a surface; GetDC and BeginPaint give it one of its client size at that time,
// and a later resize keeps what was drawn.
TEST(HostWindows, SurfaceComesWithTheFirstContext) {
    HostWindow a(240, 320), b(16, 8);
    host::Window* first = host::WindowFromHandle(a.handle);
    host::Window* second = host::WindowFromHandle(b.handle);
    RECT r{0, 0, 8, 8};
    ASSERT_TRUE(InvalidateRect(a.handle, &r, TRUE));
    ASSERT_TRUE(ValidateRect(a.handle, nullptr));
    ASSERT_TRUE(SetWindowPos(a.handle, nullptr, 0, 0, 120, 40, SWP_NOMOVE | SWP_NOZORDER));
    EXPECT_EQ(first->SurfaceBytes(), 0u);
    EXPECT_EQ(second->SurfaceBytes(), 0u);

    HDC dc = GetDC(a.handle);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(first->SurfaceBytes(), 120u * 40u * 4u);
    ASSERT_NE(FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 0);
    EXPECT_EQ(ReleaseDC(a.handle, dc), 1);
    ASSERT_TRUE(SetWindowPos(a.handle, nullptr, 0, 0, 60, 20, SWP_NOMOVE | SWP_NOZORDER));
    EXPECT_EQ(first->SurfaceBytes(), 60u * 20u * 4u);
    EXPECT_EQ(a.At(7, 7), 0xFFFFFFu);
    EXPECT_EQ(a.At(8, 8), 0u);

    PAINTSTRUCT ps{};
    ASSERT_TRUE(InvalidateRect(b.handle, nullptr, FALSE));
    ASSERT_NE(BeginPaint(b.handle, &ps), nullptr);
    EXPECT_EQ(second->SurfaceBytes(), 16u * 8u * 4u);
    EXPECT_TRUE(EndPaint(b.handle, &ps));
}

// SetCapture returns the window that held the capture; an unknown window cannot take it; a
// destroyed window gives it up.
TEST(HostWindows, PenCapture) {
    HostWindow a(4, 4), b(4, 4);
    ASSERT_TRUE(ReleaseCapture());
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(SetCapture(a.handle), nullptr);
    EXPECT_EQ(SetCapture(b.handle), a.handle);
    EXPECT_EQ(GetCapture(), b.handle);

    HWND gone = host::CreateHostWindow(4, 4);
    host::DestroyHostWindow(gone);
    SetLastError(0);
    EXPECT_EQ(SetCapture(gone), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(GetCapture(), b.handle);

    ASSERT_TRUE(ReleaseCapture());
    EXPECT_EQ(GetCapture(), nullptr);
    SetCapture(a.handle);
    ASSERT_TRUE(host::DestroyHostWindow(a.handle));
    a.handle = nullptr;
    EXPECT_EQ(GetCapture(), nullptr);
}
