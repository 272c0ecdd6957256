// The input method object and its panel window as the SIP drives them, built with the image's
// vexor library as its module so that its resources and skins are the real ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "CKeybInput.h"
#include "default_im.h"
#include "host/windows/window.h"
#include "imshell_fixture.h"
#include "keyboard_fixtures.h"

namespace fs = std::filesystem;
using namespace imtest;

// Rectangles compared and printed by the checks below (found through RECT's own namespace).
static bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
[[maybe_unused]] static std::ostream& operator<<(std::ostream& out, const RECT& r) {
    return out << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "}";
}

namespace {

RECT WindowRect(HWND window) {
    RECT r{-1, -1, -1, -1};
    GetWindowRect(window, &r);
    return r;
}

class InputMethod : public VexorImage {
protected:
    void SetUp() override {
        VexorImage::SetUp();
        if (HasFatalFailure()) return;
        InstallFile(fs::path(VX_SKINS_DIR) / "Classic.vxs", u"\\Windows\\Classic.vxs");
        SetText(HKEY_LOCAL_MACHINE, u"Software\\Vexor\\7.0", u"Skin", u"\\windows\\Classic.vxs");
        SetScreen(240, 320);
        imshell::Module().Init(m_noClasses, m_module);
        void* object = nullptr;
        ASSERT_EQ(S_OK, imshell::CreateObject<CKeybInput>(nullptr, IID_IInputMethod2, &object));
        m_im = static_cast<IInputMethod2*>(object);
        m_obj = static_cast<CKeybInput*>(m_im);
        m_sip = host::CreateHostWindow(100, 100);
        ASSERT_NE(nullptr, m_sip);
        ASSERT_TRUE(MoveWindow(m_sip, 10, 220, 100, 100, TRUE));
    }
    void TearDown() override {
        if (m_im) m_im->Release();
        if (m_sip) host::DestroyHostWindow(m_sip);
        CMainWnd::UnregisterWndClass(m_module);
        imshell::Module().Term();
        VexorImage::TearDown();
    }

    void SetScreen(int width, int height) {
        ASSERT_TRUE(m_device->SetSetting("screen.width", std::to_string(width)));
        ASSERT_TRUE(m_device->SetSetting("screen.height", std::to_string(height)));
    }
    void SetSipHeight(int height) {
        const RECT r = WindowRect(m_sip);
        ASSERT_TRUE(MoveWindow(m_sip, r.left, r.top, r.right - r.left, height, TRUE));
    }
    HWND Panel() const { return m_obj->m_MainWnd.m_hWnd; }

    imshell::ComModule::ObjectEntry m_noClasses[1] = {{nullptr, nullptr, nullptr}};
    IInputMethod2* m_im = nullptr;
    CKeybInput* m_obj = nullptr;
    HWND m_sip = nullptr;
    kbdtest::RecordingCallback m_callback;
};

// ---------------------------------------------------------------------------------------------
// Selection

// Select makes the panel a hidden-until-ready child of the SIP window, stretches the SIP window
// to the screen width at x = 0 and starts the engine; a second Select changes nothing, not even
// the engine. Deselect destroys the panel and stops the engine, and Select works again after.
TEST_F(InputMethod, SelectAndDeselectAreIdempotent) {
    ASSERT_EQ(S_OK, m_im->Select(m_sip));
    const HWND panel = Panel();
    ASSERT_NE(nullptr, panel);
    EXPECT_EQ(m_sip, GetParent(panel));
    EXPECT_TRUE(IsWindowVisible(panel));
    EXPECT_EQ(DWORD(WS_CHILD | WS_VISIBLE), DWORD(GetWindowLongW(panel, GWL_STYLE)));
    EXPECT_EQ(RECT({0, 220, 240, 320}), WindowRect(m_sip));
    EXPECT_TRUE(m_obj->m_Res.cx == 240 && m_obj->m_Res.cy == 320);
    EXPECT_NE(nullptr, m_obj->m_Kbd.m_hSkinLib);

    WNDCLASSW wc{};
    ASSERT_TRUE(GetClassInfoW(nullptr, u"D79FF5E2-3F2D-4EDF-9DFA-8EDAE42024BB-PocketExe", &wc));
    EXPECT_EQ(0x000Bu, wc.style);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_WINDOW + 1)), wc.hbrBackground);
    EXPECT_EQ(LoadCursorW(nullptr, IDC_ARROW), wc.hCursor);

    m_obj->m_Kbd.ReleaseSkin();
    EXPECT_EQ(S_OK, m_im->Select(m_sip));
    EXPECT_EQ(panel, Panel());
    EXPECT_EQ(nullptr, m_obj->m_Kbd.m_hSkinLib) << "a second Select started the engine again";

    EXPECT_EQ(S_OK, m_im->Deselect());
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(nullptr, Panel());
    EXPECT_EQ(S_OK, m_im->Deselect());

    ASSERT_EQ(S_OK, m_im->Select(m_sip));
    EXPECT_TRUE(IsWindow(Panel()));
    EXPECT_NE(nullptr, m_obj->m_Kbd.m_hSkinLib);
}

// ---------------------------------------------------------------------------------------------
// Showing and hiding

// Showing sizes the SIP window to a quarter of the screen height in portrait and a third in
// landscape (80 pixels on 240 x 320 and on 320 x 240). A SIP window already one third or one
// quarter high stays as it is, even when the other fraction fits the orientation; the latched
// modifiers are pressed again all the same. Without a panel window Showing does nothing.
TEST_F(InputMethod, ShowingSizesTheSipWindowAndPressesLatches) {
    for (const SIZE screen : {SIZE{240, 320}, SIZE{320, 240}}) {
        SetScreen(screen.cx, screen.cy);
        ASSERT_EQ(S_OK, m_im->Select(m_sip)) << screen.cx;
        SetSipHeight(100);
        EXPECT_EQ(S_OK, m_im->Showing());
        EXPECT_EQ(RECT({0, 220, screen.cx, 300}), WindowRect(m_sip)) << screen.cx << "x" << screen.cy;
        EXPECT_EQ(S_OK, m_im->Deselect());
    }
    SetScreen(240, 320);
    ASSERT_TRUE(MoveWindow(m_sip, 10, 220, 100, 100, TRUE));
    m_im->RegisterCallback(&m_callback);
    m_obj->m_Kbd.m_stKbStatus.m_bShift = true;
    EXPECT_EQ(S_OK, m_im->Showing());
    EXPECT_TRUE(m_callback.Take().empty());
    EXPECT_EQ(RECT({10, 220, 110, 320}), WindowRect(m_sip));

    ASSERT_EQ(S_OK, m_im->Select(m_sip));
    // Starting the engine resets the status; the latch is set as a Shift tap would.
    m_obj->m_Kbd.m_stKbStatus.m_bShift = true;
    for (int height : {106, 80}) {
        SetSipHeight(height);
        EXPECT_EQ(S_OK, m_im->Showing());
        EXPECT_EQ(RECT({0, 220, 240, 220 + height}), WindowRect(m_sip));
        EXPECT_EQ(std::vector<std::string>{"SendVirtualKey 0x10 0x00000000"}, m_callback.Take()) << height;
    }
}

// Hiding releases exactly the latched modifiers, Shift before Ctrl, and keeps the latches, so
// that Showing presses the same keys again.
TEST_F(InputMethod, HidingReleasesLatchedModifiers) {
    ASSERT_EQ(S_OK, m_im->Select(m_sip));
    EXPECT_EQ(S_OK, m_im->Hiding()) << "no callback yet";
    m_im->RegisterCallback(&m_callback);
    EXPECT_EQ(S_OK, m_im->Hiding());
    EXPECT_TRUE(m_callback.Take().empty()) << "nothing latched";

    m_obj->m_Kbd.m_stKbStatus.m_bShift = true;
    m_obj->m_Kbd.m_stKbStatus.m_bCtrl = true;
    EXPECT_EQ(S_OK, m_im->Hiding());
    EXPECT_EQ((std::vector<std::string>{"SendVirtualKey 0x10 0x00000002", "SendVirtualKey 0x11 0x00000002"}),
              m_callback.Take());
    EXPECT_TRUE(m_obj->m_Kbd.m_stKbStatus.m_bShift && m_obj->m_Kbd.m_stKbStatus.m_bCtrl);
    SetSipHeight(80);
    EXPECT_EQ(S_OK, m_im->Showing());
    EXPECT_EQ((std::vector<std::string>{"SendVirtualKey 0x10 0x00000000", "SendVirtualKey 0x11 0x00000000"}),
              m_callback.Take());

    m_obj->m_Kbd.m_stKbStatus.m_bShift = false;
    EXPECT_EQ(S_OK, m_im->Hiding());
    EXPECT_EQ(std::vector<std::string>{"SendVirtualKey 0x11 0x00000002"}, m_callback.Take());
}

// ---------------------------------------------------------------------------------------------
// Icons and information

// GetInfo hands out both one-image lists, docked, and leaves the SIP rectangle alone.
TEST_F(InputMethod, GetInfoDescribesTheIcons) {
    IMINFO info;
    std::memset(&info, 0xAB, sizeof info);
    const RECT untouched = info.rcSipRect;
    ASSERT_EQ(S_OK, m_im->GetInfo(&info));
    EXPECT_EQ(40u, info.cbSize);
    EXPECT_EQ(static_cast<HANDLE>(m_obj->m_hImageNarrow), info.hImageNarrow);
    EXPECT_EQ(static_cast<HANDLE>(m_obj->m_hImageWide), info.hImageWide);
    EXPECT_EQ(0, info.iNarrow);
    EXPECT_EQ(0, info.iWide);
    EXPECT_EQ(2u, info.fdwFlags);
    EXPECT_EQ(untouched, info.rcSipRect);
    int cx = 0, cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(m_obj->m_hImageNarrow, &cx, &cy));
    EXPECT_TRUE(cx == 16 && cy == 16);
    ASSERT_TRUE(ImageList_GetIconSize(m_obj->m_hImageWide, &cx, &cy));
    EXPECT_TRUE(cx == 32 && cy == 16);
    EXPECT_EQ(E_INVALIDARG, m_im->GetInfo(nullptr));
}

BYTE* SectionBits(HBITMAP bitmap, DIBSECTION* section) {
    if (GetObjectW(bitmap, sizeof *section, section) != static_cast<int>(sizeof *section)) return nullptr;
    return static_cast<BYTE*>(section->dsBm.bmBits);
}

// The narrow icon's glyph takes the caption-text colour and its silver background stays, pixel
// for pixel against the stored bitmap; the given bitmap is left as it was.
TEST_F(InputMethod, NarrowIconIsRecolouredToTheCaptionText) {
    const DWORD caption = GetSysColor(COLOR_CAPTIONTEXT);
    const BYTE glyph[3] = {BYTE(caption >> 16), BYTE(caption >> 8), BYTE(caption)};

    HRSRC found = FindResourceW(m_module, MAKEINTRESOURCEW(202), RT_BITMAP);
    ASSERT_NE(nullptr, found);
    const auto* stored = static_cast<const BYTE*>(LockResource(LoadResource(m_module, found))) + 40;
    HBITMAP loaded = LoadBitmapW(m_module, MAKEINTRESOURCEW(202));
    ASSERT_NE(nullptr, loaded);
    HBITMAP recoloured = RecolourNarrowIcon(loaded);
    ASSERT_NE(nullptr, recoloured);
    DIBSECTION section{};
    const BYTE* bits = SectionBits(recoloured, &section);
    ASSERT_NE(nullptr, bits);
    EXPECT_EQ(24, section.dsBm.bmBitsPixel);
    EXPECT_EQ(16, section.dsBmih.biHeight) << "bottom-up";
    int glyphPixels = 0;
    for (size_t at = 0; at < 48 * 16; at += 3) {
        const bool silver = stored[at] == 0xC0 && stored[at + 1] == 0xC0 && stored[at + 2] == 0xC0;
        const BYTE* expected = silver ? stored + at : glyph;
        ASSERT_EQ(0, std::memcmp(bits + at, expected, 3)) << "pixel " << at / 3;
        glyphPixels += !silver;
    }
    EXPECT_GT(glyphPixels, 20);
    DeleteObject(recoloured);
    DeleteObject(loaded);

    // A 24-bit section is read in place; the key is the first pixel of its buffer, whatever it
    // is, and rows keep their padding (3 pixels: 9 bytes padded to 12).
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 3, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* raw = nullptr;
    HBITMAP small = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
    ASSERT_NE(nullptr, small);
    const BYTE pattern[24] = {1, 2, 3, 1, 2, 3, 9, 9, 9, 0, 0, 0, 1, 2, 4, 1, 2, 3, 7, 7, 7, 0, 0, 0};
    std::memcpy(raw, pattern, sizeof pattern);
    HBITMAP out = RecolourNarrowIcon(small);
    ASSERT_NE(nullptr, out);
    const BYTE* o = SectionBits(out, &section);
    ASSERT_NE(nullptr, o);
    for (int at : {0, 3, 15}) EXPECT_EQ(0, std::memcmp(o + at, pattern + at, 3)) << at;
    for (int at : {6, 12, 18}) EXPECT_EQ(0, std::memcmp(o + at, glyph, 3)) << at;
    EXPECT_EQ(0, std::memcmp(raw, pattern, sizeof pattern));
    DeleteObject(out);
    DeleteObject(small);

    EXPECT_EQ(nullptr, RecolourNarrowIcon(nullptr));
}

// ---------------------------------------------------------------------------------------------
// Panel geometry

// With the resolution and skin unchanged, ReceiveSipInfo does not start the engine again and
// only sizes the panel to the given rectangle at (0, 0) of the SIP window.
TEST_F(InputMethod, ReceiveSipInfoRestartsOnlyForNewResolutionOrSkin) {
    ASSERT_EQ(S_OK, m_im->Select(m_sip));
    m_obj->m_Kbd.ReleaseSkin();
    SIPINFO info{};
    info.rcSipRect = RECT{5, 240, 205, 300};
    ASSERT_EQ(S_OK, m_im->ReceiveSipInfo(&info));
    EXPECT_EQ(nullptr, m_obj->m_Kbd.m_hSkinLib);
    EXPECT_EQ(RECT({5, 240, 205, 300}), info.rcSipRect);
    EXPECT_EQ(RECT({0, 220, 200, 280}), WindowRect(Panel()));

    // An empty "Skin" counts as unchanged too.
    SetText(HKEY_LOCAL_MACHINE, u"Software\\Vexor\\7.0", u"Skin", u"");
    ASSERT_EQ(S_OK, m_im->ReceiveSipInfo(&info));
    EXPECT_EQ(nullptr, m_obj->m_Kbd.m_hSkinLib);
    EXPECT_EQ(E_INVALIDARG, m_im->ReceiveSipInfo(nullptr));

    // A rotated screen starts the engine for the swapped resolution and stretches the panel over
    // the new width; a new "Skin" starts it with that skin.
    SetScreen(320, 240);
    info.rcSipRect = RECT{0, 160, 240, 240};
    ASSERT_EQ(S_OK, m_im->ReceiveSipInfo(&info));
    EXPECT_EQ(RECT({0, 160, 320, 240}), info.rcSipRect);
    EXPECT_TRUE(m_obj->m_Res.cx == 320 && m_obj->m_Res.cy == 240);
    EXPECT_NE(nullptr, m_obj->m_Kbd.m_hSkinLib);
    const RECT panel = WindowRect(Panel());
    EXPECT_EQ(320, panel.right - panel.left);
    EXPECT_EQ(80, panel.bottom - panel.top);

    SetScreen(240, 320);
    info.rcSipRect = RECT{0, 240, 240, 320};
    ASSERT_EQ(S_OK, m_im->ReceiveSipInfo(&info));
    InstallFile(fs::path(VX_SKINS_DIR) / "Capslock.vxs", u"\\Windows\\Capslock.vxs");
    m_obj->m_Kbd.ReleaseSkin();
    SetText(HKEY_LOCAL_MACHINE, u"Software\\Vexor\\7.0", u"Skin", u"Capslock");
    ASSERT_EQ(S_OK, m_im->ReceiveSipInfo(&info));
    EXPECT_NE(nullptr, m_obj->m_Kbd.m_hSkinLib);
    EXPECT_EQ(u"Capslock", m_obj->m_Kbd.m_SkinPath);
    EXPECT_TRUE(m_obj->m_Kbd.m_bHasCapsKey) << "the new skin is loaded";
}

// The options request hands the dialog the engine.
TEST_F(InputMethod, OptionsDialogGetsTheEngine) {
    EXPECT_EQ(S_OK, m_im->UserOptionsDlg(nullptr));
    EXPECT_EQ(&m_obj->m_Kbd, m_obj->m_SettingsDlg.m_pKbd);
}

// ---------------------------------------------------------------------------------------------
// Panel window messages

class PanelWindow : public InputMethod {
protected:
    void SetUp() override {
        InputMethod::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(S_OK, m_im->Select(m_sip));
        m_im->RegisterCallback(&m_callback);
        SIPINFO info{};
        info.rcSipRect = RECT{0, 240, 240, 320};
        ASSERT_EQ(S_OK, m_im->ReceiveSipInfo(&info));
        m_q = Centre(m_obj->m_Kbd.m_CharLayout.Find(82));
        m_shift = Centre(&m_obj->m_Kbd.FindLayoutEntry(0xF000));
    }
    static POINT Centre(const keyboard::LayoutEntry* entry) {
        if (!entry || entry->m_Rect.empty()) return POINT{-1, -1};
        const RECT& r = entry->m_Rect.front();
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    LRESULT Send(UINT message, POINT p) { return SendMessageW(Panel(), message, MK_LBUTTON, MAKELPARAM(p.x, p.y)); }
    void Tap(POINT p) {
        Send(WM_LBUTTONDOWN, p);
        Send(WM_LBUTTONUP, p);
    }
    size_t Typed(const char* character) {
        auto calls = m_callback.Take();
        return static_cast<size_t>(std::count_if(calls.begin(), calls.end(), [&](const std::string& call) {
            return call.find(character) != std::string::npos;
        }));
    }

    POINT m_q{};
    POINT m_shift{};
};

// A double tap the engine does not take is a second ordinary press: twice what one tap types.
TEST_F(PanelWindow, DoubleTapNotConsumedIsASecondPress) {
    ASSERT_GE(m_q.x, 0);
    Tap(m_q);
    const size_t perTap = Typed("U+0071");
    ASSERT_GT(perTap, 0u);
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        EXPECT_EQ(0, Send(message, m_q));
    EXPECT_FALSE(m_obj->m_MainWnd.m_bDblClk);
    EXPECT_EQ(2 * perTap, Typed("U+0071"));
}

// After a double press the engine consumed (a double tap on Shift locks the capitals), the next
// pen-up and moves are not passed on; the next pen-down is again.
TEST_F(PanelWindow, ConsumedDoublePressSwallowsUpAndMoves) {
    ASSERT_GE(m_shift.x, 0);
    ASSERT_FALSE(m_obj->m_Kbd.m_bHasCapsKey);
    Tap(m_q);
    const size_t perTap = Typed("U+0071");
    ASSERT_GT(perTap, 0u);
    Tap(m_shift);
    EXPECT_TRUE(m_obj->m_Kbd.m_stKbStatus.m_bShift);
    Send(WM_LBUTTONDBLCLK, m_shift);
    EXPECT_TRUE(m_obj->m_MainWnd.m_bDblClk);
    EXPECT_TRUE(m_obj->m_Kbd.m_stKbStatus.m_bCAPS);

    // The engine notes the window of every press it sees.
    m_obj->m_Kbd.m_phLastWnd = nullptr;
    const POINT moved{m_q.x + 1, m_q.y + 1};
    Send(WM_LBUTTONUP, m_shift);
    Send(WM_MOUSEMOVE, moved);
    EXPECT_EQ(nullptr, m_obj->m_Kbd.m_phLastWnd) << "the up reached the engine";
    EXPECT_FALSE(m_obj->m_Kbd.m_ptLast.x == moved.x && m_obj->m_Kbd.m_ptLast.y == moved.y) << "the move reached it";

    Send(WM_LBUTTONDOWN, m_q);
    EXPECT_FALSE(m_obj->m_MainWnd.m_bDblClk);
    EXPECT_EQ(&m_obj->m_MainWnd.m_hWnd, m_obj->m_Kbd.m_phLastWnd);
    EXPECT_TRUE(m_obj->m_Kbd.m_ptDown.x == m_q.x && m_obj->m_Kbd.m_ptDown.y == m_q.y);
    Send(WM_LBUTTONUP, m_q);
    EXPECT_EQ(perTap, Typed("U+0051")) << "capitals are locked";
}

// During a captured drag, points left of and above the panel arrive negative.
TEST_F(PanelWindow, CapturedDragCarriesNegativeCoordinates) {
    ASSERT_GE(m_q.x, 0);
    ASSERT_NE(nullptr, host::PenEvent(Panel(), host::PenKind::Down, m_q.x, m_q.y, 1000));
    ASSERT_EQ(Panel(), GetCapture());
    EXPECT_EQ(Panel(), host::PenEvent(Panel(), host::PenKind::Move, -5, -7, 1010));
    EXPECT_TRUE(m_obj->m_Kbd.m_ptLast.x == -5 && m_obj->m_Kbd.m_ptLast.y == -7)
        << m_obj->m_Kbd.m_ptLast.x << "," << m_obj->m_Kbd.m_ptLast.y;
    Send(WM_MOUSEMOVE, POINT{-300, -2});
    EXPECT_TRUE(m_obj->m_Kbd.m_ptLast.x == -300 && m_obj->m_Kbd.m_ptLast.y == -2);
    host::PenEvent(Panel(), host::PenKind::Up, -300, -2, 1020);
    EXPECT_EQ(nullptr, GetCapture());
}

// The panel never erases its background and paints the keyboard on WM_PAINT.
TEST_F(PanelWindow, PaintsTheKeyboard) {
    EXPECT_EQ(1, SendMessageW(Panel(), WM_ERASEBKGND, 0, 0));
    InvalidateRect(Panel(), nullptr, TRUE);
    UpdateWindow(Panel());
    const host::Window* window = host::WindowFromHandle(Panel());
    ASSERT_NE(nullptr, window);
    const host::Bitmap& surface = window->Surface();
    int painted = 0;
    for (int y = 0; y < surface.Height(); ++y)
        for (int x = 0; x < surface.Width(); ++x) painted += surface.Pixel(x, y) != 0;
    EXPECT_GT(painted, surface.Width() * surface.Height() / 2);
    RECT update{};
    EXPECT_FALSE(GetUpdateRect(Panel(), &update, FALSE));
}

// ---------------------------------------------------------------------------------------------
// Default input method

using DefaultIm = ImageTest;

std::optional<std::u16string> ReadSip(const WCHAR* name, DWORD* bytes = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSipSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    WCHAR buffer[300] = {};
    DWORD size = sizeof buffer - 2, type = 0;
    LONG status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    if (bytes) *bytes = size;
    return std::u16string(buffer);
}

// The check compares parsed identifiers: lower-case text counts, another class or text that is
// no identifier does not, and a missing key or value is false.
TEST_F(DefaultIm, IsDefaultComparesTheParsedIdentifier) {
    EXPECT_FALSE(IsDefaultIm());
    SetText(HKEY_CURRENT_USER, kSipSettingsKey, u"Other", u"x");
    EXPECT_FALSE(IsDefaultIm());
    const std::pair<const char16_t*, BOOL> cases[] = {
        {u"{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}", TRUE},
        {u"{0adfaaaf-2e1a-4a75-90a8-6c1e62a3a629}", TRUE},
        {u"{42429667-ae04-11d0-a4f8-00aa00a749b9}", FALSE},
        {u"0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629", FALSE},
        {u"", FALSE},
    };
    for (const auto& [text, expected] : cases) {
        SetText(HKEY_CURRENT_USER, kSipSettingsKey, kDefaultImValue, text);
        EXPECT_EQ(expected, IsDefaultIm()) << ToUtf8(text);
    }
}

// "DefaultIm" and "PrevIMClsid" count as texts when stored as REG_SZ or REG_EXPAND_SZ, and as
// missing with any other type.
TEST_F(DefaultIm, TextValuesCountInEitherTextType) {
    const std::u16string ours = u"{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}";
    const std::u16string earlier = u"{42429667-ae04-11d0-a4f8-00aa00a749b9}";
    auto store = [](const WCHAR* name, const std::u16string& text, DWORD type) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kSipSettingsKey, 0, nullptr, 0, 0, nullptr, &key,
                                                 nullptr));
        const std::u16string data = text + u'\0' + u'\0';
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                                                static_cast<DWORD>(data.size() * sizeof(WCHAR))));
        RegCloseKey(key);
    };
    store(kDefaultImValue, ours, REG_EXPAND_SZ);
    EXPECT_TRUE(IsDefaultIm());
    store(kDefaultImValue, ours, REG_MULTI_SZ);
    EXPECT_FALSE(IsDefaultIm());
    store(kDefaultImValue, ours, REG_BINARY);
    EXPECT_FALSE(IsDefaultIm());

    store(kPrevImValue, earlier, REG_EXPAND_SZ);
    ASSERT_TRUE(SetDefaultIm(TRUE));
    EXPECT_EQ(earlier, ReadSip(kDefaultImValue));
    store(kPrevImValue, earlier, REG_MULTI_SZ);
    ASSERT_TRUE(SetDefaultIm(TRUE));
    EXPECT_FALSE(ReadSip(kDefaultImValue).has_value());
}

// Making this keyboard the default keeps the previous text in "PrevIMClsid" and writes the
// class as braced upper case with its terminator; giving the role back restores the earlier
// text exactly.
TEST_F(DefaultIm, SetAndRestoreKeepTheEarlierTextExactly) {
    const std::u16string earlier = u"{42429667-ae04-11d0-a4f8-00aa00a749b9}";
    SetText(HKEY_CURRENT_USER, kSipSettingsKey, kDefaultImValue, earlier);
    ASSERT_TRUE(SetDefaultIm(FALSE));
    DWORD bytes = 0;
    EXPECT_EQ(u"{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}", ReadSip(kDefaultImValue, &bytes));
    EXPECT_EQ(78u, bytes);
    EXPECT_EQ(earlier, ReadSip(kPrevImValue));
    EXPECT_TRUE(IsDefaultIm());

    ASSERT_TRUE(SetDefaultIm(TRUE));
    EXPECT_EQ(earlier, ReadSip(kDefaultImValue));
    EXPECT_FALSE(IsDefaultIm());

    // Copying a value that does not exist removes the target: with no earlier default, the stale
    // "PrevIMClsid" goes, and giving the role back leaves no "DefaultIm", as before.
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CURRENT_USER, kSipSettingsKey));
    SetText(HKEY_CURRENT_USER, kSipSettingsKey, kPrevImValue, u"{11111111-2222-3333-4444-555555555555}");
    ASSERT_TRUE(SetDefaultIm(FALSE));
    EXPECT_FALSE(ReadSip(kPrevImValue).has_value());
    EXPECT_TRUE(IsDefaultIm());
    ASSERT_TRUE(SetDefaultIm(TRUE));
    EXPECT_FALSE(ReadSip(kDefaultImValue).has_value());
    EXPECT_FALSE(IsDefaultIm());
    // The key is created when missing.
    RegDeleteKeyW(HKEY_CURRENT_USER, u"ControlPanel");
    ASSERT_TRUE(SetDefaultIm(FALSE));
    EXPECT_TRUE(IsDefaultIm());
}

}  // namespace
