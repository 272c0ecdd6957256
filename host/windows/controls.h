// The platform's control classes as the package uses them: static text ("static"), push buttons
// and check boxes ("button"), and drop-down list combo boxes ("combobox"), with their messages
// and the notifications they send their parent. Controls draw their text with the outline fonts
// (host/gdi/fonts.h) in the font they were given, else their dialog's, else the system font.
//
// Besides the window procedures, what a person does to a control, as a front end plays it: a
// click on a button and a pick in a combo box's list, each notifying the parent as the control
// does when a pen does it; and a description of a control for printing.
#pragma once

#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace host {

// The background of dialogs and their controls, white as the device's dialogs are.
inline constexpr COLORREF kDialogBackground = RGB(255, 255, 255);
inline constexpr COLORREF kDisabledText = RGB(0x80, 0x80, 0x80);

LRESULT StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ComboBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The font a control draws with.
HFONT ControlFont(HWND control);

// A button pressed and let go by a person: an auto check box turns its check over first, then
// the parent gets BN_CLICKED. False (nothing happens) for a window that is not a button, or is
// hidden or disabled.
bool ClickControl(HWND control);
// Entry index picked in a combo box's list by a person: the selection moves, then the parent
// gets CBN_SELCHANGE. False (nothing happens) when the window is no combo box, is hidden or
// disabled, or has no such entry.
bool PickComboEntry(HWND combo, int index);

struct ControlView {
    int id = 0;
    std::string kind;  // "static", "button", "combobox", or the class name of another control
    std::u16string text;
    bool disabled = false;
    bool checkBox = false;
    UINT check = 0;
    int selection = -1;
    std::vector<std::u16string> entries;
};
ControlView DescribeControl(HWND control);

}  // namespace host
