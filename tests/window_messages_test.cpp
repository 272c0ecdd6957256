// Window classes, child windows, window procedures, send and post, paint, capture, pen input and
// placement, written as the platform's behaviour.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/windows/window.h"
#include "platform/gdi.h"
#include "platform/windows.h"
#include "test_image.h"

namespace {

struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Seen>* g_log = nullptr;
LRESULT g_createResult = 0;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_log && message != WM_ERASEBKGND) g_log->push_back({window, message, wParam, lParam});
    if (message == WM_CREATE) return g_createResult;
    // Records whether the parent is still a window when a child hears of its destruction.
    if (message == WM_DESTROY && g_log)
        g_log->push_back({GetParent(window), WM_NULL, IsWindow(GetParent(window)) ? 1u : 0u, 0});
    return DefWindowProcW(window, message, wParam, lParam);
}

constexpr const char16_t* kClass = u"VxTestPanel";
constexpr const char16_t* kDblClass = u"VxTestPanelDbl";

class WindowMessagesTest : public ImageTestBase<> {
protected:
    void SetUp() override {
        ImageTestBase<>::SetUp();
        g_log = &m_log;
        g_createResult = 0;
        WNDCLASSW cls{};
        cls.lpfnWndProc = RecordingProc;
        cls.lpszClassName = kClass;
        ASSERT_NE(RegisterClassW(&cls), 0);
        cls.style = CS_DBLCLKS;
        cls.lpszClassName = kDblClass;
        ASSERT_NE(RegisterClassW(&cls), 0);
    }
    void TearDown() override {
        for (HWND w : m_windows)
            if (IsWindow(w)) DestroyWindow(w);
        UnregisterClassW(kClass, nullptr);
        UnregisterClassW(kDblClass, nullptr);
        g_log = nullptr;
        ImageTestBase<>::TearDown();
    }
    HWND Top(int w, int h, const char16_t* cls = kClass) {
        HWND window = CreateWindowExW(0, cls, u"", WS_VISIBLE, 0, 0, w, h, nullptr, nullptr, nullptr, nullptr);
        if (window) m_windows.push_back(window);
        return window;
    }
    std::vector<UINT> Messages(HWND window) const {
        std::vector<UINT> out;
        for (const Seen& s : m_log)
            if (s.window == window && s.message != WM_NULL) out.push_back(s.message);
        return out;
    }
    std::vector<Seen> m_log;
    std::vector<HWND> m_windows;
};

TEST_F(WindowMessagesTest, ClassRegistration) {
    // A name is registered once per process, whatever its case.
    WNDCLASSW cls{};
    cls.lpfnWndProc = RecordingProc;
    cls.lpszClassName = u"vxtestpanel";
    SetLastError(0xdeadbeef);
    EXPECT_EQ(RegisterClassW(&cls), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

    // An unknown class is reported and the out structure is left alone.
    WNDCLASSW info;
    std::memset(&info, 0xA5, sizeof info);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetClassInfoW(nullptr, u"NoSuchClass", &info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
    EXPECT_EQ(info.style, 0xA5A5A5A5u);
    ASSERT_TRUE(GetClassInfoW(nullptr, u"VXTESTPANELDBL", &info));
    EXPECT_EQ(info.style, static_cast<UINT>(CS_DBLCLKS));

    // A class with windows cannot go; without them it can, once.
    HWND window = Top(10, 10);
    ASSERT_TRUE(window);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(UnregisterClassW(kClass, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    DestroyWindow(window);
    EXPECT_TRUE(UnregisterClassW(kClass, nullptr));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(UnregisterClassW(kClass, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateWindowExW(0, kClass, u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));

    // After unregistering the name is free again.
    cls.lpszClassName = kClass;
    EXPECT_NE(RegisterClassW(&cls), 0);
}

TEST_F(WindowMessagesTest, ChildWindowsAndDestructionOrder) {
    // A child needs a parent.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateWindowExW(0, kClass, u"", WS_CHILD, 0, 0, 5, 5, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));

    HWND parent = Top(100, 80);
    ASSERT_TRUE(parent);
    ASSERT_TRUE(MoveWindow(parent, 10, 20, 100, 80, FALSE));
    HWND child = CreateWindowExW(0, kClass, u"", WS_CHILD, 5, 6, 30, 40, parent, nullptr, nullptr, nullptr);
    ASSERT_TRUE(child);
    HWND grandchild = CreateWindowExW(0, kClass, u"", WS_CHILD, 1, 2, 3, 4, child, nullptr, nullptr, nullptr);
    ASSERT_TRUE(grandchild);
    EXPECT_EQ(GetParent(child), parent);
    EXPECT_EQ(Messages(child), std::vector<UINT>{WM_CREATE});

    // A child's window rectangle is in screen coordinates, its client rectangle at the origin.
    RECT rect{-1, -1, -1, -1};
    ASSERT_TRUE(GetWindowRect(grandchild, &rect));
    EXPECT_EQ(rect.left, 16);
    EXPECT_EQ(rect.top, 28);
    EXPECT_EQ(rect.right, 19);
    EXPECT_EQ(rect.bottom, 32);
    ASSERT_TRUE(GetClientRect(grandchild, &rect));
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.right, 3);
    EXPECT_EQ(rect.bottom, 4);

    // WM_DESTROY reaches the window first, then its children, while the parents still exist;
    // every handle is gone afterwards.
    m_log.clear();
    ASSERT_TRUE(DestroyWindow(parent));
    std::vector<HWND> order;
    for (const Seen& s : m_log)
        if (s.message == WM_DESTROY) order.push_back(s.window);
    EXPECT_EQ(order, (std::vector<HWND>{parent, child, grandchild}));
    for (const Seen& s : m_log)
        if (s.message == WM_NULL && s.window) {
            EXPECT_EQ(s.wParam, 1u);
        }
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(IsWindow(grandchild));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DestroyWindow(child));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

    // WM_CREATE returning -1 refuses the window.
    g_createResult = -1;
    EXPECT_EQ(CreateWindowExW(0, kClass, u"", 0, 0, 0, 5, 5, nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(WindowMessagesTest, SendRunsAtOncePostWaitsForTheQueue) {
    HWND window = Top(20, 20);
    ASSERT_TRUE(window);
    ValidateRect(window, nullptr);
    m_log.clear();
    EXPECT_TRUE(PostMessageW(window, WM_USER + 1, 1, 0));
    EXPECT_TRUE(PostMessageW(window, WM_USER + 2, 2, 0));
    SendMessageW(window, WM_USER + 3, 3, 0);
    EXPECT_EQ(Messages(window), std::vector<UINT>{WM_USER + 3});

    // Peeking without removing leaves the message first in line.
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
    // A range filter skips earlier messages without losing them.
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER + 2, WM_USER + 2, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 2u);
    PostQuitMessage(7);
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    DispatchMessageW(&msg);
    EXPECT_EQ(Messages(window), (std::vector<UINT>{WM_USER + 3, WM_USER + 1}));
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));

    // Posting to a dead window fails; messages for a destroyed window are dropped.
    PostMessageW(window, WM_USER + 4, 0, 0);
    DestroyWindow(window);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(PostMessageW(window, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

LRESULT PaintingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) return DefWindowProcW(window, message, wParam, lParam);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT all{0, 0, 100, 100};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EndPaint(window, &paint);
    if (g_log) g_log->push_back({window, WM_PAINT, 0, MAKELPARAM(paint.rcPaint.left, paint.rcPaint.top)});
    return 0;
}

TEST_F(WindowMessagesTest, PaintOnlyOverTheUpdateRegion) {
    WNDCLASSW cls{};
    cls.lpfnWndProc = PaintingProc;
    cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    cls.lpszClassName = u"VxTestPaint";
    ASSERT_NE(RegisterClassW(&cls), 0);
    HWND window = Top(8, 8, u"VxTestPaint");
    ASSERT_TRUE(window);
    // A window shown for the first time is painted whole.
    ASSERT_TRUE(UpdateWindow(window));
    ASSERT_EQ(Messages(window), std::vector<UINT>{WM_PAINT});
    host::Window* surface = host::WindowFromHandle(window);
    ASSERT_TRUE(surface);
    EXPECT_EQ(surface->Surface().Pixel(7, 7), 0u);

    // Nothing invalid: no WM_PAINT, neither from UpdateWindow nor from the queue.
    m_log.clear();
    UpdateWindow(window);
    MSG msg{};
    EXPECT_FALSE(PeekMessageW(&msg, window, 0, 0, PM_NOREMOVE));
    EXPECT_TRUE(m_log.empty());

    // Only the invalid part is erased (background brush) and painted.
    surface->Surface().SetPixel(0, 0, 0x123456);
    surface->Surface().SetPixel(2, 3, 0x123456);
    RECT part{2, 3, 4, 5};
    InvalidateRect(window, &part, TRUE);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
    EXPECT_EQ(msg.hwnd, window);
    DispatchMessageW(&msg);
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_EQ(GET_X_LPARAM(m_log[0].lParam), 2);
    EXPECT_EQ(GET_Y_LPARAM(m_log[0].lParam), 3);
    EXPECT_EQ(surface->Surface().Pixel(0, 0), 0x123456u);
    EXPECT_EQ(surface->Surface().Pixel(2, 3), 0u);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));

    // A hidden window is not painted.
    ShowWindow(window, SW_HIDE);
    InvalidateRect(window, nullptr, FALSE);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    DestroyWindow(window);
    EXPECT_TRUE(UnregisterClassW(u"VxTestPaint", nullptr));
}

TEST_F(WindowMessagesTest, CapturedDragGivesNegativeCoordinates) {
    HWND parent = Top(240, 320);
    ASSERT_TRUE(parent);
    HWND panel = CreateWindowExW(0, kClass, u"", WS_CHILD | WS_VISIBLE, 0, 240, 240, 80, parent, nullptr,
                                 nullptr, nullptr);
    ASSERT_TRUE(panel);
    m_log.clear();
    // The window under the point gets the pen, in its own client coordinates.
    EXPECT_EQ(host::PenEvent(parent, host::PenKind::Down, 10, 250, 1000), panel);
    SetCapture(panel);
    // Dragged above and left of the panel, the capture keeps the pen and the coordinates go
    // negative, sign-extended from 16 bits.
    EXPECT_EQ(host::PenEvent(parent, host::PenKind::Move, 0, 200, 1010), panel);
    EXPECT_EQ(host::PenEvent(parent, host::PenKind::Up, 0, 200, 1020), panel);
    ReleaseCapture();
    ASSERT_EQ(Messages(panel), (std::vector<UINT>{WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_LBUTTONUP}));
    EXPECT_EQ(GET_X_LPARAM(m_log[0].lParam), 10);
    EXPECT_EQ(GET_Y_LPARAM(m_log[0].lParam), 10);
    EXPECT_EQ(m_log[1].wParam, static_cast<WPARAM>(MK_LBUTTON));
    EXPECT_EQ(GET_X_LPARAM(m_log[1].lParam), 0);
    EXPECT_EQ(GET_Y_LPARAM(m_log[1].lParam), -40);
    EXPECT_EQ(static_cast<int>(static_cast<SHORT>(HIWORD(m_log[2].lParam))), -40);
    // Without the capture the same point belongs to the parent.
    EXPECT_EQ(host::PenEvent(parent, host::PenKind::Down, 0, 200, 5000), parent);
    // A hidden window takes no pen.
    ShowWindow(parent, SW_HIDE);
    EXPECT_EQ(host::PenEvent(parent, host::PenKind::Down, 10, 250, 9000), nullptr);
}

TEST_F(WindowMessagesTest, DoubleClickStyleGivesDownUpDoubleUp) {
    HWND plain = Top(50, 50);
    HWND dbl = Top(50, 50, kDblClass);
    ASSERT_TRUE(plain && dbl);
    m_log.clear();
    auto tap = [](HWND w, int x, DWORD t) {
        host::PenEvent(w, host::PenKind::Down, x, 10, t);
        host::PenEvent(w, host::PenKind::Up, x, 10, t + 10);
    };
    tap(dbl, 10, 100);
    tap(dbl, 11, 300);
    // A third tap starts a new pair.
    tap(dbl, 11, 500);
    EXPECT_EQ(Messages(dbl), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP,
                                                WM_LBUTTONDOWN, WM_LBUTTONUP}));
    // Too late, too far, or a class without the style: two plain presses.
    m_log.clear();
    tap(dbl, 10, 10000);
    tap(dbl, 10, 10000 + host::kDoubleClickTime + 1);
    tap(dbl, 30, 10000 + host::kDoubleClickTime + 50);
    tap(plain, 10, 20000);
    tap(plain, 10, 20100);
    const std::vector<UINT> twoPresses{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP,
                                       WM_LBUTTONDOWN, WM_LBUTTONUP};
    EXPECT_EQ(Messages(dbl), twoPresses);
    EXPECT_EQ(Messages(plain), std::vector<UINT>(twoPresses.begin(), twoPresses.begin() + 4));
}

TEST_F(WindowMessagesTest, ShowHideMoveAndWindowLongs) {
    HWND parent = Top(100, 100);
    HWND child = CreateWindowExW(0, kClass, u"", WS_CHILD, 0, 0, 10, 10, parent, nullptr, nullptr, nullptr);
    ASSERT_TRUE(child);
    // A child is visible only once shown and while its parent is.
    EXPECT_FALSE(IsWindowVisible(child));
    EXPECT_FALSE(ShowWindow(child, SW_SHOWNOACTIVATE));
    EXPECT_TRUE(IsWindowVisible(child));
    EXPECT_TRUE(ShowWindow(parent, SW_HIDE));
    EXPECT_FALSE(IsWindowVisible(child));
    ShowWindow(parent, SW_SHOW);

    m_log.clear();
    ValidateRect(child, nullptr);
    ASSERT_TRUE(MoveWindow(child, 0, 20, 60, 30, TRUE));
    RECT rect{};
    GetWindowRect(child, &rect);
    EXPECT_EQ(rect.top, 20);
    EXPECT_EQ(rect.right, 60);
    EXPECT_EQ(rect.bottom, 50);
    EXPECT_EQ(Messages(child), (std::vector<UINT>{WM_MOVE, WM_SIZE}));
    EXPECT_EQ(LOWORD(m_log[1].lParam), 60);
    EXPECT_EQ(HIWORD(m_log[1].lParam), 30);
    EXPECT_TRUE(GetUpdateRect(child, &rect, FALSE));
    EXPECT_EQ(rect.right, 60);
    // SWP_NOMOVE keeps the place and changes only the size.
    ASSERT_TRUE(SetWindowPos(child, nullptr, 99, 99, 20, 5, SWP_NOMOVE | SWP_NOZORDER));
    GetWindowRect(child, &rect);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 20);
    EXPECT_EQ(rect.bottom, 25);

    // GWL_USERDATA holds a pointer-sized value; the 32-bit call sees its low half.
    int anchor = 0;
    const LONG_PTR pointer = reinterpret_cast<LONG_PTR>(&anchor);
    EXPECT_EQ(SetWindowLongPtrW(child, GWLP_USERDATA, pointer), 0);
    EXPECT_EQ(GetWindowLongPtrW(child, GWLP_USERDATA), pointer);
    EXPECT_EQ(SetWindowLongW(child, GWL_USERDATA, -5), static_cast<LONG>(pointer));
    EXPECT_EQ(GetWindowLongW(child, GWL_USERDATA), -5);
    EXPECT_EQ(GetWindowLongW(child, GWL_STYLE) & WS_CHILD, WS_CHILD);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowLongW(child, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
}

BITMAPINFO Header24(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

TEST_F(WindowMessagesTest, DibSectionPixelsAndBitBlt) {
    // Rows are padded to 4 bytes and stored bottom-up; GetObjectW describes the section.
    const BITMAPINFO info = Header24(3, 2);
    void* raw = reinterpret_cast<void*>(0xdeadbeef);
    HBITMAP source = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
    ASSERT_TRUE(source);
    ASSERT_TRUE(raw);
    DIBSECTION ds;
    std::memset(&ds, 0xA5, sizeof ds);
    ASSERT_EQ(GetObjectW(source, sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmWidth, 3);
    EXPECT_EQ(ds.dsBm.bmHeight, 2);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, 12);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 24);
    EXPECT_EQ(ds.dsBm.bmBits, raw);
    EXPECT_EQ(ds.dsBmih.biSizeImage, 24u);
    BITMAP bm;
    ASSERT_EQ(GetObjectW(source, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBits, raw);

    // The first stored pixel is the bottom-left one: blue, green, red.
    auto* bytes = static_cast<uint8_t*>(raw);
    bytes[0] = 0x11;
    bytes[1] = 0x22;
    bytes[2] = 0x33;
    void* outRaw = nullptr;
    const BITMAPINFO topDown = Header24(3, -2);
    HBITMAP dest = CreateDIBSection(nullptr, &topDown, DIB_RGB_COLORS, &outRaw, nullptr, 0);
    ASSERT_TRUE(dest);
    HDC from = CreateCompatibleDC(nullptr);
    HDC to = CreateCompatibleDC(nullptr);
    HGDIOBJ oldFrom = SelectObject(from, source);
    HGDIOBJ oldTo = SelectObject(to, dest);
    ASSERT_TRUE(BitBlt(to, 0, 0, 3, 2, from, 0, 0, SRCCOPY));
    // In the top-down copy the same pixel is the first of the second row.
    const auto* out = static_cast<const uint8_t*>(outRaw);
    EXPECT_EQ(out[12], 0x11);
    EXPECT_EQ(out[13], 0x22);
    EXPECT_EQ(out[14], 0x33);
    EXPECT_EQ(out[0], 0);
    SelectObject(from, oldFrom);
    SelectObject(to, oldTo);
    DeleteDC(from);
    DeleteDC(to);
    EXPECT_TRUE(DeleteObject(source));
    EXPECT_TRUE(DeleteObject(dest));

    // Only uncompressed 24- and 32-bit sections are made; the out pointer is cleared on failure.
    BITMAPINFO bad = Header24(3, 2);
    bad.bmiHeader.biBitCount = 4;
    raw = reinterpret_cast<void*>(0xdeadbeef);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateDIBSection(nullptr, &bad, DIB_RGB_COLORS, &raw, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(raw, nullptr);
}

TEST_F(WindowMessagesTest, ImageListCounts) {
    HIMAGELIST list = ImageList_Create(16, 16, ILC_MASK, 1, 1);
    ASSERT_TRUE(list);
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
    // A bitmap two images wide adds two; the next one is numbered after them.
    const BITMAPINFO wide = Header24(32, 16);
    void* raw = nullptr;
    HBITMAP pair = CreateDIBSection(nullptr, &wide, DIB_RGB_COLORS, &raw, nullptr, 0);
    ASSERT_TRUE(pair);
    EXPECT_EQ(ImageList_AddMasked(list, pair, 0xC0C0C0), 0);
    EXPECT_EQ(ImageList_AddMasked(list, pair, 0xC0C0C0), 2);
    EXPECT_EQ(ImageList_GetImageCount(list), 4);
    int cx = -1;
    int cy = -1;
    ASSERT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);
    // A bitmap narrower than one image adds nothing.
    HBITMAP narrow = CreateBitmap(8, 16, 1, 24, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(ImageList_AddMasked(list, narrow, 0xC0C0C0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ImageList_GetImageCount(list), 4);
    DeleteObject(narrow);
    DeleteObject(pair);
    EXPECT_TRUE(ImageList_Destroy(list));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(ImageList_AddMasked(list, pair, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
}

}  // namespace
