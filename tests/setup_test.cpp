// The install and boot utilities: Dawnstep's boot steps, Packhook's work after an installation,
// rebooter's notice and reset, and the package's device preparation program.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/files.h"
#include "platform/modules.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "host/com/com_runtime.h"
#include "script_test_support.h"
#include "setup/dawnstep.h"
#include "setup/devprep.h"
#include "setup/packhook.h"
#include "setup/rebooter.h"
#include "setup_fixture.h"

namespace {

using namespace setup_tests;
using script_test::WriteDeviceFile;

bool FileExists(const WCHAR* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

class DawnstepTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        ASSERT_TRUE(CreateDirectoryW(u"\\Windows\\Startup", nullptr));
        WriteDeviceFile(u"\\Windows\\Startup\\Dawnstep.lnk", "22#\\Windows\\Dawnstep.exe");
        WriteDeviceFile(u"\\Windows\\SdkCerts.CAB", "MSCF");
        RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Norvane Vexor\\Setup"));
        RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Other"));
        m_device->SetSetting("clock", "played");
    }
    void TearDown() override {
        if (m_device->Com().IsInitialized()) CoUninitialize();
        SetupTest::TearDown();
    }
    void ExpectCleanedUp() {
        EXPECT_FALSE(FileExists(u"\\Windows\\Startup\\Dawnstep.lnk"));
        EXPECT_FALSE(FileExists(u"\\Windows\\SdkCerts.CAB"));
        EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Norvane Vexor"));
        EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Other"));
    }
};

// Without the applet (and here without an installer) the program does steps 1 to 5 and exits;
// COM that cannot be initialised is tried again every 100 ms of the device's clock.
TEST_F(DawnstepTest, WithoutTheAppletItCleansUpRetriesComAndExits) {
    m_device->SetSetting(host::kComInitFailuresSetting, "3");
    EXPECT_EQ(0, setup::DawnstepMain());
    ExpectCleanedUp();
    EXPECT_EQ(300u, m_device->PlayedTime());
    EXPECT_TRUE(m_device->Com().IsInitialized());
    EXPECT_EQ("0", m_device->Setting(host::kComInitFailuresSetting));
}

// The installer is started with the certificate cabinet and waited for.
TEST_F(DawnstepTest, TheInstallerGetsTheCabinetAndIsWaitedFor) {
    InstallFile(kData / "proc_child", u"\\Windows\\wceload.exe");
    EXPECT_EQ(0, setup::DawnstepMain());
    std::u16string commandLine;
    ASSERT_TRUE(ReadSz(HKEY_CURRENT_USER, u"Software\\VxProcessTest", u"CommandLine", &commandLine));
    EXPECT_EQ(u"\\Windows\\SdkCerts.CAB", commandLine);
    ExpectCleanedUp();
    EXPECT_EQ(0u, m_device->PlayedTime());
}

// The applet gets INIT, GETCOUNT, NEWINQUIRE with a cleared record and DBLCLK with the data it
// returned there, all without a window; neither STOP nor EXIT.
TEST_F(DawnstepTest, TheAppletIsDrivenWithoutAWindow) {
    InstallFile(kData / "applet_probe.so", u"\\Windows\\Lingo.cpl");
    EXPECT_EQ(0, setup::DawnstepMain());
    std::u16string calls;
    ASSERT_TRUE(ReadSz(HKEY_LOCAL_MACHINE, u"AppletProbe", u"Calls", &calls));
    EXPECT_EQ("1 (nil) 0 0\n2 (nil) 0 0\n8 (nil) 0 zeroed\n5 (nil) 0 5a5a\n", ToUtf8(calls));
    ExpectCleanedUp();
}

// The built program runs on the device as its start-up shortcut starts it.
TEST_F(DawnstepTest, TheProgramRunsOnTheDevice) {
    InstallFile(VX_DAWNSTEP_PROGRAM, u"\\Windows\\Dawnstep.exe");
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(u"\\Windows\\Dawnstep.exe", nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               nullptr, &process));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 20000));
    DWORD code = 99;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(0u, code);
    ExpectCleanedUp();
}

class PackhookTest : public SetupTest {
protected:
    void InstallDevPrep() { InstallFile(VX_DEVPREP_STANDIN, u"\\Windows\\DevPrep.exe"); }
    DWORD DevPrepRuns() { return ReadDword(HKEY_LOCAL_MACHINE, u"Emulator\\DevPrep", u"Runs", 0); }
    void Record(const std::u16string& name) {
        RegCloseKey(Create(HKEY_LOCAL_MACHINE, (u"SOFTWARE\\APPS\\" + name).c_str()));
    }
    bool Recorded(const std::u16string& name) { return Exists(HKEY_LOCAL_MACHINE, (u"SOFTWARE\\APPS\\" + name).c_str()); }
};

TEST_F(PackhookTest, WithoutTheTemporaryRecordNothingIsDeletedAndDevPrepStillRuns) {
    InstallDevPrep();
    Record(u"Norvane Vexor");
    Record(u" ");
    EXPECT_EQ(0u, setup::PackhookInstallExit());
    EXPECT_TRUE(Recorded(u"Norvane Vexor"));
    EXPECT_TRUE(Recorded(u" "));
    EXPECT_EQ(1u, DevPrepRuns());
}

// Provider and name with one space between name the record; only that one goes.
TEST_F(PackhookTest, TheRecordNamedByProviderSpaceNameIsDeleted) {
    InstallDevPrep();
    SetSz(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TMPAPPS", u"Provider", u"Norvane");
    SetSz(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TMPAPPS", u"Name", u"Vexor");
    for (const char16_t* name : {u"Norvane Vexor", u"Norvane", u"Vexor", u"NorvaneVexor", u"Norvane  Vexor"})
        Record(name);
    EXPECT_EQ(0u, setup::PackhookInstallExit());
    EXPECT_FALSE(Recorded(u"Norvane Vexor"));
    for (const char16_t* name : {u"Norvane", u"Vexor", u"NorvaneVexor", u"Norvane  Vexor"})
        EXPECT_TRUE(Recorded(name)) << ToUtf8(name);
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TMPAPPS"));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"SOFTWARE"));
    EXPECT_EQ(1u, DevPrepRuns());
}

// Long values are cut so that the key holds 254 characters.
TEST_F(PackhookTest, TheApplicationKeyIsCutTo254Characters) {
    SetSz(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TMPAPPS", u"Provider", std::u16string(200, u'p'));
    SetSz(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TMPAPPS", u"Name", std::u16string(200, u'n'));
    const std::u16string cut = std::u16string(200, u'p') + u" " + std::u16string(53, u'n');
    Record(cut);
    Record(cut + u"n");
    EXPECT_EQ(0u, setup::PackhookInstallExit());
    EXPECT_FALSE(Recorded(cut));
    EXPECT_TRUE(Recorded(cut + u"n"));
}

// Without DevPrep.exe the start fails and the call returns at once; the records still go.
TEST_F(PackhookTest, WithoutDevPrepItReturnsZero) {
    SetSz(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TMPAPPS", u"Provider", u"P");
    SetSz(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TMPAPPS", u"Name", u"N");
    Record(u"P N");
    EXPECT_EQ(0u, setup::PackhookInstallExit());
    EXPECT_FALSE(Recorded(u"P N"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TMPAPPS"));
}

// The library the installer loads: its four exports and their answers.
TEST_F(PackhookTest, TheLibraryAnswersTheInstallerAndRefusesRemoval) {
    InstallDevPrep();
    InstallFile(VX_PACKHOOK_LIBRARY, u"\\Windows\\Packhook.dll");
    HMODULE library = LoadLibraryW(u"\\Windows\\Packhook.dll");
    ASSERT_NE(nullptr, library);
    using InstallInit = int (*)(HWND, BOOL, BOOL, LPCWSTR);
    using InstallExit = int (*)(HWND, LPCWSTR, WORD, WORD, WORD, WORD, WORD);
    using UninstallInit = int (*)(HWND, LPCWSTR);
    using UninstallExit = int (*)(HWND);
    auto installInit = reinterpret_cast<InstallInit>(GetProcAddressW(library, u"Install_Init"));
    auto installExit = reinterpret_cast<InstallExit>(GetProcAddressW(library, u"Install_Exit"));
    auto uninstallInit = reinterpret_cast<UninstallInit>(GetProcAddressW(library, u"Uninstall_Init"));
    auto uninstallExit = reinterpret_cast<UninstallExit>(GetProcAddressW(library, u"Uninstall_Exit"));
    ASSERT_TRUE(installInit && installExit && uninstallInit && uninstallExit);
    EXPECT_EQ(0, installInit(nullptr, TRUE, FALSE, u"\\Program Files\\Vexor"));
    EXPECT_EQ(0, installExit(nullptr, u"\\Program Files\\Vexor", 0, 0, 0, 0, 0));
    EXPECT_EQ(1u, DevPrepRuns());
    EXPECT_EQ(1, uninstallInit(nullptr, u"\\Program Files\\Vexor"));
    EXPECT_EQ(0, uninstallExit(nullptr));
    // Nothing but the four calls is exported.
    EXPECT_EQ(nullptr, GetProcAddressW(library, u"_ZN5setup20PackhookInstallExitEv"));
    FreeLibrary(library);
}

class RebooterTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        InstallFile(VX_REBOOTER_PROGRAM, u"\\Windows\\rebooter.exe");
        m_device->SetSetting("clock", "played");
    }
};

constexpr char kRebootLines[] =
    "MessageBox \"Нажмите ОК для перезагрузки\" caption=\"Перезагрузка\" style=0x00000000\nSoftReset\n";

// However the message box is closed, the device resets two seconds later.
TEST_F(RebooterTest, ItShowsTheNoticeAndResetsAfterTwoSecondsWhateverTheAnswer) {
    HMODULE self = LoadLibraryExW(u"\\Windows\\rebooter.exe", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, self);
    m_device->QueueAnswer(IDCANCEL);
    EXPECT_EQ(0, setup::RebooterMain(self));
    EXPECT_EQ(kRebootLines, Journal());
    EXPECT_EQ(2000u, m_device->PlayedTime());

    m_device->QueueAnswer(IDOK);
    EXPECT_EQ(0, setup::RebooterMain(self));
    EXPECT_EQ(std::string(kRebootLines) + kRebootLines, Journal());
    EXPECT_EQ(4000u, m_device->PlayedTime());
    FreeLibrary(self);
}

// The program's texts come from its own string table.
TEST_F(RebooterTest, TheProgramRunsOnTheDevice) {
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(u"\\Windows\\rebooter.exe", nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               nullptr, &process));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 20000));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(kRebootLines, Journal());
}

using DevPrepTest = SetupTest;

// Registering the input method leaves its class and SIP marker in place.
TEST_F(DevPrepTest, RegistersTheInputMethodLibrary) {
    InstallFile(VX_VEXOR_LIBRARY, u"\\Windows\\vexor.dll");
    EXPECT_EQ(0, setup::DevPrepMain());
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}\\IsSIPInputMethod"));
}

TEST_F(DevPrepTest, FailsWhenTheLibraryIsMissingOrNotAServer) {
    EXPECT_EQ(1, setup::DevPrepMain());
    InstallFile(kData / "driver_probe.so", u"\\Windows\\vexor.dll");
    EXPECT_EQ(2, setup::DevPrepMain());
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"CLSID\\{0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}"));
}

}  // namespace

namespace {

using BuiltFilesTest = setup_tests::SetupTest;

// Each built file carries the version resource its .rc gives it, naming the file.
TEST_F(BuiltFilesTest, EachNamesItselfInItsVersion) {
    const struct {
        const char* built;
        const WCHAR* device;
        const char* name;
    } files[] = {
        {VX_DAWNSTEP_PROGRAM, u"\\Windows\\Dawnstep.exe", "Dawnstep.exe"},
        {VX_REBOOTER_PROGRAM, u"\\Windows\\rebooter.exe", "rebooter.exe"},
        {VX_DEVPREP_PROGRAM, u"\\Windows\\DevPrep.exe", "DevPrep.exe"},
        {VX_PACKHOOK_LIBRARY, u"\\Windows\\Packhook.dll", "Packhook.dll"},
        {VX_TILTWATCH_LIBRARY, u"\\Windows\\Tiltwatch.dll", "Tiltwatch.dll"},
    };
    for (const auto& file : files) {
        InstallFile(file.built, file.device);
        const DWORD size = GetFileVersionInfoSizeW(file.device, nullptr);
        ASSERT_GT(size, 0u) << file.name;
        std::vector<BYTE> block(size);
        ASSERT_TRUE(GetFileVersionInfoW(file.device, 0, size, block.data()));
        LPVOID value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), u"\\StringFileInfo\\040904B0\\OriginalFilename", &value, &length));
        EXPECT_EQ(file.name, ToUtf8(static_cast<const WCHAR*>(value)));
    }
}

}  // namespace
