// The language switcher: end to end through `pocketsim lingo` on images made by `pocketsim init`,
// and in-process with the applet library loaded from the image as the control panel loads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/kernel/device.h"
#include "host/windows/controls.h"
#include "host/windows/dialog.h"
#include "platform/cpl.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "run_program.h"
#include "script/reghelpers.h"
#include "script_test_support.h"

namespace fs = std::filesystem;

namespace {

const char kSeparator[] = "____________________________________________________________________________";
const char kCompanionKeyboard[] = "{D79FF5E2-3F2D-4EDF-9DFA-8EDAE42024BB}";

std::string FreshDialog() {
    return std::string("dialog \"Settings\"\n"
                       "1007 static \"Language switcher\"\n"
                       "1006 static \"") +
           kSeparator +
           "\"\n"
           "1010 static \"Interface language\"\n"
           "1005 combobox \"English\" sel=0 count=2\n"
           "  [0] \"English\"\n"
           "  [1] \"Русский\"\n"
           "1003 static \"English (United States) interface, shortcuts and texts.\"\n"
           "1009 static \"Keyboard layout\"\n"
           "1008 combobox \"Russian\" sel=1 count=2\n"
           "  [0] \"English (US)\"\n"
           "  [1] \"Russian\"\n"
           "1011 static \"Select keyboard layout\"\n";
}

std::string Package(const std::string& description, const std::string& body = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<package>\n  " + description + "\n" + body + "</package>\n";
}

class LingoTest : public testing_support::PocketsimTestBase {
protected:
    void SetUp() override {
        PocketsimTestBase::SetUp();
        Init();
    }

    // Writes device files into the image, then lets go of it again.
    void Put(const std::vector<std::pair<std::u16string, std::string>>& files) {
        std::string error;
        auto device = host::Device::Open(m_image, &error);
        ASSERT_TRUE(device) << error;
        host::ScopedDevice scope(device.get());
        for (const auto& [path, bytes] : files) script_test::WriteDeviceFile(path.c_str(), bytes);
    }
    void Remove(const std::vector<std::u16string>& paths) {
        std::string error;
        auto device = host::Device::Open(m_image, &error);
        ASSERT_TRUE(device) << error;
        host::ScopedDevice scope(device.get());
        for (const auto& path : paths) ASSERT_TRUE(DeleteFileW(path.c_str())) << ToUtf8(path);
    }
    void Import(const std::string& text) {
        WriteFile("change.reg", "REGEDIT4\n\n" + text);
        auto r = Run({"reg", "import", m_image, (m_dir / "change.reg").string()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    std::string Export(const std::string& key = {}) {
        std::vector<std::string> args{"reg", "export", m_image};
        if (!key.empty()) args.push_back(key);
        return Run(args).out;
    }
    // The CurLang line of the registry, as exported.
    std::string CurLang() {
        const std::string text = Export("HKEY_CURRENT_USER\\MUI");
        const size_t at = text.find("\"CurLang\"");
        return at == std::string::npos ? "" : text.substr(at, text.find('\n', at) - at);
    }
    testing_support::RunResult Lingo(std::vector<std::string> actions) {
        actions.insert(actions.begin(), {"lingo", m_image});
        return Run(actions);
    }
    // Every folder and file of the store with the files' bytes.
    std::vector<std::string> Tree() {
        std::vector<std::string> entries;
        const fs::path store = fs::path(m_image) / "store";
        for (const auto& entry : fs::recursive_directory_iterator(store)) {
            std::string line = fs::relative(entry.path(), store).string();
            if (entry.is_regular_file()) line += " = " + testing_support::ReadWholeFile(entry.path());
            entries.push_back(line);
        }
        std::sort(entries.begin(), entries.end());
        return entries;
    }
};

}  // namespace

// A fresh image lists both packages in the order the device lists the files, the current one
// selected with its text under the list, and both layouts with Russian chosen while "Current"
// is absent. A dialog left open is cancelled: nothing changes.
TEST_F(LingoTest, FreshImageShowsPackagesAndLayouts) {
    // The input method the SIP starts writes its settings once; the applet adds nothing.
    ASSERT_EQ(Lingo({}).exitCode, 0);
    const std::string before = Export();
    auto r = Lingo({"show", "render", (m_dir / "lingo.png").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, FreshDialog());
    EXPECT_EQ(r.err, "");
    EXPECT_GT(fs::file_size(m_dir / "lingo.png"), 1000u);
    EXPECT_EQ(Export(), before);
    // The person may look again after picking; the text under the list follows the pick.
    r = Lingo({"select", "1005", "1", "show", "cancel"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("1005 combobox \"Русский\" sel=1 count=2\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1003 static \"Русский интерфейс, ярлыки и тексты.\"\n"), std::string::npos) << r.out;
    EXPECT_EQ(Export(), before);
}

// Russian and Done: the script runs, CurLang follows, the shell's key commands move with the
// renamed Start menu, the reset notice and the reset come, "Current" is written and the
// companion keyboard (the current input method here) is loaded again and takes the layout.
// Switching back gives the device a Done without a switch would have left.
TEST_F(LingoTest, SwitchToRussianAndBackRestoresTheDevice) {
    Import("[HKEY_CURRENT_USER\\ControlPanel\\Sip]\n\"DefaultIm\"=\"" + std::string(kCompanionKeyboard) + "\"\n");
    auto r = Lingo({"select", "1005", "1", "ok"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The keyboard starts with its own default, then takes the layout Done wrote.
    EXPECT_EQ(r.out,
              "Layout 0x00000409\n"
              "Layout 0x00000419\n"
              "MessageBox \"Сейчас устройство перезагрузится на русском языке.\" caption=\"Language switcher\" "
              "style=0x00010040\n"
              "SoftReset\n");
    EXPECT_EQ(CurLang(), "\"CurLang\"=dword:00000419");
    EXPECT_NE(Export("HKEY_CLASSES_ROOT\\CLSID\\" + std::string(kCompanionKeyboard)).find("\"Current\"=dword:00000419"),
              std::string::npos);
    const std::string all = Export();
    EXPECT_NE(all.find("\\\\Windows\\\\Главное меню\\\\Календарь.lnk"), std::string::npos);
    EXPECT_EQ(all.find("Start Menu"), std::string::npos);
    // The sample database's names are Russian now.
    EXPECT_NE(Run({"db", m_image, "dump", "Categories"}).out.find("Деловые"), std::string::npos);
    // The next start shows Russian as current.
    r = Lingo({"show"});
    EXPECT_NE(r.out.find("1005 combobox \"Русский\" sel=1 count=2\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1008 combobox \"Russian\" sel=1 count=2\n"), std::string::npos) << r.out;

    r = Lingo({"select", "1005", "0", "ok"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("MessageBox \"The device will now restart in English.\""), std::string::npos) << r.out;
    const std::string switched = Export();
    const std::vector<std::string> switchedTree = Tree();
    const std::string switchedCategories = Run({"db", m_image, "dump", "Categories"}).out;
    EXPECT_FALSE(switchedCategories.empty());

    // The same device, fresh, after a Done that ran no script.
    fs::remove_all(m_image);
    Init();
    Import("[HKEY_CURRENT_USER\\ControlPanel\\Sip]\n\"DefaultIm\"=\"" + std::string(kCompanionKeyboard) + "\"\n");
    r = Lingo({"ok"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Layout 0x00000409\nLayout 0x00000419\n");
    EXPECT_EQ(Export(), switched);
    EXPECT_EQ(Tree(), switchedTree);
    EXPECT_EQ(Run({"db", m_image, "dump", "Categories"}).out, switchedCategories);
}

// --trace shows the switcher's run of the package with its companion merged: the rename's FROM
// comes from the package being left, and the package's description is not a command.
TEST_F(LingoTest, TraceShowsTheSwitchersRun) {
    auto r = Run({"lingo", m_image, "select", "1005", "1", "ok", "--trace"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("\\Windows\\vl_0419.xml:13: LDAbsRename ID=\"startmenu\" FROM=\"\\Windows\\Start Menu\" "),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(":10: description ID=\"0419\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("skipped: not in this table\n"), std::string::npos) << r.err;
}

// Choosing the current language runs nothing: no notice, no reset, CurLang as it was; Done still
// writes "Current" and cycles the input method. An action after the dialog closed fails the run.
TEST_F(LingoTest, CurrentLanguageRunsNothingAndLaterActionsFail) {
    auto r = Lingo({"ok", "show"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "pocketsim: show: no dialog is open\n");
    EXPECT_EQ(CurLang(), "\"CurLang\"=dword:00000409");
    EXPECT_NE(Export("HKEY_CLASSES_ROOT\\CLSID\\" + std::string(kCompanionKeyboard)).find("\"Current\"=dword:00000419"),
              std::string::npos);
    // Usage mistakes are refused before the image is touched.
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"select", "1005"}, {"select", "x", "1"}, {"click"}, {"render"}, {"press"}}) {
        r = Lingo(bad);
        EXPECT_EQ(r.exitCode, 2) << bad[0];
    }
    // A control the dialog lacks, or an entry the list lacks, stops the run and says so.
    r = Lingo({"select", "1005", "7", "show"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("has no entry 7"), std::string::npos) << r.err;
    r = Lingo({"click", "4242"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "pocketsim: click: the dialog has no control 4242\n");
}

// "CurLang" missing or not four bytes: no package is read, the list offers only the placeholder
// and switching is impossible.
TEST_F(LingoTest, WithoutCurLangNothingCanBeChosen) {
    for (const std::string value : {"-", "hex:09,04"}) {
        Import("[HKEY_CURRENT_USER\\MUI]\n\"CurLang\"=" + value + "\n");
        auto r = Lingo({"show", "ok"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("1005 combobox \"English\" disabled sel=0 count=1\n  [0] \"English\"\n"
                             "1003 static \"Localization package not installed\"\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(r.out.find("SoftReset"), std::string::npos);
        EXPECT_EQ(Run({"lingo", m_image, "select", "1005", "0"}).exitCode, 1) << "a disabled list cannot be used";
    }
}

// Packages installed but none current: the message with the identifier in decimal, no dialog.
TEST_F(LingoTest, NoCurrentPackageIsReportedWithoutADialog) {
    Import("[HKEY_CURRENT_USER\\MUI]\n\"CurLang\"=dword:00000407\n");
    auto r = Lingo({});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "MessageBox \"Not found config file for current (1031) language\" caption=\"\" style=0x00010000\n");
    r = Lingo({"show"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "pocketsim: show: no dialog is open\n");
}

// Files that are no package are skipped without a word and never stop the list: not XML, no
// description, ID 0 or not hexadecimal. A package without NAME is listed with an empty name;
// two packages with one ID are both listed and the first is the current one; at most 50.
TEST_F(LingoTest, OnlyPackagesAreListedAndAtMostFifty) {
    Put({{u"\\Windows\\vl_bad.xml", "<package><description ID=\"407\" NAME=\"broken\"></package"},
         {u"\\Windows\\vl_none.xml", Package("<other ID=\"407\" NAME=\"none\"/>")},
         {u"\\Windows\\vl_zero.xml", Package("<description ID=\"0\" NAME=\"zero\"/>")},
         {u"\\Windows\\vl_text.xml", Package("<description ID=\"xyz\" NAME=\"text\"/>")},
         {u"\\Windows\\vl_twin.xml", Package("<description ID=\"409\" NAME=\"Twin\" INFO=\"twin\"/>")},
         {u"\\Windows\\vl_noname.xml", Package("<description ID=\"407\"/>")},
         {u"\\Windows\\vl_skip.txt", Package("<description ID=\"408\" NAME=\"txt\"/>")}});
    auto r = Lingo({"show"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("1005 combobox \"English\" sel=0 count=4\n"
                         "  [0] \"English\"\n  [1] \"Русский\"\n  [2] \"Twin\"\n  [3] \"\"\n"
                         "1003 static \"English (United States) interface, shortcuts and texts.\"\n"),
              std::string::npos)
        << r.out;

    std::vector<std::pair<std::u16string, std::string>> many;
    for (int i = 0; i < 50; ++i)
        many.push_back({FromUtf8("\\Windows\\vl_m" + std::to_string(100 + i) + ".xml"),
                        Package("<description ID=\"" + std::to_string(500 + i) + "\" NAME=\"m" +
                                std::to_string(i) + "\"/>")});
    Put(many);
    r = Lingo({"show"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("sel=0 count=50\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  [49] \"m45\"\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("\"m46\""), std::string::npos);
}

// Without layout libraries the list is disabled with the placeholder, and Done writes no
// "Current" and leaves the input method alone.
TEST_F(LingoTest, WithoutLayoutsDoneTouchesNoKeyboard) {
    Import("[HKEY_CURRENT_USER\\ControlPanel\\Sip]\n\"DefaultIm\"=\"" + std::string(kCompanionKeyboard) + "\"\n");
    Remove({u"\\Windows\\english_us.vxb", u"\\Windows\\russian.vxb"});
    auto r = Lingo({"show", "ok"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("1008 combobox \"Russian\" disabled sel=0 count=1\n  [0] \"Russian\"\n"), std::string::npos)
        << r.out;
    // One Layout line, from the keyboard's start; none from a reload.
    EXPECT_EQ(r.out.find("Layout 0x"), r.out.rfind("Layout 0x")) << r.out;
    EXPECT_NE(r.out.find("Layout 0x"), std::string::npos) << r.out;
    EXPECT_EQ(Export("HKEY_CLASSES_ROOT\\CLSID\\" + std::string(kCompanionKeyboard)).find("Current"),
              std::string::npos);
}

namespace {

// The applet loaded in this process from an image made by pocketsim init, as the control panel
// loads it, with a person at its dialog played by a function.
class LingoInProcess : public LingoTest {
protected:
    void SetUp() override {
        LingoTest::SetUp();
        std::string error;
        m_device = host::Device::Open(m_image, &error);
        ASSERT_TRUE(m_device) << error;
        m_scope = std::make_unique<host::ScopedDevice>(m_device.get());
        m_device->SetConsole([this](std::string_view line) { m_journal += std::string(line) + "\n"; });
        m_module = LoadLibraryW(u"\\Windows\\Lingo.cpl");
        ASSERT_NE(m_module, nullptr) << GetLastError();
        m_entry = reinterpret_cast<APPLET_PROC>(GetProcAddressW(m_module, u"CPlApplet"));
        ASSERT_NE(m_entry, nullptr);
    }
    void TearDown() override {
        host::SetDialogDriver(nullptr);
        if (m_module) FreeLibrary(m_module);
        m_scope.reset();
        m_device.reset();
        LingoTest::TearDown();
    }
    // Opens the applet; person is called each time the dialog waits, until it returns false.
    void Open(std::function<bool(HWND)> person) {
        host::SetDialogDriver(std::move(person));
        ASSERT_EQ(m_entry(nullptr, CPL_INIT, 0, 0), 1);
        EXPECT_EQ(m_entry(nullptr, CPL_DBLCLK, 0, 0), 0);
    }

    std::unique_ptr<host::Device> m_device;
    std::unique_ptr<host::ScopedDevice> m_scope;
    std::string m_journal;
    HMODULE m_module = nullptr;
    APPLET_PROC m_entry = nullptr;
};

}  // namespace

// The control panel's questions: one applet, its icon and strings.
TEST_F(LingoInProcess, AnswersTheControlPanel) {
    ASSERT_EQ(m_entry(nullptr, CPL_INIT, 0, 0), 1);
    EXPECT_EQ(m_entry(nullptr, CPL_GETCOUNT, 0, 0), 1);
    CPLINFO info{};
    EXPECT_EQ(m_entry(nullptr, CPL_INQUIRE, 0, reinterpret_cast<LPARAM>(&info)), 0);
    EXPECT_EQ(info.idIcon, 101);
    EXPECT_EQ(info.idName, 1);
    EXPECT_EQ(info.idInfo, 2);
    NEWCPLINFO full{};
    EXPECT_EQ(m_entry(nullptr, CPL_NEWINQUIRE, 0, reinterpret_cast<LPARAM>(&full)), 0);
    EXPECT_EQ(full.dwSize, 468u);
    EXPECT_NE(full.hIcon, nullptr);
    EXPECT_EQ(ToUtf8(full.szName), "Language switcher");
    EXPECT_EQ(ToUtf8(full.szInfo), "Language switcher");
    EXPECT_TRUE(DestroyIcon(full.hIcon));
    EXPECT_EQ(m_entry(nullptr, CPL_STOP, 0, 0), 0);
}

// The controls are placed from the client rectangle, 8 pixels in from each side, the heading on
// top in its colour on white, with bold and normal fonts of one height.
TEST_F(LingoInProcess, LaysOutItsControls) {
    bool looked = false;
    Open([&](HWND dialog) {
        if (looked) return false;
        looked = true;
        RECT client{};
        GetClientRect(dialog, &client);
        const struct {
            int id, top, height;
        } places[] = {{1007, 2, 14}, {1010, 28, 14}, {1003, 68, 28}, {1009, 100, 14}, {1011, 141, 32}};
        for (const auto& p : places) {
            HWND control = GetDlgItem(dialog, p.id);
            RECT r{};
            GetWindowRect(control, &r);
            POINT at{r.left, r.top};
            ScreenToClient(dialog, &at);
            EXPECT_EQ(at.x, client.left + 8) << p.id;
            EXPECT_EQ(at.y, client.top + p.top) << p.id;
            EXPECT_EQ(r.right - r.left, client.right - client.left - 16) << p.id;
            EXPECT_EQ(r.bottom - r.top, p.height) << p.id;
        }
        EXPECT_EQ(GetWindow(dialog, GW_CHILD), GetDlgItem(dialog, 1007));
        HDC dc = GetDC(dialog);
        HWND heading = GetDlgItem(dialog, 1007);
        const LRESULT brush =
            SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(heading));
        EXPECT_EQ(reinterpret_cast<HGDIOBJ>(brush), GetStockObject(WHITE_BRUSH));
        EXPECT_EQ(GetTextColor(dc), RGB(10, 0, 210));
        // Any other static is left to the default colouring.
        SetTextColor(dc, RGB(0, 0, 0));
        SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1003)));
        EXPECT_NE(GetTextColor(dc), RGB(10, 0, 210));
        ReleaseDC(dialog, dc);
        auto fontOf = [&](int id) {
            LOGFONTW font{};
            auto handle = reinterpret_cast<HFONT>(SendDlgItemMessageW(dialog, id, WM_GETFONT, 0, 0));
            EXPECT_NE(handle, nullptr) << id;
            GetObjectW(handle, sizeof font, &font);
            return font;
        };
        const LOGFONTW bold = fontOf(1007), normal = fontOf(1003);
        EXPECT_EQ(bold.lfWeight, FW_BOLD);
        EXPECT_EQ(normal.lfWeight, FW_NORMAL);
        EXPECT_EQ(bold.lfHeight, normal.lfHeight);
        EXPECT_NE(bold.lfHeight, 0);
        return false;
    });
    EXPECT_TRUE(looked);
}

// A script that fails (here the current package vanished before Done, so its companion does not
// load): the message, nothing reset, CurLang as it was.
TEST_F(LingoInProcess, FailedSwitchChangesNoLanguage) {
    bool done = false;
    Open([&](HWND dialog) {
        if (done) return false;
        done = true;
        EXPECT_TRUE(DeleteFileW(u"\\Windows\\vl_0409.xml"));
        EXPECT_TRUE(host::PickComboEntry(GetDlgItem(dialog, 1005), 1));
        SendMessageW(dialog, WM_COMMAND, IDOK, 0);
        return true;
    });
    EXPECT_EQ(m_journal, "MessageBox \"Error while process.\" caption=\"\" style=0x00010000\n");
    DWORD language = 0;
    ASSERT_TRUE(RegReadDword(HKEY_CURRENT_USER, u"MUI", u"CurLang", &language));
    EXPECT_EQ(language, 0x0409u);
    EXPECT_TRUE(host::OpenDialogs().empty());
}
