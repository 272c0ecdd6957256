// The dialog layer as the platform's dialog manager does it: templates in both forms, modal
// dialogs with their procedure, the person at the dialog, dialog units in pixels, the control
// classes with their messages and notifications, fonts, the shell's full-screen dialogs, and
// the picture of the screen.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/gdi/fonts.h"
#include "host/windows/controls.h"
#include "host/windows/dialog.h"
#include "host/windows/dialog_template.h"
#include "host/windows/file_dialog.h"
#include "host/windows/screen.h"
#include "host/windows/window.h"
#include "platform/commdlg.h"
#include "platform/dialogs.h"
#include "platform/modules.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "test_image.h"

namespace {

// What the current test's dialog procedure does and saw; procedures are plain functions.
struct Recorder {
    std::vector<std::string> seen;
    std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> handle;
};
Recorder* g_recorder = nullptr;

INT_PTR RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!g_recorder) return FALSE;
    switch (message) {
    case WM_SETFONT: g_recorder->seen.push_back("WM_SETFONT"); break;
    case WM_INITDIALOG: g_recorder->seen.push_back("WM_INITDIALOG " + std::to_string(lParam)); break;
    case WM_COMMAND:
        g_recorder->seen.push_back("WM_COMMAND " + std::to_string(LOWORD(wParam)) + " " +
                                   std::to_string(HIWORD(wParam)));
        break;
    default: break;
    }
    return g_recorder->handle ? g_recorder->handle(dialog, message, wParam, lParam) : FALSE;
}

// Ends on IDOK and IDCANCEL with their identifiers as the result, as dialogs usually do.
INT_PTR EndOnButtons(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

class Dialogs : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        g_recorder = &m_recorder;
    }
    void TearDown() override {
        host::SetDialogDriver(nullptr);
        host::SetOpenFileAnswerer(nullptr);
        g_recorder = nullptr;
        ImageTest::TearDown();
    }
    // Runs dialog id with the recording procedure; the driver plays the person, one step a call.
    INT_PTR Run(int id, std::vector<std::function<void(HWND)>> steps, HWND owner = nullptr, LPARAM param = 77) {
        size_t next = 0;
        host::SetDialogDriver([&](HWND dialog) {
            if (next >= steps.size()) return false;
            steps[next++](dialog);
            return true;
        });
        return DialogBoxParamW(nullptr, MAKEINTRESOURCEW(id), owner, RecordingProc, param);
    }
    static std::vector<uint8_t> TemplateBytes(int id) {
        HMODULE self = GetModuleHandleW(nullptr);
        HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
        const auto* data = found ? static_cast<const uint8_t*>(LockResource(LoadResource(self, found))) : nullptr;
        return data ? std::vector<uint8_t>(data, data + SizeofResource(self, found)) : std::vector<uint8_t>();
    }

    Recorder m_recorder;
};

RECT RectOf(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Templates

// Both forms give the dialog's styles, rectangle, caption, font and controls, predefined classes
// by their names; every cut of the data is refused.
TEST_F(Dialogs, TemplatesOfBothFormsAreReadAndEveryCutRefused) {
    std::vector<uint8_t> plain = TemplateBytes(300), extended = TemplateBytes(301);
    ASSERT_FALSE(plain.empty());
    ASSERT_FALSE(extended.empty());
    host::DialogTemplate t;
    std::string reason;
    ASSERT_TRUE(host::ParseDialogTemplate(plain.data(), plain.size(), &t, &reason)) << reason;
    EXPECT_FALSE(t.extended);
    EXPECT_EQ(t.style, 0x80C800C0u);
    EXPECT_EQ(t.cx, 146);
    EXPECT_EQ(t.cy, 143);
    EXPECT_EQ(t.caption, u"Test dialog");
    EXPECT_TRUE(t.hasFont);
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.faceName, u"System");
    ASSERT_EQ(t.items.size(), 8u);
    EXPECT_EQ(t.items[1].id, 1005u);
    EXPECT_TRUE(EqualsNoCase(t.items[1].className, u"combobox"));  // the compiler writes it in capitals
    EXPECT_EQ(t.items[1].style, 0x50210003u);
    EXPECT_EQ(t.items[3].text, u"Use gestures");

    ASSERT_TRUE(host::ParseDialogTemplate(extended.data(), extended.size(), &t, &reason)) << reason;
    EXPECT_TRUE(t.extended);
    EXPECT_EQ(t.weight, 700);
    EXPECT_TRUE(t.italic);
    EXPECT_EQ(t.faceName, u"Tahoma");
    ASSERT_EQ(t.items.size(), 2u);
    EXPECT_EQ(t.items[1].className, u"button");  // predefined class 0x0080

    for (const std::vector<uint8_t>* whole : {&plain, &extended})
        for (size_t size = 0; size < whole->size() - 2; ++size)
            EXPECT_FALSE(host::ParseDialogTemplate(whole->data(), size, &t, &reason)) << "size " << size;
}

// ---------------------------------------------------------------------------------------------
// Modal dialogs

// The procedure gets the font, then WM_INITDIALOG with the parameter and every control made;
// the person's steps come when the dialog is idle; EndDialog's result is what DialogBoxParamW
// returns; the owner is disabled while the dialog runs and the dialog is gone afterwards.
TEST_F(Dialogs, ModalDialogRunsUntilItsProcedureEndsIt) {
    WNDCLASSW cls{};
    cls.lpfnWndProc = DefWindowProcW;
    cls.lpszClassName = u"OwnerOfDialogs";
    RegisterClassW(&cls);
    HWND owner = CreateWindowExW(0, u"OwnerOfDialogs", u"Owner", WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr,
                                 nullptr, nullptr);
    HWND seen = nullptr;
    m_recorder.handle = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            seen = dialog;
            EXPECT_NE(GetDlgItem(dialog, 1005), nullptr);
            EXPECT_FALSE(IsWindowEnabled(owner));
        }
        if (message == WM_COMMAND && LOWORD(wParam) == 42) EndDialog(dialog, 1234);
        return EndOnButtons(dialog, message, wParam, lParam);
    };
    SetForegroundWindow(owner);
    const INT_PTR result = Run(300, {[](HWND dialog) {
                                         EXPECT_EQ(GetForegroundWindow(), dialog);
                                         WCHAR heading[32] = {};
                                         EXPECT_EQ(GetDlgItemTextW(dialog, 1007, heading, 32), 7u);
                                         EXPECT_EQ(std::u16string(heading), u"Heading");
                                         EXPECT_EQ(host::OpenDialogs(), std::vector<HWND>{dialog});
                                     },
                                     [](HWND dialog) { SendMessageW(dialog, WM_COMMAND, 42, 0); }},
                               owner, 77);
    EXPECT_EQ(result, 1234);
    EXPECT_EQ(m_recorder.seen, (std::vector<std::string>{"WM_SETFONT", "WM_INITDIALOG 77", "WM_COMMAND 42 0"}));
    EXPECT_FALSE(IsWindow(seen));
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(GetForegroundWindow(), owner);
    EXPECT_TRUE(host::OpenDialogs().empty());
    DestroyWindow(owner);
    UnregisterClassW(u"OwnerOfDialogs", nullptr);
}

// A person with nothing more to do cancels; without a driver the dialog is cancelled at once; a
// procedure that ignores the cancel is closed anyway; a template that cannot be made gives -1.
TEST_F(Dialogs, DialogsThatNobodyEndsAreCancelled) {
    m_recorder.handle = EndOnButtons;
    EXPECT_EQ(Run(300, {}), IDCANCEL);
    EXPECT_EQ(m_recorder.seen.back(), "WM_COMMAND 2 0");
    host::SetDialogDriver(nullptr);
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), nullptr, RecordingProc, 0), IDCANCEL);

    m_recorder.handle = nullptr;  // ignores everything
    EXPECT_EQ(Run(300, {}), IDCANCEL);
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(399), nullptr, RecordingProc, 0), -1);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(302), nullptr, RecordingProc, 0), -1);
    EXPECT_TRUE(host::OpenDialogs().empty());
}

// The open-file dialog hands back the answer as a full path and a name, the default extension
// added to a name without one; an answer that is no full path or does not fit a buffer fails
// with the platform's code and leaves the buffers alone; nobody to answer, or no answer, cancels.
TEST_F(Dialogs, OpenFileDialogGivesTheAnsweredPath) {
    WCHAR file[16] = u"untouched", name[12] = u"same";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = u"Skins (*.vxs)\0*.vxs\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = 16;
    ofn.lpstrFileTitle = name;
    ofn.nMaxFileTitle = 12;
    ofn.lpstrDefExt = u"vxs";
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(0u, CommDlgExtendedError());

    std::optional<std::u16string> answer;
    std::u16string asked;
    host::SetOpenFileAnswerer([&](const OPENFILENAMEW& request) {
        asked = request.lpstrDefExt;
        return answer;
    });
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(0u, CommDlgExtendedError());
    EXPECT_EQ(u"vxs", asked);
    for (const char16_t* bad : {u"Night.vxs", u"\\Skins\\", u"\\Skins\\Night.vxs.more"}) {
        answer = bad;
        EXPECT_FALSE(GetOpenFileNameW(&ofn)) << ToUtf8(bad);
        EXPECT_NE(0u, CommDlgExtendedError());
        EXPECT_EQ(u"untouched", std::u16string(file));
        EXPECT_EQ(u"same", std::u16string(name));
    }
    answer = u"\\A\\Night";
    ASSERT_TRUE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(u"\\A\\Night.vxs", std::u16string(file));
    EXPECT_EQ(u"Night.vxs", std::u16string(name));
    EXPECT_EQ(3, ofn.nFileOffset);
    EXPECT_EQ(9, ofn.nFileExtension);
    answer = u"\\A\\LongerName.vxs";
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(DWORD(FNERR_BUFFERTOOSMALL), CommDlgExtendedError());
    EXPECT_EQ(u"Night.vxs", std::u16string(name));
    ofn.lStructSize = 4;
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(DWORD(CDERR_STRUCTSIZE), CommDlgExtendedError());
}

// Dialog units become pixels with the base units of the template's font: x by a quarter of the
// average letter width, y by an eighth of the font's height; DS_CENTER centres on the screen.
TEST_F(Dialogs, DialogUnitsFollowTheTemplatesFont) {
    m_recorder.handle = EndOnButtons;
    Run(300, {[](HWND dialog) {
            const SIZE base = host::DialogBaseUnits(dialog);
            // 8 points at 96 pixels per inch: an 11-pixel font, a few pixels wide a letter.
            EXPECT_GE(base.cy, 11);
            EXPECT_LE(base.cy, 16);
            EXPECT_GE(base.cx, 4);
            EXPECT_LE(base.cx, 8);
            const RECT whole = RectOf(dialog);
            EXPECT_EQ(whole.right - whole.left, (146 * base.cx + 2) / 4);
            EXPECT_EQ(whole.bottom - whole.top, (143 * base.cy + 4) / 8);
            const RECT push = RectOf(GetDlgItem(dialog, 213));
            EXPECT_EQ(push.left - whole.left, (4 * base.cx + 2) / 4);
            EXPECT_EQ(push.top - whole.top, (74 * base.cy + 4) / 8);
            EXPECT_EQ(push.right - push.left, (50 * base.cx + 2) / 4);
        }});
    Run(301, {[](HWND dialog) {
            const RECT whole = RectOf(dialog);
            EXPECT_EQ(whole.left, (240 - (whole.right - whole.left)) / 2);
            EXPECT_EQ(whole.top, (320 - (whole.bottom - whole.top)) / 2);
        }});
}

// ---------------------------------------------------------------------------------------------
// Controls

// Combo boxes: a sorted one orders without regard to case, an inserted entry goes where asked;
// deleting moves the selection with its entry; a program's selection does not notify, a
// person's pick does; the exact search ignores case and wraps; the window is the selection field
// and the dropped rectangle holds the height the template gave.
TEST_F(Dialogs, ComboBoxesKeepTheirEntriesAsThePlatformDoes) {
    m_recorder.handle = EndOnButtons;
    Run(300, {[&](HWND dialog) {
            HWND sorted = GetDlgItem(dialog, 1008), plain = GetDlgItem(dialog, 1005);
            auto add = [](HWND combo, const char16_t* text) {
                return SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
            };
            EXPECT_EQ(add(sorted, u"beta"), 0);
            EXPECT_EQ(add(sorted, u"Alpha"), 0);
            EXPECT_EQ(add(sorted, u"gamma"), 2);
            EXPECT_EQ(add(sorted, u"Beta"), 2);  // after the equal "beta"
            EXPECT_EQ(SendMessageW(sorted, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(u"zeta")), 0);
            EXPECT_EQ(SendMessageW(sorted, CB_INSERTSTRING, 9, reinterpret_cast<LPARAM>(u"x")), CB_ERR);
            EXPECT_EQ(host::DescribeControl(sorted).entries,
                      (std::vector<std::u16string>{u"zeta", u"Alpha", u"beta", u"Beta", u"gamma"}));
            EXPECT_EQ(SendMessageW(sorted, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(u"BETA")), 2);
            EXPECT_EQ(SendMessageW(sorted, CB_FINDSTRINGEXACT, 2, reinterpret_cast<LPARAM>(u"beta")), 3);
            EXPECT_EQ(SendMessageW(sorted, CB_FINDSTRINGEXACT, 3, reinterpret_cast<LPARAM>(u"beta")), 2);
            EXPECT_EQ(SendMessageW(sorted, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(u"bet")), CB_ERR);

            EXPECT_EQ(SendMessageW(sorted, CB_SETCURSEL, 3, 0), 3);
            EXPECT_EQ(SendMessageW(sorted, CB_DELETESTRING, 1, 0), 4);
            EXPECT_EQ(SendMessageW(sorted, CB_GETCURSEL, 0, 0), 2);
            WCHAR text[16] = {};
            EXPECT_EQ(SendMessageW(sorted, CB_GETLBTEXTLEN, 2, 0), 4);
            EXPECT_EQ(SendMessageW(sorted, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(text)), 4);
            EXPECT_EQ(std::u16string(text), u"Beta");
            EXPECT_EQ(SendMessageW(sorted, CB_SETCURSEL, 9, 0), CB_ERR);
            EXPECT_EQ(SendMessageW(sorted, CB_GETCURSEL, 0, 0), CB_ERR);

            add(plain, u"one");
            add(plain, u"two");
            SendMessageW(plain, CB_SETCURSEL, 0, 0);
            EXPECT_TRUE(host::PickComboEntry(plain, 1));
            EXPECT_FALSE(host::PickComboEntry(plain, 2));
            EXPECT_EQ(SendMessageW(plain, CB_GETCURSEL, 0, 0), 1);
            SendMessageW(plain, CB_RESETCONTENT, 0, 0);
            EXPECT_EQ(SendMessageW(plain, CB_GETCOUNT, 0, 0), 0);

            const SIZE base = host::DialogBaseUnits(dialog);
            RECT field = RectOf(plain), dropped{};
            ASSERT_TRUE(SendMessageW(plain, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped)));
            EXPECT_LT(field.bottom - field.top, (39 * base.cy + 4) / 8);
            EXPECT_EQ(dropped.bottom - dropped.top, (39 * base.cy + 4) / 8);
            MoveWindow(plain, 0, 0, 100, 80, TRUE);
            ASSERT_TRUE(SendMessageW(plain, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped)));
            EXPECT_EQ(dropped.bottom - dropped.top, 80);
            EXPECT_EQ(RectOf(plain).bottom - RectOf(plain).top, field.bottom - field.top);
        }});
    // Only the pick reached the dialog.
    EXPECT_EQ(m_recorder.seen[2], "WM_COMMAND 1005 1");
    EXPECT_EQ(m_recorder.seen.size(), 4u);
}

// Buttons: a click of an auto check box turns it over and then notifies; a check state is kept
// whatever its value; a push button notifies on a pen click inside it; a disabled one takes no
// click at all; EnableWindow answers whether the window was disabled.
TEST_F(Dialogs, ButtonsCheckAndNotify) {
    m_recorder.handle = EndOnButtons;
    Run(300, {[&](HWND dialog) {
            HWND check = GetDlgItem(dialog, 212), push = GetDlgItem(dialog, 213), off = GetDlgItem(dialog, 214);
            EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_UNCHECKED);
            EXPECT_TRUE(host::ClickControl(check));
            EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_CHECKED);
            SendMessageW(check, BM_SETCHECK, 5, 0);
            EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), 5);
            EXPECT_TRUE(host::ClickControl(check));  // any state but checked turns to checked
            EXPECT_EQ(SendMessageW(check, BM_GETCHECK, 0, 0), BST_CHECKED);

            EXPECT_FALSE(host::ClickControl(off));
            EXPECT_FALSE(IsWindowEnabled(off));
            EXPECT_TRUE(EnableWindow(off, TRUE));
            EXPECT_FALSE(EnableWindow(off, FALSE));

            // A pen press and release inside the push button, in the dialog's coordinates.
            const RECT at = RectOf(push), whole = RectOf(dialog);
            const int x = (at.left + at.right) / 2 - whole.left, y = (at.top + at.bottom) / 2 - whole.top;
            host::PenEvent(dialog, host::PenKind::Down, x, y, 1000);
            host::PenEvent(dialog, host::PenKind::Up, x, y, 1100);
            // A pen on the disabled button does nothing.
            const RECT disabled = RectOf(off);
            host::PenEvent(dialog, host::PenKind::Down, disabled.left + 2 - whole.left, disabled.top + 2 - whole.top, 2000);
            host::PenEvent(dialog, host::PenKind::Up, disabled.left + 2 - whole.left, disabled.top + 2 - whole.top, 2100);
        }});
    EXPECT_EQ(std::vector<std::string>(m_recorder.seen.begin() + 2, m_recorder.seen.end() - 1),
              (std::vector<std::string>{"WM_COMMAND 212 0", "WM_COMMAND 212 0", "WM_COMMAND 213 0"}));
}

// The dialog's items by identifier: text set and read through the dialog, messages sent to an
// item, and an identifier no control has.
TEST_F(Dialogs, ItemsAreFoundByIdentifier) {
    m_recorder.handle = EndOnButtons;
    Run(300, {[](HWND dialog) {
            EXPECT_TRUE(SetDlgItemTextW(dialog, 1003, u"Новый текст"));
            WCHAR text[32] = {};
            EXPECT_EQ(GetDlgItemTextW(dialog, 1003, text, 32), 11u);
            EXPECT_EQ(std::u16string(text), u"Новый текст");
            EXPECT_EQ(GetDlgCtrlID(GetDlgItem(dialog, 1003)), 1003);
            EXPECT_EQ(SendDlgItemMessageW(dialog, 1005, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"x")), 0);
            SetLastError(0);
            EXPECT_EQ(GetDlgItem(dialog, 4444), nullptr);
            EXPECT_EQ(GetLastError(), DWORD(ERROR_CONTROL_ID_NOT_FOUND));
        }});
}

// ---------------------------------------------------------------------------------------------
// Fonts and text

// The screen's resolution follows its size; a font keeps what it was made with; text is drawn in
// the font's outlines (Cyrillic too) inside its rectangle only, and measured without drawing.
TEST_F(Dialogs, FontsDrawEveryScriptInsideTheirRectangle) {
    EXPECT_EQ(GetDeviceCaps(nullptr, LOGPIXELSY), 96);
    m_device->SetSetting("screen.width", "480");
    m_device->SetSetting("screen.height", "640");
    EXPECT_EQ(GetDeviceCaps(nullptr, LOGPIXELSY), 192);
    m_device->SetSetting("screen.width", "240");
    m_device->SetSetting("screen.height", "320");

    LOGFONTW wanted{};
    wanted.lfHeight = -13;
    wanted.lfWeight = FW_BOLD;
    HFONT font = CreateFontIndirectW(&wanted);
    ASSERT_NE(font, nullptr);
    LOGFONTW back{};
    EXPECT_EQ(GetObjectW(font, sizeof back, &back), int(sizeof back));
    EXPECT_EQ(back.lfHeight, -13);
    EXPECT_EQ(back.lfWeight, FW_BOLD);
    EXPECT_EQ(GetObjectType(font), DWORD(OBJ_FONT));

    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP canvas = CreateBitmap(120, 40, 1, 32, nullptr);
    SelectObject(dc, canvas);
    RECT all{0, 0, 120, 40};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    RECT measure{10, 10, 10, 10};
    const int height = DrawTextW(dc, u"Жук", -1, &measure, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_GT(height, 12);
    EXPECT_GT(measure.right - measure.left, 20);
    RECT box{10, 10, 60, 30};
    EXPECT_GT(DrawTextW(dc, u"ЖЖЖЖЖЖЖЖЖЖЖЖ", -1, &box, DT_SINGLELINE), 0);
    const host::Bitmap* pixels = host::BitmapFromHandle(canvas);
    int inside = 0, outside = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x) {
            if (pixels->Pixel(x, y) == 0xFFFFFF) continue;
            ++(x >= box.left && x < box.right && y >= box.top && y < box.bottom ? inside : outside);
        }
    EXPECT_GT(inside, 30);
    EXPECT_EQ(outside, 0);
    DeleteDC(dc);
    DeleteObject(canvas);
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_EQ(GetObjectType(font), 0u);
    // The system font is a stock object: deleting it keeps it.
    HGDIOBJ system = GetStockObject(SYSTEM_FONT);
    EXPECT_TRUE(DeleteObject(system));
    EXPECT_EQ(GetObjectType(system), DWORD(OBJ_FONT));
}

// ---------------------------------------------------------------------------------------------
// The shell and the screen

// SHInitDialog makes the dialog fill the work area and gives it Done; the menu bar is a window
// along the bottom that goes with the dialog; the screen shows the navigation bar, the dialog's
// controls in their colours, and an open input panel above them.
TEST_F(Dialogs, FullScreenDialogsAndThePictureOfTheScreen) {
    HWND bar = nullptr;
    m_recorder.handle = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            SHMENUBARINFO menu{};
            menu.cbSize = sizeof menu;
            menu.hwndParent = dialog;
            menu.dwFlags = SHCMBF_EMPTYBAR;
            EXPECT_TRUE(SHCreateMenuBar(&menu));
            bar = menu.hwndMB;
            SHINITDLGINFO info{SHIDIM_FLAGS, dialog, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN};
            EXPECT_TRUE(SHInitDialog(&info));
            SetForegroundWindow(dialog);
        }
        // The heading in blue on white, as the language switcher colours it.
        if (message == WM_CTLCOLORSTATIC && GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == 1007) {
            SetTextColor(reinterpret_cast<HDC>(wParam), RGB(10, 0, 210));
            return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
        }
        return EndOnButtons(dialog, message, wParam, lParam);
    };
    Run(300, {[&](HWND dialog) {
            EXPECT_EQ(RectOf(dialog).top, 26);
            EXPECT_EQ(RectOf(dialog).bottom, 320 - 26);
            EXPECT_EQ(RectOf(dialog).right, 240);
            EXPECT_TRUE(host::HasDoneButton(dialog));
            EXPECT_EQ(RectOf(bar).top, 320 - 26);
            std::unique_ptr<host::Bitmap> screen = host::RenderScreen(*m_device);
            ASSERT_NE(screen, nullptr);
            EXPECT_EQ(screen->Width(), 240);
            EXPECT_EQ(screen->Pixel(120, 2), 0x0A246Au);  // the navigation bar
            const RECT heading = RectOf(GetDlgItem(dialog, 1007));
            int blue = 0;
            for (int y = heading.top; y < heading.bottom; ++y)
                for (int x = heading.left; x < heading.right; ++x) blue += screen->Pixel(x, y) == 0x0A00D2u ? 1 : 0;
            EXPECT_GT(blue, 10) << "the heading is drawn in the colour its dialog chose";
            SendMessageW(dialog, WM_COMMAND, IDOK, 0);
        }});
    EXPECT_FALSE(IsWindow(bar));
}
