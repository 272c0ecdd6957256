// The operations around a script run: the version test, the rewriting of the shell's button
// commands from the RenameLog, and the soft reset.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "reg_test_image.h"
#include "platform/winbase.h"
#include "script/conditions.h"
#include "script/rename_log.h"

namespace {

TEST(VersionMatchesTest, ComparesAgainstTheBuildsVersionWithExplicitOperators) {
    /* Against "0.0.0": only E0.0.0 and greater versions with L hold. */
    EXPECT_EQ(VersionMatches(u"E0.0.0"), 0);
    EXPECT_EQ(VersionMatches(u"G0.0.0"), 1);
    EXPECT_EQ(VersionMatches(u"L0.0.0"), 1);
    EXPECT_EQ(VersionMatches(u"L0.0.1"), 0);
    /* A bare version, an unknown operator, and a lower-case operator never hold. */
    EXPECT_EQ(VersionMatches(u"0.0.0"), 1);
    EXPECT_EQ(VersionMatches(u"X0.0.0"), 1);
    EXPECT_EQ(VersionMatches(u"e0.0.0"), 1);
    /* A null, empty or incomplete condition never holds. */
    EXPECT_EQ(VersionMatches(nullptr), 1);
    EXPECT_EQ(VersionMatches(u""), 1);
    EXPECT_EQ(VersionMatches(u"E"), 1);
    EXPECT_EQ(VersionMatches(u"E0.0"), 1);
    EXPECT_EQ(VersionMatches(u"E0..0"), 1);
}

TEST(VersionMatchesTest, ComparesWeightsNotComponents) {
    /* 0.100.0 weighs 100 000, as 1.0.0 does. */
    EXPECT_EQ(VersionMatches(u"E1.0.0", u"0.100.0"), 0);
    EXPECT_EQ(VersionMatches(u"E1.2.3", u"0.102.3"), 0);
    /* 1.10.5 (110 005) is greater than 1.9.99 (109 099). */
    EXPECT_EQ(VersionMatches(u"G1.9.99", u"1.10.5"), 0);
    EXPECT_EQ(VersionMatches(u"L1.9.99", u"1.10.5"), 1);
    EXPECT_EQ(VersionMatches(u"L1.10.6", u"1.10.5"), 0);
    /* Text after the third number is ignored; a current version that does not parse never matches. */
    EXPECT_EQ(VersionMatches(u"E1.10.5 beta", u"1.10.5.7"), 0);
    EXPECT_EQ(VersionMatches(u"E1.0.0", u"v1.0.0"), 1);
    EXPECT_EQ(VersionMatches(u"E1.0.0", nullptr), 1);
}

class ShellKeysTest : public RegImageTest {
protected:
    static constexpr const WCHAR* kKeys = u"SOFTWARE\\Microsoft\\Shell\\Keys";

    void SetUp() override {
        RegImageTest::SetUp();
        ClearRenameLog();
    }
    void TearDown() override {
        ClearRenameLog();
        RegImageTest::TearDown();
    }
    std::u16string Path(const WCHAR* subKey) { return std::u16string(kKeys) + u"\\" + subKey; }
    void SetKey(const WCHAR* subKey, std::u16string_view command, std::u16string_view resetCommand) {
        SetSz(HKEY_LOCAL_MACHINE, Path(subKey).c_str(), u"", command);
        SetSz(HKEY_LOCAL_MACHINE, Path(subKey).c_str(), u"ResetCmd", resetCommand);
    }
    // A stored text, or "<missing>".
    std::u16string Text(const WCHAR* subKey, const WCHAR* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Path(subKey).c_str(), 0, 0, &key) != ERROR_SUCCESS) return u"<missing>";
        std::vector<WCHAR> buffer(4096, 0);
        DWORD size = DWORD(buffer.size() * 2), type = kSentinel;
        LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS) return u"<missing>";
        return std::u16string(buffer.data());
    }
};

TEST_F(ShellKeysTest, ReplacesOldNamesAndLowerCasesBothCommands) {
    SetKey(u"40C1", u"\"\\Windows\\START MENU\\Programs\\Notes.exe\"", u"\\WINDOWS\\Start Menu\\PROGRAMS\\Notes.lnk");
    AddRenameRecord(u"Programs", u"Программы");
    AddRenameRecord(u"start menu", u"Главное меню");
    EXPECT_EQ(FixShellKeyCommands(), 0);
    EXPECT_EQ(Text(u"40C1", u"ResetCmd"), u"\\windows\\Главное меню\\Программы\\notes.lnk");
    EXPECT_EQ(Text(u"40C1", u""), u"\"\\windows\\Главное меню\\Программы\\notes.exe\"");
    /* The log is emptied afterwards. */
    EXPECT_EQ(RenameLog().GetCount(), 0);
}

TEST_F(ShellKeysTest, EmptyLogStillLowerCasesEveryKey) {
    SetKey(u"40C1", u"\\Windows\\Calendar.EXE", u"\\Windows\\ÉTÉ.lnk");
    SetKey(u"40C2", u"\\Windows\\ЗАМЕТКИ.exe", u"RESET");
    FixShellKeyCommands();
    EXPECT_EQ(Text(u"40C1", u""), u"\\windows\\calendar.exe");
    EXPECT_EQ(Text(u"40C1", u"ResetCmd"), u"\\windows\\été.lnk");
    EXPECT_EQ(Text(u"40C2", u""), u"\\windows\\заметки.exe");
    EXPECT_EQ(Text(u"40C2", u"ResetCmd"), u"reset");
}

TEST_F(ShellKeysTest, OnlyTheFirstOccurrenceOfEachRecordIsReplacedWhenItFits) {
    SetKey(u"40C1", u"a\\B\\a", u"b");
    AddRenameRecord(u"A", u"xyz");
    FixShellKeyCommands();
    EXPECT_EQ(Text(u"40C1", u""), u"xyz\\b\\a");

    /* A replacement that would not fit in 520 units leaves the text as it was, lower-cased. */
    std::u16string longCommand(510, u'Q');
    longCommand += u"\\OLD";
    SetKey(u"40C1", longCommand, u"\\OLD");
    AddRenameRecord(u"old", u"much longer name");
    FixShellKeyCommands();
    std::u16string expected(510, u'q');
    EXPECT_EQ(Text(u"40C1", u""), expected + u"\\old");
    EXPECT_EQ(Text(u"40C1", u"ResetCmd"), u"\\much longer name");
}

TEST_F(ShellKeysTest, KeysWithoutBothTextsAreLeftAlone) {
    SetSz(HKEY_LOCAL_MACHINE, Path(u"OnlyDefault").c_str(), u"", u"\\Windows\\Programs\\A.exe");
    SetSz(HKEY_LOCAL_MACHINE, Path(u"OnlyReset").c_str(), u"ResetCmd", u"\\Windows\\Programs\\B.exe");
    DWORD number = 5;
    SetSz(HKEY_LOCAL_MACHINE, Path(u"WrongType").c_str(), u"", u"\\Windows\\Programs\\C.exe");
    Set(HKEY_LOCAL_MACHINE, Path(u"WrongType").c_str(), u"ResetCmd", REG_DWORD, &number, 4);
    /* A command longer than the 520-unit buffer is not cut short. */
    SetKey(u"TooLong", std::u16string(600, u'P'), u"P");
    AddRenameRecord(u"Programs", u"Prog");
    FixShellKeyCommands();
    EXPECT_EQ(Text(u"OnlyDefault", u""), u"\\Windows\\Programs\\A.exe");
    EXPECT_EQ(Text(u"OnlyReset", u"ResetCmd"), u"\\Windows\\Programs\\B.exe");
    EXPECT_EQ(Text(u"WrongType", u""), u"\\Windows\\Programs\\C.exe");
    EXPECT_EQ(Text(u"TooLong", u""), std::u16string(600, u'P'));
    EXPECT_EQ(Text(u"TooLong", u"ResetCmd"), u"P");
}

TEST_F(ShellKeysTest, MissingKeysKeyStillClearsTheLog) {
    AddRenameRecord(u"a", u"b");
    AddRenameRecord(u"c", u"d");
    EXPECT_EQ(FixShellKeyCommands(), 0);
    EXPECT_EQ(RenameLog().GetCount(), 0);
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kKeys));
}

class SoftResetTest : public ImageTest {
protected:
    std::string Journal() {
        std::ifstream in(m_device->Root() / "journal.log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(SoftResetTest, ResetIsRecordedAndOtherRequestsAreRefused) {
    std::vector<std::string> console;
    m_device->SetConsole([&](std::string_view line) { console.emplace_back(line); });
    SoftReset();
    EXPECT_EQ(Journal(), "SoftReset\n");
    EXPECT_EQ(console, std::vector<std::string>{"SoftReset"});

    /* Any other control code fails with ERROR_NOT_SUPPORTED and leaves its outputs alone. */
    DWORD returned = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(KernelIoControl(0x01010000, nullptr, 0, nullptr, 0, &returned));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(returned, 0xdeadbeefu);
    EXPECT_EQ(Journal(), "SoftReset\n");

    /* Without a device the reset has nowhere to go. */
    host::ScopedDevice none(nullptr);
    EXPECT_FALSE(KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

}  // namespace
