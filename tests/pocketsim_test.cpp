// End-to-end: pocketsim on fresh images, compared with the text a person would see.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "host/kernel/device.h"
#include "run_program.h"
#include "test_image.h"

namespace fs = std::filesystem;

namespace {

class PocketsimTest : public testing_support::PocketsimTestBase {};

}  // namespace

TEST_F(PocketsimTest, InitMakesTheDeviceFoldersAndLanguage) {
    auto r = Run({"init", m_image});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const char* folder : {"Windows", "Windows/Startup", "My Documents", "Program Files", "Temp"})
        EXPECT_TRUE(fs::is_directory(fs::path(m_image) / "store" / folder)) << folder;
    r = Run({"reg", "export", m_image, "HKEY_CURRENT_USER\\MUI"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\MUI]\n\"CurLang\"=dword:00000409\n");
}

TEST_F(PocketsimTest, InitRefusesAFolderInUseUnlessForced) {
    ASSERT_EQ(Run({"init", m_image}).exitCode, 0);
    auto r = Run({"init", m_image});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Lines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("--force"), std::string::npos);
    r = Run({"init", m_image, "--force", "--screen", "480x640"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(PocketsimTest, BadUsageExitsTwoWithOneLine) {
    for (std::vector<std::string> args : {std::vector<std::string>{"init"},
                                          {"init", m_image, "--screen", "240by320"},
                                          {"init", m_image, "--answer", "maybe"},
                                          {"init", m_image, "--ansi-codepage", "437"},
                                          {"frobnicate"},
                                          {"reg", "export"},
                                          {"reg", "rename", m_image}}) {
        auto r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << args[0];
        EXPECT_EQ(Lines(r.err), 1) << r.err;
    }
    EXPECT_FALSE(fs::exists(m_image));
}

// The object store's capacity is the image's own setting: --store-size takes bytes or K, M, G;
// nonsense is a usage error; a size too small for the package fails the run and says why.
TEST_F(PocketsimTest, InitKeepsTheStoreSize) {
    // Each holds the package and its cabinet while it installs, also from a sanitizer build.
    const std::pair<const char*, uint64_t> sizes[] = {{"96M", 96u << 20}, {"90000000", 90000000}, {"1g", 1u << 30}};
    for (const auto& [given, bytes] : sizes) {
        auto r = Run({"init", m_image, "--force", "--store-size", given});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        std::string error;
        auto device = host::Device::Open(m_image, &error);
        ASSERT_TRUE(device) << error;
        EXPECT_EQ(device->Setting("store.capacity"), std::to_string(bytes)) << given;
    }
    const std::string bad = (m_dir / "bad").string();
    for (const char* size : {"0", "-1", "32MB", "1.5M", "M", "", "1025G", "99999999999999999999999"}) {
        auto r = Run({"init", bad, "--store-size", size});
        EXPECT_EQ(r.exitCode, 2) << size;
        EXPECT_EQ(Lines(r.err), 1) << r.err;
    }
    EXPECT_FALSE(fs::exists(bad));
    auto r = Run({"init", m_image, "--force", "--store-size", "64K"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Lines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("store is full"), std::string::npos) << r.err;
}

// A fresh image has the default capacity the README gives, 64 MB, and its package and sample
// content (the fullest image: with the device information library) leave most of it free.
TEST_F(PocketsimTest, AFreshImageLeavesMostOfTheStoreFree) {
    Init({"--rom", "1.10.5"});
    std::string error;
    auto device = host::Device::Open(m_image, &error);
    ASSERT_TRUE(device) << error;
    EXPECT_EQ(device->Setting("store.capacity"), std::to_string(64u << 20));
    const uint64_t used = StoredBytes(device->StoreRoot());
    EXPECT_GT(used, 0u);
    EXPECT_LT(used, uint64_t(32) << 20);
}

TEST_F(PocketsimTest, HelpWorksOnEveryCommand) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--help"},
                                          {"init", "--help"},
                                          {"reg", "--help"},
                                          {"db", "--help"},
                                          {"keyboard", "--help"},
                                          {"script", "--help"},
                                          {"register", "--help"},
                                          {"unregister", "--help"},
                                          {"muiapply", "--help"},
                                          {"demo", "--help"}}) {
        auto r = Run(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_NE(r.out.find("usage"), std::string::npos) << r.out;
    }
}

TEST_F(PocketsimTest, ExportOfAFreshImageAndOfAMissingKey) {
    ASSERT_EQ(Run({"init", m_image}).exitCode, 0);
    auto r = Run({"reg", "export", m_image});
    EXPECT_EQ(r.exitCode, 0);
    // The three roots in order, the language among them, and one line end at the end.
    EXPECT_EQ(r.out.rfind("Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT]\n", 0), 0u) << r.out;
    auto user = r.out.find("\n[HKEY_CURRENT_USER]\n"), machine = r.out.find("\n[HKEY_LOCAL_MACHINE]\n");
    EXPECT_LT(user, machine);
    EXPECT_NE(r.out.find("[HKEY_CURRENT_USER\\MUI]\n\"CurLang\"=dword:00000409\n"), std::string::npos);
    EXPECT_NE(r.out.substr(r.out.size() - 2), "\n\n");
    r = Run({"reg", "export", m_image, "HKEY_LOCAL_MACHINE\\Software\\Nowhere"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Lines(r.err), 1);
    r = Run({"reg", "export", (m_dir / "not-an-image").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Lines(r.err), 1);
}

TEST_F(PocketsimTest, ImportThenExportGivesTheSameText) {
    ASSERT_EQ(Run({"init", m_image}).exitCode, 0);
    const std::string text =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Vexor\\7.0]\n"
        "@=\"default\"\n"
        "\"Skin\"=\"\\\\Windows\\\\Classic.vxs\"\n"
        "\"Swipe\"=dword:00000001\n"
        "\"UserSkins\"=hex(7):5c,00,61,00,00,00,00,00\n";
    WriteFile("in.reg", text);
    auto r = Run({"reg", "import", m_image, (m_dir / "in.reg").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = Run({"reg", "export", m_image, "HKEY_LOCAL_MACHINE\\Software\\Vexor\\7.0"});
    EXPECT_EQ(r.out, text);
}

// reg export writes UTF-8 by default and, with --utf16, UTF-16LE with BOM and CR LF (the form
// Windows' registry editor reads without loss); each form imported into another image gives the
// same registry.
TEST_F(PocketsimTest, ExportInBothFormsImportsBackAsItWas) {
    ASSERT_EQ(Run({"init", m_image}).exitCode, 0);
    WriteFile("extra.reg",
              "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\\xD0\xAF\xD0\xB7\xD1\x8B\xD0\xBA]\n"
              "\"\xD0\x98\xD0\xBC\xD1\x8F\"=\"a;b #c\"\n\"Multi\"=hex(7):1f,04,00,00,00,00\n@=hex(1):61,00\n");
    ASSERT_EQ(Run({"reg", "import", m_image, (m_dir / "extra.reg").string()}).exitCode, 0);
    auto r = Run({"reg", "export", m_image, "HKEY_CURRENT_USER\\MUI", "--utf16"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string expected = "\xFF\xFE";
    for (char c : std::string("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\MUI]\r\n"
                              "\"CurLang\"=dword:00000409\r\n"))
        expected += std::string{c, '\0'};
    EXPECT_EQ(r.out, expected);

    const std::string whole = Run({"reg", "export", m_image}).out;
    for (bool utf16 : {true, false}) {
        std::vector<std::string> args{"reg", "export", m_image};
        if (utf16) args.push_back("--utf16");
        r = Run(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        WriteFile("whole.reg", r.out);
        const std::string other = (m_dir / "other").string();
        ASSERT_EQ(Run({"init", other, "--force"}).exitCode, 0);
        r = Run({"reg", "import", other, (m_dir / "whole.reg").string()});
        ASSERT_EQ(r.exitCode, 0) << utf16 << r.err;
        EXPECT_EQ(Run({"reg", "export", other}).out, whole) << utf16;
    }
    r = Run({"reg", "import", m_image, (m_dir / "whole.reg").string(), "--utf16"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(Lines(r.err), 1) << r.err;
}

// A .reg file without byte order mark that is not UTF-8 is ANSI text in the device's code page,
// which init sets: 0xCF 0xF3 0xF1 0xEA is "Пуск" on a Russian device, "Ïóñê" on an English one.
TEST_F(PocketsimTest, ImportReadsAnsiFilesInTheCodePageInitChose) {
    WriteFile("ansi.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Start]\r\n@=\"\xCF\xF3\xF1\xEA\"\r\n");
    const std::pair<std::vector<std::string>, const char*> devices[] = {
        {{"--ansi-codepage", "1251"}, "\xD0\x9F\xD1\x83\xD1\x81\xD0\xBA"},
        {{}, "\xC3\x8F\xC3\xB3\xC3\xB1\xC3\xAA"}};
    for (const auto& [options, text] : devices) {
        std::vector<std::string> init{"init", m_image, "--force"};
        init.insert(init.end(), options.begin(), options.end());
        ASSERT_EQ(Run(init).exitCode, 0);
        auto r = Run({"reg", "import", m_image, (m_dir / "ansi.reg").string()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Run({"reg", "export", m_image, "HKCU\\Start"}).out,
                  std::string("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Start]\n@=\"") + text +
                      "\"\n");
    }
}

TEST_F(PocketsimTest, ImportWithAnErrorNamesTheLineAndChangesNothing) {
    ASSERT_EQ(Run({"init", m_image}).exitCode, 0);
    const std::string before = Run({"reg", "export", m_image}).out;
    WriteFile("bad.reg",
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\MUI]\n\"CurLang\"=dword:00000419\n"
              "\"Broken\"=dword:xyz\n");
    auto r = Run({"reg", "import", m_image, (m_dir / "bad.reg").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("line 5"), std::string::npos) << r.err;
    EXPECT_EQ(Run({"reg", "export", m_image}).out, before);
    r = Run({"reg", "import", m_image, (m_dir / "missing.reg").string()});
    EXPECT_EQ(r.exitCode, 1);
}

TEST_F(PocketsimTest, DemoShowsTheImageItMade) {
    auto r = Run({"demo", m_image});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\\Windows\\Startup\\\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"CurLang\"=dword:00000409"), std::string::npos);
    // The sample skins are installed Classic first, so that it is the default skin.
    auto classic = r.out.find("\\Windows\\Classic.vxs"), capslock = r.out.find("\\Windows\\Capslock.vxs");
    ASSERT_NE(classic, std::string::npos);
    ASSERT_NE(capslock, std::string::npos);
    EXPECT_LT(classic, capslock);
    // It types through the keyboard: Shift latched, a capital H with the Shift flag, Shift
    // released; later a Cyrillic letter in the second language; and draws the keyboard.
    EXPECT_NE(r.out.find("SendVirtualKey 0x10 0x00000000\n"
                         "SendCharEvents 0x48 0x20000080 U+0048\n"
                         "SendCharEvents 0x48 0x20010000 U+0048\n"
                         "SendVirtualKey 0x10 0x00000002\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("U+043F"), std::string::npos);
    // The language switcher's dialog was shown; Russian was picked, its script ran and renamed
    // the Start menu, and the device was reset.
    EXPECT_NE(r.out.find("1005 combobox \"English\" sel=0 count=2\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("caption=\"Language switcher\" style=0x00010040\nSoftReset\n"), std::string::npos);
    EXPECT_NE(r.out.find("+ [HKEY_CURRENT_USER\\MUI] \"CurLang\"=dword:00000419\n"), std::string::npos);
    EXPECT_GT(fs::file_size(fs::path(m_image) / "lingo-russian.png"), 1000u);
    EXPECT_NE(r.out.find("- \\Windows\\Start Menu\\\n"), std::string::npos);
    EXPECT_NE(r.out.find("+ \\Windows\\Главное меню\\\n"), std::string::npos);
    EXPECT_GT(fs::file_size(fs::path(m_image) / "keyboard-english.png"), 1000u);
    EXPECT_GT(fs::file_size(fs::path(m_image) / "keyboard-russian.png"), 1000u);
    // A demo may replace its own image, never a folder that holds something else.
    ASSERT_EQ(Run({"demo", m_image}).exitCode, 0);
    WriteFile("notes.txt", "keep me");
    r = Run({"demo", m_dir.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(fs::exists(m_dir / "notes.txt"));
}

// reg import reads a regular file of at most 16 MiB: a folder, a device or a larger file is
// refused with one line naming it and changes nothing; a file of exactly that size is read (and
// here fails on its own line 3).
TEST_F(PocketsimTest, ImportReadsOnlyRegularFilesUpTo16MiB) {
    ASSERT_EQ(Run({"init", m_image}).exitCode, 0);
    const std::string before = Run({"reg", "export", m_image}).out;
    WriteFile("limit.reg", "REGEDIT4\n\n");
    WriteFile("over.reg", "REGEDIT4\n\n");
    // Sparse: the sizes cost no disk and reading them costs little.
    fs::resize_file(m_dir / "limit.reg", 16u << 20);
    fs::resize_file(m_dir / "over.reg", (16u << 20) + 1);
    const std::pair<std::string, std::string> refused[] = {{m_dir.string(), "a folder"},
                                                           {"/dev/zero", "not a regular file"},
                                                           {(m_dir / "over.reg").string(), "larger than 16 MiB"}};
    for (const auto& [file, why] : refused) {
        auto r = Run({"reg", "import", m_image, file});
        EXPECT_EQ(r.exitCode, 1) << file;
        EXPECT_EQ(Lines(r.err), 1) << r.err;
        EXPECT_NE(r.err.find(file + ": " + why), std::string::npos) << r.err;
    }
    auto r = Run({"reg", "import", m_image, (m_dir / "limit.reg").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("line 3:"), std::string::npos) << r.err;
    EXPECT_EQ(Run({"reg", "export", m_image}).out, before);
}

// Output that cannot be written fails the command with one line, also when it was still in the
// buffer as the command ended; so does a picture that cannot be written.
TEST_F(PocketsimTest, OutputThatCannotBeWrittenFails) {
    ASSERT_EQ(Run({"init", m_image}).exitCode, 0);
    for (std::vector<std::string> args : {std::vector<std::string>{"reg", "export", m_image},
                                          {"reg", "export", m_image, "HKEY_CURRENT_USER\\MUI"},
                                          {"keyboard", m_image, "key", "48", "status"},
                                          {"--help"}}) {
        auto r = testing_support::RunPocketsim(args, m_dir / "run", "/dev/full");
        EXPECT_EQ(r.exitCode, 1) << args.back();
        EXPECT_EQ(r.err, "pocketsim: cannot write standard output: No space left on device\n") << args.back();
    }
    for (const std::string& picture : {(m_dir / "missing" / "k.png").string(), std::string("/dev/full")}) {
        auto r = Run({"keyboard", m_image, "render", picture});
        EXPECT_EQ(r.exitCode, 1) << picture;
        EXPECT_EQ(Lines(r.err), 1) << r.err;
    }
}

// A name in an error line has its control characters escaped and is cut to 200 characters, so
// that a hostile name can forge neither a line nor a terminal escape.
TEST_F(PocketsimTest, NamesInErrorLinesAreEscapedAndCut) {
    ASSERT_EQ(Run({"init", m_image}).exitCode, 0);
    // The last byte is not UTF-8 (alone, 0x9b starts an escape sequence on some terminals); it is
    // shown as \x9b, or as U+FFFD where the emulator read the name as device text.
    const std::string hostile = "x\x1b[2J\nfake\t\xe2\x80\xae\x9b";
    const std::string shown = "x\\x1b[2J\\nfake\\t\\u202e";
    for (std::vector<std::string> args : {std::vector<std::string>{"frob" + hostile},
                                          {"init", "--" + hostile},
                                          {"init", m_image, "--rom", hostile},
                                          {"register", m_image, "--answer", hostile},
                                          {"reg", "export", m_image + hostile},
                                          {"reg", "export", m_image, "HKLM\\" + hostile},
                                          {"reg", "import", m_image, hostile},
                                          {"keyboard", m_image, hostile},
                                          {"script", m_image, "\\x.xml", "--cur", hostile},
                                          {"muiapply", m_image, "--window", "|" + hostile}}) {
        auto r = Run(args);
        EXPECT_NE(r.exitCode, 0) << args.back();
        EXPECT_EQ(Lines(r.err), 1) << r.err;
        EXPECT_EQ(r.err.find_first_of("\x1b\x9b"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(shown), std::string::npos) << r.err;
    }
    const std::string longImage = (m_dir / std::string(300, 'n')).string();
    auto r = Run({"reg", "export", longImage});
    EXPECT_EQ(Lines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find(longImage.substr(0, 200) + "…"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(longImage.substr(0, 201)), std::string::npos) << r.err;
}
