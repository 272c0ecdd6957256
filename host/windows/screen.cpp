#include "host/windows/screen.h"

#include <algorithm>
#include <string>
#include <vector>

#include "host/gdi/fonts.h"
#include "host/gdi/gdi_objects.h"
#include "host/gdi/raster.h"
#include "host/kernel/device.h"
#include "host/windows/dialog.h"
#include "host/windows/sip.h"
#include "host/windows/window.h"
#include "host/windows/window_table.h"
#include "platform/gdi.h"

namespace host {

namespace {

constexpr uint32_t kDesktop = 0x3B5A8C;
constexpr COLORREF kNavigationBar = RGB(0x0A, 0x24, 0x6A);

// Paints the window and its children afresh, then copies what they drew onto the screen, each
// child clipped to its parent's client area.
void Compose(HWND window, Bitmap& screen, RECT clip) {
    if (!IsWindowVisible(window)) return;
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    RECT place{};
    if (!GetWindowRect(window, &place)) return;
    const RECT visible{std::max(place.left, clip.left), std::max(place.top, clip.top), std::min(place.right, clip.right),
                       std::min(place.bottom, clip.bottom)};
    if (visible.right <= visible.left || visible.bottom <= visible.top) return;
    if (const Window* found = WindowFromHandle(window)) {
        const Bitmap& surface = found->Surface();
        for (int y = visible.top; y < visible.bottom; ++y)
            for (int x = visible.left; x < visible.right; ++x) {
                const int sx = x - place.left, sy = y - place.top;
                if (sx < surface.Width() && sy < surface.Height()) screen.SetPixel(x, y, surface.Pixel(sx, sy));
            }
    }
    // Children are kept bottom first; GW_CHILD and GW_HWNDNEXT give them from the top down.
    std::vector<HWND> children;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) children.push_back(child);
    for (auto it = children.rbegin(); it != children.rend(); ++it) Compose(*it, screen, visible);
}

void NavigationBar(Bitmap& screen, int width) {
    auto context = std::make_unique<DeviceContext>();
    context->surface = &screen;
    DeviceContext& dc = *context;
    FillSolid(dc, RECT{0, 0, width, kSipNavigationBarHeight}, kNavigationBar);
    HWND front = GetForegroundWindow();
    if (!front || !IsWindowVisible(front)) return;
    LOGFONTW bold{};
    bold.lfHeight = -((9 * ScreenPixelsPerInch() + 36) / 72);
    bold.lfWeight = FW_BOLD;
    FontMetrics metrics;
    if (!MeasureFont(bold, &metrics)) return;
    const int top = (kSipNavigationBarHeight - metrics.height) / 2;
    WCHAR title[128] = {};
    const int length = GetWindowTextW(front, title, 128);
    const RECT bar{0, 0, width, kSipNavigationBarHeight};
    DrawFontText(dc, bold, 6, top, std::u16string_view(title, static_cast<size_t>(length)), RGB(255, 255, 255), &bar);
    if (HasDoneButton(front)) {
        const std::u16string done = u"ok";
        DrawFontText(dc, bold, width - 6 - TextWidth(bold, done), top, done, RGB(255, 255, 255), &bar);
    }
}

}  // namespace

std::unique_ptr<Bitmap> RenderScreen(Device& device) {
    ScopedDevice scope(&device);
    const int width = device.ScreenWidth(), height = device.ScreenHeight();
    std::unique_ptr<Bitmap> screen = Bitmap::Create(width, height, 32);
    if (!screen) return nullptr;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) screen->SetPixel(x, y, kDesktop);
    const RECT all{0, 0, width, height};
    HWND panel = nullptr;
    if (Sip* sip = DeviceSip(&device)) panel = sip->Window();
    // The stack holds top-level windows topmost first: they are drawn from its end.
    std::vector<HWND> stack;
    for (HWND window = GetWindow(nullptr, GW_CHILD); window; window = GetWindow(window, GW_HWNDNEXT))
        stack.push_back(window);
    for (auto it = stack.rbegin(); it != stack.rend(); ++it)
        if (*it != panel) Compose(*it, *screen, all);
    NavigationBar(*screen, width);
    // The input panel floats above everything.
    if (panel) Compose(panel, *screen, all);
    return screen;
}

}  // namespace host
