// The applet's entry, its dialog and the language switch.
#include "lingo.h"

#include <cstdlib>
#include <cstring>

#include "platform/dialogs.h"
#include "platform/gdi.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/winbase.h"
#include "script/command_table.h"
#include "script/conditions.h"
#include "script/reghelpers.h"
#include "script/rename_log.h"
#include "script/script_engine.h"
#include "script/showmessage.h"

namespace {

constexpr COLORREF kHeadingColour = RGB(10, 0, 210);
constexpr DWORD kNewCplInfoSize = 468;  // NEWCPLINFO as the device lays it out

// The applet's own string, loaded into the shared message buffer; null when it does not load.
const WCHAR* String(UINT id) {
    AppletState& applet = Applet();
    return LoadStringW(applet.instance, id, applet.message, 256) > 0 ? applet.message : nullptr;
}

void SetFontOf(HWND dialog, int id, HFONT font) {
    if (font) SendDlgItemMessageW(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

// Places control id at (left + 8, top + offset), client width - 16 wide, height high.
void Place(HWND dialog, int id, const RECT& client, int offset, int height, bool topmost) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return;
    SetWindowPos(control, topmost ? HWND_TOPMOST : nullptr, client.left + 8, client.top + offset,
                 client.right - client.left - 16, height, topmost ? 0 : SWP_NOZORDER);
}

void ShowInfo(HWND dialog, int index) {
    const AppletState& applet = Applet();
    if (index >= 0 && index < applet.packageCount) SetDlgItemTextW(dialog, IDC_INFO, applet.packages[index].info);
}

BOOL InitDialog(HWND dialog) {
    AppletState& applet = Applet();
    SHMENUBARINFO menu{};
    menu.cbSize = sizeof menu;
    menu.hwndParent = dialog;
    menu.dwFlags = SHCMBF_EMPTYBAR;
    menu.hInstRes = applet.instance;
    SHCreateMenuBar(&menu);

    // Both fonts come from one logical font, ten points at the display's resolution.
    HDC dc = GetDC(dialog);
    LOGFONTW logical{};
    logical.lfHeight = GetDeviceCaps(dc, LOGPIXELSY) * 10 / 72;
    ReleaseDC(dialog, dc);
    logical.lfWeight = FW_BOLD;
    applet.boldFont = CreateFontIndirectW(&logical);
    logical.lfWeight = FW_NORMAL;
    applet.normalFont = CreateFontIndirectW(&logical);

    SHINITDLGINFO init{SHIDIM_FLAGS, dialog, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN};
    SHInitDialog(&init);
    EnumerateLayouts();

    RECT client{};
    GetClientRect(dialog, &client);
    Place(dialog, IDC_HEADING, client, 2, 14, true);
    Place(dialog, IDC_LANGUAGE_LABEL, client, 28, 14, false);
    Place(dialog, IDC_LANGUAGES, client, 46, 80, false);
    Place(dialog, IDC_INFO, client, 68, 28, false);
    Place(dialog, IDC_KEYBOARD_LABEL, client, 100, 14, false);
    Place(dialog, IDC_LAYOUTS, client, 118, 14, false);
    Place(dialog, IDC_KEYBOARD_HINT, client, 141, 32, false);
    for (int id : {IDC_HEADING, IDC_LANGUAGE_LABEL, IDC_KEYBOARD_LABEL}) SetFontOf(dialog, id, applet.boldFont);
    for (int id : {IDC_INFO, IDC_KEYBOARD_HINT}) SetFontOf(dialog, id, applet.normalFont);
    const struct {
        int control;
        UINT text;
    } texts[] = {{IDC_KEYBOARD_HINT, IDS_KEYBOARD_HINT},
                 {IDC_LANGUAGE_LABEL, IDS_LANGUAGE_LABEL},
                 {IDC_HEADING, IDS_LINGO_NAME},
                 {IDC_KEYBOARD_LABEL, IDS_KEYBOARD_LABEL}};
    for (const auto& t : texts)
        if (const WCHAR* text = String(t.text)) SetDlgItemTextW(dialog, t.control, text);

    FillLayoutList(dialog);

    HWND languages = GetDlgItem(dialog, IDC_LANGUAGES);
    for (int i = 0; i < applet.packageCount; ++i)
        SendMessageW(languages, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(applet.packages[i].name));
    if (applet.packageCount == 0) {
        EnableWindow(languages, FALSE);
        if (const WCHAR* text = String(IDS_NOT_INSTALLED)) SetDlgItemTextW(dialog, IDC_INFO, text);
        // Taken in place, as the string table keeps it with its terminator.
        const WCHAR* placeholder = nullptr;
        LoadStringW(applet.instance, IDS_LANGUAGE_PLACEHOLDER, reinterpret_cast<LPWSTR>(&placeholder), 0);
        SendMessageW(languages, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(placeholder ? placeholder : u""));
        SendMessageW(languages, CB_SETCURSEL, 0, 0);
    } else {
        SendMessageW(languages, CB_SETCURSEL, static_cast<WPARAM>(applet.currentIndex), 0);
        ShowInfo(dialog, applet.currentIndex);
    }
    if (const WCHAR* title = String(IDS_DIALOG_TITLE)) SetWindowTextW(dialog, title);
    UpdateWindow(dialog);
    SetForegroundWindow(dialog);
    return TRUE;
}

// Done: the layout first, then the switch when another language was chosen.
void Done(HWND dialog) {
    AppletState& applet = Applet();
    ApplyLayout(dialog);
    const LRESULT chosen = SendDlgItemMessageW(dialog, IDC_LANGUAGES, CB_GETCURSEL, 0, 0);
    if (chosen == CB_ERR || chosen < 0 || chosen >= applet.packageCount || applet.packageCount == 0 ||
        applet.packages[chosen].id == g_dwCurrentLanguage)
        return;
    const LanguagePackage& target = applet.packages[chosen];
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    const WCHAR* companion = applet.currentIndex >= 0 && applet.currentIndex < applet.packageCount
                                 ? applet.packages[applet.currentIndex].path
                                 : nullptr;
    const int ran = SwitchPackage(target.path, target.id, companion);
    SetCursor(previous);
    if (!ran) {
        const WCHAR* text = String(IDS_SWITCH_FAILED);
        ShowMessage(text ? text : u"Error while process");
        return;
    }
    applet.currentIndex = static_cast<int>(chosen);
    WCHAR notice[255];
    wcsncpy(notice, applet.packages[chosen].rebootText, 254);
    notice[254] = 0;
    WCHAR caption[64] = {};
    LoadStringW(applet.instance, IDS_LINGO_NAME, caption, 64);
    MessageBoxW(dialog, notice, caption, MB_OK | MB_SETFOREGROUND | MB_ICONINFORMATION);
    ClearRenameLog();
    SoftReset();
}

void EndRun() {
    AppletState& applet = Applet();
    if (applet.boldFont) DeleteObject(applet.boldFont);
    if (applet.normalFont) DeleteObject(applet.normalFont);
    applet.boldFont = applet.normalFont = nullptr;
}

LONG Run() {
    AppletState& applet = Applet();
    g_dwCurrentLanguage = 0;
    applet.currentIndex = kNoPackage;
    applet.packageCount = 0;
    ClearRenameLog();
    BYTE* stored = nullptr;
    DWORD size = 0, type = REG_NONE;
    stored = RegReadValue(HKEY_CURRENT_USER, u"MUI", u"CurLang", &size, &type);
    if (stored && size == 4) {
        std::memcpy(&g_dwCurrentLanguage, stored, 4);
        EnumeratePackages();
    }
    free(stored);
    if (applet.packageCount > 0) {
        applet.currentIndex = FindCurrentPackage();
        if (applet.currentIndex == kNoPackage) {
            WCHAR format[256] = {};
            if (LoadStringW(applet.instance, IDS_NO_CURRENT_PACKAGE, format, 256) > 0)
                ShowMessage(FormatW(format, static_cast<unsigned>(g_dwCurrentLanguage)).c_str());
            return 0;
        }
    }
    DialogBoxParamW(applet.instance, MAKEINTRESOURCEW(IDD_LINGO), applet.owner, LingoDialogProc, 0);
    EndRun();
    return 0;
}

}  // namespace

int SwitchPackage(const WCHAR* targetPath, DWORD targetLanguage, const WCHAR* companionPath) {
    int ran = 0;
    {
        ProcessList spared;
        CommandTable table(&spared);
        ScriptEngine engine;
        engine.CreateDocument();
        engine.m_pSink = &table;
        g_dwTargetLanguage = targetLanguage;
        ran = engine.Run(targetPath, companionPath);
        engine.ReleaseDocuments();
    }
    if (!ran) return 0;
    g_dwCurrentLanguage = targetLanguage;
    DWORD written = g_dwCurrentLanguage;
    RegWriteValue(HKEY_CURRENT_USER, u"MUI", u"CurLang", &written, sizeof written, u"REG_DWORD");
    FixShellKeyCommands();
    return ran;
}

AppletState& Applet() {
    static AppletState state;
    return state;
}

INT_PTR LingoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: return InitDialog(dialog);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_LANGUAGES:
            if (HIWORD(wParam) == CBN_SELCHANGE) {
                const LRESULT index = SendDlgItemMessageW(dialog, IDC_LANGUAGES, CB_GETCURSEL, 0, 0);
                if (index != CB_ERR) ShowInfo(dialog, static_cast<int>(index));
            }
            return 0;
        case IDOK:
            Done(dialog);
            EndDialog(dialog, 1);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        default: return FALSE;
        }
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, IDC_HEADING)) {
            SetTextColor(reinterpret_cast<HDC>(wParam), kHeadingColour);
            return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
        }
        return 0;
    default: return FALSE;
    }
}

LONG AppletEntry(HWND window, UINT message, LPARAM /*param1*/, LPARAM param2) {
    AppletState& applet = Applet();
    switch (message) {
    case CPL_INIT:
        applet.instance = GetModuleHandleW(u"lingo.cpl");
        return 1;
    case CPL_GETCOUNT: return 1;
    case CPL_INQUIRE: {
        auto* info = reinterpret_cast<CPLINFO*>(param2);
        if (info) *info = CPLINFO{IDI_LINGO, IDS_LINGO_NAME, IDS_LINGO_INFO, 0};
        return 0;
    }
    case CPL_NEWINQUIRE: {
        auto* info = reinterpret_cast<NEWCPLINFO*>(param2);
        if (!info) return 0;
        *info = NEWCPLINFO{};
        info->dwSize = kNewCplInfoSize;
        info->hIcon = LoadIconW(applet.instance, MAKEINTRESOURCEW(IDI_LINGO));
        LoadStringW(applet.instance, IDS_LINGO_NAME, info->szName, 32);
        LoadStringW(applet.instance, IDS_LINGO_INFO, info->szInfo, 64);
        return 0;
    }
    case CPL_DBLCLK:
        applet.owner = window;
        SetMessageOwner(window);
        return Run();
    default: return 0;
    }
}
