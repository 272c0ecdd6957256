// End-to-end: `pocketsim script` on fresh images, checked by what it prints and by what the image
// holds afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/kernel/device.h"
#include "loopback.h"
#include "run_program.h"
#include "script_test_support.h"

namespace fs = std::filesystem;

namespace {

class PocketsimScriptTest : public testing_support::PocketsimTestBase {
protected:
    // Puts a file into the image as a device file, then lets go of the image again.
    void Put(const WCHAR* devicePath, const std::string& bytes) {
        std::string error;
        auto device = host::Device::Open(m_image, &error);
        ASSERT_TRUE(device) << error;
        host::ScopedDevice scope(device.get());
        script_test::WriteDeviceFile(devicePath, bytes);
    }
};

}  // namespace

// A script that creates a folder and a registry value leaves both in the image.
TEST_F(PocketsimScriptTest, ScriptChangesTheImage) {
    Init();
    Put(u"\\Temp\\make.xml",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<script>\n"
        "  <CreateDirectory Destination=\"\\Temp\\Made\"/>\n"
        "  <CreateRegValue root=\"HKLM\" path=\"Software\\ScriptTest\" name=\"Greeting\" type=\"SZ\"><v>hello</v>"
        "</CreateRegValue>\n</script>\n");
    auto r = Run({"script", m_image, "\\Temp\\make.xml"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Run=1 status=0x00000000\n");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(fs::is_directory(fs::path(m_image) / "store" / "Temp" / "Made"));
    r = Run({"reg", "export", m_image, "HKEY_LOCAL_MACHINE\\Software\\ScriptTest"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\ScriptTest]\n\"Greeting\"=\"hello\"\n");
}

// A document that does not parse fails with the load's S_FALSE; a source that does not open
// fails with status 0.
TEST_F(PocketsimScriptTest, FailedLoadsReportRunZero) {
    Init();
    Put(u"\\Temp\\bad.xml", "<script><Msg text=\"never\"></script>");
    auto r = Run({"script", m_image, "FILE://\\Temp\\bad.xml"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Run=0 status=0x00000001\n");
    r = Run({"script", m_image, "\\Temp\\missing.xml"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Run=0 status=0x00000000\n");
    /* A companion that does not open stops the run before the main script's Msg. */
    Put(u"\\Temp\\msg.xml", "<script><Msg text=\"shown\"/></script>");
    r = Run({"script", m_image, "\\Temp\\msg.xml", "--companion", "\\Temp\\missing.xml"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Run=0 status=0x00000000\n");
}

// A source that does not open is named on standard error with the reason, beside the status
// line, which stays as it was: a missing file, a refused connection and a server that never
// answers (ended by the image's time-out).
TEST_F(PocketsimScriptTest, UnopenedSourcesAreNamedOnStandardError) {
    Init();
    {
        std::string error;
        auto device = host::Device::Open(m_image, &error);
        ASSERT_TRUE(device) << error;
        device->SetSetting("inet.connect_timeout_ms", "1000");
        device->SetSetting("inet.timeout_ms", "500");
    }
    Put(u"\\Temp\\ok.xml", "<script/>");
    auto r = Run({"script", m_image, "\\Temp\\ok.xml", "--companion", "FILE:\\Temp\\missing.xml"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Run=0 status=0x00000000\n");
    EXPECT_EQ(r.err, "pocketsim: script source \"FILE:\\Temp\\missing.xml\": no such file (ERROR_FILE_NOT_FOUND)\n");

    const std::string refused = "http://127.0.0.1:" + std::to_string(testing_support::FreePort()) + "/x.xml";
    r = Run({"script", m_image, refused});
    EXPECT_EQ(r.out, "Run=0 status=0x00000000\n");
    EXPECT_EQ(r.err,
              "pocketsim: script source \"" + refused + "\": connection refused (ERROR_INTERNET_CANNOT_CONNECT)\n");

    testing_support::SilentListener silent;
    const std::string silentSource = "http://127.0.0.1:" + std::to_string(silent.port) + "/x.xml";
    r = Run({"script", m_image, silentSource});
    EXPECT_EQ(r.out, "Run=0 status=0x00000000\n");
    EXPECT_EQ(r.err, "pocketsim: script source \"" + silentSource + "\": timed out (ERROR_INTERNET_TIMEOUT)\n");
}

// Message boxes print as journal lines before the result; --cur is written to CurLang first,
// so an If on that language holds.
TEST_F(PocketsimScriptTest, MessagesAndTheCurrentLanguage) {
    Init();
    Put(u"\\Temp\\msg.xml",
        "<script><Msg text='say \"%s\"'/><If lng=\"419\"><Msg text=\"ru\"/></If><If lng=\"409\"><Msg text=\"en\"/>"
        "</If></script>");
    auto r = Run({"script", m_image, "\\Temp\\msg.xml", "--cur", "0x419", "--target", "409", "--answer", "cancel"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "MessageBox \"say \\\"%s\\\"\" caption=\"\" style=0x00010000\n"
              "MessageBox \"ru\" caption=\"\" style=0x00010000\n"
              "Run=1 status=0x00000000\n");
    r = Run({"reg", "export", m_image, "HKEY_CURRENT_USER\\MUI"});
    EXPECT_EQ(r.out, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\MUI]\n\"CurLang\"=dword:00000419\n");
    /* Without --cur the stored language stays and decides. */
    r = Run({"script", m_image, "\\Temp\\msg.xml"});
    EXPECT_NE(r.out.find("\"ru\""), std::string::npos) << r.out;
}

// Bad usage exits 2 with one line on standard error and runs nothing.
TEST_F(PocketsimScriptTest, BadUsageExitsTwo) {
    Init();
    for (std::vector<std::string> args : {std::vector<std::string>{"script", m_image, "\\x.xml", "--cur", "zz"},
                                          {"script", m_image, "\\x.xml", "--cur", "0x"},
                                          {"script", m_image, "\\x.xml", "--cur", "123456789"},
                                          {"script", m_image, "\\x.xml", "--target", "-1"},
                                          {"script", m_image, "\\x.xml", "--answer", "maybe"},
                                          {"script", m_image},
                                          {"script", m_image, "\\x.xml", "--bogus"}}) {
        auto r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_EQ(Lines(r.err), 1) << r.err;
        EXPECT_EQ(r.out, "") << args.back();
    }
    auto r = Run({"script", "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("usage: pocketsim script IMAGE SOURCE"), std::string::npos);
}
