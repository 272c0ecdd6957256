// The language switcher applet: the control panel's entry point, the list of installed language
// packages (\Windows\vl_*.xml), the dialog that shows them with the keyboard layouts of the
// companion keyboard, and the switch itself through the script engine.
//
// All state lives here, process-wide, and is rebuilt at every CPL_DBLCLK; one run is served at a
// time, on the caller's thread.
#pragma once

#include "platform/cpl.h"
#include "platform/wintypes.h"

// Identifiers of the applet's resources.
enum LingoString : UINT {
    IDS_LINGO_NAME = 1,
    IDS_LINGO_INFO = 2,
    IDS_BAD_REGISTRY_KEY = 3,
    IDS_NO_CONFIG_FILES = 4,
    IDS_XML_INIT_ERROR = 5,
    IDS_NO_CURRENT_PACKAGE = 6,
    IDS_DEFAULT_NO = 7,
    IDS_DEFAULT_YES = 8,
    IDS_SWITCH_FAILED = 9,
    IDS_DEFAULT_REBOOT = 10,
    IDS_FREE_BYTES = 11,
    IDS_DIALOG_TITLE = 12,
    IDS_KEYBOARD_LABEL = 13,
    IDS_KEYBOARD_HINT = 14,
    IDS_KEYBOARD_PLACEHOLDER = 15,
    IDS_LANGUAGE_LABEL = 16,
    IDS_NOT_INSTALLED = 17,
    IDS_LANGUAGE_PLACEHOLDER = 18,
};
constexpr int IDI_LINGO = 101;
constexpr int IDD_LINGO = 102;
enum LingoControl : int {
    IDC_INFO = 1003,
    IDC_LANGUAGES = 1005,
    IDC_SEPARATOR = 1006,
    IDC_HEADING = 1007,
    IDC_LAYOUTS = 1008,
    IDC_KEYBOARD_LABEL = 1009,
    IDC_LANGUAGE_LABEL = 1010,
    IDC_KEYBOARD_HINT = 1011,
};

constexpr int kMaxPackages = 50;
constexpr int kMaxLayouts = 50;
constexpr int kNoPackage = 9999;

struct LanguagePackage {
    WCHAR name[260];
    WCHAR idText[30];
    WCHAR path[260];
    WCHAR info[260];
    WCHAR yesText[260];
    WCHAR noText[260];
    WCHAR rebootText[260];
    DWORD id;
};

struct KeyboardLayout {
    DWORD code;
    WCHAR name[60];
};

struct AppletState {
    HINSTANCE instance = nullptr;
    HWND owner = nullptr;
    int currentIndex = kNoPackage;
    int packageCount = 0;
    LanguagePackage packages[kMaxPackages] = {};
    WCHAR message[256] = {};
    KeyboardLayout layouts[kMaxLayouts] = {};
    int layoutCount = 0;
    HFONT boldFont = nullptr;
    HFONT normalFont = nullptr;
};

AppletState& Applet();

// What the control panel's entry point CPlApplet does (the library exports it under that name).
LONG AppletEntry(HWND window, UINT message, LPARAM param1, LPARAM param2);

// Reads one package file into the next record of the table; nothing when it is no package.
void ReadPackage(const WCHAR* path);
// Fills the table from \Windows\vl_*.xml in the order the file system lists them.
void EnumeratePackages();
// The first package whose id equals the current language, or kNoPackage.
int FindCurrentPackage();

// The switch itself, without its dialog, message or reset: runs the target package with the
// package of the language being left (null: none) as its companion and, when it ran, makes the
// target's language current (g_dwCurrentLanguage and HKCU\MUI "CurLang") and rewrites the
// shell's key commands by the names the run renamed. The engine's Run result.
int SwitchPackage(const WCHAR* targetPath, DWORD targetLanguage, const WCHAR* companionPath);

// Keyboard layouts of the companion keyboard.
void EnumerateLayouts();
void FillLayoutList(HWND dialog);
void ApplyLayout(HWND dialog);

// The dialog's procedure and the switch it runs on Done.
INT_PTR LingoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
