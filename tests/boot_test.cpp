// The shell's start-up as `pocketsim boot` plays it, and `pocketsim run`.
#include <gtest/gtest.h>

#include "run_program.h"

namespace {

using testing_support::PocketsimTestBase;

class BootTest : public PocketsimTestBase {
protected:
    // A file put into the image's start-up folder.
    void PutStartup(const std::string& name, const std::string& text) {
        WriteFile(name, text);
        auto r = Run({"put", m_image, (m_dir / name).string(), "\\Windows\\Startup\\" + name});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
};

// The sample configuration run by muiapply ends with a reset, which ends the boot.
TEST_F(BootTest, StartsItemsInNameOrderUntilAReset) {
    Init();
    PutStartup("c.lnk", "23#\"\\Windows\\muiapply.exe\"");
    PutStartup("B.lnk", "23#\"\\Windows\\muiapply.exe\"");
    PutStartup("a.txt", "not a program");
    PutStartup("A0.lnk", "garbage");
    auto r = Run({"boot", m_image});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "driver Tiltwatch: started\n"
              "skipped \"\\\\Windows\\\\Startup\\\\a.txt\": neither a shortcut nor a program\n"
              "skipped \"\\\\Windows\\\\Startup\\\\A0.lnk\": not a shortcut: it does not start with a character "
              "count and '#'\n"
              "startup \"\\\\Windows\\\\Startup\\\\B.lnk\": \"\\\\Windows\\\\muiapply.exe\"\n"
              "SoftReset\n"
              "ended \"\\\\Windows\\\\muiapply.exe\" exit 0\n");
}

TEST_F(BootTest, ReportsWhatCannotStartAndGoesOn) {
    Init();
    PutStartup("1.lnk", "25#\"\\Windows\\missing.exe\" -x");
    PutStartup("2.exe", "a file put in is data, never a program");
    auto r = Run({"boot", m_image});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("startup \"\\\\Windows\\\\Startup\\\\1.lnk\": \"\\\\Windows\\\\missing.exe\" \"-x\"\n"
                         "skipped \"\\\\Windows\\\\Startup\\\\1.lnk\": cannot start \\Windows\\missing.exe (ERROR_FILE_NOT_FOUND)"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("cannot start \\Windows\\Startup\\2.exe (ERROR_BAD_EXE_FORMAT)"), std::string::npos) << r.out;
    // An action no dialog was open for is a failure of the run.
    r = Run({"boot", m_image, "ok"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("ok: no dialog is open"), std::string::npos) << r.err;
    r = Run({"boot", m_image, "select", "x"});
    EXPECT_EQ(r.exitCode, 2);
}

TEST_F(BootTest, RunStartsAProgramAndGivesItsExitCode) {
    Init();
    auto r = Run({"run", m_image, "muiapply.exe"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "SoftReset\nexit 0\n");
    r = Run({"run", m_image, "\\Windows\\nothere.exe", "a", "b"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot start \\Windows\\nothere.exe (ERROR_FILE_NOT_FOUND)"), std::string::npos) << r.err;
}

}  // namespace
