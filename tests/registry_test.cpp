// The registry calls as the platform defines them: exact error codes, out parameters untouched on
// failure, case-insensitive names that keep their spelling, Windows CE's subtree deletion, and
// writes that another process sees at once.
#include <signal.h>
#include <sys/wait.h>

#include <cstring>

#include "host/registry/regfile.h"
#include "reg_test_image.h"

namespace {

const HKEY kBadKey = reinterpret_cast<HKEY>(uintptr_t(0x1234));

class RegistryTest : public RegImageTest {};

TEST_F(RegistryTest, OpenAndCreateFollowTheDevicesRules) {
    HKEY key = nullptr;
    DWORD disposition = kSentinel;
    /* A path of several levels is created at once; again, in other case, it is opened. */
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Vexor\\7.0", 0, nullptr, 0, 0, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vexor\\7.0", 0, nullptr, 0, 0, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);

    /* Access masks are not enforced: a key opened with access 0 can be written. */
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\VEXOR\\7.0\\", 0, 0, &key), ERROR_SUCCESS);
    SetDword(key, u"Skin", 3);
    /* A null subkey opens the same key again under a new handle. */
    HKEY again = nullptr;
    ASSERT_EQ(RegOpenKeyExW(key, nullptr, 0, 0, &again), ERROR_SUCCESS);
    EXPECT_NE(again, key);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(again, u"SKIN", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);

    /* Failures set the result to null: a missing key, a bad handle, a leading or doubled '\',
       a name over 255 units. The roots are separate trees. */
    struct Case {
        HKEY root;
        std::u16string path;
        LONG error;
    } cases[] = {
        {HKEY_CURRENT_USER, u"Software\\Vexor", ERROR_FILE_NOT_FOUND},
        {kBadKey, u"Software", ERROR_INVALID_HANDLE},
        {HKEY_USERS, u"Software", ERROR_INVALID_HANDLE},
        {HKEY_LOCAL_MACHINE, u"\\Software", ERROR_BAD_PATHNAME},
        {HKEY_LOCAL_MACHINE, u"Software\\\\Vexor", ERROR_BAD_PATHNAME},
        {HKEY_LOCAL_MACHINE, std::u16string(256, u'k'), ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        key = reinterpret_cast<HKEY>(uintptr_t(kSentinel));
        EXPECT_EQ(RegOpenKeyExW(c.root, c.path.c_str(), 0, 0, &key), c.error) << ToUtf8(c.path);
        EXPECT_EQ(key, nullptr);
    }
    key = reinterpret_cast<HKEY>(uintptr_t(kSentinel));
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, std::u16string(256, u'k').c_str(), 0, nullptr, 0, 0, nullptr, &key,
                              nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(key, nullptr);
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, std::u16string(255, u'k').c_str()));
}

TEST_F(RegistryTest, QueryReportsSizeAndMoreDataWithoutTouchingTheBuffer) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Q");
    SetSz(HKEY_CURRENT_USER, u"Q", u"Text", u"hello");  // 12 bytes with the terminator

    /* No buffer: the type and the needed size. */
    DWORD type = kSentinel, size = kSentinel;
    ASSERT_EQ(RegQueryValueExW(key, u"text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, 12u);

    /* A short buffer: ERROR_MORE_DATA, the needed size, the buffer untouched. */
    BYTE buffer[16];
    memset(buffer, 0xAA, sizeof buffer);
    size = 11;
    EXPECT_EQ(RegQueryValueExW(key, u"Text", nullptr, nullptr, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 12u);
    for (BYTE b : buffer) EXPECT_EQ(b, 0xAA);

    /* A large enough buffer: the bytes and their count, nothing written beyond. */
    size = sizeof buffer;
    ASSERT_EQ(RegQueryValueExW(key, u"TEXT", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const WCHAR*>(buffer)), u"hello");
    EXPECT_EQ(buffer[12], 0xAA);

    /* A missing value: ERROR_FILE_NOT_FOUND with type and size untouched; a buffer needs a size. */
    type = size = kSentinel;
    EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(type, kSentinel);
    EXPECT_EQ(size, kSentinel);
    EXPECT_EQ(RegQueryValueExW(key, u"Text", nullptr, nullptr, buffer, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(kBadKey, u"Text", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    RegCloseKey(key);
}

TEST_F(RegistryTest, SetStoresExactlyTheBytesGivenUnderTheFirstSpelling) {
    HKEY key = Create(HKEY_CURRENT_USER, u"S");
    /* A REG_SZ without its terminator stays without it. */
    ASSERT_EQ(RegSetValueExW(key, u"NoNul", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"ab"), 4), ERROR_SUCCESS);
    DWORD size = 0, type = kSentinel;
    ASSERT_EQ(RegQueryValueExW(key, u"NoNul", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);

    /* The default value is the empty name, also reached by a null name; empty data is kept. */
    ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    size = kSentinel;
    ASSERT_EQ(RegQueryValueExW(key, u"", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_BINARY));
    EXPECT_EQ(size, 0u);

    /* Overwriting in other case replaces type and data but keeps the first spelling. */
    SetSz(HKEY_CURRENT_USER, u"S", u"MixedCase", u"x");
    SetDword(key, u"MIXEDCASE", 5);
    WCHAR name[32];
    DWORD nameLen = 32;
    ASSERT_EQ(RegEnumValueW(key, 1, name, &nameLen, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"MixedCase");
    EXPECT_EQ(type, DWORD(REG_DWORD));

    /* Value names hold up to 255 units and no control character; data needs a buffer. */
    DWORD one = 1;
    SetDword(key, std::u16string(255, u'v').c_str(), 1);
    EXPECT_EQ(RegSetValueExW(key, std::u16string(256, u'v').c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(key, u"a\nb", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(key, u"x", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(RegistryTest, DeleteKeyRemovesTheWholeSubtreeAndItsHandlesReportIt) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Del\\A\\B\\C");
    SetDword(key, u"deep", 1);
    RegCloseKey(key);
    HKEY top = Create(HKEY_LOCAL_MACHINE, u"Del");
    SetDword(top, u"keep", 2);
    EXPECT_EQ(RegDeleteValueW(top, u"KEEP"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(top, u"keep"), ERROR_FILE_NOT_FOUND);

    /* RegDeleteKeyW removes a key with three levels of subkeys below it. */
    HKEY open = nullptr;
    ASSERT_EQ(RegOpenKeyExW(top, u"a\\b", 0, 0, &open), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(top, u"A"), ERROR_SUCCESS);
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Del\\A\\B\\C"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Del\\A"));
    EXPECT_EQ(RegDeleteKeyW(top, u"A"), ERROR_FILE_NOT_FOUND);

    /* A handle to a deleted key fails with ERROR_KEY_DELETED on every call, and still closes. */
    DWORD size = kSentinel, one = 1;
    HKEY probe = nullptr;
    WCHAR name[8];
    DWORD nameLen = 8;
    EXPECT_EQ(RegQueryValueExW(open, u"x", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(size, kSentinel);
    EXPECT_EQ(RegSetValueExW(open, u"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_KEY_DELETED);
    EXPECT_EQ(RegOpenKeyExW(open, nullptr, 0, 0, &probe), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCreateKeyExW(open, u"New", 0, nullptr, 0, 0, nullptr, &probe, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumKeyExW(open, 0, name, &nameLen, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(RegFlushKey(open), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(open), ERROR_SUCCESS);

    /* The key itself is never deleted through an empty or null subkey name. */
    EXPECT_EQ(RegDeleteKeyW(top, u""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyW(top, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegFlushKey(top), ERROR_SUCCESS);
    RegCloseKey(top);
}

TEST_F(RegistryTest, EnumerationIsInCaseInsensitiveNameOrder) {
    HKEY key = Create(HKEY_CURRENT_USER, u"E");
    for (const WCHAR* n : {u"beta", u"Alpha", u"\u042f\u0431", u"\u0430\u0440", u"GAMMA"}) {
        RegCloseKey(Create(key, n));
        SetDword(key, n, 1);
    }
    /* Latin before Cyrillic, and within each script without regard to case. */
    const std::u16string expected[] = {u"Alpha", u"beta", u"GAMMA", u"\u0430\u0440", u"\u042f\u0431"};
    WCHAR name[64];
    DWORD nameLen;
    for (DWORD i = 0; i < 5; ++i) {
        nameLen = 64;
        ASSERT_EQ(RegEnumKeyExW(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
        EXPECT_EQ(std::u16string(name), expected[i]);
        EXPECT_EQ(nameLen, expected[i].size());
        nameLen = 64;
        ASSERT_EQ(RegEnumValueW(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
        EXPECT_EQ(std::u16string(name), expected[i]);
    }
    /* Past the end: ERROR_NO_MORE_ITEMS. A name without room for its terminator:
       ERROR_MORE_DATA with buffer and length untouched. */
    wcscpy(name, u"xxxxxxx");
    nameLen = 5;  // "Alpha" needs 6
    EXPECT_EQ(RegEnumKeyExW(key, 5, name, &nameLen, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumValueW(key, 5, name, &nameLen, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &nameLen, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(std::u16string(name), u"xxxxxxx");
    EXPECT_EQ(nameLen, 5u);

    /* A short data buffer: ERROR_MORE_DATA with the needed size; name and type are reported. */
    BYTE small[2] = {0xAA, 0xAA};
    DWORD size = 2, type = kSentinel;
    nameLen = 8;
    EXPECT_EQ(RegEnumValueW(key, 0, name, &nameLen, nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(std::u16string(name), u"Alpha");
    EXPECT_EQ(small[0], 0xAA);

    DWORD subKeys = 0, values = 0, maxSub = 0, maxName = 0, maxData = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, &values, &maxName, &maxData,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 5u);
    EXPECT_EQ(values, 5u);
    EXPECT_EQ(maxSub, 5u);
    EXPECT_EQ(maxName, 5u);
    EXPECT_EQ(maxData, 4u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, WithoutADeviceEveryCallFailsCleanly) {
    host::ScopedDevice none(nullptr);
    HKEY key = reinterpret_cast<HKEY>(uintptr_t(kSentinel));
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, 0, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(RegistryTest, WritesPersistAndAreSharedBetweenProcesses) {
    /* A second device on the same image sees a write at once; the first sees its deletion. */
    std::string error;
    auto second = host::Device::Open(m_dir / "image", &error);
    ASSERT_TRUE(second) << error;
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Shared");
    SetDword(key, u"v", 42);
    {
        host::ScopedDevice scope(second.get());
        /* Handles belong to the device that opened them. */
        DWORD size = 4, value = 0;
        EXPECT_EQ(RegQueryValueExW(key, u"v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
        HKEY other = Create(HKEY_LOCAL_MACHINE, u"shared");
        ASSERT_EQ(RegQueryValueExW(other, u"V", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(value, 42u);
        RegCloseKey(other);
        EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SHARED"), ERROR_SUCCESS);
    }
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueExW(key, u"v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    RegCloseKey(key);

    /* A process killed right after its write returned loses nothing. */
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto device = host::Device::Open(m_dir / "image", &error);
        if (!device) _exit(3);
        host::ScopedDevice scope(device.get());
        HKEY made = nullptr;
        DWORD value = 0x409;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, u"MUI", 0, nullptr, 0, 0, nullptr, &made, nullptr) ||
            RegSetValueExW(made, u"CurLang", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4))
            _exit(4);
        raise(SIGKILL);
        _exit(5);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child exited with " << WEXITSTATUS(status);
    m_scope.reset();
    m_device = host::Device::Open(m_dir / "image", &error);
    ASSERT_TRUE(m_device) << error;
    m_scope = std::make_unique<host::ScopedDevice>(m_device.get());
    HKEY mui = Create(HKEY_CURRENT_USER, u"MUI");
    DWORD value = 0;
    ASSERT_EQ(RegQueryValueExW(mui, u"CurLang", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 0x409u);
    RegCloseKey(mui);
}

}  // namespace

namespace {

// Runs body as another process on the same image and waits for it.
template <class Body>
void InAnotherProcess(const std::filesystem::path& image, Body body) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string error;
        auto device = host::Device::Open(image, &error);
        if (!device) _exit(3);
        host::ScopedDevice scope(device.get());
        _exit(body() ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(RegistryTest, ARepeatedReadSeesAnotherProcessesLaterWrite) {
    /* Reads may be served from memory, but never after another process has committed. */
    HKEY key = Create(HKEY_LOCAL_MACHINE, u"Software\\Vexor\\7.0");
    SetDword(key, u"Swipe", 1);
    auto read = [&](DWORD* value) {
        DWORD size = 4;
        return RegQueryValueExW(key, u"swipe", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    };
    DWORD value = 0;
    ASSERT_EQ(read(&value), ERROR_SUCCESS);
    ASSERT_EQ(read(&value), ERROR_SUCCESS);
    EXPECT_EQ(value, 1u);
    for (DWORD next : {2u, 3u}) {
        InAnotherProcess(m_dir / "image", [next] {
            HKEY other = nullptr;
            return RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\VEXOR\\7.0", 0, 0, &other) == ERROR_SUCCESS &&
                   RegSetValueExW(other, u"SWIPE", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&next), 4) ==
                       ERROR_SUCCESS;
        });
        ASSERT_EQ(read(&value), ERROR_SUCCESS);
        EXPECT_EQ(value, next);
    }
    InAnotherProcess(m_dir / "image", [] { return RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Vexor") == 0; });
    EXPECT_EQ(read(&value), ERROR_KEY_DELETED);
    RegCloseKey(key);
}

}  // namespace

// A key lies at most 512 levels below its root: deeper paths are refused with
// ERROR_BAD_PATHNAME before anything is made, in one call or level by level, and the deepest
// tree exports.
TEST_F(RegistryTest, KeysAreAtMostFiveHundredTwelveLevelsDeep) {
    auto path = [](size_t levels) {
        std::u16string text = u"D";
        for (size_t i = 1; i < levels; ++i) text += u"\\k";
        return text;
    };
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path(513).c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr),
              ERROR_BAD_PATHNAME);
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"D"));
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path(512).c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExW(key, u"one", 0, nullptr, 0, 0, nullptr, &child, nullptr), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegSetValueExW(key, u"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"x"), 4), ERROR_SUCCESS);
    RegCloseKey(key);
    HKEY middle = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path(500).c_str(), 0, 0, &middle), ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyExW(middle, path(13).c_str(), 0, nullptr, 0, 0, nullptr, &child, nullptr),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegCreateKeyExW(middle, path(12).c_str(), 0, nullptr, 0, 0, nullptr, &child, nullptr), ERROR_SUCCESS);
    RegCloseKey(child);
    RegCloseKey(middle);

    std::string text, error;
    ASSERT_TRUE(host::ExportRegistry(*m_device, u"HKEY_LOCAL_MACHINE\\D", &text, &error)) << error;
    EXPECT_NE(text.find("\"v\"=\"x\""), std::string::npos);
}
