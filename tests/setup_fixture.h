// What the tests of the install and boot utilities and of the rotation driver share: a fresh
// image with the registry helpers, the built files' paths, reading values back, registering a
// driver, and installing a built module into an image that pocketsim made.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "reg_test_image.h"
#include "host/kernel/device.h"
#include "host/modules/trusted_code.h"
#include "host/store/object_store.h"
#include "platform/files.h"

namespace setup_tests {

namespace fs = std::filesystem;

inline const fs::path kData = VX_TEST_DATA_DIR;

// A REG_SZ read back with its size in bytes; false when the value is missing or of another type.
inline bool ReadSz(HKEY root, const WCHAR* path, const WCHAR* name, std::u16string* text, DWORD* bytes = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    WCHAR buffer[1024] = {};
    DWORD type = 0, size = sizeof buffer - sizeof(WCHAR);
    const LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
    *text = buffer;
    if (bytes) *bytes = size;
    return true;
}

inline DWORD ReadDword(HKEY root, const WCHAR* path, const WCHAR* name, DWORD fallback) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return fallback;
    DWORD value = 0, type = 0, size = sizeof value;
    const LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_DWORD ? value : fallback;
}

// Installs a built file into an image made by pocketsim (not the process's device) as the
// emulator installs host code: copied and recorded as trusted. False with a reason.
inline bool InstallIntoImage(const fs::path& image, const fs::path& built, std::u16string_view devicePath,
                             std::string* reason) {
    auto device = host::Device::Open(image, reason);
    if (!device) return false;
    host::ScopedDevice scope(device.get());
    DWORD error = 0;
    if (!device->Files().ImportHostFile(built, devicePath, &error)) {
        *reason = "import failed with error " + std::to_string(error);
        return false;
    }
    return host::TrustInstalledCode(*device, devicePath, reason);
}

class SetupTest : public RegImageTest {
protected:
    void SetUp() override {
        RegImageTest::SetUp();
        ASSERT_TRUE(CreateDirectoryW(u"\\Windows", nullptr));
    }
    // HKEY_LOCAL_MACHINE "Drivers\BuiltIn\NAME"; an empty dll or prefix is left out, order < 0 too.
    void RegisterDriver(const WCHAR* name, std::u16string_view dll, std::u16string_view prefix, long order) {
        const std::u16string path = std::u16string(u"Drivers\\BuiltIn\\") + name;
        HKEY key = Create(HKEY_LOCAL_MACHINE, path.c_str());
        RegCloseKey(key);
        if (!dll.empty()) SetSz(HKEY_LOCAL_MACHINE, path.c_str(), u"Dll", dll);
        if (!prefix.empty()) SetSz(HKEY_LOCAL_MACHINE, path.c_str(), u"Prefix", prefix);
        if (order >= 0) {
            key = Create(HKEY_LOCAL_MACHINE, path.c_str());
            SetDword(key, u"Order", static_cast<DWORD>(order));
            RegCloseKey(key);
        }
    }
    std::string Journal() const {
        std::ifstream in(m_device->Root() / "journal.log", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

}  // namespace setup_tests
