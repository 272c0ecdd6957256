// A fresh device image in a temporary folder, installed as the current device for the
// lifetime of one benchmark, and removed afterwards.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "host/kernel/device.h"

class BenchImage {
public:
    BenchImage() {
        char pattern[] = "/tmp/vx-bench-XXXXXX";
        if (!mkdtemp(pattern)) abort();
        m_dir = pattern;
        std::string error;
        m_device = host::Device::Create(m_dir / "image", false, &error);
        if (!m_device) abort();
        m_scope = std::make_unique<host::ScopedDevice>(m_device.get());
    }
    ~BenchImage() {
        m_scope.reset();
        m_device.reset();
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    BenchImage(const BenchImage&) = delete;
    BenchImage& operator=(const BenchImage&) = delete;
    host::Device& Device() { return *m_device; }

private:
    std::filesystem::path m_dir;
    std::unique_ptr<host::Device> m_device;
    std::unique_ptr<host::ScopedDevice> m_scope;
};
