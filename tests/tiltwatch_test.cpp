// The device manager's start of the built-in drivers, and the rotation driver it loads: what
// the driver's hidden window writes when the screen turns.
#include <gtest/gtest.h>

#include "host/kernel/device_manager.h"
#include "host/windows/rotation.h"
#include "platform/threads.h"
#include "platform/windows.h"
#include "setup_fixture.h"

namespace {

using namespace setup_tests;

constexpr const WCHAR* kSkinKey = u"Software\\iPAQ Entertainment";
constexpr std::u16string_view kLandscape = u"\\My Documents\\Today\\hpSkinTodayPluginL.skin";
constexpr std::u16string_view kPortrait = u"\\My Documents\\Today\\hpSkinTodayPluginP.skin";

std::string Lines(const std::vector<host::DriverStart>& started) {
    std::string out;
    for (const host::DriverStart& driver : started) out += host::DescribeDriverStart(driver) + "\n";
    return out;
}

using DeviceManagerTest = SetupTest;

// Lower orders first, equal orders by key name, keys without an order last; a driver that fails
// in any way is reported and the others still start.
TEST_F(DeviceManagerTest, StartsDriversInOrderAndReportsEachFailure) {
    InstallFile(kData / "driver_probe.so", u"\\Windows\\probe.dll");
    DWORD error = 0;
    ASSERT_TRUE(m_device->Files().ImportHostFile(kData / "driver_probe.so", u"\\Windows\\stranger.dll", &error));
    RegisterDriver(u"Beta", u"probe.dll", u"OKY", 20);
    RegisterDriver(u"alpha", u"\\Windows\\probe.dll", u"OKY", 20);
    RegisterDriver(u"First", u"probe.dll", u"OKY", 1);
    RegisterDriver(u"Last", u"probe.dll", u"OKY", -1);
    RegisterDriver(u"Refuses", u"probe.dll", u"ZRO", 5);
    RegisterDriver(u"NoInit", u"probe.dll", u"NOP", 6);
    RegisterDriver(u"Missing", u"nothere.dll", u"OKY", 7);
    RegisterDriver(u"Stranger", u"stranger.dll", u"OKY", 8);
    RegisterDriver(u"NoDll", u"", u"OKY", 9);

    EXPECT_EQ("First: started\n"
              "Refuses: not started: ZRO_Init returned 0\n"
              "NoInit: not started: no NOP_Init\n"
              "Missing: not started: no such file\n"
              "Stranger: not started: not host code this emulator installed\n"
              "NoDll: not started: no Dll value\n"
              "alpha: started\n"
              "Beta: started\n"
              "Last: started\n",
              Lines(host::StartBuiltInDrivers(*m_device)));
    std::u16string calls;
    ASSERT_TRUE(ReadSz(HKEY_LOCAL_MACHINE, u"DriverProbe", u"Calls", &calls));
    EXPECT_EQ(u"Drivers\\BuiltIn\\First;Drivers\\BuiltIn\\Refuses;Drivers\\BuiltIn\\alpha;"
              u"Drivers\\BuiltIn\\Beta;Drivers\\BuiltIn\\Last;",
              calls);

    // A second start in the same process starts nothing twice.
    const auto again = host::StartBuiltInDrivers(*m_device);
    EXPECT_NE(std::string::npos, Lines(again).find("First: already started\n"));
    ASSERT_TRUE(ReadSz(HKEY_LOCAL_MACHINE, u"DriverProbe", u"Calls", &calls));
    EXPECT_EQ(u"Drivers\\BuiltIn\\First;Drivers\\BuiltIn\\Refuses;Drivers\\BuiltIn\\alpha;"
              u"Drivers\\BuiltIn\\Beta;Drivers\\BuiltIn\\Last;Drivers\\BuiltIn\\Refuses;",
              calls);
}

TEST_F(DeviceManagerTest, NoDriverKeyStartsNothing) { EXPECT_TRUE(host::StartBuiltInDrivers(*m_device).empty()); }

class TiltwatchTest : public SetupTest {
protected:
    void StartTiltwatch() {
        InstallFile(VX_TILTWATCH_LIBRARY, u"\\Windows\\Tiltwatch.dll");
        RegisterDriver(u"Tiltwatch", u"Tiltwatch.dll", u"TLT", 30);
        ASSERT_EQ("Tiltwatch: started\n", Lines(host::StartBuiltInDrivers(*m_device)));
    }
    void Screen(int width, int height) {
        m_device->SetSetting("screen.width", std::to_string(width));
        m_device->SetSetting("screen.height", std::to_string(height));
    }
    void Rotate() {
        std::string error;
        ASSERT_TRUE(host::RotateScreen(*m_device, &error)) << error;
    }
    bool Skin(std::u16string* text, DWORD* bytes = nullptr) {
        return ReadSz(HKEY_LOCAL_MACHINE, kSkinKey, u"skin", text, bytes);
    }
};

// Wider than high after the turn: the landscape skin, stored with its terminating zero; higher
// than wide or square: the portrait skin.
TEST_F(TiltwatchTest, TheScreensShapeAfterTheTurnChoosesTheSkin) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, kSkinKey);
    RegCloseKey(key);
    Screen(240, 320);
    StartTiltwatch();
    Rotate();
    std::u16string skin;
    DWORD bytes = 0;
    ASSERT_TRUE(Skin(&skin, &bytes));
    EXPECT_EQ(kLandscape, skin);
    EXPECT_EQ((kLandscape.size() + 1) * 2, bytes);

    Rotate();
    ASSERT_TRUE(Skin(&skin, &bytes));
    EXPECT_EQ(kPortrait, skin);
    EXPECT_EQ((kPortrait.size() + 1) * 2, bytes);

    Screen(240, 240);
    SetSz(HKEY_LOCAL_MACHINE, kSkinKey, u"skin", u"untouched");
    Rotate();
    ASSERT_TRUE(Skin(&skin));
    EXPECT_EQ(kPortrait, skin);
}

// Only the rotation's notice counts, and only an existing key is written.
TEST_F(TiltwatchTest, OtherNoticesAndAMissingKeyWriteNothing) {
    Screen(320, 240);
    StartTiltwatch();
    HWND watcher = FindWindowW(u"_Tiltwatcher", u"Tiltwatcher");
    ASSERT_NE(nullptr, watcher);
    EXPECT_FALSE(IsWindowVisible(watcher));
    EXPECT_NE(GetCurrentThreadId(), GetWindowThreadProcessId(watcher, nullptr));

    Rotate();
    HKEY key = nullptr;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSkinKey, 0, KEY_READ, &key));

    key = Create(HKEY_LOCAL_MACHINE, kSkinKey);
    RegCloseKey(key);
    EXPECT_EQ(0, SendMessageW(watcher, WM_SETTINGCHANGE, 0x3001, 0));
    std::u16string skin;
    EXPECT_FALSE(Skin(&skin));
    // The screen is 240x320 since the turn.
    EXPECT_EQ(0, SendMessageW(watcher, WM_SETTINGCHANGE, SETTINGCHANGE_RESET, 0));
    ASSERT_TRUE(Skin(&skin));
    EXPECT_EQ(kPortrait, skin);
}

}  // namespace
