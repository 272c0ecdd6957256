// A fresh device image per registry test, installed as the current device, with small helpers
// that write through the platform calls.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "host/device.h"
#include "platform/registry.h"
#include "platform/text.h"

class RegImageTest : public ::testing::Test {
protected:
    static constexpr DWORD kSentinel = 0xdeadbeef;

    void SetUp() override {
        char pattern[] = "/tmp/vx-reg-XXXXXX";
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
    std::unique_ptr<host::Device> NewImage(const char* name) {
        std::string error;
        auto device = host::Device::Create(m_dir / name, false, &error);
        EXPECT_TRUE(device) << error;
        return device;
    }

    HKEY Create(HKEY root, const WCHAR* path) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_SUCCESS);
        return key;
    }
    void Set(HKEY root, const WCHAR* path, const WCHAR* name, DWORD type, const void* data, DWORD size) {
        HKEY key = Create(root, path);
        EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void SetSz(HKEY root, const WCHAR* path, const WCHAR* name, std::u16string_view text) {
        std::u16string withNul(text);
        withNul += u'\0';
        Set(root, path, name, REG_SZ, withNul.data(), DWORD(withNul.size() * 2));
    }
    void SetDword(HKEY key, const WCHAR* name, DWORD value) {
        EXPECT_EQ(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_SUCCESS);
    }
    bool Exists(HKEY root, const WCHAR* path) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, path, 0, 0, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }

    std::filesystem::path m_dir;
    std::unique_ptr<host::Device> m_device;
    std::unique_ptr<host::ScopedDevice> m_scope;
};
