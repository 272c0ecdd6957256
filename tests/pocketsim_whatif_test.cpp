// What a run would change, shown without changing the image: pocketsim script --dry-run and
// pocketsim roundtrip work on scratch copies and print changes as pocketsim diff prints them.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "run_program.h"

namespace fs = std::filesystem;

namespace {

class PocketsimWhatIfTest : public testing_support::PocketsimTestBase {
protected:
    // Every file below the folder with its size and a hash of its bytes, so that two states
    // compare byte for byte and a difference names the file.
    static std::map<std::string, std::string> Contents(const fs::path& folder) {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            const std::string name = fs::relative(entry.path(), folder).string();
            if (!entry.is_regular_file()) {
                files[name] = "folder";
                continue;
            }
            const std::string bytes = testing_support::ReadWholeFile(entry.path());
            files[name] = std::to_string(bytes.size()) + " bytes, hash " + std::to_string(std::hash<std::string>{}(bytes));
        }
        return files;
    }
};

TEST_F(PocketsimWhatIfTest, DryRunPrintsWhatARealRunChangesAndLeavesTheImageAlone) {
    Init();
    const std::vector<std::string> run{"\\Windows\\vl_0419.xml", "--companion", "\\Windows\\vl_0409.xml",
                                       "--cur", "409", "--target", "419"};
    const auto untouched = Contents(m_image);
    std::vector<std::string> args{"script", m_image};
    args.insert(args.end(), run.begin(), run.end());
    args.push_back("--dry-run");
    auto dry = Run(args);
    ASSERT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_EQ(Contents(m_image), untouched);

    const std::string before = (m_dir / "before").string();
    fs::copy(m_image, before, fs::copy_options::recursive);
    args.pop_back();
    auto real = Run(args);
    ASSERT_EQ(real.exitCode, 0) << real.err;
    auto diff = Run({"diff", before, m_image});
    ASSERT_EQ(diff.exitCode, 0) << diff.err;
    EXPECT_NE(diff.out, "");
    EXPECT_EQ(dry.out, real.out + diff.out);
    // Nothing of the scratch copy is left behind.
    EXPECT_EQ(dry.err, "");
}

TEST_F(PocketsimWhatIfTest, RoundtripListsWhatDoesNotComeBack) {
    Init();
    auto r = Run({"roundtrip", m_image, "\\Windows\\vl_0419.xml"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "");

    // A package that deletes a file going there and does nothing coming back.
    WriteFile("lossy.xml", "<package><description ID=\"0407\" NAME=\"Deutsch\"/>"
                           "<DeleteFile Source=\"\\Windows\\greeting.txt\"/></package>");
    ASSERT_EQ(Run({"put", m_image, (m_dir / "lossy.xml").string(), "\\Windows\\vl_0407.xml"}).exitCode, 0);
    const auto withLossy = Contents(m_image);
    r = Run({"roundtrip", m_image, "\\Windows\\vl_0407.xml"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_EQ(r.out.rfind("- \\Windows\\greeting.txt", 0), 0u) << r.out;
    EXPECT_EQ(Contents(m_image), withLossy);

    EXPECT_EQ(Run({"roundtrip", m_image, "\\Windows\\vl_0409.xml"}).exitCode, 1);  // the current language
    EXPECT_EQ(Run({"roundtrip", m_image}).exitCode, 2);
}

}  // namespace
