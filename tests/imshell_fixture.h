// Shared pieces of the input method shell tests: an image with the vexor library installed as
// \Windows\vexor.dll and loaded, and registry helpers.
#pragma once

#include <map>
#include <string>

#include "platform/com.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "test_image.h"

namespace imtest {

inline const CLSID kClsidKeybInput =
    DEFINE_GUID_VALUE(0x0ADFAAAF, 0x2E1A, 0x4A75, 0x90, 0xA8, 0x6C, 0x1E, 0x62, 0xA3, 0xA6, 0x29);
inline void* const kBadPointer = reinterpret_cast<void*>(uintptr_t(0xDEADBEEF));

class VexorImage : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        if (HasFatalFailure()) return;
        std::filesystem::create_directories(m_device->StoreRoot() / "Windows");
        InstallFile(VX_VEXOR_LIBRARY, u"\\Windows\\vexor.dll");
        m_module = LoadLibraryW(u"\\Windows\\vexor.dll");
        ASSERT_NE(nullptr, m_module) << GetLastError();
    }
    void TearDown() override {
        if (m_module) FreeLibrary(m_module);
        ImageTest::TearDown();
    }

    template <class Fn>
    Fn Export(const WCHAR* name) {
        return reinterpret_cast<Fn>(GetProcAddressW(m_module, name));
    }

    HMODULE m_module = nullptr;
};

// Every value under a key, recursively: "sub\key|name" -> "sz:text" or "dword:N"; the default
// value has an empty name. A missing key gives an empty map.
inline void SnapshotInto(HKEY key, const std::u16string& prefix, std::map<std::string, std::string>* out) {
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        BYTE data[1024];
        DWORD nameLen = 256, dataLen = sizeof data, type = 0;
        if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, data, &dataLen) != ERROR_SUCCESS) break;
        std::string shown;
        if (type == REG_SZ)
            shown = "sz:" + ToUtf8(std::u16string(reinterpret_cast<const WCHAR*>(data), dataLen / 2 - (dataLen >= 2)));
        else if (type == REG_DWORD && dataLen == 4)
            shown = "dword:" + std::to_string(*reinterpret_cast<const DWORD*>(data));
        else
            shown = "type" + std::to_string(type);
        (*out)[ToUtf8(prefix) + "|" + ToUtf8(std::u16string(name, nameLen))] = shown;
    }
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD nameLen = 256;
        if (RegEnumKeyExW(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY child = nullptr;
        const std::u16string sub(name, nameLen);
        if (RegOpenKeyExW(key, sub.c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        (*out)[ToUtf8(prefix.empty() ? sub : prefix + u"\\" + sub) + "\\"] = "key";
        SnapshotInto(child, prefix.empty() ? sub : prefix + u"\\" + sub, out);
        RegCloseKey(child);
    }
}

inline std::map<std::string, std::string> Snapshot(HKEY root, const WCHAR* path) {
    std::map<std::string, std::string> out;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
    SnapshotInto(key, u"", &out);
    RegCloseKey(key);
    return out;
}

inline bool KeyExists(HKEY root, const WCHAR* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

inline void SetText(HKEY root, const WCHAR* path, const WCHAR* name, std::u16string_view text) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const std::u16string value(text);
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                            DWORD((value.size() + 1) * 2)));
    RegCloseKey(key);
}

}  // namespace imtest
