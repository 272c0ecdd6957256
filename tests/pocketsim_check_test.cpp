// pocketsim check: what a script's author is told about a package or a configuration script
// before it runs, one finding per line with its line number.
#include <gtest/gtest.h>

#include <string>

#include "run_program.h"

namespace {

using testing_support::PocketsimTestBase;

class PocketsimCheckTest : public PocketsimTestBase {
protected:
    testing_support::RunResult Check(const std::string& text, std::vector<std::string> extra = {}) {
        WriteFile("pkg.xml", text);
        std::vector<std::string> args{"check", (m_dir / "pkg.xml").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return Run(args);
    }
    std::string File() const { return (m_dir / "pkg.xml").string(); }
};

const char kHead[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<package>\n<description ID=\"0419\" NAME=\"X\"/>\n";

TEST_F(PocketsimCheckTest, TheSilentMistakesAreFindingsWithTheirLines) {
    auto r = Check(std::string(kHead) +
                   "<CopyFlie Source=\"\\Windows\\a.txt\" Destination=\"\\Temp\\a.txt\"/>\n"     // 4
                   "<CopyTo FROM=\"\\Windows\\a.txt\"/>\n"                                        // 5
                   "<DeleteRegValue root=\"HKLM\" name=\"x\"/>\n"                                 // 6
                   "<CreateRegValue root=\"HKXX\" path=\"S\" name=\"n\" type=\"SZ\">v</CreateRegValue>\n"   // 7
                   "<CreateRegValue root=\"HKLM\" path=\"S\" name=\"n\" type=\"DWROD\">1</CreateRegValue>\n"  // 8
                   "<If lgn=\"0409\"><Msg text=\"hi\"/></If>\n"                                   // 9
                   "<Swap NAME=\"Windows/greeting.txt\"/>\n"                                      // 10
                   "</package>\n");
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    const std::string f = File();
    EXPECT_NE(r.out.find(f + ":4: error: unknown command CopyFlie (did you mean CopyFile?)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(f + ":5: error: CopyTo has no TO"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(f + ":6: error: DeleteRegValue has no path"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(f + ":7: error: CreateRegValue root=\"HKXX\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(f + ":8: error: CreateRegValue type=\"DWROD\" is not a type the command knows (SZ, DWORD, "
                             "BINARY, MULTI_SZ) (did you mean DWORD?)"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(f + ":9: error: If tests nothing it knows (lng): it never holds"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(f + ":9: warning: If does not test lgn (did you mean lng?)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(f + ":10: error: Swap NAME=\"Windows/greeting.txt\" is not a device path"), std::string::npos)
        << r.out;
}

TEST_F(PocketsimCheckTest, DocumentsThatDoNotLoadGiveLineAndColumn) {
    auto r = Check(std::string(kHead) + "<Msg text=\"a\">\n</package>\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.rfind(File() + ":5:", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(": error: "), std::string::npos) << r.out;

    r = Check("<?xml version=\"1.0\" encoding=\"no-such-code\"?>\n<package/>\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.rfind(File() + ":1:", 0), 0u) << r.out;

    // Latin-1 without a declaration is not UTF-8: the reason says what to declare.
    r = Check("<package>\n<description ID=\"0407\" NAME=\"Deutsch\"/>\n<Msg text=\"Gr\xfc\xdf" "e\"/>\n</package>\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.rfind(File() + ":3:", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("encoding="), std::string::npos) << r.out;
}

TEST_F(PocketsimCheckTest, DefaultsAreWarningsAndValuesTheHandlerCannotUseAreErrors) {
    auto r = Check(std::string(kHead) + "<CreateRegValue path=\"S\" name=\"n\">v</CreateRegValue>\n</package>\n");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find(":4: warning: CreateRegValue has no root: HKLM is used"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(":4: warning: CreateRegValue has no type: SZ is used"), std::string::npos) << r.out;

    r = Check(std::string(kHead) + "<ldrename ID=\"x\" FROM=\"a\" TO=\"b\" ROOT=\"\\Windows\"/>\n</package>\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, File() + ":4: warning: ldrename runs, but the companion merge finds only LDRename, spelt so: its ID "
                              "pairs nothing\n");

    r = Check("<package>\n<description id=\"0419\" NAME=\"X\"/>\n</package>\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find(":2: error: description has no ID"), std::string::npos) << r.out;

    r = Check(std::string(kHead) +
              "<CreateRegValue root=\"HKCU\" path=\"S\" name=\"n\" type=\"DWORD\">ten</CreateRegValue>\n"
              "<CreateRegValue root=\"HKCR\" path=\"S\" name=\"n\" type=\"BINARY\">01 zz</CreateRegValue>\n"
              "<CreateRegValue root=\"HKLM\" path=\"S\" name=\"n\" type=\"SZ\"></CreateRegValue>\n"
              "<LDRename FROM=\"a\" TO=\"b\\c\" ROOT=\"\\Windows\"/>\n"
              "<DeleteRegKey root=\"HKLM\" path=\"S\" name=\"\"/>\n"
              "<CopyFile Source=\"\\Windows\\..\\x\" Destination=\"\\x\"/>\n"
              "<HideFile Name=\"\\x\"/>\n"
              "</package>\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find(":4: error: CreateRegValue value \"ten\" is not a hexadecimal number"), std::string::npos);
    EXPECT_NE(r.out.find(":5: error: CreateRegValue value \"01 zz\" is not hexadecimal bytes"), std::string::npos);
    EXPECT_NE(r.out.find(":6: error: CreateRegValue has no Data"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(":7: error: LDRename TO=\"b\\c\" holds a \\"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(":8: error: DeleteRegKey name=\"\" is empty"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(":9: error: CopyFile Source=\"\\Windows\\..\\x\" holds a . or .. name"), std::string::npos);
    EXPECT_NE(r.out.find(":10: error: HideFile is a command of the configuration runner"), std::string::npos) << r.out;

    // An If inside another element cannot be removed; as the last one, it fails the run.
    r = Check(std::string(kHead) + "<If lng=\"0409\">\n<If lng=\"0409\"><Msg text=\"a\"/></If>\n</If>\n</package>\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find(":5: error: the document's last If is inside another element"), std::string::npos) << r.out;

    // The runner's table holds HideFile and tests rom; its ROM versions need an operator.
    WriteFile("config.xml", "<muiconfig>\n<HideFile Name=\"\\x\"/>\n<If rom=\"1.2.3\"><SetRebootFlag/></If>\n"
                            "<If rom=\"G1.2.3\" lng=\"409\"><SetRebootFlag/></If>\n</muiconfig>\n");
    r = Run({"check", "--table", "muiapply", (m_dir / "config.xml").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, (m_dir / "config.xml").string() +
                         ":3: error: If rom=\"1.2.3\" does not start with E, G or L (equal, greater, less): the If "
                         "never holds\n")
        << r.out;
}

TEST_F(PocketsimCheckTest, CompanionIdsWithoutAPartner) {
    WriteFile("from.xml", std::string(kHead) +
                              "<LDRename ID=\"games\" FROM=\"x\" TO=\"Games\" ROOT=\"\\Windows\"/>\n"
                              "<LDRename ID=\"old\" FROM=\"x\" TO=\"Old\" ROOT=\"\\Windows\"/>\n</package>\n");
    auto r = Check(std::string(kHead) +
                       "<LDRename ID=\"games\" FROM=\"Games\" TO=\"Igry\" ROOT=\"\\Windows\"/>\n"
                       "<LDRename ID=\"new\" FROM=\"New\" TO=\"Novoe\" ROOT=\"\\Windows\"/>\n"
                       "<LDRename id=\"old\" FROM=\"Old\" TO=\"Staroe\" ROOT=\"\\Windows\"/>\n</package>\n",
                   {"--companion", (m_dir / "from.xml").string()});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const std::string from = (m_dir / "from.xml").string();
    // The merge reads ID in capitals: the lower-case id on line 6 pairs nothing.
    EXPECT_EQ(r.out, File() + ":6: warning: LDRename pairs with its companion by ID, in capitals: this one pairs "
                              "nothing\n" +
                         File() + ":5: warning: LDRename ID=\"new\" has no partner in " + from +
                         ": its FROM stays as written\n" + from + ":5: warning: LDRename ID=\"old\" has no partner in " +
                         File() + ": its TO is not used\n");
}

TEST_F(PocketsimCheckTest, TheSamplesCheckCleanAndBadUsageExitsTwo) {
    const std::string samples = std::string(VX_SOURCE_DIR) + "/frontend/samples/";
    auto r = Run({"check", samples + "vl_0409.xml", samples + "vl_0419.xml", "--companion", samples + "vl_0409.xml"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("error"), std::string::npos) << r.out;
    r = Run({"check", "--table", "muiapply", samples + "muiconfig.xml"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "");

    EXPECT_EQ(Run({"check"}).exitCode, 2);
    EXPECT_EQ(Run({"check", "--table", "boot", samples + "vl_0409.xml"}).exitCode, 2);
    r = Run({"check", (m_dir / "missing.xml").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("missing.xml: error: "), std::string::npos) << r.out;
}

}  // namespace
