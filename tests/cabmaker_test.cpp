// cabmaker run as a build runs it: a description becomes a cabinet whose plan installs what the
// description says; a line it cannot read is named by its number and no cabinet is written.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/cabinet/install_plan.h"
#include "host/shell/shortcut.h"
#include "platform/registry.h"

namespace fs = std::filesystem;

namespace {

class Cabmaker : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vx-cabmaker-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        std::ofstream(m_dir / "tool.bin", std::ios::binary) << "TOOL";
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs cabmaker on the description; its exit status, standard error in *err.
    int Make(const std::string& description, std::string* err) {
        std::ofstream(m_dir / "d.txt", std::ios::binary) << description;
        const std::string command = std::string(VX_CABMAKER) + " " + (m_dir / "d.txt").string() + " " +
                                    (m_dir / "out.cab").string() + " 2>" + (m_dir / "err.txt").string();
        const int status = std::system(command.c_str());
        std::ifstream in(m_dir / "err.txt");
        std::stringstream text;
        text << in.rdbuf();
        *err = text.str();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path m_dir;
};

}  // namespace

TEST_F(Cabmaker, DescriptionBecomesTheCabinetItDescribes) {
    std::string err;
    ASSERT_EQ(Make("# a comment\n"
                   "app Dawn\nprovider \"Norvane Soft\"\nmembers DAWN\n"
                   "file tool.bin \"%CE2%\" Dawnstep.exe\n"
                   "file tool.bin \"%InstallDir%\\Docs\" \"read me.txt\" keep\n"
                   "reg HKLM\\Software\\Dawn Count dword 0x10\n"
                   "reg HKCU\\Software\\Dawn \"\" multi_sz a \"b c\" keep\n"
                   "reg HKLM\\Software\\Dawn Blob binary 00 ff\n"
                   "shortcut \\Windows\\StartUp Dawnstep Dawnstep.exe\n",
                   &err),
              0)
        << err;
    std::ifstream in(m_dir / "out.cab", std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    host::CeCabinet cabinet;
    host::InstallPlan plan;
    std::string error;
    ASSERT_TRUE(host::ReadCeCabinet(bytes.str(), {}, 1252, &cabinet, &error)) << error;
    ASSERT_TRUE(host::PlanInstall(cabinet, &plan, &error)) << error;
    EXPECT_EQ(cabinet.members.front().name, "DAWN.000");
    EXPECT_EQ(plan.recordName, u"Norvane Soft Dawn");
    ASSERT_EQ(plan.files.size(), 2u);
    EXPECT_EQ(plan.files[0].target, u"\\Windows\\Dawnstep.exe");
    EXPECT_EQ(plan.files[1].target, u"\\Program Files\\Dawn\\Docs\\read me.txt");
    EXPECT_TRUE(plan.files[1].keepExisting);
    EXPECT_EQ(cabinet.Member(plan.files[0].member)->bytes, "TOOL");
    ASSERT_EQ(plan.values.size(), 3u);
    EXPECT_EQ(plan.values[0].type, DWORD(REG_DWORD));
    EXPECT_EQ(plan.values[0].data, (std::vector<uint8_t>{0x10, 0, 0, 0}));
    EXPECT_EQ(plan.values[1].root, host::CeRegistryRoot::CurrentUser);
    EXPECT_EQ(plan.values[1].name, u"");
    EXPECT_EQ(plan.values[1].data, (std::vector<uint8_t>{'a', 0, 0, 0, 'b', 0, ' ', 0, 'c', 0, 0, 0, 0, 0}));
    EXPECT_TRUE(plan.values[1].keepExisting);
    EXPECT_EQ(plan.values[2].data, (std::vector<uint8_t>{0, 0xFF}));
    ASSERT_EQ(plan.shortcuts.size(), 1u);
    EXPECT_EQ(plan.shortcuts[0].path, u"\\Windows\\StartUp\\Dawnstep.lnk");
    EXPECT_EQ(plan.shortcuts[0].target, u"\\Windows\\Dawnstep.exe");
}

TEST_F(Cabmaker, RefusesWithTheLineAndWritesNothing) {
    std::string err;
    EXPECT_EQ(Make("app Dawn\nreg HKLM\\Software\\Dawn Count qword 1\n", &err), 1);
    EXPECT_NE(err.find("d.txt:2: unknown type 'qword'"), std::string::npos) << err;
    EXPECT_EQ(Make("app Dawn\nfile missing.bin \"%CE2%\" x.exe\n", &err), 1);
    EXPECT_NE(err.find("missing.bin"), std::string::npos) << err;
    EXPECT_EQ(Make("app Dawn\nfile tool.bin \"%CE2%\" ..\\..\\x\n", &err), 1);
    EXPECT_NE(err.find("the installer would refuse"), std::string::npos) << err;
    EXPECT_EQ(Make("app Dawn\nfile tool.bin \"%CE2%\" a.exe\nshortcut \"%CE4%\" A b.exe\n", &err), 1);
    EXPECT_NE(err.find("none of the files"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(m_dir / "out.cab"));
}
