// A fresh device image per test: a temporary folder holding IMAGE (folder "image"), installed
// as the process's device for the length of the test, and removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "host/kernel/device.h"
#include "host/modules/trusted_code.h"
#include "host/store/object_store.h"

template <class Base = ::testing::Test>
class ImageTestBase : public Base {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vx-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_device = NewImage("image");
        ASSERT_TRUE(m_device);
        m_scope = std::make_unique<host::ScopedDevice>(m_device.get());
    }
    void TearDown() override {
        m_scope.reset();
        m_device.reset();
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }

    // Another image beside the test's own, not installed.
    std::unique_ptr<host::Device> NewImage(const char* name) {
        std::string error;
        auto device = host::Device::Create(m_dir / name, false, &error);
        EXPECT_TRUE(device) << error;
        return device;
    }
    // Copies a file of the build (test data, skins, libraries) into the image, as the emulator
    // installs it: host code (ELF files) is recorded as installed, so that it may run.
    void InstallFile(const std::filesystem::path& hostFile, std::u16string_view devicePath) {
        DWORD error = 0;
        ASSERT_TRUE(m_device->Files().ImportHostFile(hostFile, devicePath, &error))
            << hostFile << " error " << error;
        char magic[4] = {};
        std::ifstream(hostFile, std::ios::binary).read(magic, sizeof magic);
        if (std::string_view(magic, 4) != "\x7f" "ELF") return;
        std::string reason;
        ASSERT_TRUE(host::TrustInstalledCode(*m_device, devicePath, &reason)) << reason;
    }

    std::filesystem::path m_dir;
    std::unique_ptr<host::Device> m_device;
    std::unique_ptr<host::ScopedDevice> m_scope;
};

using ImageTest = ImageTestBase<>;

// What an image's object store holds as the device counts it: the sizes of the regular files
// below store/, measured on the host.
inline uint64_t StoredBytes(const std::filesystem::path& storeRoot) {
    uint64_t total = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(storeRoot))
        if (entry.is_regular_file() && !entry.is_symlink()) total += entry.file_size();
    return total;
}
