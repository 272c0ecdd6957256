// The SIP running an input method: discovery, call order, window rectangles, pen messages,
// switching and unloading. The input method is a fake that logs every call.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "data_src/sip_fake_im.h"
#include "imshell_fixture.h"
#include "keyboard_fixtures.h"
#include "host/com/com_runtime.h"
#include "host/windows/sip.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "test_image.h"

namespace fs = std::filesystem;
using imtest::SetText;

namespace {

// {7A0C4E21-9B3D-4F5E-8A6B-1C2D3E4F5A6B}: a class that is no input method.
const CLSID kPlainClass = DEFINE_GUID_VALUE(0x7A0C4E21, 0x9B3D, 0x4F5E, 0x8A, 0x6B, 0x1C, 0x2D, 0x3E, 0x4F, 0x5A, 0x6B);
// {7A0C4E21-9B3D-4F5E-8A6B-1C2D3E4F5A6C}: marked, but with "0".
const CLSID kUnmarkedClass =
    DEFINE_GUID_VALUE(0x7A0C4E21, 0x9B3D, 0x4F5E, 0x8A, 0x6B, 0x1C, 0x2D, 0x3E, 0x4F, 0x5A, 0x6C);
const CLSID kSentinel = DEFINE_GUID_VALUE(0xDEADBEEF, 0xBEEF, 0xBEEF, 0xDE, 0xAD, 0xBE, 0xEF, 0xDE, 0xAD, 0xBE, 0xEF);

std::u16string Text(const GUID& guid) {
    WCHAR buffer[39];
    return StringFromGUID2(guid, buffer, 39) ? std::u16string(buffer) : std::u16string();
}

std::string RectText(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

class SipTest : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        fs::create_directories(m_device->StoreRoot() / "Windows");
        InstallFile(fs::path(VX_TEST_DATA_DIR) / "sip_fake_im.so", u"\\Windows\\fakeim.dll");
        RegisterIm(CLSID_FakeImA, u"Fake A", u"1");
        RegisterIm(CLSID_FakeImB, u"Fake B", u"1");
        RegisterIm(kUnmarkedClass, u"Unmarked", u"0");
        SetText(HKEY_CLASSES_ROOT, (u"CLSID\\" + Text(kPlainClass) + u"\\InprocServer32").c_str(), nullptr,
                u"\\Windows\\fakeim.dll");
        // The test's own reference keeps the library, and so its log, while the SIP frees its own.
        m_lib = LoadLibraryW(u"\\Windows\\fakeim.dll");
        ASSERT_NE(nullptr, m_lib);
        m_log = reinterpret_cast<FakeImLogProc>(GetProcAddressW(m_lib, u"FakeImLog"));
        m_clear = reinterpret_cast<FakeImClearLogProc>(GetProcAddressW(m_lib, u"FakeImClearLog"));
        m_hold = reinterpret_cast<FakeImHoldProc>(GetProcAddressW(m_lib, u"FakeImHold"));
        m_panelHeight = reinterpret_cast<FakeImPanelHeightProc>(GetProcAddressW(m_lib, u"FakeImPanelHeight"));
        ASSERT_TRUE(m_log && m_clear && m_hold && m_panelHeight);
        m_clear();
        m_panelHeight(0);
    }
    void TearDown() override {
        host::ReleaseDeviceSip(m_device.get());
        if (m_lib) FreeLibrary(m_lib);
        ImageTest::TearDown();
    }

    void RegisterIm(const CLSID& clsid, const std::u16string& name, const std::u16string& marker) {
        const std::u16string key = u"CLSID\\" + Text(clsid);
        SetText(HKEY_CLASSES_ROOT, key.c_str(), nullptr, name);
        SetText(HKEY_CLASSES_ROOT, (key + u"\\InprocServer32").c_str(), nullptr, u"\\Windows\\fakeim.dll");
        SetText(HKEY_CLASSES_ROOT, (key + u"\\IsSIPInputMethod").c_str(), nullptr, marker);
    }
    // The log since the last call.
    std::string TakeLog() {
        std::string log = m_log();
        m_clear();
        return log;
    }
    size_t LoadedServers() { return m_device->Com().LoadedServerCount(); }

    HMODULE m_lib = nullptr;
    FakeImLogProc m_log = nullptr;
    FakeImClearLogProc m_clear = nullptr;
    FakeImHoldProc m_hold = nullptr;
    FakeImPanelHeightProc m_panelHeight = nullptr;
    kbdtest::RecordingCallback m_callback;
};

std::vector<IMENUMINFO> g_enumerated;
int g_enumStopAfter = 0;
int Collect(IMENUMINFO* info) {
    g_enumerated.push_back(*info);
    return static_cast<int>(g_enumerated.size()) != g_enumStopAfter;
}
// SipEnumIM with a callback that stops after stopAfter classes (0: never).
int Enumerate(int stopAfter) {
    g_enumerated.clear();
    g_enumStopAfter = stopAfter;
    return SipEnumIM(Collect);
}

// ---------------------------------------------------------------------------------------------
// The input method's life

// The SIP loads the class through its InprocServer32 and calls, in order: RegisterCallback,
// GetInfo, Select, ReceiveSipInfo, Showing (and ReceiveSipInfo with the shown state); pen
// messages reach the panel; Hiding; and at the end Deselect, the release and DllCanUnloadNow,
// after which the runtime unloads the library.
TEST_F(SipTest, DrivesTheInputMethodInThePlatformOrder) {
    host::Sip sip(*m_device);
    sip.SetCallback(&m_callback);
    ASSERT_EQ(S_OK, sip.Start());
    ASSERT_EQ(S_OK, sip.Show());
    EXPECT_EQ(S_OK, sip.PenMessage(host::Sip::Pen::Down, 10, 20));
    EXPECT_EQ(S_OK, sip.PenMessage(host::Sip::Pen::Move, -5, 30));
    EXPECT_EQ(S_OK, sip.PenMessage(host::Sip::Pen::Up, -5, 30));
    EXPECT_EQ(S_OK, sip.PenMessage(host::Sip::Pen::DoubleClick, 10, 20));
    EXPECT_EQ(S_OK, sip.Hide());
    EXPECT_EQ(1u, LoadedServers());
    sip.Stop();
    EXPECT_EQ("A created\n"
              "A RegisterCallback\n"
              "A GetInfo\n"
              "A Select 0,214,240,294\n"
              "A ReceiveSipInfo sip=0,214,240,294 desktop=0,26,240,294 flags=2\n"
              "A Showing\n"
              "A ReceiveSipInfo sip=0,214,240,294 desktop=0,26,240,214 flags=3\n"
              "WM_LBUTTONDOWN 0x1 10,20\n"
              "WM_MOUSEMOVE 0x1 -5,30\n"
              "WM_LBUTTONUP 0x0 -5,30\n"
              "WM_LBUTTONDBLCLK 0x1 10,20\n"
              "A Hiding\n"
              "A Deselect\n"
              "A Release\n"
              "DllCanUnloadNow S_OK\n",
              TakeLog());
    // Showing and Hiding sent their keys through the callback the caller gave.
    EXPECT_EQ((std::vector<std::string>{"SendVirtualKey 0x10 0x00000000", "SendVirtualKey 0x10 0x00000002"}),
              m_callback.Take());
    EXPECT_EQ(0u, LoadedServers());
    EXPECT_EQ(nullptr, sip.Window());
}

// Starting twice starts once; stopping without Hiding is how a run ends; a hidden panel gets no
// pen messages.
TEST_F(SipTest, StartShowAndHideAreIdempotent) {
    host::Sip sip(*m_device);
    ASSERT_EQ(S_OK, sip.Start());
    EXPECT_EQ(S_OK, sip.Start());
    EXPECT_EQ(S_FALSE, sip.PenMessage(host::Sip::Pen::Down, 1, 1));
    EXPECT_EQ(S_OK, sip.Hide());
    ASSERT_EQ(S_OK, sip.Show());
    EXPECT_EQ(S_OK, sip.Show());
    sip.Stop();
    const std::string log = TakeLog();
    for (const char* once : {"A created\n", "A Select ", "A Showing\n", "A Deselect\n"})
        EXPECT_EQ(log.find(once), log.rfind(once)) << once;
    EXPECT_EQ(std::string::npos, log.find("A Hiding")) << log;
    EXPECT_EQ(E_FAIL, sip.PenMessage(host::Sip::Pen::Down, 1, 1));
}

// The library stays loaded while DllCanUnloadNow answers S_FALSE, and goes at the next
// CoFreeUnusedLibraries that gets S_OK.
TEST_F(SipTest, UnloadsOnlyWhenTheLibraryAllows) {
    m_hold(TRUE);
    {
        host::Sip sip(*m_device);
        ASSERT_EQ(S_OK, sip.Start());
        TakeLog();
        sip.Stop();
        EXPECT_EQ("A Deselect\nA Release\nDllCanUnloadNow S_FALSE\n", TakeLog());
        EXPECT_EQ(1u, LoadedServers());
    }
    EXPECT_EQ(1u, LoadedServers());
    m_hold(FALSE);
    TakeLog();
    CoFreeUnusedLibraries();
    EXPECT_EQ("DllCanUnloadNow S_OK\n", TakeLog());
    EXPECT_EQ(0u, LoadedServers());
}

// ---------------------------------------------------------------------------------------------
// The SIP window

// The SIP window is made a third of the screen high in landscape and a quarter in portrait, so
// an input method that keeps the platform's height is not resized on either screen.
TEST_F(SipTest, MakesTheWindowAThirdHighInLandscapeAndAQuarterInPortrait) {
    struct Case {
        const char* width;
        const char* height;
        const char* select;
    };
    for (const Case& c : {Case{"320", "240", "A Select 0,134,320,214"}, Case{"240", "320", "A Select 0,214,240,294"},
                          Case{"240", "400", "A Select 0,274,240,374"}, Case{"400", "240", "A Select 0,134,400,214"}}) {
        m_device->SetSetting("screen.width", c.width);
        m_device->SetSetting("screen.height", c.height);
        host::Sip sip(*m_device);
        ASSERT_EQ(S_OK, sip.Show());
        const std::string log = TakeLog();
        EXPECT_NE(std::string::npos, log.find(c.select)) << c.width << "x" << c.height << "\n" << log;
        sip.Stop();
    }
}

// An input method that gives the SIP window another height in Showing gets it docked again
// above the menu bar, with the new rectangle passed on. The panel follows it.
TEST_F(SipTest, DocksTheWindowTheInputMethodSized) {
    m_device->SetSetting("screen.width", "320");
    m_device->SetSetting("screen.height", "240");
    m_panelHeight(100);
    host::Sip sip(*m_device);
    ASSERT_EQ(S_OK, sip.Show());
    EXPECT_EQ("A created\nA RegisterCallback\nA GetInfo\nA Select 0,134,320,214\n"
              "A ReceiveSipInfo sip=0,134,320,214 desktop=0,26,320,214 flags=2\n"
              "A Showing\n"
              "A ReceiveSipInfo sip=0,114,320,214 desktop=0,26,320,114 flags=3\n",
              TakeLog());
    RECT panel{};
    ASSERT_TRUE(GetWindowRect(sip.Panel(), &panel));
    EXPECT_EQ("0,114,320,214", RectText(panel));
    EXPECT_TRUE(IsWindowVisible(sip.Panel()));

    const SIPINFO info = sip.Info();
    EXPECT_EQ(DWORD(SIPF_ON | SIPF_DOCKED), info.fdwFlags);
    EXPECT_EQ("0,114,320,214", RectText(info.rcSipRect));
}

// Rotating swaps the screen's width and height, gives the SIP window the new width and the
// default height of the new orientation, docks it and tells the input method.
TEST_F(SipTest, RotateSwapsTheScreenAndPassesTheNewRectangle) {
    m_device->SetSetting("screen.width", "240");
    m_device->SetSetting("screen.height", "400");
    host::Sip sip(*m_device);
    ASSERT_EQ(S_OK, sip.Show());
    ASSERT_EQ(S_OK, sip.Rotate());
    EXPECT_NE(std::string::npos, TakeLog().find("A ReceiveSipInfo sip=0,134,400,214 desktop=0,26,400,134 flags=3\n"));
    ASSERT_EQ(S_OK, sip.Rotate());
    EXPECT_EQ("A ReceiveSipInfo sip=0,274,240,374 desktop=0,26,240,274 flags=3\n", TakeLog());
    sip.Stop();

    m_device->SetSetting("screen.width", "240");
    m_device->SetSetting("screen.height", "320");
    TakeLog();
    ASSERT_EQ(S_OK, sip.Show());
    TakeLog();
    ASSERT_EQ(S_OK, sip.Rotate());
    EXPECT_EQ(320, m_device->ScreenWidth());
    EXPECT_EQ(240, m_device->ScreenHeight());
    EXPECT_EQ("A ReceiveSipInfo sip=0,134,320,214 desktop=0,26,320,134 flags=3\n", TakeLog());
    const host::Bitmap* pixels = sip.RenderPanel();
    ASSERT_NE(nullptr, pixels);
    EXPECT_EQ(320, pixels->Width());
    EXPECT_EQ(80, pixels->Height());

    ASSERT_EQ(S_OK, sip.SettingsChanged());
    EXPECT_EQ("A ReceiveSipInfo sip=0,134,320,214 desktop=0,26,320,134 flags=3\n", TakeLog());
}

// The render is the panel's own drawing, shown or hidden.
TEST_F(SipTest, RendersThePanel) {
    host::Sip sip(*m_device);
    EXPECT_EQ(nullptr, sip.RenderPanel());
    ASSERT_EQ(S_OK, sip.Start());
    for (bool shown : {false, true}) {
        if (shown) {
            ASSERT_EQ(S_OK, sip.Show());
        }
        const host::Bitmap* pixels = sip.RenderPanel();
        ASSERT_NE(nullptr, pixels);
        EXPECT_EQ(240, pixels->Width());
        EXPECT_EQ(80, pixels->Height());
        const COLORREF c = kFakeImPanelColour;
        const uint32_t rgb = (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
        EXPECT_EQ(rgb, pixels->Pixel(0, 0));
        EXPECT_EQ(rgb, pixels->Pixel(239, 79));
    }
}

// ---------------------------------------------------------------------------------------------
// Choosing the input method

// SipEnumIM reports the classes marked "1" with their names, and stops when the callback says so.
TEST_F(SipTest, EnumeratesTheMarkedClasses) {
    EXPECT_EQ(2, Enumerate(0));
    ASSERT_EQ(2u, g_enumerated.size());
    std::vector<std::u16string> seen;
    for (const IMENUMINFO& info : g_enumerated) seen.push_back(info.szName + (u" " + Text(info.clsid)));
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(u"Fake A " + Text(CLSID_FakeImA), seen[0]);
    EXPECT_EQ(u"Fake B " + Text(CLSID_FakeImB), seen[1]);

    EXPECT_EQ(1, Enumerate(1));

    // A name longer than the buffer is cut and terminated.
    RegisterIm(CLSID_FakeImB, std::u16string(300, u'n'), u"1");
    EXPECT_EQ(2, Enumerate(0));
    for (const IMENUMINFO& info : g_enumerated)
        if (info.clsid == CLSID_FakeImB) {
            EXPECT_EQ(std::u16string(MAX_PATH - 1, u'n'), info.szName);
        }

    SetLastError(0);
    EXPECT_EQ(0, SipEnumIM(nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
}

// "DefaultIm" names the input method that starts, in any case of hexadecimal; a value that names
// no input method falls back to the first one enumerated.
TEST_F(SipTest, TheDefaultInputMethodStarts) {
    CLSID first = kSentinel;
    {
        host::Sip sip(*m_device);
        ASSERT_TRUE(sip.CurrentIM(&first));
        EXPECT_TRUE(first == CLSID_FakeImA || first == CLSID_FakeImB);
    }
    std::u16string lower = Text(CLSID_FakeImB);
    for (auto& c : lower) c = static_cast<char16_t>(towlower16(c));
    SetText(HKEY_CURRENT_USER, u"ControlPanel\\Sip", u"DefaultIm", lower);
    {
        host::Sip sip(*m_device);
        ASSERT_EQ(S_OK, sip.Start());
        EXPECT_EQ("B created\n", TakeLog().substr(0, 10));
    }
    for (const CLSID& notAnIm : {kPlainClass, kUnmarkedClass}) {
        SetText(HKEY_CURRENT_USER, u"ControlPanel\\Sip", u"DefaultIm", Text(notAnIm));
        host::Sip sip(*m_device);
        CLSID current = kSentinel;
        ASSERT_TRUE(sip.CurrentIM(&current));
        EXPECT_TRUE(current == first);
    }
}

// Switching stops the running input method (Deselect, release, unload check) and starts the new
// one in its place, shown again when the panel was shown. Classes that are no input method are
// refused and change nothing.
TEST_F(SipTest, SwitchingReplacesTheRunningInputMethod) {
    CLSID clsid = CLSID_FakeImA;
    ASSERT_TRUE(SipSetCurrentIM(&clsid));
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    TakeLog();
    clsid = CLSID_FakeImB;
    ASSERT_TRUE(SipSetCurrentIM(&clsid));
    EXPECT_EQ("A Deselect\nA Release\nDllCanUnloadNow S_OK\n"
              "B created\nB RegisterCallback\nB GetInfo\nB Select 0,214,240,294\n"
              "B ReceiveSipInfo sip=0,214,240,294 desktop=0,26,240,294 flags=2\n"
              "B Showing\n"
              "B ReceiveSipInfo sip=0,214,240,294 desktop=0,26,240,214 flags=3\n",
              TakeLog());
    CLSID current = kSentinel;
    ASSERT_TRUE(SipGetCurrentIM(&current));
    EXPECT_TRUE(current == CLSID_FakeImB);

    // The same class again changes nothing.
    ASSERT_TRUE(SipSetCurrentIM(&clsid));
    EXPECT_EQ("", TakeLog());

    for (CLSID bad : {kPlainClass, kUnmarkedClass, kSentinel}) {
        SetLastError(0);
        EXPECT_FALSE(SipSetCurrentIM(&bad));
        EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    }
    EXPECT_FALSE(SipSetCurrentIM(nullptr));
    EXPECT_EQ("", TakeLog());
    ASSERT_TRUE(SipGetCurrentIM(&current));
    EXPECT_TRUE(current == CLSID_FakeImB);
}

// The options of the running input method open on that object, which the SIP holds until its
// dialog returns, even when the dialog switches the SIP to another input method on the way.
// Options of a class that is not running open on an object made for them. Classes that are no
// input method are refused.
TEST_F(SipTest, OptionsOpenOnTheInputMethodAndOutliveASwitch) {
    CLSID clsid = CLSID_FakeImA;
    ASSERT_TRUE(SipSetCurrentIM(&clsid));
    ASSERT_TRUE(SipShowIM(SIPF_ON));
    host::Sip& sip = *host::DeviceSip(m_device.get());
    TakeLog();
    ASSERT_EQ(S_OK, sip.OpenOptions(CLSID_FakeImA, sip.Window()));
    const std::string log = TakeLog();
    EXPECT_EQ(0u, log.find("A UserOptionsDlg owner\nA Deselect\n")) << log;
    const size_t returned = log.find("A UserOptionsDlg returns\n");
    EXPECT_LT(log.find("B Showing\n"), returned) << log;
    EXPECT_EQ(returned, log.find("A Release\n") - std::string("A UserOptionsDlg returns\n").size()) << log;
    CLSID current = kSentinel;
    ASSERT_TRUE(SipGetCurrentIM(&current));
    EXPECT_TRUE(current == CLSID_FakeImB);

    ASSERT_EQ(S_OK, sip.OpenOptions(CLSID_FakeImA, nullptr));
    EXPECT_EQ(0u, TakeLog().find("A created\nA UserOptionsDlg\n"));
    ASSERT_TRUE(SipGetCurrentIM(&current));
    EXPECT_TRUE(current == CLSID_FakeImB);

    EXPECT_EQ(E_INVALIDARG, sip.OpenOptions(kPlainClass, nullptr));
    EXPECT_EQ("", TakeLog());
}

// ---------------------------------------------------------------------------------------------
// The platform calls

// SipShowIM shows and hides the device's panel; SipGetInfo reports it; the device's SIP is torn
// down with Deselect and the release.
TEST_F(SipTest, PlatformCallsUseTheDevicesSip) {
    SIPINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(SipGetInfo(&info));
    EXPECT_EQ(DWORD(SIPF_DOCKED), info.fdwFlags);

    ASSERT_TRUE(SipShowIM(SIPF_ON));
    ASSERT_TRUE(SipGetInfo(&info));
    EXPECT_EQ(DWORD(SIPF_DOCKED | SIPF_ON), info.fdwFlags);
    EXPECT_EQ("0,214,240,294", RectText(info.rcSipRect));
    EXPECT_EQ("0,26,240,214", RectText(info.rcVisibleDesktop));
    ASSERT_TRUE(SipShowIM(SIPF_OFF));
    ASSERT_TRUE(SipGetInfo(&info));
    EXPECT_EQ(DWORD(SIPF_DOCKED), info.fdwFlags);
    EXPECT_EQ("0,26,240,294", RectText(info.rcVisibleDesktop));

    SIPINFO small{};
    small.cbSize = sizeof small - 1;
    small.fdwFlags = 0xDEADBEEF;
    SetLastError(0);
    EXPECT_FALSE(SipGetInfo(&small));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(0xDEADBEEFu, small.fdwFlags);

    host::ReleaseDeviceSip(m_device.get());
    const std::string log = TakeLog();
    EXPECT_EQ("A Hiding\nA Deselect\nA Release\nDllCanUnloadNow S_OK\n", log.substr(log.find("A Hiding")));
}

// Without any input method nothing starts and no window is left behind; a registered class whose
// library is missing fails with the runtime's error.
TEST_F(SipTest, NothingStartsWithoutAnInputMethod) {
    SetText(HKEY_CLASSES_ROOT, (u"CLSID\\" + Text(CLSID_FakeImA) + u"\\InprocServer32").c_str(), nullptr,
            u"\\Windows\\missing.dll");
    CLSID clsid = CLSID_FakeImA;
    {
        host::Sip sip(*m_device);
        ASSERT_EQ(S_OK, sip.SetCurrentIM(clsid));
        EXPECT_EQ(CO_E_DLLNOTFOUND, sip.Start());
        EXPECT_EQ(nullptr, sip.Window());
        EXPECT_FALSE(sip.IsRunning());
    }
    for (const CLSID& im : {CLSID_FakeImA, CLSID_FakeImB})
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CLASSES_ROOT, (u"CLSID\\" + Text(im)).c_str()));
    host::Sip sip(*m_device);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, sip.Start());
    EXPECT_EQ(nullptr, sip.Window());
    clsid = kSentinel;
    SetLastError(0);
    EXPECT_FALSE(SipGetCurrentIM(&clsid));
    EXPECT_TRUE(clsid == kSentinel);
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ("", TakeLog());
}

}  // namespace
