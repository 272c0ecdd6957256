// The configuration runner's build of the script engine: ROM conditions, `If` with both
// conditions, its command table, and its main routine's reset and window passes.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/kernel/process.h"
#include "host/windows/simulated_window.h"
#include "host/windows/window.h"
#include "platform/files.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "runner/mui_engine.h"
#include "script/reghelpers.h"
#include "imshell_fixture.h"
#include "script_test_support.h"
#include "test_image.h"

namespace {

constexpr const WCHAR* kScript = u"\\Temp\\config.xml";

using script_test::RecordingSink;

class MuiApplyTest : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        for (const WCHAR* folder : {u"\\Windows", u"\\Temp"}) ASSERT_TRUE(CreateDirectoryW(folder, nullptr));
        SetCurLang(0x409);
        // The journal's lines (message boxes, resets), with the observed window events among them.
        m_device->SetConsole([this](std::string_view line) { m_log.emplace_back(line); });
    }
    void TearDown() override {
        host::SetWindowObserver(nullptr);
        host::DestroySimulatedWindows();
        host::ClearSimulatedProcesses();
        ImageTest::TearDown();
    }

    void SetCurLang(DWORD language) {
        ASSERT_EQ(RegWriteValue(HKEY_CURRENT_USER, u"MUI", u"CurLang", &language, 4, u"REG_DWORD"), ERROR_SUCCESS);
    }
    // The device of a ROM version: the library installed and the version it reports.
    void GiveRom(const char* version) {
        InstallFile(VX_FLASHMGR_LIBRARY, u"\\Windows\\flashmgr.dll");
        ASSERT_TRUE(m_device->SetSetting("rom.version", version));
    }
    static std::string Document(const std::string& body) {
        return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<config>\n" + body + "</config>\n";
    }
    // The commands the runner's engine hands over for a script body.
    std::string Resolve(const std::string& body) {
        script_test::WriteDeviceFile(kScript, Document(body));
        RecordingSink sink;
        MuiScriptEngine engine;
        EXPECT_EQ(engine.CreateDocument(), S_OK);
        engine.m_pSink = &sink;
        EXPECT_EQ(engine.Run(kScript), 1) << std::hex << engine.m_hrStatus;
        return sink.Names();
    }
    void Apply(const std::string& body) {
        script_test::WriteDeviceFile(kScript, Document(body));
        EXPECT_EQ(MuiApplyMain(kScript), 0);
    }
    int Resets() const {
        int n = 0;
        for (const std::string& line : m_log) n += line == "SoftReset";
        return n;
    }

    std::vector<std::string> m_log;
};

// The library fills the record's ROM version from the device setting; the reader takes it from
// byte 2556, and has nothing to read on a device without the library or without a version.
TEST_F(MuiApplyTest, RomVersionComesFromTheDeviceInformationLibrary) {
    WCHAR version[kRomVersionUnits];
    std::fill(std::begin(version), std::end(version), u'#');
    EXPECT_FALSE(ReadRomVersion(version));
    EXPECT_EQ(version[0], 0);

    InstallFile(VX_FLASHMGR_LIBRARY, u"\\Windows\\flashmgr.dll");
    std::fill(std::begin(version), std::end(version), u'#');
    EXPECT_FALSE(ReadRomVersion(version)) << "a library without a version to report";
    EXPECT_EQ(version[0], 0);

    ASSERT_TRUE(m_device->SetSetting("rom.version", "1.10.5"));
    ASSERT_TRUE(ReadRomVersion(version));
    EXPECT_EQ(std::u16string(version), u"1.10.5");

    // Another selector fails and leaves the caller's record alone.
    HMODULE library = LoadLibraryW(u"flashmgr.dll");
    ASSERT_NE(library, nullptr);
    auto read = reinterpret_cast<BOOL (*)(DWORD, void*)>(GetProcAddressW(library, u"CpqReadProtectedHMInfo"));
    ASSERT_NE(read, nullptr);
    std::vector<BYTE> record(kDeviceInfoBytes, 0xA5);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(read(1, record.data()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(record[0], 0xA5);
    EXPECT_EQ(record[kRomVersionOffset], 0xA5);
    // Selector 0: the version as UTF-16 at its offset, terminated, the rest cleared.
    ASSERT_TRUE(read(0, record.data()));
    EXPECT_EQ(record[0], 0);
    EXPECT_EQ(record[kRomVersionOffset], '1');
    EXPECT_EQ(record[kRomVersionOffset + 1], 0);
    EXPECT_EQ(record[kRomVersionOffset + 2], '.');
    EXPECT_EQ(record[kRomVersionOffset + 12], 0);
    EXPECT_EQ(record[kDeviceInfoBytes - 1], 0);
    FreeLibrary(library);
}

// A "rom" condition compares the device's ROM version by weight (major * 100000 + minor * 1000 +
// build), so 1.10.5 is newer than 1.9.99; a bare version or a lower-case operator never holds.
// Without the library, or with a version that is not three numbers, no ROM condition holds and
// the rest of the script runs.
TEST_F(MuiApplyTest, RomConditionsCompareTheDeviceVersion) {
    EXPECT_EQ(Resolve("<If rom=\"G0.0.0\"><Newer/></If><If rom=\"L99.0.0\"><Older/></If><After/>"), "After");
    GiveRom("1.10");
    EXPECT_EQ(Resolve("<If rom=\"G0.0.0\"><Newer/></If><After/>"), "After");
    GiveRom("1.10.5");
    EXPECT_EQ(Resolve("<If rom=\"G1.9.99\"><Newer/></If>"
                      "<If rom=\"E1.10.5\"><Same/></If>"
                      "<If rom=\"L1.10.5\"><Older/></If>"
                      "<If rom=\"L2.0.0\"><BeforeTwo/></If>"
                      "<If rom=\"1.10.5\"><Bare/></If>"
                      "<If rom=\"e1.10.5\"><LowerCase/></If>"
                      "<If rom=\"G1.9\"><Short/></If>"
                      "<After/>"),
              "Newer Same BeforeTwo After");
}

// Each attribute is tested on its own, "rom" first: an If with both, both true, contributes its
// children twice; with one true, once; the applet's build would test "lng" only.
TEST_F(MuiApplyTest, IfWithBothAttributesCountsEachCondition) {
    GiveRom("2.0.0");
    EXPECT_EQ(Resolve("<First/><If rom=\"E2.0.0\" lng=\"0409\"><A/><B/></If><Last/>"), "First A B A B Last");
    EXPECT_EQ(Resolve("<If rom=\"E2.0.0\" lng=\"0419\"><A/></If><If rom=\"E1.0.0\" lng=\"409\"><B/></If>"),
              "A B");
    EXPECT_EQ(Resolve("<If rom=\"E1.0.0\" lng=\"0419\"><A/></If><If><B/></If><C/>"), "C");

    RecordingSink sink;
    ScriptEngine applet;
    ASSERT_EQ(applet.CreateDocument(), S_OK);
    applet.m_pSink = &sink;
    script_test::WriteDeviceFile(kScript, Document("<If rom=\"E2.0.0\" lng=\"0409\"><A/></If><If rom=\"E2.0.0\"><B/></If>"));
    EXPECT_EQ(applet.Run(kScript, nullptr), 1);
    EXPECT_EQ(sink.Names(), "A");
}

// The commands without effect, SetRebootFlag among them, and those this build lacks report
// themselves as not handled, leaving the result alone.
TEST_F(MuiApplyTest, CommandTableHandlesOnlyThisBuildsCommands) {
    MuiRunState state;
    MuiCommandTable table(&state);
    AttributeMap none;
    DWORD result = 0xdeadbeef;
    EXPECT_EQ(table.Execute(u"stopprocess", &none, &result, 0), 0);
    EXPECT_EQ(table.Execute(u"SETREBOOTFLAG", &none, &result, 0), 0);
    EXPECT_EQ(state.m_dwRebootFlag, 1u);
    for (const WCHAR* absent : {u"CopyTo", u"LDAbsRename", u"LDRename", u"LDDeleteRegKey", u"Swap", u"Expand",
                                u"BaseUpdate", u"Msg"}) {
        result = 0xdeadbeef;
        EXPECT_EQ(table.Execute(absent, &none, &result, 0), 0) << ToUtf8(absent);
        EXPECT_EQ(result, 0xdeadbeefu) << ToUtf8(absent);
    }
    EXPECT_EQ(table.Execute(u"hidefile", &none, &result, 0), 1);
}

// The language switch's commands are passed over: nothing is copied, renamed, deleted or shown.
TEST_F(MuiApplyTest, AbsentCommandsArePassedOver) {
    script_test::WriteDeviceFile(u"\\Temp\\a.txt", "a");
    const DWORD attributes = GetFileAttributesW(u"\\Temp\\a.txt");
    ASSERT_EQ(RegWriteValue(HKEY_LOCAL_MACHINE, u"Software\\Keep", u"v", u"x", 2, u"REG_SZ"), ERROR_SUCCESS);
    Apply("<CopyTo FROM=\"\\Temp\\a.txt\" TO=\"\\Temp\\b.txt\"/>"
          "<LDAbsRename FROM=\"\\Temp\\a.txt\" TO=\"\\Temp\\c.txt\"/>"
          "<LDRename FROM=\"a.txt\" TO=\"d.txt\" ROOT=\"\\Temp\"/>"
          "<LDDeleteRegKey root=\"HKLM\" path=\"Software\" name=\"Keep\"/>"
          "<Swap NAME=\"\\Temp\\a.txt\"/>"
          "<Msg text=\"never shown\"/>"
          "<CreateDirectory Destination=\"\\Temp\\Ran\"/>");
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\a.txt"), attributes) << "the file stays as it was";
    for (const WCHAR* path : {u"\\Temp\\b.txt", u"\\Temp\\c.txt", u"\\Temp\\d.txt"})
        EXPECT_EQ(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES) << ToUtf8(path);
    EXPECT_EQ(imtest::Snapshot(HKEY_LOCAL_MACHINE, u"Software\\Keep")["|v"], "sz:x");
    EXPECT_TRUE(m_log.empty()) << m_log.front();
    EXPECT_TRUE(GetFileAttributesW(u"\\Temp\\Ran") & FILE_ATTRIBUTE_DIRECTORY) << "the walk went on";
}

// MoveFile and DeleteFile clear a read-only source first, so they succeed where the applet's
// build leaves the file in place.
TEST_F(MuiApplyTest, MoveAndDeleteClearReadOnlyFirst) {
    script_test::WriteDeviceFile(u"\\Temp\\locked.txt", "x");
    script_test::WriteDeviceFile(u"\\Temp\\gone.txt", "x");
    ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\locked.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\gone.txt", FILE_ATTRIBUTE_READONLY));
    Apply("<MoveFile Source=\"\\Temp\\locked.txt\" Destination=\"\\Temp\\moved.txt\"/>"
          "<DeleteFile Source=\"\\Temp\\gone.txt\"/>"
          "<MoveFile Source=\"\\Temp\\missing.txt\" Destination=\"\\Temp\\never.txt\"/>");
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\locked.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\moved.txt"), DWORD(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\gone.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\never.txt"), INVALID_FILE_ATTRIBUTES);
}

// HideFile leaves the file hidden and nothing else; a missing file is a silent failure.
TEST_F(MuiApplyTest, HideFileReplacesAllOtherAttributes) {
    script_test::WriteDeviceFile(u"\\Temp\\shown.txt", "x");
    ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\shown.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    Apply("<HideFile Name=\"\\Temp\\shown.txt\"/><hidefile NAME=\"\\Temp\\missing.txt\"/>");
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\shown.txt"), DWORD(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetFileAttributesW(u"\\Temp\\missing.txt"), INVALID_FILE_ATTRIBUTES);
    MuiRunState state;
    MuiCommandTable table(&state);
    AttributeMap attributes;
    attributes.Add(NameHash(u"Name"), u"\\Temp\\missing.txt");
    DWORD result = 0xdeadbeef;
    EXPECT_EQ(table.Execute(u"HideFile", &attributes, &result, 0), 1);
    EXPECT_EQ(result, 0u) << "the result is the failed call's";
}

// REG_SZ texts are stored as written: the markers of the applet's build mean nothing here, while
// the other types are read as the applet reads them.
TEST_F(MuiApplyTest, CreateRegValueStoresTextsLiterally) {
    Apply("<CreateRegValue root=\"HKLM\" path=\"Software\\Mui\" name=\"Null\" type=\"SZ\">[NULL]</CreateRegValue>"
          "<CreateRegValue root=\"HKLM\" path=\"Software\\Mui\" name=\"Space\">[SPACE]</CreateRegValue>"
          "<CreateRegValue root=\"HKLM\" path=\"Software\\Mui\" name=\"Inner\">a[NULL]b</CreateRegValue>"
          "<CreateRegValue root=\"HKLM\" path=\"Software\\Mui\" name=\"Number\" type=\"DWORD\">1f</CreateRegValue>");
    EXPECT_EQ(imtest::Snapshot(HKEY_LOCAL_MACHINE, u"Software\\Mui"),
              (std::map<std::string, std::string>{
                  {"|Null", "sz:[NULL]"}, {"|Space", "sz:[SPACE]"}, {"|Inner", "sz:a[NULL]b"}, {"|Number", "dword:31"}}));
}

// SetRebootFlag asks for one reset, made after every command ran, however often it is given; a
// script without it, or one that does not load, ends without a reset. The cursor shown before
// the run is shown again after it.
TEST_F(MuiApplyTest, RebootFlagResetsOnceAfterAllCommands) {
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    ASSERT_NE(arrow, nullptr);
    SetCursor(arrow);
    Apply("<CreateDirectory Destination=\"\\Temp\\One\"/>");
    EXPECT_EQ(Resets(), 0);
    EXPECT_EQ(SetCursor(nullptr), arrow);

    bool lastCommandRan = false;
    m_device->SetConsole([&](std::string_view line) {
        m_log.emplace_back(line);
        if (line == "SoftReset") lastCommandRan = GetFileAttributesW(u"\\Temp\\Last") != INVALID_FILE_ATTRIBUTES;
    });
    Apply("<SetRebootFlag/><CreateDirectory Destination=\"\\Temp\\Two\"/><SetRebootFlag/>"
          "<CreateDirectory Destination=\"\\Temp\\Last\"/>");
    EXPECT_EQ(Resets(), 1);
    EXPECT_TRUE(lastCommandRan);

    m_log.clear();
    script_test::WriteDeviceFile(kScript, "<config><SetRebootFlag/>");
    EXPECT_EQ(MuiApplyMain(kScript), 0);
    EXPECT_EQ(MuiApplyMain(u"\\Temp\\missing.xml"), 0);
    EXPECT_EQ(Resets(), 0);
}

// StopAll in this build closes "Worker" and "Dialog" windows in the first pass, before any other
// window, and spares the shell's windows, its own excluded classes and the foreground window.
TEST_F(MuiApplyTest, StopAllClosesWorkersAndDialogsFirstAndSparesTheShell) {
    std::set<HWND> mine;
    auto make = [&](const char16_t* text) {
        host::SimulatedWindowSpec spec;
        std::string error;
        EXPECT_TRUE(host::ParseSimulatedWindow(text, &spec, &error)) << error;
        HWND window = host::CreateSimulatedWindow(spec);
        EXPECT_NE(window, nullptr);
        mine.insert(window);
        return window;
    };
    // Made bottom first: the topmost is the last made.
    HWND shell = make(u"Desktop|Today|visible|\\Windows\\shell32.exe");
    HWND taskbar = make(u"menu_worker|Menu|visible|menu.exe");
    HWND front = make(u"Front|Front|visible|front.exe");
    HWND dialog = make(u"Dialog|Question|visible|asker.exe|stubborn");
    HWND worker = make(u"Worker|Busy|visible|busy.exe");
    HWND app = make(u"Notes|Notes|visible|notes.exe");
    SetForegroundWindow(front);
    std::vector<std::pair<HWND, UINT>> closes;
    host::SetWindowObserver([&](const host::WindowEvent& e) {
        if (e.kind == host::WindowEventKind::Posted && mine.count(e.window) &&
            (e.message == WM_CLOSE || e.message == WM_COMMAND))
            closes.emplace_back(e.window, e.message);
    });
    Apply("<StopAll/>");
    host::SetWindowObserver(nullptr);
    ASSERT_GE(closes.size(), 5u);
    // The app is above the worker but waits for the odd pass. No program has run yet when a
    // pass asks again, so the worker and the dialog (which ignores its OK) are asked twice in
    // each of the four passes, the dialog with its OK command, and the app twice in each odd one.
    EXPECT_EQ(closes[0], std::make_pair(worker, UINT(WM_CLOSE)));
    EXPECT_EQ(closes[1], std::make_pair(dialog, UINT(WM_COMMAND)));
    EXPECT_EQ(closes[2], std::make_pair(worker, UINT(WM_CLOSE)));
    EXPECT_EQ(closes[3], std::make_pair(dialog, UINT(WM_COMMAND)));
    EXPECT_EQ(closes[4].second, UINT(WM_CLOSE));
    std::map<HWND, int> asked;
    for (const auto& [window, message] : closes) {
        EXPECT_NE(window, shell);
        EXPECT_NE(window, front);
        EXPECT_NE(window, taskbar);
        if (window == dialog) {
            EXPECT_EQ(message, UINT(WM_COMMAND));
        }
        ++asked[window];
    }
    EXPECT_EQ(asked, (std::map<HWND, int>{{worker, 8}, {dialog, 8}, {app, 4}}));
    host::RunSimulatedPrograms();
    EXPECT_FALSE(IsWindow(worker));
    EXPECT_FALSE(IsWindow(app));
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_TRUE(IsWindow(shell));
    EXPECT_TRUE(IsWindow(taskbar));
}

}  // namespace
