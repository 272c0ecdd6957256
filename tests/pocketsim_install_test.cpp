// pocketsim install end to end: a cabinet from the host goes through the image's own installer;
// of the host code in it, only the build's own may run afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/cabinet/ce_cabinet_builder.h"
#include "host/cabinet/install_plan.h"
#include "host/kernel/device.h"
#include "host/modules/trusted_code.h"
#include "host/store/object_store.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/winerror.h"
#include "run_program.h"

namespace fs = std::filesystem;
using testing_support::PocketsimTestBase;

namespace {

const fs::path kData = VX_TEST_DATA_DIR;
const fs::path kBuild = fs::path(VX_POCKETSIM).parent_path();

class PocketsimInstall : public PocketsimTestBase {
protected:
    std::string MakeCabinet(const host::CeCabinetDescription& d) {
        std::string bytes, error;
        EXPECT_TRUE(host::BuildCeCabinet(d, &bytes, &error)) << error;
        const std::string path = (m_dir / "t.cab").string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::unique_ptr<host::Device> Open() {
        std::string error;
        auto device = host::Device::Open(m_image, &error);
        EXPECT_TRUE(device) << error;
        return device;
    }
};

}  // namespace

TEST_F(PocketsimInstall, InstallsThroughTheImagesInstallerAndTrustsOnlyTheBuildsCode) {
    Init();
    host::CeCabinetDescription d;
    d.appName = u"Dawn";
    d.provider = u"Norvane";
    d.memberBase = "DAWN";
    d.files.push_back({{{}, "hello"}, u"%CE2%", u"hello.txt", 0});
    d.files.push_back({{kBuild / "flashmgr.so", {}}, u"%CE2%", u"devinfo.dll", 0});
    d.files.push_back({{kData / "planted_module.so", {}}, u"%CE2%", u"planted.dll", 0});
    d.values.push_back({host::CeRegistryRoot::LocalMachine, u"Software\\Dawn", u"On", REG_DWORD, {1, 0, 0, 0}});
    d.shortcuts.push_back({u"\\Windows\\StartUp", u"Hello", u"hello.txt"});
    d.setupLibrary = host::CabinetContent{kData / "cab_setup.so", {}};
    const std::string cabinet = MakeCabinet(d);
    // The test's setup library is no part of the build: it is trusted as the emulator would
    // trust the package's own.
    {
        auto device = Open();
        std::ifstream in(kData / "cab_setup.so", std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        std::string reason;
        ASSERT_TRUE(host::TrustExpectedCode(*device, u"\\Windows\\DAWN.999", host::HashBytes(bytes.str()), &reason))
            << reason;
    }

    auto r = Run({"install", m_image, cabinet});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "file \\Windows\\hello.txt\n"
              "file \\Windows\\devinfo.dll\n"
              "file \\Windows\\planted.dll\n"
              "reg HKLM\\Software\\Dawn \"On\"\n"
              "shortcut \\Windows\\StartUp\\Hello.lnk\n"
              "installed \"Norvane Dawn\"\n");
    r = Run({"ls", m_image, "\\Temp"});
    EXPECT_EQ(r.out, "");

    auto device = Open();
    host::ScopedDevice scope(device.get());
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\VxCabTest", 0, 0, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key, u"ExitCalls", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
    HMODULE own = LoadLibraryW(u"\\Windows\\devinfo.dll");
    EXPECT_NE(own, nullptr);
    if (own) FreeLibrary(own);
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(u"\\Windows\\planted.dll"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));
}

TEST_F(PocketsimInstall, RefusalsAreOneLineAndChangeNothing) {
    Init();
    auto r = Run({"install", m_image, (m_dir / "missing.cab").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("missing.cab"), std::string::npos) << r.err;
    WriteFile("text.cab", "just some text");
    r = Run({"install", m_image, (m_dir / "text.cab").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("not a cabinet"), std::string::npos) << r.err;
    EXPECT_EQ(Lines(r.err), 1);

    // The setup library is not the build's: it does not load, and nothing is installed.
    host::CeCabinetDescription d;
    d.appName = u"Dawn";
    d.files.push_back({{{}, "hello"}, u"%CE2%", u"hello.txt", 0});
    d.setupLibrary = host::CabinetContent{kData / "planted_module.so", {}};
    const std::string before = Run({"reg", "export", m_image}).out;
    r = Run({"install", m_image, MakeCabinet(d)});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("wceload: \\Temp\\t.cab: the setup library \\Windows\\SETUP.999 does not load"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Lines(r.err), 1);
    EXPECT_EQ(Run({"get", m_image, "\\Windows\\hello.txt", (m_dir / "out").string()}).exitCode, 1);
    EXPECT_EQ(Run({"reg", "export", m_image}).out, before);
    EXPECT_EQ(Run({"ls", m_image, "\\Temp"}).out, "");
    EXPECT_EQ(Run({"install", m_image}).exitCode, 2);
}

// The build's code recorded ahead for a path whose trusted file the installation keeps: the kept
// file stays runnable.
TEST_F(PocketsimInstall, KeptHostCodeStaysRunnable) {
    Init();
    host::CeCabinetDescription d;
    d.appName = u"Keep";
    d.files.push_back({{kBuild / "flashmgr.so", {}}, u"%CE2%", u"muiapply.exe", host::kCeFileNoOverwrite});
    const auto r = Run({"install", m_image, MakeCabinet(d)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "file \\Windows\\muiapply.exe kept\ninstalled \"Keep\"\n");
    auto device = Open();
    fs::path hostPath;
    DWORD error = 0;
    ASSERT_TRUE(device->Files().ResolveExisting(u"\\Windows\\muiapply.exe", &hostPath, &error));
    std::string reason;
    const int fd = host::OpenTrustedCode(*device, u"\\Windows\\muiapply.exe", hostPath, &error, &reason);
    EXPECT_GE(fd, 0) << reason;
    if (fd >= 0) close(fd);
}
