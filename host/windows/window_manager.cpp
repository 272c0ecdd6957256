// Window classes, window procedures, children, placement, visibility, window longs, the
// per-thread message queues and pen input. Procedures are always called with no lock held, so
// a procedure may create, send to or destroy windows freely.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <cstdlib>
#include <utility>
#include <string>
#include <vector>

#include "host/kernel/device.h"
#include "host/kernel/scheduler.h"
#include "host/kernel/threads.h"
#include "host/gdi/gdi_objects.h"
#include "platform/gdi.h"
#include "platform/text.h"
#include "platform/dialogs.h"
#include "platform/windows.h"
#include "host/windows/system_classes.h"
#include "host/windows/window_table.h"

namespace host {

namespace {

struct ClassEntry {
    WNDCLASSW info{};
    std::u16string name;
    ATOM atom = 0;
    int windows = 0;
    bool system = false;  // provided by the platform: never unregistered
};

struct ClassTable {
    std::mutex lock;
    std::vector<ClassEntry> classes;
    ATOM next = 0xC000;  // where the platform's string atoms start
};

ClassTable& Classes() {
    static ClassTable* table = [] {
        auto* made = new ClassTable;  // never destroyed: windows may be destroyed during exit
        for (const WNDCLASSW& info : SystemClasses()) {
            ClassEntry entry;
            entry.info = info;
            entry.name = info.lpszClassName;
            entry.atom = made->next++;
            entry.system = true;
            made->classes.push_back(std::move(entry));
        }
        for (ClassEntry& entry : made->classes) entry.info.lpszClassName = entry.name.c_str();
        return made;
    }();
    return *table;
}

bool IsAtom(LPCWSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000u; }

ClassEntry* FindClass(ClassTable& table, LPCWSTR name) {
    if (!name) return nullptr;
    for (ClassEntry& entry : table.classes) {
        if (IsAtom(name) ? entry.atom == static_cast<ATOM>(reinterpret_cast<uintptr_t>(name))
                         : EqualsNoCase(entry.name, name))
            return &entry;
    }
    return nullptr;
}

LRESULT Call(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A message sent from another thread, waiting to be handled on the window's thread; the sender
// waits until done.
struct SentMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
    bool done = false;
};

struct ThreadQueue {
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    bool quit = false;
    int quitCode = 0;
    // The thread has made windows and has not ended: messages sent to it will be handled.
    bool alive = false;
};

struct QueueTable {
    std::mutex lock;
    // Wakes threads waiting for messages and senders waiting for their answer.
    std::condition_variable changed;
    std::map<std::thread::id, ThreadQueue> queues;
};

QueueTable& Queues() {
    // Never destroyed: threads of the process may still wait for messages while it exits.
    static QueueTable* table = new QueueTable;
    return *table;
}

// Marks a thread that made windows as gone when it ends: what was sent to it is answered with 0,
// and its windows belong to no thread any more, so later sends to them return 0 at once (even
// when a new thread is given the ended one's identifier).
struct ThreadPresence {
    bool noted = false;
    ~ThreadPresence() {
        if (!noted) return;
        const auto self = std::this_thread::get_id();
        {
            auto& table = Windows();
            std::lock_guard guard(table.lock);
            for (auto& [value, w] : table.live)
                if (w->thread == self) w->thread = std::thread::id();
        }
        auto& queues = Queues();
        {
            std::lock_guard guard(queues.lock);
            ThreadQueue& queue = queues.queues[self];
            for (auto& sent : queue.sent) sent->done = true;
            queues.queues.erase(self);
        }
        queues.changed.notify_all();
    }
};

thread_local ThreadPresence t_presence;

// Handles what other threads sent to this one, in the order sent.
void HandleSentMessages() {
    auto& queues = Queues();
    for (;;) {
        std::shared_ptr<SentMessage> sent;
        {
            std::lock_guard guard(queues.lock);
            auto it = queues.queues.find(std::this_thread::get_id());
            if (it == queues.queues.end() || it->second.sent.empty()) return;
            sent = std::move(it->second.sent.front());
            it->second.sent.pop_front();
        }
        const LRESULT result = Call(sent->hwnd, sent->message, sent->wParam, sent->lParam);
        {
            std::lock_guard guard(queues.lock);
            sent->result = result;
            sent->done = true;
        }
        queues.changed.notify_all();
    }
}

// Sends to a window of another thread and waits for its answer, handling meanwhile what is sent
// to this thread (two threads sending to each other must not wait for ever). 0 when the
// window's thread has ended or ends before handling it.
LRESULT SendToOtherThread(HWND window, std::thread::id thread, UINT message, WPARAM wParam, LPARAM lParam) {
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = window;
    sent->message = message;
    sent->wParam = wParam;
    sent->lParam = lParam;
    auto& queues = Queues();
    {
        std::lock_guard guard(queues.lock);
        auto it = queues.queues.find(thread);
        if (thread == std::thread::id() || it == queues.queues.end() || !it->second.alive) return 0;
        it->second.sent.push_back(sent);
    }
    queues.changed.notify_all();
    // The window may belong to the simulated programs, which look for messages only while this
    // program gives them the processor.
    YieldToOtherPrograms();
    for (;;) {
        HandleSentMessages();
        std::unique_lock guard(queues.lock);
        if (sent->done) return sent->result;
        queues.changed.wait_for(guard, std::chrono::milliseconds(50));
        if (sent->done) return sent->result;
    }
}

// The last pen-down, for turning a second one into a double-click.
struct PenState {
    HWND window = nullptr;
    DWORD time = 0;
    POINT at{};
    bool down = false;
};

PenState& Pen() {
    static PenState state;
    return state;
}

// Screen position of the window's client origin. The table lock is held.
POINT Origin(WindowTable& table, const Window& window) {
    POINT at{window.x, window.y};
    for (Window* up = Live(table, window.parent); up; up = Live(table, up->parent)) {
        at.x += up->x;
        at.y += up->y;
    }
    return at;
}

bool VisibleLocked(WindowTable& table, const Window& window) {
    for (const Window* w = &window; w; w = Live(table, w->parent))
        if (!(w->style & WS_VISIBLE)) return false;
    return true;
}

HBRUSH BackgroundBrush(HBRUSH given) {
    // A small value is a system colour index plus one, as classes are usually registered.
    const uintptr_t value = reinterpret_cast<uintptr_t>(given);
    if (value == 0) return nullptr;
    const uintptr_t index = (value - 1) & ~static_cast<uintptr_t>(SYS_COLOR_INDEX_FLAG);
    if (index < 64 && ((value - 1) & SYS_COLOR_INDEX_FLAG || value - 1 < 64))
        return SysColorBrush(static_cast<int>(index));
    return given;
}

LRESULT Call(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* found = FindLive(window);
    if (!found) return 0;
    WNDPROC proc = found->proc;
    return proc ? proc(window, message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

void SendDestroy(HWND window) {
    Call(window, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    if (Window* found = WindowFromHandle(window)) children = found->children;
    for (HWND child : children) SendDestroy(child);
}

void Free(HWND window) {
    std::vector<HWND> children;
    ATOM atom = 0;
    {
        auto& table = Windows();
        std::lock_guard guard(table.lock);
        Window* found = Live(table, window);
        if (!found) return;
        children = found->children;
        atom = found->classAtom;
        if (Window* parent = Live(table, found->parent)) std::erase(parent->children, window);
    }
    for (HWND child : children) Free(child);
    RemoveWindow(window);
    if (atom) {
        auto& classes = Classes();
        std::lock_guard guard(classes.lock);
        if (ClassEntry* entry = FindClass(classes, MAKEINTATOM(atom))) --entry->windows;
    }
    auto& queues = Queues();
    std::lock_guard guard(queues.lock);
    for (auto& [thread, queue] : queues.queues)
        std::erase_if(queue.posted, [window](const MSG& m) { return m.hwnd == window; });
}

// Moves and sizes; invalidates what the class styles and repaint ask for; sends WM_MOVE and
// WM_SIZE after the change.
BOOL Place(HWND window, int x, int y, int width, int height, bool move, bool size, bool repaint) {
    bool moved = false;
    bool resized = false;
    int newWidth = 0;
    int newHeight = 0;
    {
        auto& table = Windows();
        std::lock_guard guard(table.lock);
        Window* found = Live(table, window);
        if (!found) {
            SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        width = std::max(width, 0);
        height = std::max(height, 0);
        if (move && (found->x != x || found->y != y)) {
            found->x = x;
            found->y = y;
            moved = true;
        }
        const int oldWidth = found->Width();
        const int oldHeight = found->Height();
        if (size && (oldWidth != width || oldHeight != height)) {
            if (!found->Resize(width, height)) {
                SetLastErrorCode(ERROR_NOT_ENOUGH_MEMORY);
                return FALSE;
            }
            resized = true;
        }
        newWidth = found->Width();
        newHeight = found->Height();
        if (repaint && (moved || resized)) {
            const bool whole = moved || (found->classStyle & CS_HREDRAW && oldWidth != newWidth) ||
                               (found->classStyle & CS_VREDRAW && oldHeight != newHeight);
            if (whole) {
                found->Invalidate(nullptr, true);
            } else {
                const RECT right{oldWidth, 0, newWidth, newHeight};
                const RECT below{0, oldHeight, newWidth, newHeight};
                found->Invalidate(&right, true);
                found->Invalidate(&below, true);
            }
        }
    }
    if (moved) Call(window, WM_MOVE, 0, MAKELPARAM(x, y));
    if (resized) Call(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(newWidth, newHeight));
    WakeMessageWaiters();
    return TRUE;
}

// The deepest visible window at screen point (sx, sy), starting from window. The lock is held.
HWND HitTest(WindowTable& table, HWND window, int sx, int sy) {
    Window* found = Live(table, window);
    if (!found || !VisibleLocked(table, *found)) return nullptr;
    const POINT at = Origin(table, *found);
    if (sx < at.x || sy < at.y || sx >= at.x + found->Width() || sy >= at.y + found->Height()) return nullptr;
    // Later children lie on top.
    for (auto it = found->children.rbegin(); it != found->children.rend(); ++it)
        if (HWND hit = HitTest(table, *it, sx, sy)) return hit;
    return window;
}

std::optional<MSG> TakePosted(HWND window, UINT low, UINT high, bool remove) {
    auto& queues = Queues();
    std::lock_guard guard(queues.lock);
    ThreadQueue& queue = queues.queues[std::this_thread::get_id()];
    const bool anyRange = low == 0 && high == 0;
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (window && it->hwnd != window) continue;
        if (!anyRange && (it->message < low || it->message > high)) continue;
        MSG found = *it;
        if (remove) queue.posted.erase(it);
        return found;
    }
    if (queue.quit && (anyRange || (WM_QUIT >= low && WM_QUIT <= high))) {
        MSG quit{};
        quit.message = WM_QUIT;
        quit.wParam = static_cast<WPARAM>(queue.quitCode);
        quit.time = GetTickCount();
        if (remove) queue.quit = false;
        return quit;
    }
    return std::nullopt;
}

// WM_PAINT is not queued: it stands for a visible window of this thread with an update region.
std::optional<MSG> PendingPaint(HWND window, UINT low, UINT high) {
    if (!(low == 0 && high == 0) && (WM_PAINT < low || WM_PAINT > high)) return std::nullopt;
    auto& table = Windows();
    std::lock_guard guard(table.lock);
    const auto self = std::this_thread::get_id();
    for (auto& [value, w] : table.live) {
        if (w->thread != self || w->UpdateRects().empty() || !VisibleLocked(table, *w)) continue;
        if (window && w->handle != window) continue;
        MSG paint{};
        paint.hwnd = w->handle;
        paint.message = WM_PAINT;
        paint.time = GetTickCount();
        return paint;
    }
    return std::nullopt;
}

}  // namespace

void WakeMessageWaiters() { Queues().changed.notify_all(); }

void NoteWindowThread() {
    if (t_presence.noted) return;
    t_presence.noted = true;
    auto& queues = Queues();
    std::lock_guard guard(queues.lock);
    queues.queues[std::this_thread::get_id()].alive = true;
}

HWND PenEvent(HWND window, PenKind kind, int x, int y, DWORD time) {
    HWND target = nullptr;
    UINT message = 0;
    WPARAM keys = 0;
    LPARAM where = 0;
    {
        auto& table = Windows();
        std::lock_guard guard(table.lock);
        Window* from = Live(table, window);
        if (!from) {
            SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        const POINT origin = Origin(table, *from);
        const int sx = origin.x + x;
        const int sy = origin.y + y;
        target = Live(table, table.capture) ? table.capture : HitTest(table, window, sx, sy);
        if (!target) return nullptr;
        Window* hit = Live(table, target);
        // A disabled window, or one inside a disabled window, takes no pen input.
        for (const Window* w = hit; w; w = Live(table, w->parent))
            if (w->style & WS_DISABLED) return nullptr;
        const POINT hitOrigin = Origin(table, *hit);
        where = MAKELPARAM(sx - hitOrigin.x, sy - hitOrigin.y);
        PenState& pen = Pen();
        switch (kind) {
        case PenKind::Down: {
            const bool twice = hit->classStyle & CS_DBLCLKS && pen.window == target &&
                               time - pen.time <= kDoubleClickTime && std::abs(sx - pen.at.x) <= kDoubleClickDistance &&
                               std::abs(sy - pen.at.y) <= kDoubleClickDistance;
            message = twice ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
            // A third press starts a new pair rather than making another double-click.
            pen.window = twice ? nullptr : target;
            pen.time = time;
            pen.at = POINT{sx, sy};
            pen.down = true;
            keys = MK_LBUTTON;
            break;
        }
        case PenKind::Move:
            message = WM_MOUSEMOVE;
            keys = pen.down ? MK_LBUTTON : 0;
            break;
        case PenKind::Up:
            message = WM_LBUTTONUP;
            pen.down = false;
            break;
        }
    }
    Call(target, message, keys, where);
    return target;
}

}  // namespace host

using host::FindLive;

ATOM RegisterClassW(const WNDCLASSW* wndClass) {
    if (!wndClass || !wndClass->lpszClassName || host::IsAtom(wndClass->lpszClassName) ||
        !wndClass->lpszClassName[0] || wndClass->cbWndExtra < 0 || wndClass->cbWndExtra > 4096 ||
        wndClass->cbClsExtra < 0) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto& table = host::Classes();
    std::lock_guard guard(table.lock);
    if (host::FindClass(table, wndClass->lpszClassName)) {
        host::SetLastErrorCode(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    host::ClassEntry entry;
    entry.info = *wndClass;
    entry.name = wndClass->lpszClassName;
    entry.atom = table.next++;
    table.classes.push_back(std::move(entry));
    // The stored copy answers for the caller's name, which may not outlive this call.
    table.classes.back().info.lpszClassName = table.classes.back().name.c_str();
    table.classes.back().info.lpszMenuName = nullptr;
    return table.classes.back().atom;
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance) {
    auto& table = host::Classes();
    std::lock_guard guard(table.lock);
    host::ClassEntry* entry = host::FindClass(table, className);
    if (!entry || entry->info.hInstance != instance) {
        host::SetLastErrorCode(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (entry->system) {
        host::SetLastErrorCode(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (entry->windows > 0) {
        host::SetLastErrorCode(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    const ATOM atom = entry->atom;
    std::erase_if(table.classes, [atom](const host::ClassEntry& e) { return e.atom == atom; });
    // Vector moves invalidated the stored names' pointers.
    for (host::ClassEntry& e : table.classes) e.info.lpszClassName = e.name.c_str();
    return TRUE;
}

BOOL GetClassInfoW(HINSTANCE /*any instance: classes are known process-wide*/, LPCWSTR className,
                   WNDCLASSW* wndClass) {
    auto& table = host::Classes();
    std::lock_guard guard(table.lock);
    host::ClassEntry* entry = host::FindClass(table, className);
    if (!entry) {
        host::SetLastErrorCode(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (!wndClass) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *wndClass = entry->info;
    return TRUE;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    WNDCLASSW info{};
    ATOM atom = 0;
    std::u16string registeredName;
    {
        auto& table = host::Classes();
        std::lock_guard guard(table.lock);
        host::ClassEntry* entry = host::FindClass(table, className);
        if (!entry) {
            host::SetLastErrorCode(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        info = entry->info;
        atom = entry->atom;
        registeredName = entry->name;
        ++entry->windows;
    }
    auto undoClass = [atom] {
        auto& table = host::Classes();
        std::lock_guard guard(table.lock);
        if (host::ClassEntry* entry = host::FindClass(table, MAKEINTATOM(atom))) --entry->windows;
    };
    const bool child = style & WS_CHILD;
    if (child && !parent) {
        undoClass();
        host::SetLastErrorCode(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }
    if (parent && !host::WindowFromHandle(parent)) {
        undoClass();
        host::SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) {
        width = child ? 0 : GetSystemMetrics(SM_CXSCREEN);
        height = child ? 0 : GetSystemMetrics(SM_CYSCREEN);
    }
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (!host::Window::SizeFits(width, height)) {
        undoClass();
        host::SetLastErrorCode(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto window = std::make_unique<host::Window>(width, height);
    window->parent = child ? parent : nullptr;
    window->proc = info.lpfnWndProc;
    window->classStyle = info.style;
    window->classAtom = atom;
    window->background = host::BackgroundBrush(info.hbrBackground);
    window->style = style;
    window->exStyle = exStyle;
    window->x = x;
    window->y = y;
    window->id = child ? static_cast<LONG>(reinterpret_cast<uintptr_t>(menu)) : 0;
    window->extra.assign(static_cast<size_t>(info.cbWndExtra), 0);
    window->thread = std::this_thread::get_id();
    window->className = std::move(registeredName);
    if (windowName) window->title = windowName;
    if (style & WS_VISIBLE) window->Invalidate(nullptr, true);
    HWND handle = host::AddWindow(std::move(window));
    if (child) {
        auto& table = host::Windows();
        std::lock_guard guard(table.lock);
        // A new child goes to the bottom of its siblings, so that controls stack (and tab) in
        // the order they were made.
        if (host::Window* up = host::Live(table, parent)) up->children.insert(up->children.begin(), handle);
    }
    CREATESTRUCTW create{};
    create.lpCreateParams = param;
    create.hInstance = instance;
    create.hMenu = menu;
    create.hwndParent = parent;
    create.cx = width;
    create.cy = height;
    create.x = x;
    create.y = y;
    create.style = static_cast<LONG>(style);
    create.lpszName = windowName;
    create.lpszClass = className;
    create.dwExStyle = exStyle;
    if (host::Call(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    return host::WindowFromHandle(handle) ? handle : nullptr;
}

BOOL DestroyWindow(HWND window) {
    host::Window* found = FindLive(window);
    if (!found) return FALSE;
    if (found->destroying) return TRUE;
    found->destroying = true;
    host::SendDestroy(window);
    host::Free(window);
    return TRUE;
}

BOOL IsWindow(HWND window) { return host::WindowFromHandle(window) ? TRUE : FALSE; }

HWND GetParent(HWND window) {
    host::Window* found = FindLive(window);
    return found ? found->parent : nullptr;
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (BeginPaint(window, &paint)) EndPaint(window, &paint);
        return 0;
    }
    case WM_ERASEBKGND: {
        host::Window* found = host::WindowFromHandle(window);
        if (!found || !found->background) return 0;
        const RECT client = found->ClientRect();
        return FillRect(reinterpret_cast<HDC>(wParam), &client, found->background) ? 1 : 0;
    }
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_SETTEXT: {
        const bool set = host::WithWindow(window, false, [&](host::WindowTable&, host::Window& w) {
            w.title = lParam ? reinterpret_cast<LPCWSTR>(lParam) : u"";
            return true;
        });
        // A control shows its text: it is drawn again.
        if (set && (GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) InvalidateRect(window, nullptr, TRUE);
        return set ? TRUE : FALSE;
    }
    case WM_GETTEXT: return GetWindowTextW(window, reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
    case WM_GETTEXTLENGTH: return GetWindowTextLengthW(window);
    default: return 0;
    }
}

BOOL EnableWindow(HWND window, BOOL enable) {
    bool wasDisabled = false;
    bool changed = false;
    if (!host::WithWindow(window, false, [&](host::WindowTable&, host::Window& w) {
            wasDisabled = w.style & WS_DISABLED;
            changed = wasDisabled == (enable != FALSE);
            if (enable)
                w.style &= ~static_cast<DWORD>(WS_DISABLED);
            else
                w.style |= WS_DISABLED;
            return true;
        }))
        return FALSE;
    if (changed) {
        host::Call(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
        InvalidateRect(window, nullptr, TRUE);
    }
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND window) {
    return host::WithWindow(window, FALSE, [](host::WindowTable&, host::Window& w) {
        return (w.style & WS_DISABLED) ? FALSE : TRUE;
    });
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (host::Window* found = host::WindowFromHandle(window)) {
        host::WindowEvent event;
        event.kind = host::WindowEventKind::Sent;
        event.window = window;
        event.className = found->className;
        event.message = message;
        event.wParam = wParam;
        event.lParam = lParam;
        host::NotifyWindowObserver(event);
        const std::thread::id thread = found->thread;
        if (thread != std::this_thread::get_id())
            return host::SendToOtherThread(window, thread, message, wParam, lParam);
    }
    return host::Call(window, message, wParam, lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::thread::id thread = std::this_thread::get_id();
    host::WindowEvent event;
    event.window = window;
    event.message = message;
    event.wParam = wParam;
    event.lParam = lParam;
    if (window) {
        host::Window* found = FindLive(window);
        if (!found) return FALSE;
        thread = found->thread;
        // A window whose thread has ended has no queue that anyone reads.
        if (thread == std::thread::id()) {
            host::SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        event.className = found->className;
    }
    host::NotifyWindowObserver(event);
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    {
        auto& queues = host::Queues();
        std::lock_guard guard(queues.lock);
        queues.queues[thread].posted.push_back(msg);
    }
    host::WakeMessageWaiters();
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    auto& queues = host::Queues();
    std::lock_guard guard(queues.lock);
    host::ThreadQueue& queue = queues.queues[std::this_thread::get_id()];
    queue.quit = true;
    queue.quitCode = exitCode;
}

BOOL PeekMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
    if (!msg) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    host::YieldToOtherPrograms();
    host::HandleSentMessages();
    auto found = host::TakePosted(window, filterMin, filterMax, remove & PM_REMOVE);
    if (!found) found = host::PendingPaint(window, filterMin, filterMax);
    if (!found) return FALSE;
    *msg = *found;
    return TRUE;
}

BOOL GetMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax) {
    if (!msg) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (window && !FindLive(window)) return -1;
    for (;;) {
        if (PeekMessageW(msg, window, filterMin, filterMax, PM_REMOVE)) return msg->message == WM_QUIT ? FALSE : TRUE;
        host::NoteThreadWaitsForMessages();
        auto& queues = host::Queues();
        std::unique_lock guard(queues.lock);
        // Paint requests are not queued, so the wait also wakes now and then to look for them.
        queues.changed.wait_for(guard, std::chrono::milliseconds(50));
    }
}

BOOL TranslateMessage(const MSG* /*msg: the host has no keyboard of its own to translate*/) { return FALSE; }

LRESULT DispatchMessageW(const MSG* msg) {
    if (!msg || !msg->hwnd) return 0;
    return host::Call(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL UpdateWindow(HWND window) {
    host::Window* found = FindLive(window);
    if (!found) return FALSE;
    bool due = false;
    {
        auto& table = host::Windows();
        std::lock_guard guard(table.lock);
        due = !found->UpdateRects().empty() && host::VisibleLocked(table, *found);
    }
    if (due) host::Call(window, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL ShowWindow(HWND window, int command) {
    bool was = false;
    bool now = false;
    {
        auto& table = host::Windows();
        std::lock_guard guard(table.lock);
        host::Window* found = host::Live(table, window);
        if (!found) {
            host::SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        was = found->style & WS_VISIBLE;
        now = command != SW_HIDE;
        if (now) {
            found->style |= WS_VISIBLE;
        } else {
            found->style &= ~static_cast<DWORD>(WS_VISIBLE);
        }
        if (now && !was) found->Invalidate(nullptr, true);
    }
    if (was != now) host::Call(window, WM_SHOWWINDOW, now ? TRUE : FALSE, 0);
    host::WakeMessageWaiters();
    return was ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND window) {
    auto& table = host::Windows();
    std::lock_guard guard(table.lock);
    host::Window* found = host::Live(table, window);
    return found && host::VisibleLocked(table, *found) ? TRUE : FALSE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
    return host::Place(window, x, y, width, height, true, true, repaint != FALSE);
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
    if (!host::Place(window, x, y, width, height, !(flags & SWP_NOMOVE), !(flags & SWP_NOSIZE),
                     !(flags & SWP_NOREDRAW)))
        return FALSE;
    if (!(flags & SWP_NOZORDER) && insertAfter != window) {
        // The host has no topmost band: HWND_TOPMOST is the top, HWND_NOTOPMOST leaves the
        // window where it is. A window to insert after must be a sibling, else nothing moves.
        auto& table = host::Windows();
        std::lock_guard guard(table.lock);
        const bool top = insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST;
        const bool bottom = insertAfter == HWND_BOTTOM;
        auto restack = [&](std::vector<HWND>& siblings, bool topFirst) {
            auto at = std::find(siblings.begin(), siblings.end(), window);
            if (at == siblings.end() || insertAfter == HWND_NOTOPMOST) return;
            if (!top && !bottom && std::find(siblings.begin(), siblings.end(), insertAfter) == siblings.end()) return;
            siblings.erase(at);
            if (top || bottom) {
                siblings.insert(top == topFirst ? siblings.begin() : siblings.end(), window);
            } else {
                // Just below insertAfter.
                auto after = std::find(siblings.begin(), siblings.end(), insertAfter);
                siblings.insert(topFirst ? after + 1 : after, window);
            }
        };
        host::Window* found = host::Live(table, window);
        if (host::Window* parent = found ? host::Live(table, found->parent) : nullptr)
            restack(parent->children, false);  // children are kept bottom first
        else
            restack(table.stack, true);
    }
    if (flags & SWP_SHOWWINDOW) ShowWindow(window, SW_SHOWNA);
    if (flags & SWP_HIDEWINDOW) ShowWindow(window, SW_HIDE);
    return TRUE;
}

namespace {

// Runs use with the screen position of the window's client origin; the window must be live and
// out must be given.
template <class Out, class Use>
BOOL WithOrigin(HWND window, Out* out, Use use) {
    return host::WithWindow(window, FALSE, [&](host::WindowTable& table, host::Window& found) {
        if (!out) {
            host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        use(host::Origin(table, found), found);
        return TRUE;
    });
}

}  // namespace

BOOL GetWindowRect(HWND window, RECT* rect) {
    return WithOrigin(window, rect, [&](POINT at, const host::Window& found) {
        *rect = RECT{at.x, at.y, at.x + found.Width(), at.y + found.Height()};
    });
}

namespace {

BOOL Translate(HWND window, POINT* point, int sign) {
    return WithOrigin(window, point, [&](POINT at, const host::Window&) {
        point->x += sign * at.x;
        point->y += sign * at.y;
    });
}

}  // namespace

BOOL ClientToScreen(HWND window, POINT* point) { return Translate(window, point, 1); }
BOOL ScreenToClient(HWND window, POINT* point) { return Translate(window, point, -1); }

LONG_PTR GetWindowLongPtrW(HWND window, int index) {
    host::Window* found = FindLive(window);
    if (!found) return 0;
    switch (index) {
    case GWL_WNDPROC: return reinterpret_cast<LONG_PTR>(found->proc);
    case GWL_ID: return found->id;
    case GWL_STYLE: return static_cast<LONG>(found->style);
    case GWL_EXSTYLE: return static_cast<LONG>(found->exStyle);
    case GWL_USERDATA: return found->userData;
    default: break;
    }
    if (index < 0 || static_cast<size_t>(index) + sizeof(LONG_PTR) > found->extra.size()) {
        host::SetLastErrorCode(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR value = 0;
    std::memcpy(&value, found->extra.data() + index, sizeof value);
    return value;
}

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
    host::Window* found = FindLive(window);
    if (!found) return 0;
    LONG_PTR previous = 0;
    switch (index) {
    case GWL_WNDPROC:
        if (!value) {
            host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
            return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(found->proc);
        found->proc = reinterpret_cast<WNDPROC>(value);
        return previous;
    case GWL_ID: previous = found->id; found->id = static_cast<LONG>(value); return previous;
    case GWL_STYLE:
        previous = static_cast<LONG>(found->style);
        found->style = static_cast<DWORD>(value);
        return previous;
    case GWL_EXSTYLE:
        previous = static_cast<LONG>(found->exStyle);
        found->exStyle = static_cast<DWORD>(value);
        return previous;
    case GWL_USERDATA: return std::exchange(found->userData, value);
    default: break;
    }
    if (index < 0 || static_cast<size_t>(index) + sizeof(LONG_PTR) > found->extra.size()) {
        host::SetLastErrorCode(ERROR_INVALID_INDEX);
        return 0;
    }
    std::memcpy(&previous, found->extra.data() + index, sizeof previous);
    std::memcpy(found->extra.data() + index, &value, sizeof value);
    return previous;
}

namespace {

// A window procedure's address does not fit in the 32-bit calls on a 64-bit host.
constexpr bool kProcedureTooWide = sizeof(WNDPROC) > sizeof(LONG);

// The 32-bit slot of the window's extra bytes at index, or null (with the error set) when the
// window is gone or the slot lies outside them (a negative index here is the procedure).
uint8_t* LongSlot(HWND window, int index) {
    if (index < 0) {
        host::SetLastErrorCode(ERROR_INVALID_INDEX);
        return nullptr;
    }
    host::Window* found = FindLive(window);
    if (!found) return nullptr;
    if (static_cast<size_t>(index) + sizeof(LONG) > found->extra.size()) {
        host::SetLastErrorCode(ERROR_INVALID_INDEX);
        return nullptr;
    }
    return found->extra.data() + index;
}

}  // namespace

LONG GetWindowLongW(HWND window, int index) {
    if (index >= 0 || (index == GWL_WNDPROC && kProcedureTooWide)) {
        uint8_t* slot = LongSlot(window, index);
        LONG value = 0;
        if (slot) std::memcpy(&value, slot, sizeof value);
        return value;
    }
    return static_cast<LONG>(GetWindowLongPtrW(window, index));
}

LONG SetWindowLongW(HWND window, int index, LONG value) {
    if (index >= 0 || (index == GWL_WNDPROC && kProcedureTooWide)) {
        uint8_t* slot = LongSlot(window, index);
        LONG previous = 0;
        if (!slot) return 0;
        std::memcpy(&previous, slot, sizeof previous);
        std::memcpy(slot, &value, sizeof value);
        return previous;
    }
    return static_cast<LONG>(SetWindowLongPtrW(window, index, value));
}
