// Several programs on one image at once, as on a device: scripts, .reg imports and exports and
// keyboard runs together all succeed (waiting for each other where they must), and every value
// any of them wrote is there afterwards.
#include <gtest/gtest.h>

#include <future>
#include <map>
#include <string>
#include <vector>

#include "run_program.h"

namespace {

constexpr int kValuesEach = 1200;

class ImageSharing : public testing_support::PocketsimTestBase {};

// A script's DWORD data is hexadecimal.
std::string Hex(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

// Counts the "vN"=dword:N lines of each [HKEY_LOCAL_MACHINE\Stress\KEY] section of an export.
std::map<std::string, int> CountValues(const std::string& exported) {
    std::map<std::string, int> counts;
    std::string section;
    size_t start = 0;
    while (start < exported.size()) {
        size_t end = exported.find('\n', start);
        if (end == std::string::npos) end = exported.size();
        std::string line = exported.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        start = end + 1;
        const std::string prefix = "[HKEY_LOCAL_MACHINE\\Stress\\";
        if (line.rfind(prefix, 0) == 0) {
            section = line.substr(prefix.size(), line.size() - prefix.size() - 1);
            continue;
        }
        // Only a value whose data matches its name counts, so a torn or mixed-up write shows.
        const size_t eq = line.find("=dword:");
        if (section.empty() || line.size() < 4 || line[0] != '"' || line[1] != 'v' || eq == std::string::npos) continue;
        const unsigned long number = std::stoul(line.substr(2, eq - 3));
        if (std::stoul(line.substr(eq + 7), nullptr, 16) == number) ++counts[section];
    }
    return counts;
}

}  // namespace

TEST_F(ImageSharing, ProgramsOnOneImageLoseNothing) {
    Init();
    // Three scripts and two imports, each writing its own key; exports and keyboard runs read
    // and write beside them.
    for (int s = 0; s < 3; ++s) {
        std::string script = "<s>";
        for (int i = 0; i < kValuesEach; ++i)
            script += "<CreateRegValue root=\"HKLM\" path=\"Stress\\S" + std::to_string(s) + "\" name=\"v" +
                      std::to_string(i) + "\" type=\"DWORD\">" + Hex(i) + "</CreateRegValue>";
        script += "</s>";
        WriteFile("image/store/Temp/s" + std::to_string(s) + ".xml", script);
    }
    for (int r = 0; r < 2; ++r) {
        std::string reg = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Stress\\R" +
                          std::to_string(r) + "]\r\n";
        char line[64];
        for (int i = 0; i < kValuesEach; ++i) {
            std::snprintf(line, sizeof line, "\"v%d\"=dword:%08x\r\n", i, i);
            reg += line;
        }
        WriteFile("r" + std::to_string(r) + ".reg", reg);
    }

    std::vector<std::future<testing_support::RunResult>> runs;
    auto start = [&](std::vector<std::string> args) {
        const std::filesystem::path scratch = m_dir / ("run" + std::to_string(runs.size()));
        runs.push_back(std::async(std::launch::async, [args, scratch] {
            return testing_support::RunPocketsim(args, scratch);
        }));
    };
    for (int s = 0; s < 3; ++s) start({"script", m_image, "\\Temp\\s" + std::to_string(s) + ".xml"});
    for (int r = 0; r < 2; ++r) start({"reg", "import", m_image, (m_dir / ("r" + std::to_string(r) + ".reg")).string()});
    for (int e = 0; e < 6; ++e) start({"reg", "export", m_image});
    for (int k = 0; k < 3; ++k) start({"keyboard", m_image, "key", "48", "key", "82", "status"});

    for (size_t i = 0; i < runs.size(); ++i) {
        const testing_support::RunResult r = runs[i].get();
        EXPECT_EQ(r.exitCode, 0) << "run " << i << ": " << r.err;
    }
    const testing_support::RunResult exported = Run({"reg", "export", m_image, "HKEY_LOCAL_MACHINE\\Stress"});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(CountValues(exported.out), (std::map<std::string, int>{{"R0", kValuesEach},
                                                                     {"R1", kValuesEach},
                                                                     {"S0", kValuesEach},
                                                                     {"S1", kValuesEach},
                                                                     {"S2", kValuesEach}}));
}
