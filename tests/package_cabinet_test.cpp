// The package's own cabinet on a device without it, and the boots after: what a person sees from
// the installation to the first switch of the interface language.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "run_program.h"

namespace {

class PackageCabinet : public testing_support::PocketsimTestBase {
protected:
    static std::string Cabinet() { return (std::filesystem::path(VX_POCKETSIM).parent_path() / "Vexor.CAB").string(); }
    std::string Export(const std::string& key = {}) {
        auto r = key.empty() ? Run({"reg", "export", m_image}) : Run({"reg", "export", m_image, key});
        EXPECT_EQ(0, r.exitCode) << r.err;
        return r.out;
    }
    std::string List(const std::string& folder) {
        auto r = Run({"ls", m_image, folder});
        EXPECT_EQ(0, r.exitCode) << r.err;
        return r.out;
    }
    static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
};

TEST_F(PackageCabinet, InstallsOnABareDeviceAndFinishesAtTheFirstBoot) {
    Init({"--bare"});
    auto r = Run({"install", m_image, Cabinet()});
    ASSERT_EQ(0, r.exitCode) << r.err << r.out;
    EXPECT_TRUE(Has(r.out, "StartProcess \"\\Windows\\DevPrep.exe\" \"\"\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "installed \"Norvane Vexor\"\n")) << r.out;
    // The setup library took the installer's record and its own key away.
    std::string reg = Export();
    EXPECT_FALSE(Has(reg, "TMPAPPS")) << reg;
    EXPECT_FALSE(Has(reg, "Norvane Vexor")) << reg;
    EXPECT_TRUE(Has(reg, "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Tiltwatch]")) << reg;
    EXPECT_TRUE(Has(List("\\Windows\\Startup"), "Dawnstep.lnk"));
    EXPECT_TRUE(Has(List("\\Windows"), "SdkCerts.CAB"));

    r = Run({"boot", m_image, "select", "1005", "1", "ok"});
    ASSERT_EQ(0, r.exitCode) << r.err << r.out;
    EXPECT_TRUE(Has(r.out, "driver Tiltwatch: started\n"
                           "startup \"\\\\Windows\\\\Startup\\\\Dawnstep.lnk\": \"\\\\Windows\\\\Dawnstep.exe\"\n"
                           "StartProcess \"\\Windows\\wceload.exe\" \"\\Windows\\SdkCerts.CAB\"\n"))
        << r.out;
    EXPECT_TRUE(Has(r.out, "installed \"Norvane SDK Certificates\"\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "MessageBox \"Сейчас устройство перезагрузится на русском языке.\"")) << r.out;
    EXPECT_TRUE(Has(r.out, "SoftReset\nended \"\\\\Windows\\\\Dawnstep.exe\" exit 0\n")) << r.out;
    // Dawnstep's first steps: the certificates installed, their cabinet, its own shortcut and the
    // package's record gone.
    reg = Export();
    EXPECT_TRUE(Has(reg, "Certificates\\VexorSdk]")) << reg;
    EXPECT_FALSE(Has(reg, "Norvane Vexor")) << reg;
    EXPECT_TRUE(Has(Export("HKEY_CURRENT_USER\\MUI"), "\"CurLang\"=dword:00000419"));
    EXPECT_FALSE(Has(List("\\Windows"), "SdkCerts.CAB"));
    EXPECT_TRUE(Has(List("\\Windows"), "VexorSdk.cer"));
    EXPECT_EQ("", List("\\Windows\\Startup"));

    // The boot after starts nothing, and the keyboard the cabinet registered types.
    r = Run({"boot", m_image});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_EQ("driver Tiltwatch: started\nstartup: nothing to start\n", r.out);
    r = Run({"keyboard", m_image, "type", "Hi"});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_TRUE(Has(r.out, "SendCharEvents 0x48 0x20000080 U+0048\n")) << r.out;

    // Turning the screen points the Today skin at the landscape file.
    r = Run({"rotate", m_image});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_TRUE(Has(Export("HKEY_LOCAL_MACHINE\\Software\\iPAQ Entertainment"), "hpSkinTodayPluginL.skin"));
}

// pocketsim init is the bare device with the cabinet installed: the same package, left as the
// installation leaves it.
TEST_F(PackageCabinet, InitLeavesWhatTheCabinetAndItsSetupLeave) {
    Init();
    const std::string windows = List("\\Windows");
    for (const char* file : {"vexor.dll", "Lingo.cpl", "muiapply.exe", "Dawnstep.exe", "rebooter.exe", "DevPrep.exe",
                             "Tiltwatch.dll", "SdkCerts.CAB", "wceload.exe", "keyboards.dll", "russian.vxb"})
        EXPECT_TRUE(Has(windows, file)) << file;
    // The setup library is the installer's only, never left on the device.
    EXPECT_FALSE(Has(windows, ".999")) << windows;
    EXPECT_FALSE(Has(windows, "Packhook")) << windows;
    EXPECT_TRUE(Has(List("\\Windows\\Startup"), "Dawnstep.lnk"));
    const std::string reg = Export();
    EXPECT_FALSE(Has(reg, "TMPAPPS"));
    EXPECT_FALSE(Has(reg, "Norvane Vexor"));
}

}  // namespace
