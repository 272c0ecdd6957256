// Windows: the handle table, update regions, window device contexts, painting and the capture.
// Classes, procedures, children, placement and the message queues are in window_manager.cpp.
#include "host/windows/window.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "host/kernel/device.h"
#include "host/gdi/gdi_objects.h"
#include "host/windows/window_table.h"
#include "platform/gdi.h"
#include "platform/processes.h"
#include "platform/windows.h"

namespace host {

WindowTable& Windows() {
    // Never destroyed: threads of the process may still use their windows while it exits.
    static WindowTable* table = new WindowTable;
    return *table;
}

HWND AddWindow(std::unique_ptr<Window> window) {
    if (!window->processId) window->processId = GetCurrentProcessId();
    if (!window->threadId) window->threadId = static_cast<DWORD>(::syscall(SYS_gettid));
    NoteWindowThread();
    auto& table = Windows();
    std::lock_guard guard(table.lock);
    uintptr_t value = kWindowBase + table.next++ * kWindowStep;
    HWND handle = reinterpret_cast<HWND>(value);
    window->handle = handle;
    const bool topLevel = !window->parent;
    table.live.emplace(value, std::move(window));
    if (topLevel) table.stack.insert(table.stack.begin(), handle);
    return handle;
}

namespace {

RECT Intersect(const RECT& a, const RECT& b) {
    return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}

bool HasArea(const RECT& r) { return r.right > r.left && r.bottom > r.top; }

// Appends the parts of r that lie outside cut (at most four bands).
void AppendDifference(const RECT& r, const RECT& cut, std::vector<RECT>& out) {
    RECT inner = Intersect(r, cut);
    if (!HasArea(inner)) {
        out.push_back(r);
        return;
    }
    const RECT bands[4] = {{r.left, r.top, r.right, inner.top},
                           {r.left, inner.bottom, r.right, r.bottom},
                           {r.left, inner.top, inner.left, inner.bottom},
                           {inner.right, inner.top, r.right, inner.bottom}};
    for (const RECT& band : bands)
        if (HasArea(band)) out.push_back(band);
}

}  // namespace

Window::Window(int width, int height) : m_width(width), m_height(height) {}

bool Window::SizeFits(int width, int height) {
    if (width < 0 || height < 0) return false;
    return static_cast<uint64_t>(std::max(width, 1)) * static_cast<uint64_t>(std::max(height, 1)) <= Bitmap::kMaxPixels;
}

Bitmap& Window::MadeSurface() const {
    // The size was checked when it was set, so only a failing allocation (which throws) stops this.
    if (!m_surface) m_surface = Bitmap::Create(std::max(m_width, 1), std::max(m_height, 1), 32);
    return *m_surface;
}

size_t Window::SurfaceBytes() const {
    return m_surface ? m_surface->Pixels().size() * sizeof(uint32_t) : 0;
}

void Window::Invalidate(const RECT* rect, bool erase) {
    const RECT client = ClientRect();
    const RECT wanted = rect ? Intersect(*rect, client) : client;
    if (!HasArea(wanted)) return;
    m_erase = m_erase || erase;
    // Only what the region lacks is added, so its rectangles never overlap.
    std::vector<RECT> pieces{wanted};
    for (const RECT& held : m_update) {
        std::vector<RECT> rest;
        for (const RECT& piece : pieces) AppendDifference(piece, held, rest);
        pieces.swap(rest);
        if (pieces.empty()) return;
    }
    m_update.insert(m_update.end(), pieces.begin(), pieces.end());
}

void Window::Validate(const RECT* rect) {
    if (!rect) {
        m_update.clear();
        m_erase = false;
        return;
    }
    std::vector<RECT> rest;
    for (const RECT& held : m_update) AppendDifference(held, *rect, rest);
    m_update.swap(rest);
    if (m_update.empty()) m_erase = false;
}

RECT Window::UpdateBounds() const {
    if (m_update.empty()) return RECT{0, 0, 0, 0};
    RECT bounds = m_update.front();
    for (const RECT& r : m_update) {
        bounds.left = std::min(bounds.left, r.left);
        bounds.top = std::min(bounds.top, r.top);
        bounds.right = std::max(bounds.right, r.right);
        bounds.bottom = std::max(bounds.bottom, r.bottom);
    }
    return bounds;
}

bool Window::Resize(int width, int height) {
    if (width == m_width && height == m_height) return true;
    if (!SizeFits(width, height)) return false;
    if (m_surface) {
        auto surface = Bitmap::Create(std::max(width, 1), std::max(height, 1), 32);
        if (!surface) return false;
        // What stays inside keeps its pixels, so only newly exposed parts need painting.
        const int keepWidth = std::min({m_width, width, m_surface->Width()});
        const int keepHeight = std::min({m_height, height, m_surface->Height()});
        for (int row = 0; row < keepHeight; ++row)
            std::copy_n(m_surface->Row(row), keepWidth, surface->Row(row));
        if (handle) DetachWindowDCs(handle);
        m_surface = std::move(surface);
    }
    m_width = width;
    m_height = height;
    const RECT client = ClientRect();
    std::vector<RECT> kept;
    for (const RECT& r : m_update) {
        RECT cut = Intersect(r, client);
        if (HasArea(cut)) kept.push_back(cut);
    }
    m_update.swap(kept);
    if (m_update.empty()) m_erase = false;
    return true;
}

HWND CreateHostWindow(int width, int height) {
    if (width <= 0 || height <= 0 || !Window::SizeFits(width, height)) return nullptr;
    auto window = std::make_unique<Window>(width, height);
    window->style = WS_VISIBLE;
    window->thread = std::this_thread::get_id();
    return AddWindow(std::move(window));
}

bool DestroyHostWindow(HWND window) { return DestroyWindow(window) != FALSE; }

bool RemoveWindow(HWND window) {
    std::unique_ptr<Window> doomed;
    {
        auto& table = Windows();
        std::lock_guard guard(table.lock);
        auto it = table.live.find(reinterpret_cast<uintptr_t>(window));
        if (it == table.live.end()) return false;
        doomed = std::move(it->second);
        table.live.erase(it);
        if (table.capture == window) table.capture = nullptr;
        std::erase(table.stack, window);
        // Nothing takes over: the device's shell would pick the next window, the host has none.
        if (table.foreground == window) table.foreground = nullptr;
        if (table.active == window) table.active = nullptr;
    }
    DetachWindowDCs(window);
    return true;
}

Window* Live(WindowTable& table, HWND window) {
    auto it = table.live.find(reinterpret_cast<uintptr_t>(window));
    return it == table.live.end() ? nullptr : it->second.get();
}

Window* WindowFromHandle(HWND window) {
    auto& table = Windows();
    std::lock_guard guard(table.lock);
    return Live(table, window);
}

Window* FindLive(HWND window) {
    Window* found = WindowFromHandle(window);
    if (!found) SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
    return found;
}

}  // namespace host

namespace {

// A context drawing into the window's surface, clipped to clip (null: the client area).
HDC MakeWindowDC(HWND handle, host::Window& window, const std::vector<RECT>* clip) {
    auto dc = std::make_unique<host::DeviceContext>();
    dc->kind = host::DeviceContext::Kind::Window;
    dc->window = handle;
    dc->surface = &window.Surface();
    dc->brush = host::DefaultBrush();
    if (clip) {
        if (clip->size() <= static_cast<size_t>(host::DeviceContext::kMaxClipRects)) {
            for (const RECT& r : *clip) dc->clip[dc->clipCount++] = r;
        } else {
            // A region of many pieces is clipped to its bounds; painting a little more than
            // needed is harmless.
            dc->clip[0] = window.UpdateBounds();
            dc->clipCount = 1;
        }
        if (clip->empty()) {
            // Nothing to paint: a clip list that holds only an empty rectangle.
            dc->clip[0] = RECT{0, 0, 0, 0};
            dc->clipCount = 1;
        }
    }
    return host::RegisterDC(std::move(dc));
}

}  // namespace

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    host::Window* found = host::FindLive(window);
    if (!found) return FALSE;
    found->Invalidate(rect, erase != FALSE);
    host::WakeMessageWaiters();
    return TRUE;
}

BOOL ValidateRect(HWND window, const RECT* rect) {
    host::Window* found = host::FindLive(window);
    if (!found) return FALSE;
    found->Validate(rect);
    return TRUE;
}

BOOL GetUpdateRect(HWND window, RECT* rect, BOOL /*erase: no window procedure to send it to yet*/) {
    host::Window* found = host::FindLive(window);
    if (!found) return FALSE;
    RECT bounds = found->UpdateBounds();
    if (rect) *rect = bounds;
    return bounds.right > bounds.left && bounds.bottom > bounds.top;
}

BOOL GetClientRect(HWND window, RECT* rect) {
    host::Window* found = host::FindLive(window);
    if (!found) return FALSE;
    if (!rect) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *rect = found->ClientRect();
    return TRUE;
}

HDC GetDC(HWND window) {
    host::Window* found = host::FindLive(window);
    if (!found) return nullptr;
    return MakeWindowDC(window, *found, nullptr);
}

int ReleaseDC(HWND window, HDC dc) {
    host::DeviceContext* context = host::DCFromHandle(dc);
    if (!context || context->kind != host::DeviceContext::Kind::Window || context->window != window) return 0;
    host::RemoveDC(dc);
    return 1;
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
    host::Window* found = host::FindLive(window);
    if (!found) return nullptr;
    if (!paint) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HDC dc = MakeWindowDC(window, *found, &found->UpdateRects());
    const RECT bounds = found->UpdateBounds();
    bool erase = found->NeedsErase();
    found->Validate(nullptr);
    // The window procedure erases first; the painter erases only what it declined.
    if (erase) erase = SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
    *paint = PAINTSTRUCT{};
    paint->hdc = dc;
    paint->fErase = erase ? TRUE : FALSE;
    paint->rcPaint = bounds;
    return dc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
    if (!paint) return FALSE;
    return ReleaseDC(window, paint->hdc) ? TRUE : FALSE;
}

HWND SetCapture(HWND window) {
    auto& table = host::Windows();
    std::lock_guard guard(table.lock);
    if (!host::Live(table, window)) {
        host::SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return std::exchange(table.capture, window);
}

BOOL ReleaseCapture() {
    auto& table = host::Windows();
    std::lock_guard guard(table.lock);
    table.capture = nullptr;
    return TRUE;
}

HWND GetCapture() {
    auto& table = host::Windows();
    std::lock_guard guard(table.lock);
    return table.capture;
}
