// The keyboard's options page: end to end through `pocketsim options` on images made by
// `pocketsim init`, and in-process with the input method library loaded from the image by the SIP
// where the page's geometry and the SIP's state afterwards are what is checked.
#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/kernel/device.h"
#include "host/windows/dialog.h"
#include "host/windows/sip.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/sip.h"
#include "platform/text.h"
#include "run_program.h"

namespace fs = std::filesystem;

namespace {

const CLSID kKeybInput = DEFINE_GUID_VALUE(0x0ADFAAAF, 0x2E1A, 0x4A75, 0x90, 0xA8, 0x6C, 0x1E, 0x62, 0xA3, 0xA6, 0x29);
const CLSID kPlatformKeyboard =
    DEFINE_GUID_VALUE(0x42429667, 0xAE04, 0x11D0, 0xA4, 0xF8, 0x00, 0xAA, 0x00, 0xA7, 0x49, 0xB9);
const char kPlatformKeyboardText[] = "{42429667-ae04-11d0-a4f8-00aa00a749b9}";

const char kAbout[] = "217 static \"Copyright (C) Norvane. All rights reserved., Norvane\\nBuild: 0, 1, 0, 12\"\n";

// The page of a fresh image; "Set as default" comes first, as the page raises it.
std::string Page(const std::string& gestures, const std::string& entries) {
    return "dialog \"\"\n"
           "214 button \"Set as default\" unchecked\n" +
           entries +
           "219 button \"+\"\n"
           "221 button \"-\"\n"
           "212 button \"Use gestures\"" +
           gestures +
           "\n"
           "211 button \"Extended symbols\" unchecked\n"
           "213 static \"\"\n"
           "215 static \"Skin\"\n" +
           kAbout;
}

const char kSampleSkins[] = "202 combobox \"Classic\" sel=1 count=3\n"
                            "  [0] \"Capslock\"\n"
                            "  [1] \"Classic\"\n"
                            "  [2] \"Grande\"\n";

std::vector<uint8_t> PanelPixels(const fs::path& file, unsigned top) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
    const size_t row = size_t(image.width) * 3;
    if (rgb.size() < (top + 80) * row) return {};
    return std::vector<uint8_t>(rgb.begin() + top * row, rgb.begin() + (top + 80) * row);
}

class Options : public testing_support::PocketsimTestBase {
protected:
    void SetUp() override {
        PocketsimTestBase::SetUp();
        Init();
        // Deleting a skin waits a second; the device's clock plays that wait.
        WithDevice([](host::Device& device) { ASSERT_TRUE(device.SetSetting("clock", "played")); });
    }

    void WithDevice(const std::function<void(host::Device&)>& what) {
        std::string error;
        auto device = host::Device::Open(m_image, &error);
        ASSERT_TRUE(device) << error;
        host::ScopedDevice scope(device.get());
        what(*device);
    }
    void CopySkin(const char16_t* from, const char16_t* to) {
        WithDevice([&](host::Device&) {
            CreateDirectoryW(u"\\Windows\\Skins", nullptr);
            ASSERT_TRUE(CopyFileW(from, to, FALSE)) << ToUtf8(to);
        });
    }
    void Import(const std::string& text) {
        WriteFile("change.reg", "REGEDIT4\n\n" + text);
        auto r = Run({"reg", "import", m_image, (m_dir / "change.reg").string()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    std::string Export(const std::string& key) { return Run({"reg", "export", m_image, key}).out; }
    std::string Settings() { return Export("HKEY_LOCAL_MACHINE\\Software\\Vexor\\7.0"); }
    bool Exists(const std::string& hostPath) { return fs::exists(fs::path(m_image) / "store" / hostPath); }

    testing_support::RunResult Page(std::vector<std::string> actions) {
        actions.insert(actions.begin(), {"options", m_image});
        return Run(actions);
    }
};

}  // namespace

// The page lists the whole catalogue sorted, with the stored skin selected; "Use gestures"
// follows "Swipe" unless the skin imposes gestures, and "Set as default" the default input method.
TEST_F(Options, ShowsTheCatalogueAndTheSettings) {
    auto r = Page({"show"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, ::Page(" checked", kSampleSkins));

    Import("[HKEY_LOCAL_MACHINE\\Software\\Vexor\\7.0]\n\"Swipe\"=dword:00000000\n");
    r = Page({"show"});
    EXPECT_NE(r.out.find("212 button \"Use gestures\" unchecked\n"), std::string::npos) << r.out;
    Import("[HKEY_LOCAL_MACHINE\\Software\\Vexor\\7.0]\n\"Skin\"=\"\\\\windows\\\\Capslock.vxs\"\n");
    r = Page({"show"});
    EXPECT_NE(r.out.find("212 button \"Use gestures\" disabled checked\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("202 combobox \"Capslock\" sel=0 count=3\n"), std::string::npos) << r.out;

    Import("[HKEY_CURRENT_USER\\ControlPanel\\Sip]\n\"DefaultIm\"=\"{0adfaaaf-2e1a-4a75-90a8-6c1e62a3a629}\"\n");
    r = Page({"show"});
    EXPECT_NE(r.out.find("214 button \"Set as default\" checked\n"), std::string::npos) << r.out;
}

// A pick is stored at once and the live panel under the page shows the new skin; a skin made for
// another screen is refused with the page's message and changes no setting.
TEST_F(Options, PickingASkinStoresItAndShowsItLive) {
    const fs::path before = m_dir / "before.png", after = m_dir / "after.png", alone = m_dir / "alone.png";
    auto r = Page({"render", before.string(), "select", "202", "0", "render", after.string(), "select", "202", "2",
                   "show", "cancel"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "MessageBox \"This skin is not for current resolution\" caption=\"Vexor 7\" style=0x00000010\n" +
                         ::Page(" disabled checked", "202 combobox \"Grande\" sel=2 count=3\n"
                                                     "  [0] \"Capslock\"\n  [1] \"Classic\"\n  [2] \"Grande\"\n"));
    const std::string settings = Settings();
    EXPECT_NE(settings.find("\"Skin\"=\"\\\\windows\\\\Capslock.vxs\"\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("\"UserSkins\"=hex(7):00,00,00,00"), std::string::npos) << settings;

    // The keyboard alone, started on the stored skin, looks as the panel under the page did.
    r = Run({"keyboard", m_image, "render", alone.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<uint8_t> capslock = PanelPixels(alone, 0);
    ASSERT_FALSE(capslock.empty());
    EXPECT_TRUE(PanelPixels(after, 214) == capslock);
    EXPECT_FALSE(PanelPixels(before, 214) == capslock);
}

// "+" takes the open-file dialog's answer: the path is shown, a new entry appears unselected and
// nothing is copied. Ok stores the added paths outside \Windows itself; a cancelled dialog adds
// nothing.
TEST_F(Options, AddingSkinsFromOtherFolders) {
    CopySkin(u"\\Windows\\Classic.vxs", u"\\My Documents\\Night.vxs");
    CopySkin(u"\\Windows\\Classic.vxs", u"\\Windows\\Skins\\Dusk.vxs");
    auto r = Page({"file", "\\My Documents\\Night.vxs", "click", "219", "show", "file", "\\Windows\\Skins\\Dusk",
                   "click", "219", "file", "\\Windows\\Capslock.vxs", "click", "219", "file", "-", "click", "219",
                   "click", "219", "ok"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "MessageBox \"\\\\My Documents\\\\Night.vxs\" caption=\"\" style=0x00000000\n" +
                         ::Page(" checked", "202 combobox \"Classic\" sel=1 count=4\n  [0] \"Capslock\"\n"
                                            "  [1] \"Classic\"\n  [2] \"Grande\"\n  [3] \"Night\"\n") +
                         "MessageBox \"\\\\Windows\\\\Skins\\\\Dusk.vxs\" caption=\"\" style=0x00000000\n"
                         "MessageBox \"\\\\Windows\\\\Capslock.vxs\" caption=\"\" style=0x00000000\n");
    EXPECT_FALSE(Exists("Windows/Night.vxs"));
    std::u16string expected = u"\\My Documents\\Night.vxs";
    expected += u'\0';
    expected += u"\\Windows\\Skins\\Dusk.vxs";
    expected.append(3, u'\0');
    WithDevice([&](host::Device&) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Vexor\\7.0", 0, KEY_READ, &key), ERROR_SUCCESS);
        WCHAR data[128] = {};
        DWORD type = 0, size = sizeof data;
        EXPECT_EQ(RegQueryValueExW(key, u"UserSkins", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
        EXPECT_EQ(std::u16string(data, size / 2), expected);
    });
    r = Page({"show"});
    EXPECT_NE(r.out.find("count=5\n"), std::string::npos) << r.out;

    // A pick validates every path holding its title: one that does not fit the screen refuses
    // the pick, and nothing of it is stored.
    CopySkin(u"\\Windows\\Grande.vxs", u"\\My Documents\\Capslock Wide.vxs");
    const std::string before = Settings();
    r = Page({"file", "\\My Documents\\Capslock Wide.vxs", "click", "219", "select", "202", "0", "cancel"});
    EXPECT_NE(r.out.find("MessageBox \"This skin is not for current resolution\""), std::string::npos) << r.out;
    EXPECT_EQ(Settings(), before);

    EXPECT_EQ(Page({"file", "Night.vxs"}).exitCode, 2);
    EXPECT_EQ(Run({"lingo", m_image, "file", "\\x.vxs"}).exitCode, 2);
}

// "-" refuses the last skin, asks before deleting, and after ok selects the first entry (the
// second when the first goes), applies it and deletes the file; a failed delete shows its code.
TEST_F(Options, DeletingSkins) {
    CopySkin(u"\\Windows\\Classic.vxs", u"\\Windows\\Dusk.vxs");
    auto r = Page({"select", "202", "0", "click", "221", "show", "--answer", "cancel"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find("dialog")),
              "MessageBox \"Skin Capslock will be deleted. Are you sure?\" caption=\"Vexor 7\" style=0x00000001\n");
    EXPECT_NE(r.out.find("sel=0 count=4\n"), std::string::npos) << r.out;
    EXPECT_TRUE(Exists("Windows/Capslock.vxs"));

    r = Page({"select", "202", "0", "click", "221", "show", "ok"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("202 combobox \"Classic\" sel=0 count=3\n  [0] \"Classic\"\n  [1] \"Dusk\"\n"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(Exists("Windows/Capslock.vxs"));
    EXPECT_NE(Settings().find("\"Skin\"=\"\\\\windows\\\\Classic.vxs\"\n"), std::string::npos);

    WithDevice([](host::Device&) { ASSERT_TRUE(SetFileAttributesW(u"\\Windows\\Dusk.vxs", FILE_ATTRIBUTE_READONLY)); });
    r = Page({"select", "202", "1", "click", "221", "show"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find("dialog")),
              "MessageBox \"Skin Dusk will be deleted. Are you sure?\" caption=\"Vexor 7\" style=0x00000001\n"
              "MessageBox \"LastError: 5\" caption=\"Vexor 7\" style=0x00000001\n");
    EXPECT_NE(r.out.find("202 combobox \"Classic\" sel=0 count=2\n"), std::string::npos) << r.out;
    EXPECT_TRUE(Exists("Windows/Dusk.vxs"));

    WithDevice([](host::Device&) {
        ASSERT_TRUE(SetFileAttributesW(u"\\Windows\\Dusk.vxs", FILE_ATTRIBUTE_NORMAL));
        for (const char16_t* path : {u"\\Windows\\Dusk.vxs", u"\\Windows\\Grande.vxs"}) ASSERT_TRUE(DeleteFileW(path));
    });
    r = Page({"click", "221"});
    EXPECT_EQ(r.out, "MessageBox \"Last skin can't be deleted\" caption=\"Vexor 7\" style=0x00000010\n");
    EXPECT_TRUE(Exists("Windows/Classic.vxs"));
}

// "Set as default" makes this keyboard the default input method and gives the role back; cancel
// saves nothing but keeps a skin already applied; ok saves the check boxes ("ExtSym" 0 when it
// was missing).
TEST_F(Options, DefaultInputMethodOkAndCancel) {
    Import(std::string("[HKEY_CURRENT_USER\\ControlPanel\\Sip]\n\"DefaultIm\"=\"") + kPlatformKeyboardText + "\"\n");
    auto r = Page({"click", "214", "show", "click", "214", "click", "212", "cancel"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("214 button \"Set as default\" checked\n"), std::string::npos) << r.out;
    const std::string sip = Export("HKEY_CURRENT_USER\\ControlPanel\\Sip");
    EXPECT_NE(sip.find(std::string("\"DefaultIm\"=\"") + kPlatformKeyboardText + "\"\n"), std::string::npos) << sip;
    EXPECT_NE(sip.find(std::string("\"PrevIMClsid\"=\"") + kPlatformKeyboardText + "\""), std::string::npos) << sip;
    std::string settings = Settings();
    EXPECT_EQ(settings.find("ExtSym"), std::string::npos) << settings;
    EXPECT_NE(settings.find("\"Swipe\"=dword:00000001\n"), std::string::npos) << settings;

    r = Page({"click", "212", "ok"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    settings = Settings();
    EXPECT_NE(settings.find("\"ExtSym\"=dword:00000000\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("\"Swipe\"=dword:00000000\n"), std::string::npos) << settings;

    r = Page({"select", "202", "0", "cancel"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    settings = Settings();
    EXPECT_NE(settings.find("\"Skin\"=\"\\\\windows\\\\Capslock.vxs\"\n"), std::string::npos) << settings;
}

// In-process, with the SIP loading the library from the image: the page shows this keyboard
// while it is open, ok gives the panel back to the input method that ran before and hides it,
// and the about text sits where the screen's orientation puts it.
class OptionsInProcess : public Options {
protected:
    // Opens the page through the device's SIP; at its first wait, look gets the page, then the
    // page is closed with close (IDOK or IDCANCEL).
    void Open(const std::function<void(HWND)>& look, WPARAM close) {
        WithDevice([&](host::Device& device) {
            host::Sip& sip = *host::DeviceSip(&device);
            ASSERT_EQ(sip.Show(), S_OK);
            bool looked = false;
            host::SetDialogDriver([&](HWND page) {
                if (looked) return false;
                looked = true;
                look(page);
                SendMessageW(page, WM_COMMAND, close, 0);
                return true;
            });
            EXPECT_EQ(sip.OpenOptions(kKeybInput, nullptr), S_OK);
            host::SetDialogDriver(nullptr);
            EXPECT_TRUE(looked);
            m_shownAfter = sip.IsShown();
            ASSERT_TRUE(sip.CurrentIM(&m_currentAfter));
            host::ReleaseDeviceSip(&device);
        });
    }
    static RECT PageRect(HWND page, int id) {
        RECT r{};
        GetWindowRect(GetDlgItem(page, id), &r);
        POINT origin{0, 0};
        ClientToScreen(page, &origin);
        return RECT{r.left - origin.x, r.top - origin.y, r.right - origin.x, r.bottom - origin.y};
    }

    bool m_shownAfter = true;
    CLSID m_currentAfter{};
};

TEST_F(OptionsInProcess, OkGivesThePanelBackAndTheAboutTextFollowsTheScreen) {
    Import(std::string("[HKEY_CURRENT_USER\\ControlPanel\\Sip]\n\"DefaultIm\"=\"") + kPlatformKeyboardText + "\"\n");
    Open(
        [](HWND page) {
            CLSID current{};
            EXPECT_TRUE(SipGetCurrentIM(&current));
            EXPECT_TRUE(current == kKeybInput);
            EXPECT_EQ(PageRect(page, 217).top, 320 / 2);
        },
        IDOK);
    EXPECT_FALSE(m_shownAfter);
    EXPECT_TRUE(m_currentAfter == kPlatformKeyboard);

    ASSERT_EQ(Run({"keyboard", m_image, "rotate"}).exitCode, 0);
    Open(
        [](HWND page) {
            const RECT gestures = PageRect(page, 212);
            EXPECT_EQ(PageRect(page, 217).top, gestures.top + 5 * (gestures.bottom - gestures.top) / 4);
            EXPECT_EQ(PageRect(page, 217).right, 320 - PageRect(page, 217).left);
        },
        IDCANCEL);
    EXPECT_TRUE(m_shownAfter);
    EXPECT_TRUE(m_currentAfter == kKeybInput);
}
