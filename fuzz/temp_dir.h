// A scratch folder under /tmp for a fuzz target's device images, removed with everything in it
// when the target exits.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

struct FuzzTempDir {
    explicit FuzzTempDir(const char* prefix) {
        std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
        if (!mkdtemp(pattern.data())) abort();
        path = pattern;
    }
    ~FuzzTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    FuzzTempDir(const FuzzTempDir&) = delete;
    FuzzTempDir& operator=(const FuzzTempDir&) = delete;

    std::filesystem::path path;
};
