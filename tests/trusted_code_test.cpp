// Host code in an image runs only when the emulator installed it: a library or program that a
// package or an image's author put there, one changed or moved since it was installed, and one
// whose record this emulator did not seal are refused, and none of their code runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/kernel/database.h"
#include "host/kernel/sha256.h"
#include "platform/files.h"
#include "platform/modules.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "test_image.h"

namespace fs = std::filesystem;

namespace {

std::string Hex(const host::Sha256Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : digest) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

class TrustedCode : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        unsetenv("VX_PLANTED_CODE_RAN");
        CreateDirectoryW(u"\\Windows", nullptr);
    }
    // Copies a file into the image as a package's archive or an image's author would: nothing
    // records it as installed.
    void Plant(const char* dataFile, std::u16string_view devicePath) {
        DWORD error = 0;
        ASSERT_TRUE(m_device->Files().ImportHostFile(fs::path(VX_TEST_DATA_DIR) / dataFile, devicePath, &error));
    }
    // Starts the program and waits for it; the platform's error when it does not start.
    DWORD Start(const WCHAR* path) {
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &info))
            return GetLastError();
        WaitForSingleObject(info.hProcess, INFINITE);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        return ERROR_SUCCESS;
    }
    bool ChildRan() {
        HKEY key = nullptr;
        const bool ran = RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\VxProcessTest", 0, 0, &key) == ERROR_SUCCESS;
        if (key) RegCloseKey(key);
        RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\VxProcessTest");
        return ran;
    }
};

}  // namespace

// A planted shared object, named as a skin or a library, is refused by the loader before any of
// its code runs; read as a data file it is only data.
TEST_F(TrustedCode, PlantedLibrariesNeverRun) {
    Plant("planted_module.so", u"\\Windows\\blue.vxs");
    Plant("planted_module.so", u"\\Windows\\helper.dll");
    for (const WCHAR* path : {u"\\Windows\\blue.vxs", u"helper"}) {
        SetLastError(0);
        EXPECT_EQ(LoadLibraryW(path), nullptr) << ToUtf8(path);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT)) << ToUtf8(path);
    }
    HMODULE data = LoadLibraryExW(u"\\Windows\\blue.vxs", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(data, nullptr);
    if (data) FreeLibrary(data);
    EXPECT_EQ(std::getenv("VX_PLANTED_CODE_RAN"), nullptr);
}

// Programs: one the emulator installed starts; the same bytes planted, copied to another path
// or changed after installation, or recorded under a seal this emulator did not make, do not.
TEST_F(TrustedCode, OnlyInstalledProgramsStart) {
    const fs::path child = fs::path(VX_TEST_DATA_DIR) / "proc_child";
    InstallFile(child, u"\\Windows\\child.exe");
    EXPECT_EQ(Start(u"\\Windows\\child.exe"), DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(ChildRan());
    // Names compare as the device compares them.
    EXPECT_EQ(Start(u"\\WINDOWS\\Child.EXE"), DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(ChildRan());

    Plant("proc_child", u"\\Windows\\planted.exe");
    ASSERT_TRUE(CopyFileW(u"\\Windows\\child.exe", u"\\Windows\\copy.exe", FALSE));
    for (const WCHAR* path : {u"\\Windows\\planted.exe", u"\\Windows\\copy.exe"}) {
        EXPECT_EQ(Start(path), DWORD(ERROR_BAD_EXE_FORMAT)) << ToUtf8(path);
        EXPECT_FALSE(ChildRan()) << ToUtf8(path);
    }

    // A seal made with another key, as an image from someone else carries.
    ASSERT_TRUE(m_device->Db().Exec("UPDATE trusted_code SET seal=zeroblob(32)"));
    EXPECT_EQ(Start(u"\\Windows\\child.exe"), DWORD(ERROR_BAD_EXE_FORMAT));
    EXPECT_FALSE(ChildRan());

    // Changed after it was installed.
    InstallFile(child, u"\\Windows\\child.exe");
    HANDLE file = CreateFileW(u"\\Windows\\child.exe", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "x", 1, &written, nullptr));
    CloseHandle(file);
    EXPECT_EQ(Start(u"\\Windows\\child.exe"), DWORD(ERROR_BAD_EXE_FORMAT));
    EXPECT_FALSE(ChildRan());
}

// The hashes behind the records, against published vectors.
TEST(Sha256, KnownAnswers) {
    host::Sha256 empty;
    EXPECT_EQ(Hex(empty.Finish()), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    host::Sha256 parts;
    parts.Update("abcdbcdecdefdefgefghfghighij");
    parts.Update("hijkijkljklmklmnlmnomnopnopq");
    EXPECT_EQ(Hex(parts.Finish()), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    host::Sha256 million;
    const std::string block(1000, 'a');
    for (int i = 0; i < 1000; ++i) million.Update(block);
    EXPECT_EQ(Hex(million.Finish()), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    const std::string key(20, '\x0b');
    EXPECT_EQ(Hex(host::HmacSha256(key.data(), key.size(), "Hi There", 8)),
              "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
    const std::string longKey(131, '\xaa');
    const std::string text = "Test Using Larger Than Block-Size Key - Hash Key First";
    EXPECT_EQ(Hex(host::HmacSha256(longKey.data(), longKey.size(), text.data(), text.size())),
              "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
}
