// The script reference (docs/scripts.md) stays true: its worked example is run as the page says,
// with the output the page shows, and every command of both tables is described in it.
#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"
#include "run_program.h"
#include "runner/mui_engine.h"
#include "script/command_table.h"

namespace {

std::string Reference() { return testing_support::ReadWholeFile(std::string(VX_SOURCE_DIR) + "/docs/scripts.md"); }

// The fenced block that follows the page's marker <!-- example: NAME -->, without its fences.
std::string Example(const std::string& page, const std::string& name) {
    const std::string marker = "<!-- example: " + name + " -->\n```";
    size_t at = page.find(marker);
    if (at == std::string::npos) return "(no example " + name + ")";
    at = page.find('\n', at + marker.size()) + 1;
    const size_t end = page.find("```", at);
    return end == std::string::npos ? "(example " + name + " not closed)" : page.substr(at, end - at);
}

class ScriptsDocTest : public testing_support::PocketsimTestBase {};

TEST_F(ScriptsDocTest, TheWorkedExampleRunsAsThePageShows) {
    const std::string page = Reference();
    WriteFile("vl_0407.xml", Example(page, "package"));
    const std::string package = (m_dir / "vl_0407.xml").string();
    auto r = Run({"check", package});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");

    Init();
    ASSERT_EQ(Run({"put", m_image, package, "\\Windows\\vl_0407.xml"}).exitCode, 0);
    r = Run({"script", m_image, "\\Windows\\vl_0407.xml", "--companion", "\\Windows\\vl_0409.xml", "--cur", "409",
             "--target", "407", "--dry-run"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, Example(page, "output"));
    r = Run({"roundtrip", m_image, "\\Windows\\vl_0407.xml"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.out, Example(page, "roundtrip"));
}

TEST(ScriptsDoc, DescribesEveryCommandOfBothTables) {
    const std::string page = Reference();
    const size_t start = page.find("## Commands"), end = page.find("## If");
    ASSERT_LT(start, end);
    const std::string commands = page.substr(start, end - start);
    for (size_t i = 0; i < CommandTable::CommandCount(); ++i)
        EXPECT_NE(commands.find("`" + ToUtf8(CommandTable::CommandName(i)) + "`"), std::string::npos)
            << ToUtf8(CommandTable::CommandName(i));
    for (size_t i = 0; i < MuiCommandTable::CommandCount(); ++i)
        EXPECT_NE(commands.find("`" + ToUtf8(MuiCommandTable::CommandName(i)) + "`"), std::string::npos)
            << ToUtf8(MuiCommandTable::CommandName(i));
}

}  // namespace
