#include "host/windows/dialog.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "host/gdi/fonts.h"
#include "host/kernel/device.h"
#include "host/windows/controls.h"
#include "host/windows/dialog_template.h"
#include "host/windows/system_classes.h"
#include "platform/modules.h"
#include "platform/text.h"

namespace host {

LRESULT MenuBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

namespace {

constexpr WORD kDialogResourceType = 5;  // RT_DIALOG
constexpr char16_t kDialogClass[] = u"Dialog";
// The Latin letters whose average width is the horizontal base unit.
constexpr char16_t kAlphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

struct DialogState {
    DLGPROC proc = nullptr;
    INT_PTR result = 0;
    bool ended = false;
    HFONT font = nullptr;
    bool ownsFont = false;
    bool done = false;
    SIZE baseUnits{4, 8};
    std::vector<HWND> companions;
};

struct DialogTable {
    std::mutex lock;
    std::map<HWND, std::shared_ptr<DialogState>> dialogs;
    std::vector<HWND> open;  // modal loops running, innermost last
    DialogDriver driver;
    // The state of a dialog being made, until its window's WM_CREATE takes it.
    std::shared_ptr<DialogState> pending;
};

DialogTable& Dialogs() {
    static DialogTable* table = new DialogTable;  // never destroyed: windows may go during exit
    return *table;
}

std::shared_ptr<DialogState> StateOf(HWND dialog) {
    DialogTable& table = Dialogs();
    std::lock_guard guard(table.lock);
    auto it = table.dialogs.find(dialog);
    return it == table.dialogs.end() ? nullptr : it->second;
}

int MulDiv(int number, int numerator, int denominator) {
    const long long product = static_cast<long long>(number) * numerator;
    return static_cast<int>((product + (product >= 0 ? denominator / 2 : -denominator / 2)) / denominator);
}

SIZE BaseUnitsOf(HFONT handle) {
    const Font* font = FontFromHandle(handle);
    FontMetrics metrics;
    if (!font || !MeasureFont(font->logical, &metrics)) return SIZE{4, 8};
    const int width = TextWidth(font->logical, kAlphabet);
    return SIZE{std::max(1, (width / 26 + 1) / 2), std::max(1, metrics.height)};
}

// The messages whose handled result is the dialog procedure's own return value; for every other
// message a handled result is 0.
bool ReturnsValue(UINT message) {
    return message == WM_CTLCOLORSTATIC || message == WM_INITDIALOG;
}

void Trace(const std::u16string& line) {
    if (Device* device = CurrentDevice()) device->Trace(line);
}

// Runs the dialog's messages until it ends, giving the person the turn whenever nothing else is
// waiting.
void RunModal(HWND dialog, DialogState& state) {
    for (;;) {
        MSG msg{};
        while (!state.ended && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // A quit request ends the dialog and is left for the program's own loop.
                PostQuitMessage(static_cast<int>(msg.wParam));
                state.ended = true;
                break;
            }
            DispatchMessageW(&msg);
        }
        if (state.ended || !IsWindow(dialog)) return;
        DialogDriver driver;
        {
            DialogTable& table = Dialogs();
            std::lock_guard guard(table.lock);
            driver = table.driver;
        }
        if (driver && driver(dialog)) continue;
        if (!driver) Trace(u"dialog: nobody answers it, cancelled\n");
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        if (!state.ended && IsWindow(dialog)) {
            // A dialog that will not end on cancel would hold the program for ever.
            Trace(u"dialog: did not end on IDCANCEL, closed\n");
            state.result = IDCANCEL;
            state.ended = true;
        }
        return;
    }
}

}  // namespace

std::vector<WNDCLASSW> SystemClasses() {
    auto make = [](const char16_t* name, WNDPROC proc, HBRUSH background) {
        WNDCLASSW cls{};
        cls.lpfnWndProc = proc;
        cls.lpszClassName = name;
        cls.hbrBackground = background;
        return cls;
    };
    return {make(kDialogClass, DialogClassProc, nullptr), make(u"static", StaticProc, nullptr),
            make(u"button", ButtonProc, nullptr), make(u"combobox", ComboBoxProc, nullptr),
            make(u"menu_worker", MenuBarProc, nullptr)};
}

LRESULT DialogClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        DialogTable& table = Dialogs();
        std::lock_guard guard(table.lock);
        if (table.pending) table.dialogs[window] = std::move(table.pending);
    }
    std::shared_ptr<DialogState> state = StateOf(window);
    if (state && state->proc) {
        const INT_PTR handled = state->proc(window, message, wParam, lParam);
        if (handled) return ReturnsValue(message) ? handled : 0;
    }
    switch (message) {
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkColor(dc, kDialogBackground);
        return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    }
    case WM_ERASEBKGND: {
        RECT client{};
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        return 1;
    }
    case WM_SETFONT:
        if (state) {
            state->font = reinterpret_cast<HFONT>(wParam);
            state->baseUnits = BaseUnitsOf(state->font);
        }
        return 0;
    case WM_GETFONT: return state ? reinterpret_cast<LRESULT>(state->font) : 0;
    case WM_CLOSE:
        // As the platform's dialogs do: closing is cancelling.
        SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
        return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

void SetDialogDriver(DialogDriver driver) {
    DialogTable& table = Dialogs();
    std::lock_guard guard(table.lock);
    table.driver = std::move(driver);
}

std::vector<HWND> OpenDialogs() {
    DialogTable& table = Dialogs();
    std::lock_guard guard(table.lock);
    return table.open;
}

void SetDoneButton(HWND dialog, bool done) {
    if (std::shared_ptr<DialogState> state = StateOf(dialog)) state->done = done;
}

bool HasDoneButton(HWND dialog) {
    std::shared_ptr<DialogState> state = StateOf(dialog);
    return state && state->done;
}

void AttachToDialog(HWND dialog, HWND companion) {
    if (std::shared_ptr<DialogState> state = StateOf(dialog)) state->companions.push_back(companion);
}

SIZE DialogBaseUnits(HWND dialog) {
    std::shared_ptr<DialogState> state = StateOf(dialog);
    return state ? state->baseUnits : SIZE{4, 8};
}

}  // namespace host

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC procedure, LPARAM param) {
    HMODULE module = instance ? instance : GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, templateName, MAKEINTRESOURCEW(host::kDialogResourceType));
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* bytes = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    if (!bytes) {
        host::SetLastErrorCode(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    host::DialogTemplate layout;
    std::string reason;
    if (!host::ParseDialogTemplate(bytes, SizeofResource(module, found), &layout, &reason)) {
        host::Trace(u"dialog: template refused: " + FromUtf8(reason) + u"\n");
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (owner && !IsWindow(owner)) {
        host::SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }

    auto state = std::make_shared<host::DialogState>();
    state->proc = procedure;
    HFONT font = host::SystemFont();
    if (layout.hasFont) {
        LOGFONTW logical{};
        logical.lfHeight = -host::MulDiv(layout.pointSize, host::ScreenPixelsPerInch(), 72);
        logical.lfWeight = layout.weight ? layout.weight : FW_NORMAL;
        logical.lfItalic = layout.italic ? 1 : 0;
        const size_t units = std::min<size_t>(layout.faceName.size(), LF_FACESIZE - 1);
        std::copy_n(layout.faceName.begin(), units, logical.lfFaceName);
        font = CreateFontIndirectW(&logical);
        state->ownsFont = true;
    }
    state->font = font;
    state->baseUnits = host::BaseUnitsOf(font);
    const SIZE base = state->baseUnits;
    auto px = [&](int units) { return host::MulDiv(units, base.cx, 4); };
    auto py = [&](int units) { return host::MulDiv(units, base.cy, 8); };
    const int width = px(layout.cx), height = py(layout.cy);
    int x = px(layout.x), y = py(layout.y);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (layout.style & DS_CENTER) {
        x = (screenWidth - width) / 2;
        y = (screenHeight - height) / 2;
    } else if (owner && !(layout.style & DS_ABSALIGN)) {
        POINT origin{0, 0};
        ClientToScreen(owner, &origin);
        x += origin.x;
        y += origin.y;
    }

    {
        host::DialogTable& table = host::Dialogs();
        std::lock_guard guard(table.lock);
        table.pending = state;
    }
    const std::u16string className = layout.className.empty() ? std::u16string(host::kDialogClass) : layout.className;
    const DWORD style = (layout.style & ~static_cast<DWORD>(WS_VISIBLE | WS_CHILD)) | WS_POPUP;
    HWND dialog = CreateWindowExW(layout.exStyle, className.c_str(), layout.caption.c_str(), style, x, y, width, height,
                                  owner, nullptr, module, nullptr);
    {
        host::DialogTable& table = host::Dialogs();
        std::lock_guard guard(table.lock);
        table.pending.reset();
        // A dialog of another class does not pass through the dialog class's WM_CREATE.
        if (dialog && !table.dialogs.count(dialog)) table.dialogs[dialog] = state;
    }
    auto release = [&] {
        if (dialog) DestroyWindow(dialog);
        for (HWND companion : state->companions)
            if (IsWindow(companion)) DestroyWindow(companion);
        host::DialogTable& table = host::Dialogs();
        {
            std::lock_guard guard(table.lock);
            table.dialogs.erase(dialog);
        }
        if (state->ownsFont) DeleteObject(state->font);
    };
    if (!dialog) {
        release();
        return -1;
    }
    SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    HWND firstStop = nullptr;
    for (const host::DialogItem& item : layout.items) {
        const DWORD itemStyle = (item.style | WS_CHILD) & ~static_cast<DWORD>(WS_POPUP);
        HWND control = CreateWindowExW(item.exStyle, item.className.c_str(), item.text.c_str(), itemStyle, px(item.x),
                                       py(item.y), px(item.cx), py(item.cy), dialog,
                                       reinterpret_cast<HMENU>(static_cast<uintptr_t>(item.id & 0xFFFF)), module,
                                       nullptr);
        if (!control) {
            host::Trace(u"dialog: cannot make a control of class " + item.className + u"\n");
            release();
            host::SetLastErrorCode(ERROR_CANNOT_FIND_WND_CLASS);
            return -1;
        }
        if (layout.hasFont) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (!firstStop && (item.style & WS_TABSTOP)) firstStop = control;
    }

    const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (owner) EnableWindow(owner, FALSE);
    {
        host::DialogTable& table = host::Dialogs();
        std::lock_guard guard(table.lock);
        table.open.push_back(dialog);
    }
    SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstStop), param);
    // A modal dialog shows whether or not its template says so, and becomes the active window;
    // the window that was active before is again when the dialog ends.
    const HWND previous = GetForegroundWindow();
    if (!state->ended && IsWindow(dialog)) {
        ShowWindow(dialog, SW_SHOW);
        SetForegroundWindow(dialog);
    }
    host::RunModal(dialog, *state);
    if (GetForegroundWindow() == dialog && previous && IsWindow(previous)) SetForegroundWindow(previous);
    {
        host::DialogTable& table = host::Dialogs();
        std::lock_guard guard(table.lock);
        std::erase(table.open, dialog);
    }
    if (owner && ownerWasEnabled) EnableWindow(owner, TRUE);
    const INT_PTR result = state->result;
    release();
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    std::shared_ptr<host::DialogState> state = host::StateOf(dialog);
    if (!state) {
        host::SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    state->result = result;
    state->ended = true;
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
    if (!IsWindow(dialog)) {
        host::SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetDlgCtrlID(child) == id) return child;
    host::SetLastErrorCode(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

int GetDlgCtrlID(HWND control) { return static_cast<int>(GetWindowLongW(control, GWL_ID)); }

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
    HWND control = GetDlgItem(dialog, id);
    return control ? SetWindowTextW(control, text) : FALSE;
}

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int maxCount) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) {
        if (text && maxCount > 0) text[0] = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowTextW(control, text, maxCount));
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(dialog, id);
    return control ? SendMessageW(control, message, wParam, lParam) : 0;
}
