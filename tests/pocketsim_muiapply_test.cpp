// End-to-end: `pocketsim init --rom` and `pocketsim muiapply` on fresh images, checked by what
// muiapply prints (window requests, keystrokes, started programs, the reset) and by what the
// image holds afterwards.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "host/kernel/device.h"
#include "platform/files.h"
#include "run_program.h"
#include "script_test_support.h"

namespace fs = std::filesystem;

namespace {

class PocketsimMuiApplyTest : public testing_support::PocketsimTestBase {
protected:
    void Put(const WCHAR* devicePath, const std::string& bytes) {
        std::string error;
        auto device = host::Device::Open(m_image, &error);
        ASSERT_TRUE(device) << error;
        host::ScopedDevice scope(device.get());
        script_test::WriteDeviceFile(devicePath, bytes);
    }
    DWORD Attributes(const WCHAR* devicePath) {
        std::string error;
        auto device = host::Device::Open(m_image, &error);
        EXPECT_TRUE(device) << error;
        if (!device) return INVALID_FILE_ATTRIBUTES;
        host::ScopedDevice scope(device.get());
        return GetFileAttributesW(devicePath);
    }
    std::string Config() {
        auto r = Run({"reg", "export", m_image, "HKEY_LOCAL_MACHINE\\Software\\Vexor\\Config"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    }
};

// Window handles are the window layer's choice: each is shown as <CLASS> of the window it names.
std::string NameWindows(const std::string& out) {
    std::map<std::string, std::string> names;
    const std::regex named("(0x[0-9A-F]{8}) \"([^\"]*)\"");
    for (std::sregex_iterator it(out.begin(), out.end(), named), end; it != end; ++it)
        names.emplace((*it)[1].str(), "<" + (*it)[2].str() + ">");
    std::string text = out;
    for (const auto& [handle, name] : names) text = std::regex_replace(text, std::regex(handle), name);
    return text;
}

}  // namespace

// With --rom the device information library is installed and the sample configuration's ROM
// conditions are decided by that version; the sample ends with one reset.
TEST_F(PocketsimMuiApplyTest, SampleConfigurationOnADeviceWithARomVersion) {
    Init({"--rom", "1.10.5"});
    EXPECT_TRUE(fs::is_regular_file(fs::path(m_image) / "store" / "Windows" / "flashmgr.dll"));
    EXPECT_TRUE(fs::is_regular_file(fs::path(m_image) / "store" / "Windows" / "muiapply.exe"));
    EXPECT_TRUE(fs::is_regular_file(fs::path(m_image) / "store" / "Windows" / "muiconfig.xml"));
    auto r = Run({"muiapply", m_image});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "SoftReset\n");
    EXPECT_EQ(Config(),
              "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Vexor\\Config]\n\"Applied\"=dword:00000001\n"
              "\"Backlight\"=dword:00000002\n\"DateFormat\"=\"M/d/yyyy\"\n\"LegacyRom\"=dword:00000001\n"
              "\"Owner\"=\"Pocket PC User\"\n");
    EXPECT_EQ(Attributes(u"\\Windows\\greeting.bak"), DWORD(FILE_ATTRIBUTE_HIDDEN));
}

// Without --rom there is no library, so no ROM condition holds; the rest of the script runs.
TEST_F(PocketsimMuiApplyTest, SampleConfigurationOnADeviceWithoutTheLibrary) {
    Init();
    EXPECT_FALSE(fs::exists(fs::path(m_image) / "store" / "Windows" / "flashmgr.dll"));
    auto r = Run({"muiapply", m_image, "file://\\Windows\\muiconfig.xml"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "SoftReset\n");
    EXPECT_EQ(Config(),
              "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Vexor\\Config]\n\"Applied\"=dword:00000001\n"
              "\"DateFormat\"=\"M/d/yyyy\"\n\"Owner\"=\"Pocket PC User\"\n");
}

// --rom takes exactly three decimal numbers.
TEST_F(PocketsimMuiApplyTest, InitRefusesMalformedRomVersions) {
    for (const char* bad : {"1.2", "1.2.3.4", "a.b.c", "1..2", "1.2.", "-1.2.3", ""}) {
        auto r = Run({"init", m_image, "--rom", bad});
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_NE(r.err.find("--rom"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(fs::path(m_image) / "device.db")) << bad;
    }
}

// StopAll among the given windows, topmost first. The other programs run only when muiapply
// gives up the processor (here in the pause before a media player's Ctrl+Q), so until then every
// window is still there for the second request of its pass: "Worker" and "Dialog" windows are
// asked twice in the first pass and once more in the second, before the pause lets them close
// (a dialog by its OK command); the stubborn window is asked twice in each odd pass; the media
// player gets Ctrl+Q, and closes in the pause of its second request, whose keystrokes then reach
// no window. The shell's, the foreground and hidden windows are left alone. Only a program that
// started is reported, and the reset comes last.
TEST_F(PocketsimMuiApplyTest, StopAllAndStartProcessAmongGivenWindows) {
    Init();
    Put(u"\\Temp\\stop.xml",
        "<config><SetRebootFlag/><StopAll/>"
        "<StartProcess NAME=\"\\Windows\\nothere.exe\" CMDLINE=\"x\"/>"
        "<StartProcess NAME=\"\\Windows\\muiapply.exe\" CMDLINE=\"\\Temp\\inner.xml\"/></config>");
    Put(u"\\Temp\\inner.xml", "<config><CreateDirectory Destination=\"\\Temp\\Inner\"/></config>");
    auto r = Run({"muiapply", m_image, "\\Temp\\stop.xml", "--window", "Worker|Busy|visible|busy.exe", "--window",
                  "Notes|Notes|visible|notes.exe|stubborn", "--window", "Desktop|Today|visible|shell32.exe", "--window",
                  "Dialog|Question|visible|asker.exe", "--window", "Front|F|visible|front.exe", "--window",
                  "WMP Player|Media|visible|wmp.exe", "--window", "Quiet|Q|hidden|quiet.exe", "--foreground", "Front"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto asked = [](const std::string& name) {
        return "SetForegroundWindow <" + name + "> \"" + name + "\"\n" + "Message <" + name + "> \"" + name +
               "\" 0x0006 0x00000000 <" + name + ">\n" + "Message <" + name + "> \"" + name +
               "\" 0x0010 0x00000000 0x00000000\n";
    };
    const std::string worker = asked("Worker"), notes = asked("Notes");
    const std::string dialog = "Message <Dialog> \"Dialog\" 0x0111 0x00000001 0x00000000\n";
    const std::string ctrlQ = "SetForegroundWindow <WMP Player> \"WMP Player\"\n"
                              "keybd_event 0x11 0x00000000\nkeybd_event 0x51 0x00000000\n"
                              "keybd_event 0x51 0x00000002\nkeybd_event 0x11 0x00000002\n";
    const std::string player = "Message <WMP Player> \"WMP Player\" 0x0006 0x00000000 <WMP Player>\n"
                               "Message <WMP Player> \"WMP Player\" 0x0010 0x00000000 0x00000000\n";
    EXPECT_EQ(NameWindows(r.out), worker + dialog + worker + dialog +          // pass 0
                                      worker + notes + dialog + ctrlQ + player +  // pass 1
                                      notes + ctrlQ +                             // pass 1, asked again
                                      notes + notes +                             // pass 3
                                      "StartProcess \"\\Windows\\muiapply.exe\" \"\\Temp\\inner.xml\"\n"
                                      "SoftReset\n");
    // The installed program applies its command line's script in a process of its own, which
    // nobody waits for.
    const fs::path inner = fs::path(m_image) / "store" / "Temp" / "Inner";
    for (int i = 0; i < 100 && !fs::exists(inner); ++i) usleep(50000);
    EXPECT_TRUE(fs::is_directory(inner));
}

// Bad arguments are usage errors with one line on standard error; a missing image is a failure.
TEST_F(PocketsimMuiApplyTest, BadArgumentsAreRefused) {
    Init();
    auto r = Run({"muiapply", m_image, "--window", "|NoClass"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("class"), std::string::npos) << r.err;
    r = Run({"muiapply", m_image, "--window", "App|A|maybe"});
    EXPECT_EQ(r.exitCode, 2);
    r = Run({"muiapply", m_image, "--window", "App|A", "--foreground", "Other"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("--foreground"), std::string::npos) << r.err;
    r = Run({"muiapply", m_image, "a", "b"});
    EXPECT_EQ(r.exitCode, 2);
    r = Run({"muiapply", (m_dir / "none").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
}

// A configuration source that does not open is named on standard error; the run goes on as the
// program's does, printing nothing and ending with its status.
TEST_F(PocketsimMuiApplyTest, AnUnopenedSourceIsNamed) {
    Init();
    auto r = Run({"muiapply", m_image, "file://\\Windows\\none.xml", "--window", "App|A|visible|app.exe"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "pocketsim: script source \"file://\\Windows\\none.xml\": no such file (ERROR_FILE_NOT_FOUND)\n");
}

// --trace follows the configuration runner's own table: a command of the language switcher's
// table is not in it, its HideFile needs Name, and an `If` on a ROM version that cannot be read
// does not hold.
TEST_F(PocketsimMuiApplyTest, TraceFollowsTheRunnersTable) {
    Init();
    Put(u"\\Temp\\cfg.xml",
        "<config>\n<Swap NAME=\"\\Windows\\a.txt\"/>\n<HideFile/>\n<If rom=\"1.0\"><Msg text=\"x\"/></If>\n"
        "<HideFile Name=\"\\Windows\\none.txt\"/>\n</config>\n");
    auto r = Run({"muiapply", m_image, "\\Temp\\cfg.xml", "--trace"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "\\Temp\\cfg.xml:4: If rom=\"1.0\": did not hold\n"
              "\\Temp\\cfg.xml:2: Swap NAME=\"\\Windows\\a.txt\": skipped: not in this table\n"
              "\\Temp\\cfg.xml:3: HideFile: skipped: needed attribute Name missing\n"
              "\\Temp\\cfg.xml:5: HideFile Name=\"\\Windows\\none.txt\": failed: ERROR_FILE_NOT_FOUND\n");
}
