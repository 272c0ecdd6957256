// StopAll and StartProcess: which windows may be closed, the order and manner of asking them,
// the passes and their limit, and the shell processes the configuration runner spares.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/kernel/process.h"
#include "host/windows/simulated_window.h"
#include "host/windows/window.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "script/process_commands.h"
#include "test_image.h"

namespace {

std::string Hex(HWND window) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(window)));
    return text;
}

const WCHAR* const kRunnerClasses[] = {u"menu_worker", u"HHTaskBar", u"MS_SIPBUTTON"};
const CloseExclusions kRunnerExclusions{kRunnerClasses, 3};

class ProcessCommandsTest : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        host::SetWindowObserver([this](const host::WindowEvent& e) {
            if (e.kind == host::WindowEventKind::Sent) return;
            // Other tests' leftover windows are no business of these tests.
            if (e.kind != host::WindowEventKind::Keystroke && !m_mine.count(e.window)) return;
            m_events.push_back(e);
            m_lines.push_back(host::FormatWindowEvent(e));
        });
    }
    void TearDown() override {
        host::SetWindowObserver(nullptr);
        host::DestroySimulatedWindows();
        host::ClearSimulatedProcesses();
        ImageTest::TearDown();
    }
    HWND Sim(const char16_t* text) {
        host::SimulatedWindowSpec spec;
        std::string error;
        EXPECT_TRUE(host::ParseSimulatedWindow(text, &spec, &error)) << error;
        HWND window = host::CreateSimulatedWindow(spec);
        EXPECT_TRUE(window) << ToUtf8(text);
        m_mine.insert(window);
        return window;
    }
    // The messages the window's procedure received of one kind.
    static int Count(HWND window, UINT message) {
        int n = 0;
        for (const host::ReceivedMessage& m : host::SimulatedWindowMessages(window)) n += m.message == message;
        return n;
    }
    // Where in the observed events the first request to close window came.
    size_t FirstClose(HWND window) const {
        for (size_t i = 0; i < m_events.size(); ++i)
            if (m_events[i].window == window && m_events[i].message == WM_CLOSE &&
                m_events[i].kind == host::WindowEventKind::Posted)
                return i;
        return SIZE_MAX;
    }

    std::set<HWND> m_mine;
    std::vector<host::WindowEvent> m_events;
    std::vector<std::string> m_lines;
};

TEST_F(ProcessCommandsTest, WhichWindowsAreCloseCandidates) {
    const DWORD spared = host::AddSimulatedProcess(u"\\Windows\\shell32.exe");
    ProcessList list;
    list.count = 1;
    list.ids[0] = spared;
    struct Case {
        const char16_t* window;
        int candidate;
        int excluded;
    };
    const Case cases[] = {
        {u"Notes|Notes", 1, 0},
        {u"Notes|Notes|0", 0, 0},              // invisible
        {u"Notes|", 0, 0},                     // untitled
        {u"Notes|Pocket PC Emulation", 0, 0},  // excluded titles
        {u"Notes|CursorWindow", 0, 0},
        {u"Notes|cursorwindow", 1, 0},         // names compare with case
        {u"Dialog|Settings", 0, 0},            // excluded classes
        {u"Worker|Busy", 0, 0},
        {u"menu_worker|Menu", 0, 0},
        {u"HHTaskBar|Start", 0, 0},
        {u"MS_SIPBUTTON|Input", 0, 0},
        {u"Explorer|Today|1|\\Windows\\shell32.exe", 0, 1},  // a spared process
    };
    WCHAR title[kCloseNameUnits];
    WCHAR cls[kCloseNameUnits];
    int excluded = 0;
    for (const Case& c : cases) {
        HWND window = Sim(c.window);
        excluded = 0x5A5A;
        EXPECT_EQ(IsCloseCandidate(&list, window, title, cls, &excluded, AppletCloseExclusions()), c.candidate)
            << ToUtf8(c.window);
        EXPECT_EQ(excluded, c.excluded) << ToUtf8(c.window);
        DestroyWindow(window);
    }
    // A spared process's window with the 0x80000000 extended style is a candidate, but still
    // excluded, so nobody closes it.
    host::SimulatedWindowSpec spec;
    spec.className = u"Explorer";
    spec.title = u"Today";
    spec.processId = spared;
    spec.exStyle = WS_EX_CAPTIONOKBTN;
    HWND styled = host::CreateSimulatedWindow(spec);
    m_mine.insert(styled);
    excluded = 0;
    EXPECT_EQ(IsCloseCandidate(&list, styled, title, cls, &excluded, AppletCloseExclusions()), 1);
    EXPECT_EQ(excluded, 1);
    EXPECT_EQ(std::u16string(title), u"Today");
    EXPECT_EQ(std::u16string(cls), u"Explorer");
    CloseAllWindows(&list, TRUE, 0, AppletCloseExclusions());
    EXPECT_TRUE(IsWindow(styled));
    EXPECT_EQ(Count(styled, WM_CLOSE), 0);
    // Without the list the same window is an ordinary candidate.
    EXPECT_EQ(IsCloseCandidate(nullptr, styled, title, cls, &excluded, AppletCloseExclusions()), 1);
    EXPECT_EQ(excluded, 0);
    // The runner's build does not spare "Dialog" windows.
    HWND dialog = Sim(u"Dialog|Settings");
    EXPECT_EQ(IsCloseCandidate(nullptr, dialog, title, cls, &excluded, kRunnerExclusions), 1);
}

TEST_F(ProcessCommandsTest, StopAllAsksEachEligibleWindowTopDownAndSparesTheForeground) {
    HWND bottom = Sim(u"Notes|Notes");
    HWND taskbar = Sim(u"HHTaskBar|Start");
    HWND hidden = Sim(u"Mail|Inbox|0");
    HWND top = Sim(u"Word|Letter");
    HWND applet = Sim(u"Lingo|Languages");
    ASSERT_TRUE(SetForegroundWindow(applet));
    m_lines.clear();

    ProcessList empty;
    CommandTable table(&empty);
    int handled = 1;
    CmdStopAll(&table, nullptr, &handled);
    EXPECT_EQ(handled, 1);

    // "Word" lies above "Notes" once the applet was brought forward. The programs handle their
    // requests only when the applet gives up the processor, so in each odd pass both are still
    // there for the second request; pass 3 finds "Notes" on top, brought forward last.
    auto ask = [](HWND window, const std::string& name) {
        return std::vector<std::string>{
            "SetForegroundWindow " + Hex(window) + " " + name,
            "Message " + Hex(window) + " " + name + " 0x0006 0x00000000 0x" + Hex(window).substr(2),
            "Message " + Hex(window) + " " + name + " 0x0010 0x00000000 0x00000000"};
    };
    std::vector<std::string> expected;
    for (HWND window : {top, bottom, top, bottom, bottom, top, bottom, top}) {
        const std::vector<std::string> lines = ask(window, window == top ? "\"Word\"" : "\"Notes\"");
        expected.insert(expected.end(), lines.begin(), lines.end());
    }
    EXPECT_EQ(m_lines, expected);
    EXPECT_TRUE(IsWindow(top));
    host::RunSimulatedPrograms();
    EXPECT_FALSE(IsWindow(top));
    EXPECT_FALSE(IsWindow(bottom));
    EXPECT_TRUE(IsWindow(taskbar));
    EXPECT_TRUE(IsWindow(hidden));
    EXPECT_TRUE(IsWindow(applet));
    EXPECT_EQ(Count(applet, WM_CLOSE), 0);
}

TEST_F(ProcessCommandsTest, WindowsThatStayAreAskedAgainInTheSamePassAndInPassThree) {
    HWND stubborn = Sim(u"Game|Chess|1||stubborn");
    HWND quick = Sim(u"Slow|Slow");
    HWND applet = Sim(u"Lingo|Languages");
    SetForegroundWindow(applet);

    CloseAllWindows(nullptr, TRUE, 0, AppletCloseExclusions());
    // Nothing has been handled yet: both programs are there, each with two requests from pass 1
    // and two from pass 3 waiting.
    EXPECT_TRUE(IsWindow(quick));
    EXPECT_TRUE(host::SimulatedWindowMessages(stubborn).empty());
    EXPECT_EQ(std::count_if(m_events.begin(), m_events.end(),
                            [&](const host::WindowEvent& e) { return e.window == quick && e.message == WM_CLOSE; }),
              4);
    host::RunSimulatedPrograms();
    // Each request is WM_ACTIVATE (inactive) then WM_CLOSE; the stubborn program hears all four.
    auto got = host::SimulatedWindowMessages(stubborn);
    ASSERT_EQ(got.size(), 8u);
    for (size_t i = 0; i < got.size(); i += 2) {
        EXPECT_EQ(got[i].message, static_cast<UINT>(WM_ACTIVATE));
        EXPECT_EQ(got[i].wParam, static_cast<WPARAM>(WA_INACTIVE));
        EXPECT_EQ(got[i].lParam, reinterpret_cast<LPARAM>(stubborn));
        EXPECT_EQ(got[i + 1].message, static_cast<UINT>(WM_CLOSE));
    }
    // The quick one ends at its first WM_CLOSE; the later requests find no window.
    got = host::SimulatedWindowMessages(quick);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[1].message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(got[2].message, static_cast<UINT>(WM_DESTROY));
    EXPECT_FALSE(IsWindow(quick));
    // Nothing escalates: the stubborn program is still running.
    EXPECT_TRUE(IsWindow(stubborn));
}

TEST_F(ProcessCommandsTest, MediaPlayerGetsCtrlQFirst) {
    HWND player = Sim(u"WMP Skin Window|Player");
    ASSERT_TRUE(player);
    CloseWindowPolitely(player);
    const std::vector<std::string> expected = {
        "SetForegroundWindow " + Hex(player) + " \"WMP Skin Window\"",
        "keybd_event 0x11 0x00000000",
        "keybd_event 0x51 0x00000000",
        "keybd_event 0x51 0x00000002",
        "keybd_event 0x11 0x00000002",
        "Message " + Hex(player) + " \"WMP Skin Window\" 0x0006 0x00000000 0x" + Hex(player).substr(2),
        "Message " + Hex(player) + " \"WMP Skin Window\" 0x0010 0x00000000 0x00000000",
    };
    EXPECT_EQ(m_lines, expected);
    for (const host::WindowEvent& e : m_events) {
        if (e.kind == host::WindowEventKind::Keystroke) {
            EXPECT_EQ(e.extraInfo, 1u);
        }
    }
    // Only the four characters "WMP " count: other classes get no keystrokes.
    m_lines.clear();
    CloseWindowPolitely(Sim(u"WMPlayer|Player"));
    for (const std::string& line : m_lines) EXPECT_EQ(line.find("keybd_event"), std::string::npos) << line;
    EXPECT_EQ(m_lines.size(), 3u);
}

TEST_F(ProcessCommandsTest, DialogsAreAnsweredWithOk) {
    // A "Dialog" window gets IDOK, which closes it once the dialog's program runs; until then it
    // is still there, so the polite close follows the answer.
    HWND dialog = Sim(u"Dialog|Confirm");
    m_lines.clear();
    CloseWindowPolitely(dialog);
    ASSERT_EQ(m_lines.size(), 4u);
    EXPECT_EQ(m_lines[1], "Message " + Hex(dialog) + " \"Dialog\" 0x0111 0x00000001 0x00000000");
    host::RunSimulatedPrograms();
    auto got = host::SimulatedWindowMessages(dialog);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(got[0].wParam, static_cast<WPARAM>(IDOK));
    EXPECT_EQ(got[0].lParam, 0);
    EXPECT_EQ(got[1].message, static_cast<UINT>(WM_DESTROY));
    EXPECT_FALSE(IsWindow(dialog));

    // When IDOK does not close it, it hears the polite close too.
    HWND stubborn = Sim(u"Dialog|Confirm|visible||stubborn");
    CloseWindowPolitely(stubborn);
    host::RunSimulatedPrograms();
    got = host::SimulatedWindowMessages(stubborn);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(got[1].message, static_cast<UINT>(WM_ACTIVATE));
    EXPECT_EQ(got[2].message, static_cast<UINT>(WM_CLOSE));
    EXPECT_TRUE(IsWindow(stubborn));

    // Any other window is only brought forward and activated.
    HWND other = Sim(u"Notes|Notes");
    HWND top = Sim(u"Mail|Inbox");
    m_lines.clear();
    CloseDialogWindow(other);
    EXPECT_EQ(m_lines, (std::vector<std::string>{"SetForegroundWindow " + Hex(other) + " \"Notes\""}));
    EXPECT_EQ(GetActiveWindow(), other);
    EXPECT_EQ(GetWindow(nullptr, GW_CHILD), other);
    EXPECT_TRUE(host::SimulatedWindowMessages(other).empty());
    EXPECT_TRUE(IsWindow(top));
}

TEST_F(ProcessCommandsTest, APassAsksAtMostTwentyFiveWindows) {
    // Thirty programs that have not run yet: the same top 25 fill both odd passes, each asked
    // twice in each, and the bottom five are never asked.
    std::vector<HWND> quick;
    for (int i = 0; i < 30; ++i) quick.push_back(Sim(u"Quick|Quick"));
    CloseAllWindows(nullptr, FALSE, 0, AppletCloseExclusions());
    host::RunSimulatedPrograms();
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(IsWindow(quick[i])) << i;
    for (int i = 5; i < 30; ++i) EXPECT_FALSE(IsWindow(quick[i])) << i;
    // quick.back() is topmost; each pass asks top-down.
    for (int i = 5; i < 29; ++i) EXPECT_LT(FirstClose(quick[i + 1]), FirstClose(quick[i]));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(FirstClose(quick[i]), SIZE_MAX) << i;
    // The next StopAll finds the five that are left.
    CloseAllWindows(nullptr, FALSE, 0, AppletCloseExclusions());
    host::RunSimulatedPrograms();
    for (HWND w : quick) EXPECT_FALSE(IsWindow(w));

    // Stubborn programs hear every request: four each for the top 25.
    host::DestroySimulatedWindows();
    std::vector<HWND> stubborn;
    for (int i = 0; i < 30; ++i) stubborn.push_back(Sim(u"Stuck|Stuck|1||stubborn"));
    CloseAllWindows(nullptr, FALSE, 0, AppletCloseExclusions());
    host::RunSimulatedPrograms();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Count(stubborn[i], WM_CLOSE), 0) << i;
    for (int i = 5; i < 30; ++i) EXPECT_EQ(Count(stubborn[i], WM_CLOSE), 4) << i;
}

TEST_F(ProcessCommandsTest, DesktopIsBroughtForwardOnlyWhenAsked) {
    HWND desktop = Sim(u"DesktopExplorerWindow|Desktop|0");
    HWND notes = Sim(u"Notes|Notes");
    SetForegroundWindow(notes);
    m_lines.clear();
    CloseAllWindows(nullptr, TRUE, -1, AppletCloseExclusions());
    EXPECT_TRUE(IsWindow(notes));  // the foreground window is spared
    EXPECT_TRUE(m_lines.empty());

    // Without sparing the foreground, the foreground program is closed too and the desktop
    // comes forward at the end.
    CloseAllWindows(nullptr, FALSE, -1, AppletCloseExclusions());
    host::RunSimulatedPrograms();
    EXPECT_FALSE(IsWindow(notes));
    ASSERT_FALSE(m_lines.empty());
    EXPECT_EQ(m_lines.back(), "SetForegroundWindow " + Hex(desktop) + " \"DesktopExplorerWindow\"");
    EXPECT_EQ(GetForegroundWindow(), desktop);

    HWND other = Sim(u"Notes|Again");
    SetForegroundWindow(other);
    m_lines.clear();
    CloseAllWindows(nullptr, FALSE, 0, AppletCloseExclusions());
    host::RunSimulatedPrograms();
    EXPECT_FALSE(IsWindow(other));
    for (const std::string& line : m_lines) EXPECT_EQ(line.find(Hex(desktop)), std::string::npos) << line;
}

TEST_F(ProcessCommandsTest, CollectShellProcessesKeepsTheFirstFour) {
    std::vector<DWORD> shells;
    host::AddSimulatedProcess(u"\\Windows\\tmail.exe");
    shells.push_back(host::AddSimulatedProcess(u"\\Windows\\shell32.exe"));
    host::AddSimulatedProcess(u"\\Windows\\Shell32.exe");  // names compare with case
    shells.push_back(host::AddSimulatedProcess(u"shell32r.exe"));
    shells.push_back(host::AddSimulatedProcess(u"\\Windows\\shell32.exe"));
    shells.push_back(host::AddSimulatedProcess(u"\\Windows\\shell32r.exe"));
    host::AddSimulatedProcess(u"\\Windows\\shell32.exe");  // a fifth shell is not spared
    ProcessList list;
    list.count = 3;
    list.ids[3] = 0xdeadbeef;
    ASSERT_EQ(CollectShellProcesses(&list), 1);
    ASSERT_EQ(list.count, 4u);
    EXPECT_EQ(std::vector<DWORD>(list.ids, list.ids + 4), shells);

    // With no snapshot to take, the list is emptied and the call fails.
    host::ScopedDevice none(nullptr);
    EXPECT_EQ(CollectShellProcesses(&list), 0);
    EXPECT_EQ(list.count, 0u);
}

TEST_F(ProcessCommandsTest, StartProcessRunsNameWithCommandLineUnchanged) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Windows", nullptr));
    InstallFile(std::filesystem::path(VX_TEST_DATA_DIR) / "proc_child", u"\\Windows\\proc_child.exe");
    CommandTable table(nullptr);
    AttributeMap attributes;
    int handled = 1;
    // Without NAME nothing is started.
    attributes.Add(NameHash(u"CMDLINE"), u"exit:1");
    EXPECT_EQ(CmdStartProcess(&table, &attributes, &handled), 0u);
    EXPECT_EQ(handled, 1);
    // A program that cannot be started is silently skipped.
    AttributeMap missing;
    missing.Add(NameHash(u"NAME"), u"\\Windows\\missing.exe");
    EXPECT_EQ(CmdStartProcess(&table, &missing, &handled), 0u);

    AttributeMap start;
    start.Add(NameHash(u"name"), u"\\Windows\\proc_child.exe");
    start.Add(NameHash(u"cmdline"), u"  two  spaces ");
    EXPECT_EQ(CmdStartProcess(&table, &start, &handled), 1u);
    EXPECT_EQ(handled, 1);
    // The command does not wait: the program's record appears when it gets to it.
    std::u16string seen;
    for (int i = 0; i < 500 && seen.empty(); ++i) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\VxProcessTest", 0, 0, &key) == ERROR_SUCCESS) {
            WCHAR text[64] = {};
            DWORD size = sizeof text - sizeof(WCHAR);
            if (RegQueryValueExW(key, u"CommandLine", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) ==
                ERROR_SUCCESS)
                seen = text;
            RegCloseKey(key);
        }
        if (seen.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(seen, u"  two  spaces ");
}

}  // namespace
