// A fresh device image per registry test, installed as the current device, with small helpers
// that write through the platform calls.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "test_image.h"
#include "host/kernel/device.h"
#include "platform/registry.h"
#include "platform/text.h"

class RegImageTest : public ImageTest {
protected:
    static constexpr DWORD kSentinel = 0xdeadbeef;

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

};
