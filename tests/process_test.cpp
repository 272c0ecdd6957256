// Processes on the device: the snapshot walk, starting a real program on the image and waiting
// for it, and the ways a start fails.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "host/kernel/process.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/toolhelp.h"
#include "test_image.h"

namespace {

const std::filesystem::path kChild = std::filesystem::path(VX_TEST_DATA_DIR) / "proc_child";

struct Listed {
    DWORD id;
    std::u16string name;
};

std::vector<Listed> Snapshot() {
    std::vector<Listed> out;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return out;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        out.push_back({entry.th32ProcessID, entry.szExeFile});
    CloseToolhelp32Snapshot(snapshot);
    return out;
}

bool Lists(DWORD id) {
    for (const Listed& l : Snapshot())
        if (l.id == id) return true;
    return false;
}

class ProcessTest : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        ASSERT_TRUE(CreateDirectoryW(u"\\Windows", nullptr));
    }
    void TearDown() override {
        host::ClearSimulatedProcesses();
        ImageTest::TearDown();
    }
    // What the child program recorded in the image's registry.
    std::u16string ChildText(const char16_t* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\VxProcessTest", 0, 0, &key) != ERROR_SUCCESS) return u"<none>";
        WCHAR text[260] = {};
        DWORD size = sizeof text - sizeof(WCHAR);
        DWORD type = 0;
        LONG status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
        RegCloseKey(key);
        return status == ERROR_SUCCESS ? std::u16string(text) : u"<none>";
    }
    DWORD ChildNumber(const char16_t* name) {
        HKEY key = nullptr;
        DWORD value = 0xdeadbeef;
        DWORD size = sizeof value;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\VxProcessTest", 0, 0, &key) != ERROR_SUCCESS) return value;
        RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        return value;
    }
};

TEST_F(ProcessTest, SnapshotListsThisProcessFirstThenSimulatedOnes) {
    const DWORD shell = host::AddSimulatedProcess(u"\\Windows\\shell32.exe");
    const DWORD bare = host::AddSimulatedProcess(u"tmail.exe");
    EXPECT_EQ(host::AddSimulatedProcess(u""), 0u);
    ASSERT_NE(shell, 0u);
    ASSERT_NE(bare, shell);

    auto listed = Snapshot();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].id, GetCurrentProcessId());
    EXPECT_EQ(std::u16string(u"\\Windows\\") + listed[0].name, host::CurrentProcessPath());
    // Entries name the executable file without its folder.
    EXPECT_EQ(listed[1].id, shell);
    EXPECT_EQ(listed[1].name, u"shell32.exe");
    EXPECT_EQ(listed[2].id, bare);
    EXPECT_EQ(listed[2].name, u"tmail.exe");

    EXPECT_TRUE(host::RemoveSimulatedProcess(shell));
    EXPECT_FALSE(host::RemoveSimulatedProcess(shell));
    EXPECT_FALSE(host::RemoveSimulatedProcess(GetCurrentProcessId()));
    EXPECT_FALSE(Lists(shell));
    EXPECT_TRUE(Lists(bare));
}

TEST_F(ProcessTest, SnapshotWalkRules) {
    host::AddSimulatedProcess(u"\\Windows\\a.exe");
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
    // A process added after the snapshot was taken is not in it.
    host::AddSimulatedProcess(u"\\Windows\\late.exe");

    // A record whose size is too small is refused and left untouched.
    PROCESSENTRY32 entry;
    std::memset(&entry, 0xA5, sizeof entry);
    entry.dwSize = sizeof entry - 1;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Process32First(snapshot, &entry));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
    EXPECT_EQ(entry.th32ProcessID, 0xA5A5A5A5u);

    entry.dwSize = sizeof entry;
    ASSERT_TRUE(Process32First(snapshot, &entry));
    EXPECT_EQ(entry.dwSize, sizeof entry);
    EXPECT_EQ(entry.th32ProcessID, GetCurrentProcessId());
    ASSERT_TRUE(Process32Next(snapshot, &entry));
    EXPECT_EQ(std::u16string(entry.szExeFile), u"a.exe");
    // Past the last process: ERROR_NO_MORE_FILES, again and again; First starts over.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Process32Next(snapshot, &entry));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_FALSE(Process32Next(snapshot, &entry));
    ASSERT_TRUE(Process32First(snapshot, &entry));
    EXPECT_EQ(entry.th32ProcessID, GetCurrentProcessId());

    EXPECT_TRUE(CloseToolhelp32Snapshot(snapshot));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(Process32First(snapshot, &entry));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(CloseToolhelp32Snapshot(snapshot));
    // A snapshot of no kind at all is refused.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateToolhelp32Snapshot(0, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(ProcessTest, NoSnapshotWithoutADevice) {
    host::ScopedDevice none(nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
}

TEST_F(ProcessTest, StartedProgramSeesTheImageAndEndsWithItsCode) {
    InstallFile(kChild, u"\\Windows\\proc_child.exe");
    WCHAR commandLine[] = u"exit:7  \"quoted words\" exit";
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(u"\\Windows\\proc_child.exe", commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               nullptr, &info))
        << GetLastError();
    EXPECT_NE(info.hProcess, nullptr);
    EXPECT_NE(info.hThread, nullptr);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 7u);
    // The thread handle is signalled too once the program has ended.
    EXPECT_EQ(WaitForSingleObject(info.hThread, 0), WAIT_OBJECT_0);
    // The program wrote into this image, knew its own identifier and its name, and got the
    // command line unchanged as its one argument.
    EXPECT_EQ(ChildText(u"CommandLine"), u"exit:7  \"quoted words\" exit");
    EXPECT_EQ(ChildText(u"ArgumentCount"), u"2");
    EXPECT_EQ(ChildNumber(u"ProcessId"), info.dwProcessId);
    EXPECT_EQ(ChildText(u"SelfName"), u"proc_child.exe");
    EXPECT_FALSE(Lists(info.dwProcessId));
    EXPECT_TRUE(CloseHandle(info.hThread));
    EXPECT_TRUE(CloseHandle(info.hProcess));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(ProcessTest, RunningProgramIsListedUntilItEnds) {
    InstallFile(kChild, u"\\Windows\\proc_child.exe");
    // A bare name is found in \Windows; no command line means no argument.
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(u"proc_child.exe", nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &info));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(ChildText(u"ArgumentCount"), u"1");
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);

    WCHAR slow[] = u"sleep:20000 exit:3";
    ASSERT_TRUE(CreateProcessW(u"\\WINDOWS\\Proc_Child.exe", slow, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               nullptr, &info));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 20), WAIT_TIMEOUT);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    auto listed = Snapshot();
    bool found = false;
    for (const Listed& l : listed)
        if (l.id == info.dwProcessId) found = l.name == u"Proc_Child.exe";  // spelt as it was started
    EXPECT_TRUE(found);
    // Terminating gives the code asked for; a second termination of an ended program fails.
    ASSERT_TRUE(TerminateProcess(info.hProcess, 9));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 10000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 9u);
    EXPECT_FALSE(TerminateProcess(info.hProcess, 1));
    EXPECT_FALSE(Lists(info.dwProcessId));
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

TEST_F(ProcessTest, StartFailuresUseThePlatformsErrors) {
    {
        std::ofstream text(m_dir / "notes.txt");
        text << "#!/bin/sh\nexit 0\n";
    }
    InstallFile(m_dir / "notes.txt", u"\\Windows\\notes.exe");
    InstallFile(std::filesystem::path(VX_TEST_DATA_DIR) / "comserver.so", u"\\Windows\\library.exe");
    ASSERT_EQ(CreateDirectoryW(u"\\Windows\\folder.exe", nullptr), TRUE);
    struct Case {
        const char16_t* name;
        DWORD error;
    };
    const Case cases[] = {
        {u"\\Windows\\missing.exe", ERROR_FILE_NOT_FOUND},
        {u"\\Nowhere\\missing.exe", ERROR_PATH_NOT_FOUND},
        {u"\\Windows\\notes.exe", ERROR_BAD_EXE_FORMAT},   // a script is not a device program
        {u"\\Windows\\library.exe", ERROR_BAD_EXE_FORMAT}, // nor is a library
        {u"\\Windows\\folder.exe", ERROR_ACCESS_DENIED},
        {u"\\Windows\\..\\..\\bin\\sh", ERROR_INVALID_NAME},
        {u"", ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        PROCESS_INFORMATION info;
        std::memset(&info, 0xA5, sizeof info);
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(CreateProcessW(c.name, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &info))
            << ToUtf8(c.name);
        EXPECT_EQ(GetLastError(), c.error) << ToUtf8(c.name);
        EXPECT_EQ(info.dwProcessId, 0xA5A5A5A5u) << ToUtf8(c.name);
    }
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CreateProcessW(nullptr, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // Handles of other kinds are not processes.
    DWORD code = 0xdeadbeef;
    EXPECT_FALSE(GetExitCodeProcess(nullptr, &code));
    EXPECT_EQ(code, 0xdeadbeefu);
    EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_FAILED);
}

}  // namespace

// A device whose clock is played passes a wait at once and counts it on its clock; any other
// device waits for real.
TEST_F(ProcessTest, WaitsOnAPlayedClockPassAtOnce) {
    using Clock = std::chrono::steady_clock;
    const DWORD before = GetTickCount();
    auto start = Clock::now();
    Sleep(30);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));

    ASSERT_TRUE(m_device->SetSetting("clock", "played"));
    start = Clock::now();
    Sleep(120000);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(60));
    EXPECT_GE(GetTickCount() - before, 120030u);
}
