// End-to-end: `pocketsim ls`, `get` and `put` on fresh images.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run_program.h"

namespace fs = std::filesystem;

namespace {

class PocketsimFilesTest : public testing_support::PocketsimTestBase {
protected:
    std::string HostFile(const std::string& name) {
        std::ifstream in(m_dir / name, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
};

}  // namespace

// A file put in comes back out byte for byte, and ls lists it with its size, folders first.
TEST_F(PocketsimFilesTest, PutListGetRoundTrip) {
    Init();
    const std::string bytes("binary\0\xff\r\nend", 13);
    WriteFile("in.bin", bytes);
    auto r = Run({"put", m_image, (m_dir / "in.bin").string(), "\\Temp\\in.bin"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    ASSERT_EQ(Run({"put", m_image, (m_dir / "in.bin").string(), "\\Temp\\b.bin"}).exitCode, 0);
    ASSERT_TRUE(fs::create_directory(fs::path(m_image) / "store" / "Temp" / "Sub"));
    r = Run({"ls", m_image, "\\Temp"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "<DIR> Sub\n13 b.bin\n13 in.bin\n");
    r = Run({"get", m_image, "\\Temp\\in.bin", (m_dir / "out.bin").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(HostFile("out.bin"), bytes);
    r = Run({"ls", m_image});
    EXPECT_EQ(r.out, "<DIR> My Documents\n<DIR> Program Files\n<DIR> Temp\n<DIR> Windows\n");
}

// Device paths stay in the image, missing files and folders fail with the platform's reason,
// a failed get leaves the host file as it was, and bad usage exits 2.
TEST_F(PocketsimFilesTest, ErrorsAndPathsOutsideTheImage) {
    Init();
    WriteFile("keep.txt", "kept");
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string reason;
    } cases[] = {
        {{"get", m_image, "\\..\\..\\keep.txt", (m_dir / "keep.txt").string()}, 1, "ERROR_INVALID_NAME"},
        {{"put", m_image, (m_dir / "keep.txt").string(), "\\..\\..\\escaped.txt"}, 1, "ERROR_INVALID_NAME"},
        {{"get", m_image, "\\Temp\\none.txt", (m_dir / "keep.txt").string()}, 1, "ERROR_FILE_NOT_FOUND"},
        {{"put", m_image, (m_dir / "keep.txt").string(), "\\NoDir\\a.txt"}, 1, "ERROR_PATH_NOT_FOUND"},
        {{"put", m_image, (m_dir / "missing.txt").string(), "\\Temp\\a.txt"}, 1, "missing.txt"},
        {{"ls", m_image, "\\Nope"}, 1, "ERROR_FILE_NOT_FOUND"},
        {{"ls", m_image, "\\Windows\\Lingo.cpl"}, 1, "is a file"},
        {{"get", m_image, "\\Temp\\none.txt"}, 2, "get takes"},
        {{"put", m_image}, 2, "put takes"},
        {{"ls"}, 2, "ls takes"},
    };
    for (const Case& c : cases) {
        auto r = Run(c.args);
        EXPECT_EQ(r.exitCode, c.code) << r.err;
        EXPECT_EQ(Lines(r.err), 1) << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(HostFile("keep.txt"), "kept");
    EXPECT_FALSE(fs::exists(m_dir / "escaped.txt"));
    EXPECT_FALSE(fs::exists(fs::path(m_image) / "escaped.txt"));
}

// A program put into the image is data: a copy of the installed configuration runner is refused
// when a script starts it, while the installed one starts.
TEST_F(PocketsimFilesTest, APutProgramNeverRuns) {
    Init();
    ASSERT_EQ(Run({"get", m_image, "\\Windows\\muiapply.exe", (m_dir / "m.exe").string()}).exitCode, 0);
    ASSERT_EQ(Run({"put", m_image, (m_dir / "m.exe").string(), "\\Windows\\copy.exe"}).exitCode, 0);
    WriteFile("c.xml",
              "<config>\n<StartProcess NAME=\"\\Windows\\copy.exe\" CMDLINE=\"x\"/>\n"
              "<StartProcess NAME=\"\\Windows\\muiapply.exe\" CMDLINE=\"\\Temp\\none.xml\"/>\n</config>\n");
    ASSERT_EQ(Run({"put", m_image, (m_dir / "c.xml").string(), "\\Temp\\c.xml"}).exitCode, 0);
    auto r = Run({"muiapply", m_image, "\\Temp\\c.xml", "--trace"});
    EXPECT_EQ(r.out, "StartProcess \"\\Windows\\muiapply.exe\" \"\\Temp\\none.xml\"\n");
    EXPECT_NE(r.err.find("\\Temp\\c.xml:2: StartProcess NAME=\"\\Windows\\copy.exe\" CMDLINE=\"x\": failed: "
                         "ERROR_BAD_EXE_FORMAT\n"),
              std::string::npos)
        << r.err;
}

// diff lists what only one image has, files with their sizes, registry lines and database
// records, and nothing for two images that hold the same.
TEST_F(PocketsimFilesTest, DiffListsFilesRegistryAndDatabases) {
    Init();
    const std::string copy = (m_dir / "copy").string();
    fs::copy(m_image, copy, fs::copy_options::recursive);
    auto r = Run({"diff", m_image, copy});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    WriteFile("n.txt", "12345");
    ASSERT_EQ(Run({"put", copy, (m_dir / "n.txt").string(), "\\Temp\\n.txt"}).exitCode, 0);
    WriteFile("v.reg", "REGEDIT4\n\n[HKEY_CURRENT_USER\\MUI]\n\"CurLang\"=dword:00000419\n");
    ASSERT_EQ(Run({"reg", "import", copy, (m_dir / "v.reg").string()}).exitCode, 0);
    WriteFile("db.txt", "1#18#7;\n");
    ASSERT_EQ(Run({"db", copy, "load", "Fresh", (m_dir / "db.txt").string()}).exitCode, 0);
    r = Run({"diff", m_image, copy});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "- [HKEY_CURRENT_USER\\MUI] \"CurLang\"=dword:00000409\n"
              "+ \\Temp\\n.txt  5 bytes\n"
              "+ [HKEY_CURRENT_USER\\MUI] \"CurLang\"=dword:00000419\n"
              "+ db Fresh: 1#18#7;\n");
    r = Run({"diff", m_image, (m_dir / "none").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Run({"diff", m_image}).exitCode, 2);
}
