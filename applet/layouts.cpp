// The companion keyboard's layouts: libraries \Windows\*.vxb that name themselves through two
// exports, the choice stored in that keyboard's class key as "Current", and the input panel
// made to load the keyboard again so that it takes the new layout at once.
#include <string>

#include "lingo.h"
#include "platform/com.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/sip.h"

namespace {

const WCHAR kCompanionKey[] = u"CLSID\\{D79FF5E2-3F2D-4EDF-9DFA-8EDAE42024BB}";
const WCHAR kPlatformKeyboard[] = u"{42429667-ae04-11d0-a4f8-00aa00a749b9}";
// The layout taken as current when "Current" says nothing usable.
constexpr DWORD kDefaultLayout = 1049;
constexpr int kLayoutNameRoom = 59;

typedef DWORD (*VKeybCodeProc)();
typedef void (*VKeybNameProc)(WCHAR* buffer, int room);

DWORD CurrentLayoutCode() {
    HKEY key = nullptr;
    DWORD code = 0, size = sizeof code, type = REG_NONE;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kCompanionKey, 0, 0, &key) == ERROR_SUCCESS) {
        if (RegQueryValueExW(key, u"Current", nullptr, &type, reinterpret_cast<BYTE*>(&code), &size) != ERROR_SUCCESS ||
            size != sizeof code)
            code = 0;
        RegCloseKey(key);
    }
    return code ? code : kDefaultLayout;
}

// The first installed input method whose class is not all zero, for SipEnumIM.
CLSID g_firstOther{};
bool g_foundOther = false;
int TakeFirstOther(IMENUMINFO* info) {
    if (g_foundOther || !info || info->clsid == GUID_NULL) return 1;
    g_firstOther = info->clsid;
    g_foundOther = true;
    return 0;
}

}  // namespace

void EnumerateLayouts() {
    AppletState& applet = Applet();
    applet.layouts[0] = KeyboardLayout{};
    applet.layoutCount = 0;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(u"\\Windows\\*.vxb", &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::u16string path = std::u16string(u"\\Windows\\") + found.cFileName;
        HMODULE library = LoadLibraryW(path.c_str());
        if (!library) continue;
        auto code = reinterpret_cast<VKeybCodeProc>(GetProcAddressW(library, u"VKeybCode"));
        auto name = reinterpret_cast<VKeybNameProc>(GetProcAddressW(library, u"VKeybName"));
        if (code && name && applet.layoutCount < kMaxLayouts) {
            KeyboardLayout& record = applet.layouts[applet.layoutCount];
            // A library that writes nothing is listed with an empty name.
            record = KeyboardLayout{};
            record.code = code();
            name(record.name, kLayoutNameRoom);
            record.name[kLayoutNameRoom] = 0;
            ++applet.layoutCount;
        }
        FreeLibrary(library);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void FillLayoutList(HWND dialog) {
    AppletState& applet = Applet();
    HWND list = GetDlgItem(dialog, IDC_LAYOUTS);
    if (applet.layoutCount == 0) {
        EnableWindow(list, FALSE);
        WCHAR placeholder[64] = {};
        LoadStringW(applet.instance, IDS_KEYBOARD_PLACEHOLDER, placeholder, 64);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(placeholder));
        SendMessageW(list, CB_SETCURSEL, 0, 0);
    }
    const DWORD current = CurrentLayoutCode();
    int selected = 0;
    for (int i = 0; i < applet.layoutCount; ++i)
        if (applet.layouts[i].code == current) {
            selected = i;
            break;
        }
    for (int i = 0; i < applet.layoutCount; ++i)
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(applet.layouts[i].name));
    if (applet.layoutCount > 0) SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void ApplyLayout(HWND dialog) {
    AppletState& applet = Applet();
    const LRESULT chosen = SendDlgItemMessageW(dialog, IDC_LAYOUTS, CB_GETCURSEL, 0, 0);
    if (chosen == CB_ERR || chosen < 0 || chosen >= applet.layoutCount) return;
    // Written on every Done, also when the layout did not change.
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kCompanionKey, 0, nullptr, 0, 0, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        const DWORD code = applet.layouts[chosen].code;
        RegSetValueExW(key, u"Current", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&code), sizeof code);
        RegCloseKey(key);
    }
    // The keyboard rereads "Current" when it is made current: switch away and back.
    SipShowIM(SIPF_OFF);
    CLSID remembered{};
    if (!SipGetCurrentIM(&remembered)) return;
    CLSID other{};
    if (FAILED(CLSIDFromString(kPlatformKeyboard, &other)) || !SipSetCurrentIM(&other)) {
        g_foundOther = false;
        SipEnumIM(TakeFirstOther);
        if (g_foundOther) SipSetCurrentIM(&g_firstOther);
    }
    SipShowIM(SIPF_OFF);
    SipSetCurrentIM(&remembered);
    SipShowIM(SIPF_OFF);
}
