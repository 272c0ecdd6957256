// pocketsim rotate: the image's drivers start as the device manager starts them, the screen
// turns, and what the rotation driver writes is in the image afterwards.
#include <gtest/gtest.h>

#include "run_program.h"
#include "setup_fixture.h"

namespace {

class PocketsimRotate : public testing_support::PocketsimTestBase {
protected:
    void Import(const std::string& reg) {
        WriteFile("drivers.reg", "Windows Registry Editor Version 5.00\r\n\r\n" + reg);
        auto r = Run({"reg", "import", m_image, (m_dir / "drivers.reg").string()});
        ASSERT_EQ(0, r.exitCode) << r.err;
    }
    std::string Skin() {
        auto r = Run({"reg", "export", m_image, "HKEY_LOCAL_MACHINE\\Software\\iPAQ Entertainment"});
        EXPECT_EQ(0, r.exitCode) << r.err;
        return r.out;
    }
};

// A device without the package, so that only the drivers the test gives start.
TEST_F(PocketsimRotate, TheRotationDriverPointsTheTodaySkinAtTheNewShape) {
    Init({"--bare"});
    std::string reason;
    ASSERT_TRUE(setup_tests::InstallIntoImage(m_image, VX_TILTWATCH_LIBRARY, u"\\Windows\\Tiltwatch.dll", &reason))
        << reason;
    Import("[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Tiltwatch]\r\n\"Dll\"=\"Tiltwatch.dll\"\r\n\"Prefix\"=\"TLT\"\r\n"
           "\"Order\"=dword:00000040\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Absent]\r\n\"Dll\"=\"absent.dll\"\r\n\"Prefix\"=\"ABS\"\r\n"
           "\"Order\"=dword:00000010\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\Software\\iPAQ Entertainment]\r\n");

    auto r = Run({"rotate", m_image});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ("driver Absent: not started: no such file\ndriver Tiltwatch: started\nscreen 320x240\n", r.out);
    EXPECT_NE(std::string::npos,
              Skin().find("\"skin\"=\"\\\\My Documents\\\\Today\\\\hpSkinTodayPluginL.skin\""));

    r = Run({"rotate", m_image});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("screen 240x320\n"));
    EXPECT_NE(std::string::npos,
              Skin().find("\"skin\"=\"\\\\My Documents\\\\Today\\\\hpSkinTodayPluginP.skin\""));
}

// A library the emulator did not install never runs, and the screen still turns.
TEST_F(PocketsimRotate, AnUntrustedDriverIsNotStarted) {
    Init({"--bare"});
    auto r = Run({"put", m_image, VX_TILTWATCH_LIBRARY, "\\Windows\\Tiltwatch.dll"});
    ASSERT_EQ(0, r.exitCode) << r.err;
    Import("[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Tiltwatch]\r\n\"Dll\"=\"Tiltwatch.dll\"\r\n\"Prefix\"=\"TLT\"\r\n"
           "\r\n[HKEY_LOCAL_MACHINE\\Software\\iPAQ Entertainment]\r\n");
    r = Run({"rotate", m_image});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ("driver Tiltwatch: not started: not host code this emulator installed\nscreen 320x240\n", r.out);
    // The device's own value, the portrait skin, stays.
    EXPECT_NE(std::string::npos, Skin().find("hpSkinTodayPluginP.skin"));
    EXPECT_EQ(std::string::npos, Skin().find("hpSkinTodayPluginL.skin"));
}

TEST_F(PocketsimRotate, UsageAndAMissingImage) {
    auto r = Run({"rotate", "--help"});
    EXPECT_EQ(0, r.exitCode);
    EXPECT_NE(std::string::npos, r.out.find("usage: pocketsim rotate IMAGE"));
    r = Run({"rotate"});
    EXPECT_EQ(2, r.exitCode);
    r = Run({"rotate", (m_dir / "nothing").string()});
    EXPECT_EQ(1, r.exitCode);
    EXPECT_FALSE(r.err.empty());
}

}  // namespace
