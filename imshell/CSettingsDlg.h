// The keyboard's options page, opened modally by the input method object's UserOptionsDlg with
// that object's engine. A person picks the skin (saved and shown on the live keyboard at once),
// adds a skin file from any folder, deletes one, switches gestures and extended symbols, and makes
// this keyboard the device's default input method. While the page is open the SIP shows this
// keyboard; ok hands the panel back to the input method that was current before and hides it,
// cancel leaves it as it is. Settings live under the keyboard's settings key; see
// skin_catalogue.h.
#pragma once

#include <string>
#include <vector>

#include "CKeyboard.h"
#include "CModuleVersion.h"
#include "window_impl.h"

// Controls of dialog 201.
inline constexpr int IDC_EXTSYM = 211;
inline constexpr int IDC_GESTURES = 212;
inline constexpr int IDC_SEPARATOR = 213;
inline constexpr int IDC_DEFAULT_IM = 214;
inline constexpr int IDC_SKIN_LABEL = 215;
inline constexpr int IDC_ABOUT = 217;
inline constexpr int IDC_SKINS = 202;
inline constexpr int IDC_ADD_SKIN = 219;
inline constexpr int IDC_DELETE_SKIN = 221;

// Strings of the library.
inline constexpr UINT IDS_OPTIONS_TITLE = 102;
inline constexpr UINT IDS_CONFIRM_DELETE = 104;
inline constexpr UINT IDS_LAST_SKIN = 105;
inline constexpr UINT IDS_WRONG_RESOLUTION = 106;

// The installed copy of the library, whose version the page shows whatever file runs.
inline constexpr const WCHAR* kInstalledLibrary = u"\\Windows\\vexor.dll";

class CSettingsDlg : public imshell::CDialogImpl<CSettingsDlg> {
public:
    static constexpr UINT IDD = 201;

    CSettingsDlg();
    ~CSettingsDlg() override;

    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    // Writes the page's state to the settings; false only when the chosen skin does not fit the
    // screen, "Skin" and "UserSkins" then left as they were.
    BOOL SaveSettings();
    // Saves, then restarts the engine and re-shows the SIP so that the choice is live; false when
    // saving refused the skin.
    BOOL ApplySettings();
    void AddSkin();
    void DeleteSkin();

    HWND m_hSeparator = nullptr;
    HWND m_hGestures = nullptr;
    HWND m_hDefaultIm = nullptr;
    HWND m_hExtSym = nullptr;
    HWND m_hSkinLabel = nullptr;
    HWND m_hAbout = nullptr;
    HWND m_hSkins = nullptr;
    HWND m_hAddSkin = nullptr;
    HWND m_hDeleteSkin = nullptr;
    HFONT m_hTitleFont = nullptr;
    CLSID m_clsidPrevIm{};
    CLSID m_clsidThis{};
    std::u16string m_strAbout;
    int m_nScreenWidth = 0;
    int m_nScreenHeight = 0;
    CModuleVersion m_Version;
    std::vector<std::u16string> m_SkinPaths;
    // The engine of the owning input method object; not owned, set before every opening.
    CKeyboard* m_pKbd = nullptr;

private:
    BOOL OnInitDialog();
    void LayoutControls();
    void PaintTitle();
    // Shows the gesture setting the loaded skin imposes: "SwipeOnlySkin" non-zero checks and
    // greys "Use gestures", zero lets the person choose.
    void ShowSwipeOnly(DWORD swipeOnly);
    std::u16string SelectedTitle() const;
    std::u16string LoadText(UINT id) const;
    int Message(const std::u16string& text, UINT style) const;
};
