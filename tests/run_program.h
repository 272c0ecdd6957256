// Runs pocketsim as a person would and captures what it prints, for end-to-end tests.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// stdoutTo: where standard output goes instead of a file read back into out (/dev/full ...).
inline RunResult RunPocketsim(const std::vector<std::string>& args, const std::filesystem::path& scratch,
                              const std::filesystem::path& stdoutTo = {}) {
    std::filesystem::create_directories(scratch);
    auto outPath = stdoutTo.empty() ? scratch / "stdout.txt" : stdoutTo, errPath = scratch / "stderr.txt";
    pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(outPath.c_str(), "w", stdout) || !freopen(errPath.c_str(), "w", stderr)) _exit(127);
        std::vector<char*> argv;
        std::string program = VX_POCKETSIM;
        argv.push_back(program.data());
        std::vector<std::string> copies(args);
        for (auto& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    RunResult result;
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (stdoutTo.empty()) result.out = ReadWholeFile(outPath);
    result.err = ReadWholeFile(errPath);
    return result;
}

// An end-to-end test's folder: a scratch folder of its own under the temporary folder, with the
// device image at m_image (not made yet), removed afterwards. Init makes the image.
class PocketsimTestBase : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = std::filesystem::temp_directory_path() /
                (std::string("pocketsim-") + test->test_suite_name() + "-" + std::to_string(getpid()) + "-" +
                 test->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        m_image = (m_dir / "image").string();
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    RunResult Run(std::vector<std::string> args) { return RunPocketsim(args, m_dir / "run"); }
    void Init(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"init", m_image};
        args.insert(args.end(), extra.begin(), extra.end());
        auto r = Run(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    void WriteFile(const std::string& name, const std::string& text) {
        std::ofstream(m_dir / name, std::ios::binary) << text;
    }
    static int Lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

    std::filesystem::path m_dir;
    std::string m_image;
};

}  // namespace testing_support
