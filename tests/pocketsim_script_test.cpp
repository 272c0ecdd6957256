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
#include "platform/text.h"
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

// --trace names every case a script's author would otherwise not see, with its line: a name the
// table does not hold, a needed attribute missing, a root and a type that fall back, an `If` on a
// misspelt attribute, a Swap without the target language's file and a platform call that
// refused. The run itself is the same with and without it.
TEST_F(PocketsimScriptTest, TraceShowsWhatBecameOfEachElement) {
    Init();
    Put(u"\\Temp\\silent.xml",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<script>\n"
        "  <CopyFlie Source=\"\\Windows\\a.txt\" Destination=\"\\Temp\\a.txt\"/>\n"
        "  <LDAbsRename FROM=\"\\Temp\\x\"/>\n"
        "  <CreateRegValue root=\"HKXX\" path=\"Software\\T\" name=\"v\" type=\"DWROD\"><v>1</v></CreateRegValue>\n"
        "  <If lgn=\"0419\"><Msg text=\"never\"/></If>\n"
        "  <Swap NAME=\"\\Windows\\gone.txt\"/>\n"
        "  <CopyFile Source=\"\\Windows\\a.txt\" Destination=\"\\Nowhere\\a.txt\"/>\n"
        "  <StopProcess NAME=\"x\"/>\n"
        "  <CreateDirectory Destination=\"\\Temp\\Made\"/>\n"
        "  <CopyTo FROM=\"\\Windows\\Startup\" TO=\"\\Nowhere\\s\"/>\n"
        "</script>\n");
    auto plain = Run({"script", m_image, "\\Temp\\silent.xml", "--cur", "409", "--target", "419"});
    EXPECT_EQ(plain.err, "");
    auto r = Run({"script", m_image, "\\Temp\\silent.xml", "--cur", "409", "--target", "419", "--trace"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, plain.out);
    EXPECT_EQ(r.out, "Run=1 status=0x00000000\n");
    EXPECT_EQ(r.err,
              "\\Temp\\silent.xml:6: If lgn=\"0419\": did not hold (no lng attribute)\n"
              "\\Temp\\silent.xml:3: CopyFlie Source=\"\\Windows\\a.txt\" Destination=\"\\Temp\\a.txt\": skipped: not in "
              "this table\n"
              "\\Temp\\silent.xml:4: LDAbsRename FROM=\"\\Temp\\x\": skipped: needed attribute TO missing\n"
              "\\Temp\\silent.xml:5: CreateRegValue root=\"HKXX\" path=\"Software\\T\" name=\"v\" type=\"DWROD\": done "
              "(root HKXX unknown, HKLM used; type DWROD unknown, stored as SZ)\n"
              "\\Temp\\silent.xml:7: Swap NAME=\"\\Windows\\gone.txt\": skipped: no file \\Windows\\gone.txt.0419 for "
              "the target language\n"
              "\\Temp\\silent.xml:8: CopyFile Source=\"\\Windows\\a.txt\" Destination=\"\\Nowhere\\a.txt\": failed: "
              "ERROR_PATH_NOT_FOUND\n"
              "\\Temp\\silent.xml:9: StopProcess NAME=\"x\": skipped: has no effect in this table\n"
              "\\Temp\\silent.xml:10: CreateDirectory Destination=\"\\Temp\\Made\": failed: ERROR_ALREADY_EXISTS\n"
              "\\Temp\\silent.xml:11: CopyTo FROM=\"\\Windows\\Startup\" TO=\"\\Nowhere\\s\": failed: copy of folder "
              "\\Windows\\Startup -> \\Nowhere\\s incomplete: ERROR_PATH_NOT_FOUND\n");
}

// A source that does not open is named once, by the report of sources, not again by the trace.
TEST_F(PocketsimScriptTest, TraceNamesAnUnopenedSourceOnce) {
    Init();
    auto r = Run({"script", m_image, "\\Temp\\missing.xml", "--trace"});
    EXPECT_EQ(r.exitCode, 1);
    const size_t first = r.err.find("missing.xml");
    ASSERT_NE(first, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("missing.xml", first + 1), std::string::npos) << r.err;
}

// A document that does not load is named with the parser's line, column and reason: a tag that
// is not closed, an encoding nobody knows, Latin-1 text with no declaration. The status line
// stays as it was.
TEST_F(PocketsimScriptTest, TraceGivesWhereADocumentStopsParsing) {
    Init();
    struct Case {
        const WCHAR* path;
        std::string bytes;
        std::string where;
        std::string word;
    } cases[] = {
        {u"\\Temp\\tag.xml", "<script>\n<Msg text=\"a\">\n</script>\n", "\\Temp\\tag.xml:3:10: ", "mismatch"},
        {u"\\Temp\\enc.xml", "<?xml version=\"1.0\" encoding=\"x-klingon\"?>\n<script/>\n", "\\Temp\\enc.xml:1:",
         "x-klingon"},
        {u"\\Temp\\latin.xml", "<script>\n<Msg text=\"caf\xe9\"/>\n</script>\n", "\\Temp\\latin.xml:2:", "UTF-8"},
    };
    for (const Case& c : cases) {
        Put(c.path, c.bytes);
        const std::string source = ToUtf8(c.path);
        auto r = Run({"script", m_image, source, "--trace"});
        EXPECT_EQ(r.exitCode, 1) << source;
        EXPECT_EQ(r.out, "Run=0 status=0x00000001\n") << source;
        EXPECT_EQ(Lines(r.err), 1) << r.err;
        EXPECT_EQ(r.err.rfind(c.where, 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.word), std::string::npos) << r.err;
    }
}
