// The options page: initialisation, layout for portrait and landscape, the painted title, and
// what the skin box, the buttons and the check boxes do.
#include "CSettingsDlg.h"

#include <algorithm>

#include "CKeybInput.h"
#include "com_server.h"
#include "default_im.h"
#include "platform/commdlg.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/sip.h"
#include "platform/text.h"
#include "skin_catalogue.h"

namespace {

// What a skin box entry shows for a path: the file name without its last four characters.
std::u16string TitleOf(const std::u16string& path) {
    std::u16string title = path.substr(0, path.size() >= 4 ? path.size() - 4 : 0);
    const size_t slash = title.rfind(u'\\');
    return slash == std::u16string::npos ? title : title.substr(slash + 1);
}

// Skins directly in \windows are found there every time; any other path must be remembered.
bool IsUserSkin(const std::u16string& path) {
    const size_t slash = path.rfind(u'\\');
    const std::u16string folder = slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
    if (folder.size() != 9) return true;
    static const char16_t kWindows[] = u"\\windows\\";
    for (size_t i = 0; i < folder.size(); ++i) {
        char16_t c = folder[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != kWindows[i]) return true;
    }
    return false;
}

RECT ClientRectOf(HWND control, HWND dialog) {
    RECT rect{};
    GetWindowRect(control, &rect);
    POINT topLeft{rect.left, rect.top}, bottomRight{rect.right, rect.bottom};
    ScreenToClient(dialog, &topLeft);
    ScreenToClient(dialog, &bottomRight);
    return RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

void MoveTo(HWND control, const RECT& rect) {
    MoveWindow(control, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

}  // namespace

CSettingsDlg::CSettingsDlg() : m_clsidThis(CLSID_KeybInput) {}

CSettingsDlg::~CSettingsDlg() {
    if (m_hTitleFont) DeleteObject(m_hTitleFont);
}

std::u16string CSettingsDlg::LoadText(UINT id) const {
    WCHAR text[256] = {};
    LoadStringW(imshell::Module().Instance(), id, text, 256);
    return text;
}

int CSettingsDlg::Message(const std::u16string& text, UINT style) const {
    const std::u16string caption = m_Version.QueryString(u"FileDescription");
    return MessageBoxW(m_hWnd, text.c_str(), caption.c_str(), style);
}

std::u16string CSettingsDlg::SelectedTitle() const {
    const LRESULT index = SendMessageW(m_hSkins, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return {};
    const LRESULT length = SendMessageW(m_hSkins, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length <= 0 || length >= static_cast<LRESULT>(keyboard::kPathChars)) return {};
    WCHAR text[keyboard::kPathChars] = {};
    SendMessageW(m_hSkins, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

void CSettingsDlg::ShowSwipeOnly(DWORD swipeOnly) {
    if (swipeOnly) SendMessageW(m_hGestures, BM_SETCHECK, BST_CHECKED, 0);
    EnableWindow(m_hGestures, swipeOnly == 0);
}

BOOL CSettingsDlg::OnInitDialog() {
    // The page shows this keyboard live under it, whichever input method ran before.
    SipShowIM(SIPF_OFF);
    m_clsidThis = CLSID_KeybInput;
    if (!SipGetCurrentIM(&m_clsidPrevIm)) m_clsidPrevIm = m_clsidThis;
    if (!(m_clsidPrevIm == m_clsidThis)) SipSetCurrentIM(&m_clsidThis);
    SipShowIM(SIPF_ON);

    // Each opening makes the title font afresh; the one of an earlier opening goes first.
    if (m_hTitleFont) DeleteObject(m_hTitleFont);
    m_hTitleFont = nullptr;
    LOGFONTW logical{};
    if (GetObjectW(GetStockObject(SYSTEM_FONT), sizeof logical, &logical)) {
        logical.lfWeight = FW_BOLD;
        m_hTitleFont = CreateFontIndirectW(&logical);
    }

    m_nScreenWidth = GetSystemMetrics(SM_CXSCREEN);
    m_nScreenHeight = GetSystemMetrics(SM_CYSCREEN);
    m_hSeparator = GetDlgItem(m_hWnd, IDC_SEPARATOR);
    m_hGestures = GetDlgItem(m_hWnd, IDC_GESTURES);
    m_hDefaultIm = GetDlgItem(m_hWnd, IDC_DEFAULT_IM);
    m_hExtSym = GetDlgItem(m_hWnd, IDC_EXTSYM);
    m_hSkinLabel = GetDlgItem(m_hWnd, IDC_SKIN_LABEL);
    m_hAbout = GetDlgItem(m_hWnd, IDC_ABOUT);
    m_hSkins = GetDlgItem(m_hWnd, IDC_SKINS);
    m_hAddSkin = GetDlgItem(m_hWnd, IDC_ADD_SKIN);
    m_hDeleteSkin = GetDlgItem(m_hWnd, IDC_DELETE_SKIN);

    const int longSide = std::max(m_nScreenWidth, m_nScreenHeight);
    MoveWindow(m_hSeparator, 0, longSide / 13, m_nScreenWidth, 1, TRUE);
    if (IsDefaultIm()) SendMessageW(m_hDefaultIm, BM_SETCHECK, BST_CHECKED, 0);

    // Room for more entries when the list is opened.
    RECT field = ClientRectOf(m_hSkins, m_hWnd), dropped{};
    SendMessageW(m_hSkins, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    SetWindowPos(m_hSkins, nullptr, 0, 0, field.right - field.left,
                 (field.bottom - field.top) + 2 * (dropped.bottom - dropped.top), SWP_NOMOVE | SWP_NOZORDER);

    RECT about = ClientRectOf(m_hAbout, m_hWnd);
    about.right = m_nScreenWidth - about.left;
    MoveTo(m_hAbout, about);

    m_Version.LoadVersionInfo(kInstalledLibrary);
    m_strAbout = m_Version.QueryString(u"LegalCopyright") + u", " + m_Version.QueryString(u"CompanyName") +
                 u"\nBuild: " + m_Version.QueryString(u"ProductVersion");
    SetWindowTextW(m_hAbout, m_strAbout.c_str());

    m_SkinPaths = m_pKbd ? m_pKbd->GetSkinList() : keyboard::GetSkinList();
    SendMessageW(m_hSkins, CB_RESETCONTENT, 0, 0);
    for (const std::u16string& path : m_SkinPaths) {
        const std::u16string title = TitleOf(path);
        SendMessageW(m_hSkins, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(title.c_str()));
    }

    {
        const keyboard::SettingsKey key(keyboard::SettingsKey::Mode::Open);
        if (const std::optional<DWORD> swipe = key.ReadDword(keyboard::kSwipeValue))
            SendMessageW(m_hGestures, BM_SETCHECK, *swipe, 0);
        if (const std::optional<DWORD> swipeOnly = key.ReadDword(keyboard::kSwipeOnlySkinValue))
            ShowSwipeOnly(*swipeOnly);
        if (const std::optional<DWORD> extSym = key.ReadDword(keyboard::kExtSymValue))
            SendMessageW(m_hExtSym, BM_SETCHECK, *extSym, 0);
        if (const std::optional<std::u16string> skin = key.ReadString(keyboard::kSkinValue)) {
            const std::u16string title = TitleOf(*skin);
            const LRESULT count = SendMessageW(m_hSkins, CB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i) {
                WCHAR entry[keyboard::kPathChars] = {};
                const LRESULT length = SendMessageW(m_hSkins, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
                if (length < 0 || length >= static_cast<LRESULT>(keyboard::kPathChars)) continue;
                SendMessageW(m_hSkins, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
                if (title == entry) SendMessageW(m_hSkins, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
            }
        }
    }

    SHINITDLGINFO init{SHIDIM_FLAGS, m_hWnd, SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN};
    SHInitDialog(&init);
    return TRUE;
}

void CSettingsDlg::LayoutControls() {
    m_nScreenWidth = GetSystemMetrics(SM_CXSCREEN);
    m_nScreenHeight = GetSystemMetrics(SM_CYSCREEN);
    const int w = m_nScreenWidth, h = m_nScreenHeight;
    RECT about = ClientRectOf(m_hAbout, m_hWnd);
    if (w <= h) {
        about.top = h / 2;
    } else {
        const RECT gestures = ClientRectOf(m_hGestures, m_hWnd);
        about.top = gestures.top + 5 * (gestures.bottom - gestures.top) / 4;
    }
    MoveWindow(m_hSeparator, 0, std::max(w, h) / 13, w, 1, TRUE);
    about.right = w - about.left;
    MoveTo(m_hAbout, about);
    SetWindowPos(m_hDefaultIm, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void CSettingsDlg::PaintTitle() {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(m_hWnd, &paint);
    if (dc) {
        const int longSide = std::max(m_nScreenWidth, m_nScreenHeight);
        RECT rect{7, longSide / 30, 150, longSide / 15};
        const std::u16string title = LoadText(IDS_OPTIONS_TITLE);
        const COLORREF oldColour = SetTextColor(dc, GetSysColor(COLOR_ACTIVECAPTION));
        HGDIOBJ oldFont = m_hTitleFont ? SelectObject(dc, m_hTitleFont) : nullptr;
        DrawTextW(dc, title.c_str(), -1, &rect, DT_VCENTER | DT_NOCLIP);
        if (oldFont) SelectObject(dc, oldFont);
        SetTextColor(dc, oldColour);
    }
    EndPaint(m_hWnd, &paint);
}

BOOL CSettingsDlg::SaveSettings() {
    const keyboard::SettingsKey key(keyboard::SettingsKey::Mode::Create);
    if (!key.IsOpen()) return TRUE;
    key.WriteDword(keyboard::kSwipeValue, static_cast<DWORD>(SendMessageW(m_hGestures, BM_GETCHECK, 0, 0)));
    key.WriteDword(keyboard::kExtSymValue, static_cast<DWORD>(SendMessageW(m_hExtSym, BM_GETCHECK, 0, 0)));

    // Every path holding the chosen title is checked, and the last one is stored. "Skin" is
    // written only once all of them fit, so that a refused choice changes nothing.
    const std::u16string selected = SelectedTitle();
    std::vector<std::u16string> userSkins;
    const std::u16string* chosen = nullptr;
    for (const std::u16string& path : m_SkinPaths) {
        if (IsUserSkin(path)) userSkins.push_back(path);
        if (path.find(selected) == std::u16string::npos) continue;
        if (m_pKbd && !m_pKbd->IsValidSkin(path.c_str())) return FALSE;
        chosen = &path;
    }
    if (chosen) key.WriteString(keyboard::kSkinValue, *chosen);
    key.WriteMultiString(keyboard::kUserSkinsValue, userSkins);
    return TRUE;
}

BOOL CSettingsDlg::ApplySettings() {
    if (!m_pKbd) return TRUE;
    if (!SaveSettings()) return FALSE;
    if (!m_pKbd->Init(m_nScreenWidth, m_nScreenHeight)) return TRUE;
    // Showing the panel again makes the SIP hand its input method the new settings.
    SipShowIM(SIPF_OFF);
    SipShowIM(SIPF_ON);
    const keyboard::SettingsKey key(keyboard::SettingsKey::Mode::Open);
    if (const std::optional<DWORD> swipeOnly = key.ReadDword(keyboard::kSwipeOnlySkinValue)) ShowSwipeOnly(*swipeOnly);
    return TRUE;
}

void CSettingsDlg::AddSkin() {
    WCHAR file[MAX_PATH] = {};
    WCHAR name[MAX_PATH] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFilter = u"Vexor 7 Skin (*.vxs)\0*.vxs\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrFileTitle = name;
    ofn.nMaxFileTitle = MAX_PATH;
    ofn.lpstrDefExt = u"vxs";
    if (!GetOpenFileNameW(&ofn)) return;
    MessageBoxW(m_hWnd, file, u"", MB_OK);
    m_SkinPaths.push_back(file);
    const std::u16string title(name, std::char_traits<char16_t>::length(name));
    const std::u16string shown = title.substr(0, title.size() >= 4 ? title.size() - 4 : 0);
    SendMessageW(m_hSkins, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
}

void CSettingsDlg::DeleteSkin() {
    const LRESULT count = SendMessageW(m_hSkins, CB_GETCOUNT, 0, 0);
    if (count <= 1) {
        Message(LoadText(IDS_LAST_SKIN), MB_ICONHAND);
        return;
    }
    const std::u16string title = SelectedTitle();
    if (title.empty()) return;
    if (Message(FormatW(LoadText(IDS_CONFIRM_DELETE).c_str(), title.c_str()), MB_OKCANCEL) != IDOK) return;
    if (m_pKbd) m_pKbd->ReleaseSkin();

    const LRESULT doomed = SendMessageW(m_hSkins, CB_GETCURSEL, 0, 0);
    SendMessageW(m_hSkins, CB_SETCURSEL, doomed == 0 ? 1 : 0, 0);
    SendMessageW(m_hSkins, CB_DELETESTRING, static_cast<WPARAM>(doomed), 0);
    // The engine let go of its skin above; a successor that does not fit is said as a pick is.
    if (!ApplySettings()) Message(LoadText(IDS_WRONG_RESOLUTION), MB_ICONHAND);
    // Give the SIP time to let go of the package before its file goes.
    Sleep(1000);

    for (const std::u16string& path : m_SkinPaths) {
        if (path.find(title) == std::u16string::npos) continue;
        if (!DeleteFileW(path.c_str())) Message(FormatW(u"LastError: %i", static_cast<int>(GetLastError())), MB_OKCANCEL);
        break;
    }
}

BOOL CSettingsDlg::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    result = 0;
    switch (message) {
    case WM_INITDIALOG: result = OnInitDialog(); return TRUE;
    case WM_PAINT: PaintTitle(); return TRUE;
    case WM_SIZE: LayoutControls(); return TRUE;
    case WM_COMMAND: break;
    default: return FALSE;
    }
    switch (LOWORD(wParam)) {
    case IDOK: {
        SaveSettings();
        CLSID previous = m_clsidPrevIm;
        SipSetCurrentIM(&previous);
        SipShowIM(SIPF_OFF);
        EndDialog(IDOK);
        return TRUE;
    }
    case IDCANCEL: EndDialog(IDCANCEL); return TRUE;
    case IDC_SKINS:
        if (HIWORD(wParam) == CBN_SELCHANGE && !ApplySettings())
            Message(LoadText(IDS_WRONG_RESOLUTION), MB_ICONHAND);
        return TRUE;
    case IDC_ADD_SKIN: AddSkin(); return TRUE;
    case IDC_DELETE_SKIN: DeleteSkin(); return TRUE;
    case IDC_DEFAULT_IM:
        SetDefaultIm(SendMessageW(m_hDefaultIm, BM_GETCHECK, 0, 0) == BST_UNCHECKED);
        return TRUE;
    default: return FALSE;
    }
}
