#include "host/windows/controls.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

#include "host/gdi/fonts.h"
#include "host/kernel/device.h"
#include "host/windows/system_classes.h"
#include "platform/text.h"

namespace host {

namespace {

// What a control keeps besides its window: its font, a button's check and pressed state, a
// combo box's entries, selection and heights. Kept by window handle, dropped at WM_DESTROY.
struct ControlState {
    HFONT font = nullptr;
    UINT check = BST_UNCHECKED;
    bool pressed = false;
    std::vector<std::u16string> entries;
    int selection = -1;
    int droppedHeight = 0;
    bool sizing = false;
};

struct StateTable {
    std::mutex lock;
    std::map<HWND, ControlState> controls;
};

StateTable& States() {
    static StateTable* table = new StateTable;  // never destroyed: windows may go during exit
    return *table;
}

// Runs use on the control's state under the table's lock (made on first use).
template <class Use>
auto WithState(HWND window, Use use) {
    StateTable& table = States();
    std::lock_guard guard(table.lock);
    return use(table.controls[window]);
}

void Forget(HWND window) {
    StateTable& table = States();
    std::lock_guard guard(table.lock);
    table.controls.erase(window);
}

DWORD StyleOf(HWND window) { return static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)); }

std::u16string TextOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::u16string text(static_cast<size_t>(std::max(length, 0)) + 1, u'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

// Tells the parent what happened, as WM_COMMAND (identifier, code) with the control's handle.
void Notify(HWND control, WORD code) {
    if (HWND parent = GetParent(control))
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code), reinterpret_cast<LPARAM>(control));
}

void Frame(HDC dc, const RECT& r, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    const RECT sides[4] = {{r.left, r.top, r.right, r.top + 1},
                           {r.left, r.bottom - 1, r.right, r.bottom},
                           {r.left, r.top, r.left + 1, r.bottom},
                           {r.right - 1, r.top, r.right, r.bottom}};
    for (const RECT& side : sides) FillRect(dc, &side, brush);
    DeleteObject(brush);
}

void Fill(HDC dc, const RECT& r, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

// Draws text in the control's font with a transparent background.
void Text(HDC dc, HWND control, const std::u16string& text, RECT box, UINT format, COLORREF colour) {
    HGDIOBJ previous = SelectObject(dc, ControlFont(control));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, format);
    SelectObject(dc, previous);
}

int FontHeight(HWND control) {
    const Font* font = FontFromHandle(ControlFont(control));
    FontMetrics metrics;
    return font && MeasureFont(font->logical, &metrics) ? metrics.height : 12;
}

// Messages every control answers alike: its font, and forgetting it at the end.
bool CommonMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    switch (message) {
    case WM_SETFONT:
        WithState(window, [&](ControlState& s) { s.font = reinterpret_cast<HFONT>(wParam); });
        if (LOWORD(lParam)) InvalidateRect(window, nullptr, TRUE);
        *result = 0;
        return true;
    case WM_GETFONT:
        *result = reinterpret_cast<LRESULT>(WithState(window, [](ControlState& s) { return s.font; }));
        return true;
    case WM_ENABLE:
        InvalidateRect(window, nullptr, TRUE);
        *result = 0;
        return true;
    case WM_ERASEBKGND:
        *result = 1;  // each control paints its whole client area
        return true;
    case WM_DESTROY:
        Forget(window);
        *result = 0;
        return true;
    default: return false;
    }
}

// ------------------------------------------------------------------------------------------------
// Combo box entries

// The platform's sorted lists order without regard to case.
int CompareNoCase(const std::u16string& a, const std::u16string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const WCHAR x = towupper16(a[i]), y = towupper16(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

LRESULT ComboMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool sorted = StyleOf(window) & CBS_SORT;
    switch (message) {
    case CB_ADDSTRING:
    case CB_INSERTSTRING: {
        if (!lParam) return CB_ERR;
        const std::u16string text = reinterpret_cast<LPCWSTR>(lParam);
        const LRESULT at = WithState(window, [&](ControlState& s) -> LRESULT {
            size_t index = s.entries.size();
            if (message == CB_INSERTSTRING) {
                const int wanted = static_cast<int>(static_cast<WPARAM>(wParam));
                if (wanted >= 0) {
                    if (static_cast<size_t>(wanted) > s.entries.size()) return CB_ERR;
                    index = static_cast<size_t>(wanted);
                }
            } else if (sorted) {
                index = 0;
                while (index < s.entries.size() && CompareNoCase(s.entries[index], text) <= 0) ++index;
            }
            s.entries.insert(s.entries.begin() + static_cast<long>(index), text);
            if (s.selection >= static_cast<int>(index)) ++s.selection;
            return static_cast<LRESULT>(index);
        });
        InvalidateRect(window, nullptr, TRUE);
        return at;
    }
    case CB_DELETESTRING: {
        const LRESULT left = WithState(window, [&](ControlState& s) -> LRESULT {
            const size_t index = static_cast<size_t>(wParam);
            if (index >= s.entries.size()) return CB_ERR;
            s.entries.erase(s.entries.begin() + static_cast<long>(index));
            if (s.selection == static_cast<int>(index))
                s.selection = -1;
            else if (s.selection > static_cast<int>(index))
                --s.selection;
            return static_cast<LRESULT>(s.entries.size());
        });
        InvalidateRect(window, nullptr, TRUE);
        return left;
    }
    case CB_GETCOUNT:
        return WithState(window, [](ControlState& s) { return static_cast<LRESULT>(s.entries.size()); });
    case CB_GETCURSEL:
        return WithState(window, [](ControlState& s) { return static_cast<LRESULT>(s.selection); });
    case CB_SETCURSEL: {
        // Only a person's pick notifies the parent; a program's selection does not.
        const LRESULT result = WithState(window, [&](ControlState& s) -> LRESULT {
            const int wanted = static_cast<int>(static_cast<WPARAM>(wParam));
            if (wanted < 0 || static_cast<size_t>(wanted) >= s.entries.size()) {
                s.selection = -1;
                return CB_ERR;
            }
            s.selection = wanted;
            return wanted;
        });
        InvalidateRect(window, nullptr, TRUE);
        return result;
    }
    case CB_GETLBTEXT:
    case CB_GETLBTEXTLEN:
        return WithState(window, [&](ControlState& s) -> LRESULT {
            const size_t index = static_cast<size_t>(wParam);
            if (index >= s.entries.size()) return CB_ERR;
            const std::u16string& text = s.entries[index];
            if (message == CB_GETLBTEXT) {
                if (!lParam) return CB_ERR;
                auto* buffer = reinterpret_cast<LPWSTR>(lParam);
                std::copy(text.begin(), text.end(), buffer);
                buffer[text.size()] = 0;
            }
            return static_cast<LRESULT>(text.size());
        });
    case CB_FINDSTRINGEXACT:
        return WithState(window, [&](ControlState& s) -> LRESULT {
            if (!lParam || s.entries.empty()) return CB_ERR;
            const std::u16string wanted = reinterpret_cast<LPCWSTR>(lParam);
            // The search starts after the given entry and wraps round; -1 starts at the first.
            const int after = static_cast<int>(static_cast<WPARAM>(wParam));
            const size_t count = s.entries.size();
            const size_t first = after < 0 || static_cast<size_t>(after) >= count ? 0 : static_cast<size_t>(after) + 1;
            for (size_t i = 0; i < count; ++i) {
                const size_t index = (first + i) % count;
                if (CompareNoCase(s.entries[index], wanted) == 0) return static_cast<LRESULT>(index);
            }
            return CB_ERR;
        });
    case CB_RESETCONTENT:
        WithState(window, [](ControlState& s) {
            s.entries.clear();
            s.selection = -1;
        });
        InvalidateRect(window, nullptr, TRUE);
        return CB_OKAY;
    case CB_GETDROPPEDCONTROLRECT: {
        if (!lParam) return FALSE;
        RECT field{};
        if (!GetWindowRect(window, &field)) return FALSE;
        const int dropped = WithState(window, [](ControlState& s) { return s.droppedHeight; });
        RECT* out = reinterpret_cast<RECT*>(lParam);
        *out = field;
        out->bottom = field.top + std::max<LONG>(dropped, field.bottom - field.top);
        return TRUE;
    }
    default: return CB_ERR;
    }
}

}  // namespace

HFONT ControlFont(HWND control) {
    if (HFONT own = WithState(control, [](ControlState& s) { return s.font; })) {
        if (FontFromHandle(own)) return own;
    }
    if (HWND parent = GetParent(control)) {
        if (HFONT inherited = reinterpret_cast<HFONT>(SendMessageW(parent, WM_GETFONT, 0, 0)))
            if (FontFromHandle(inherited)) return inherited;
    }
    return SystemFont();
}

// ------------------------------------------------------------------------------------------------
// Static text

LRESULT StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (CommonMessage(window, message, wParam, lParam, &result)) return result;
    if (message != WM_PAINT) return DefWindowProcW(window, message, wParam, lParam);
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    if (!dc) return 0;
    RECT client{};
    GetClientRect(window, &client);
    // The parent chooses the colours: it sets the text colour on the context and returns the
    // background brush, or 0 for the defaults.
    SetTextColor(dc, RGB(0, 0, 0));
    HWND parent = GetParent(window);
    HBRUSH brush = parent ? reinterpret_cast<HBRUSH>(SendMessageW(parent, WM_CTLCOLORSTATIC,
                                                                  reinterpret_cast<WPARAM>(dc),
                                                                  reinterpret_cast<LPARAM>(window)))
                          : nullptr;
    COLORREF ink = RGB(0, 0, 0);
    if (brush) {
        FillRect(dc, &client, brush);
        ink = GetTextColor(dc);
    } else {
        Fill(dc, client, kDialogBackground);
    }
    const DWORD style = StyleOf(window);
    if (style & WS_DISABLED) ink = kDisabledText;
    UINT format = DT_WORDBREAK | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
    switch (style & 0x3) {
    case SS_CENTER: format |= DT_CENTER; break;
    case SS_RIGHT: format |= DT_RIGHT; break;
    default: break;
    }
    Text(dc, window, TextOf(window), client, format, ink);
    if (style & WS_BORDER) Frame(dc, client, RGB(0, 0, 0));
    EndPaint(window, &paint);
    return 0;
}

// ------------------------------------------------------------------------------------------------
// Buttons

LRESULT ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (CommonMessage(window, message, wParam, lParam, &result)) return result;
    const DWORD style = StyleOf(window);
    const DWORD type = style & BS_TYPEMASK;
    const bool checkBox = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX;
    switch (message) {
    case BM_GETCHECK: return checkBox ? WithState(window, [](ControlState& s) { return s.check; }) : 0;
    case BM_SETCHECK:
        // The state is kept as given, whatever its value, as the platform's buttons keep it.
        if (checkBox) {
            WithState(window, [&](ControlState& s) { s.check = static_cast<UINT>(wParam); });
            InvalidateRect(window, nullptr, TRUE);
        }
        return 0;
    case WM_LBUTTONDOWN:
        WithState(window, [](ControlState& s) { s.pressed = true; });
        SetCapture(window);
        InvalidateRect(window, nullptr, TRUE);
        return 0;
    case WM_LBUTTONUP: {
        const bool wasPressed = WithState(window, [](ControlState& s) { return std::exchange(s.pressed, false); });
        if (GetCapture() == window) ReleaseCapture();
        InvalidateRect(window, nullptr, TRUE);
        RECT client{};
        GetClientRect(window, &client);
        const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
        if (wasPressed && x >= 0 && y >= 0 && x < client.right && y < client.bottom) ClickControl(window);
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(window, &paint);
        if (!dc) return 0;
        RECT client{};
        GetClientRect(window, &client);
        const bool disabled = style & WS_DISABLED;
        const COLORREF ink = disabled ? kDisabledText : RGB(0, 0, 0);
        const auto [pressed, check] = WithState(window, [](ControlState& s) { return std::pair(s.pressed, s.check); });
        Fill(dc, client, kDialogBackground);
        if (checkBox) {
            // A square box as high as the text, the check drawn as two strokes inside it.
            const int side = std::min<LONG>(client.bottom, std::max(9, FontHeight(window) - 2));
            const RECT box{0, (client.bottom - side) / 2, side, (client.bottom - side) / 2 + side};
            Frame(dc, box, ink);
            if (check == BST_INDETERMINATE) {
                Fill(dc, RECT{box.left + 2, box.top + 2, box.right - 2, box.bottom - 2}, kDisabledText);
            } else if (check != BST_UNCHECKED) {
                HBRUSH brush = CreateSolidBrush(ink);
                for (int i = 2; i < side - 2; ++i) {
                    const int y = i < side / 2 ? box.top + side / 2 + i / 2 : box.bottom - 2 - (i - side / 2);
                    const RECT dot{box.left + i, y - 1, box.left + i + 1, y + 1};
                    FillRect(dc, &dot, brush);
                }
                DeleteObject(brush);
            }
            RECT text{side + 4, 0, client.right, client.bottom};
            Text(dc, window, TextOf(window), text, DT_SINGLELINE | DT_VCENTER | DT_LEFT, ink);
        } else {
            Fill(dc, client, pressed ? RGB(0xA0, 0xA0, 0xA0) : RGB(0xE0, 0xE0, 0xE0));
            Frame(dc, client, ink);
            if (type == BS_DEFPUSHBUTTON)
                Frame(dc, RECT{client.left + 1, client.top + 1, client.right - 1, client.bottom - 1}, ink);
            Text(dc, window, TextOf(window), client, DT_SINGLELINE | DT_VCENTER | DT_CENTER, ink);
        }
        EndPaint(window, &paint);
        return 0;
    }
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

// ------------------------------------------------------------------------------------------------
// Combo boxes

LRESULT ComboBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    switch (message) {
    case WM_CREATE: {
        // The height given is the dropped list's; the window itself is the selection field.
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        WithState(window, [&](ControlState& s) { s.droppedHeight = create ? create->cy : 0; });
        const int field = FontHeight(window) + 6;
        SetWindowPos(window, nullptr, 0, 0, create ? create->cx : 0, field, SWP_NOMOVE | SWP_NOZORDER);
        return 0;
    }
    case WM_SIZE: {
        const int field = FontHeight(window) + 6;
        const int height = HIWORD(lParam);
        const bool resize = WithState(window, [&](ControlState& s) {
            if (s.sizing || height == field) return false;
            s.droppedHeight = height;
            s.sizing = true;
            return true;
        });
        if (resize) {
            SetWindowPos(window, nullptr, 0, 0, LOWORD(lParam), field, SWP_NOMOVE | SWP_NOZORDER);
            WithState(window, [](ControlState& s) { s.sizing = false; });
        }
        return 0;
    }
    case WM_SETFONT: {
        CommonMessage(window, message, wParam, lParam, &result);
        RECT rect{};
        GetClientRect(window, &rect);
        SetWindowPos(window, nullptr, 0, 0, rect.right, FontHeight(window) + 6, SWP_NOMOVE | SWP_NOZORDER);
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(window, &paint);
        if (!dc) return 0;
        RECT client{};
        GetClientRect(window, &client);
        const bool disabled = StyleOf(window) & WS_DISABLED;
        const COLORREF ink = disabled ? kDisabledText : RGB(0, 0, 0);
        Fill(dc, client, disabled ? RGB(0xF0, 0xF0, 0xF0) : kDialogBackground);
        Frame(dc, client, RGB(0x40, 0x40, 0x40));
        const int arrow = client.bottom;
        const std::u16string shown = WithState(window, [](ControlState& s) {
            return s.selection >= 0 && static_cast<size_t>(s.selection) < s.entries.size() ? s.entries[s.selection]
                                                                                           : std::u16string();
        });
        RECT text{3, 0, client.right - arrow, client.bottom};
        Text(dc, window, shown, text, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS, ink);
        // The drop button: a square at the right with a triangle pointing down.
        const RECT button{client.right - arrow, 0, client.right, client.bottom};
        Fill(dc, RECT{button.left + 1, 1, button.right - 1, button.bottom - 1}, RGB(0xE0, 0xE0, 0xE0));
        Frame(dc, button, RGB(0x40, 0x40, 0x40));
        HBRUSH brush = CreateSolidBrush(ink);
        const int cx = (button.left + button.right) / 2, cy = client.bottom / 2;
        for (int row = 0; row < 4; ++row) {
            const RECT line{cx - 3 + row, cy - 2 + row, cx + 4 - row, cy - 1 + row};
            FillRect(dc, &line, brush);
        }
        DeleteObject(brush);
        EndPaint(window, &paint);
        return 0;
    }
    default: break;
    }
    if (CommonMessage(window, message, wParam, lParam, &result)) return result;
    if (message >= CB_GETEDITSEL && message <= CB_FINDSTRINGEXACT) return ComboMessage(window, message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

// ------------------------------------------------------------------------------------------------
// What a person does

namespace {

bool IsClass(HWND window, const char16_t* name) {
    WCHAR cls[32] = {};
    return GetClassNameW(window, cls, 32) > 0 && EqualsNoCase(cls, name);
}

bool Reachable(HWND window) { return IsWindowVisible(window) && IsWindowEnabled(window); }

}  // namespace

bool ClickControl(HWND control) {
    if (!IsClass(control, u"button") || !Reachable(control)) return false;
    if ((StyleOf(control) & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
        WithState(control, [](ControlState& s) { s.check = s.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED; });
        InvalidateRect(control, nullptr, TRUE);
    }
    Notify(control, BN_CLICKED);
    return true;
}

bool PickComboEntry(HWND combo, int index) {
    if (!IsClass(combo, u"combobox") || !Reachable(combo)) return false;
    const bool picked = WithState(combo, [&](ControlState& s) {
        if (index < 0 || static_cast<size_t>(index) >= s.entries.size()) return false;
        s.selection = index;
        return true;
    });
    if (!picked) return false;
    InvalidateRect(combo, nullptr, TRUE);
    Notify(combo, CBN_SELCHANGE);
    return true;
}

ControlView DescribeControl(HWND control) {
    ControlView view;
    view.id = GetDlgCtrlID(control);
    WCHAR cls[64] = {};
    GetClassNameW(control, cls, 64);
    for (const char16_t* known : {u"static", u"button", u"combobox"})
        if (EqualsNoCase(cls, known)) view.kind = ToUtf8(known);
    if (view.kind.empty()) view.kind = ToUtf8(cls);
    view.disabled = !IsWindowEnabled(control);
    if (view.kind == "combobox") {
        WithState(control, [&](ControlState& s) {
            view.entries = s.entries;
            view.selection = s.selection;
        });
        if (view.selection >= 0 && static_cast<size_t>(view.selection) < view.entries.size())
            view.text = view.entries[static_cast<size_t>(view.selection)];
        return view;
    }
    view.text = TextOf(control);
    if (view.kind == "button") {
        const DWORD type = StyleOf(control) & BS_TYPEMASK;
        view.checkBox = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX;
        if (view.checkBox) view.check = WithState(control, [](ControlState& s) { return s.check; });
    }
    return view;
}

}  // namespace host
