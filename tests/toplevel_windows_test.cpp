// Top-level windows as other programs see them: the stack, titles and class names, owners, the
// foreground window, the observer of messages and keystrokes, and simulated programs' windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "host/kernel/process.h"
#include "host/windows/simulated_window.h"
#include "host/windows/window.h"
#include "platform/processes.h"
#include "platform/text.h"
#include "platform/windows.h"
#include "test_image.h"

namespace {

constexpr const char16_t* kClass = u"VxTopLevelTest";

LRESULT PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

class TopLevelWindowsTest : public ImageTestBase<> {
protected:
    void SetUp() override {
        ImageTestBase<>::SetUp();
        WNDCLASSW cls{};
        cls.lpfnWndProc = PlainProc;
        cls.lpszClassName = kClass;
        ASSERT_NE(RegisterClassW(&cls), 0);
    }
    void TearDown() override {
        host::SetWindowObserver(nullptr);
        for (HWND w : m_windows)
            if (IsWindow(w)) DestroyWindow(w);
        host::DestroySimulatedWindows();
        host::ClearSimulatedProcesses();
        UnregisterClassW(kClass, nullptr);
        ImageTestBase<>::TearDown();
    }
    HWND Top(const char16_t* title, DWORD style = WS_VISIBLE) {
        HWND w = CreateWindowExW(0, kClass, title, style, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        if (w) m_windows.push_back(w);
        return w;
    }
    // The stack from the top, keeping only this test's windows (other tests' leftovers may lie
    // below them).
    std::vector<HWND> OwnStack() const {
        std::vector<HWND> out;
        for (HWND w = GetWindow(nullptr, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
            if (std::count(m_windows.begin(), m_windows.end(), w)) out.push_back(w);
        return out;
    }
    std::vector<HWND> m_windows;
};

TEST_F(TopLevelWindowsTest, NewWindowsGoOnTopAndForegroundRaises) {
    HWND a = Top(u"a");
    HWND b = Top(u"b");
    HWND c = Top(u"c");
    ASSERT_TRUE(a && b && c);
    // GetWindow with no window and GW_CHILD starts at the topmost top-level window.
    EXPECT_EQ(GetWindow(nullptr, GW_CHILD), c);
    EXPECT_EQ(OwnStack(), (std::vector<HWND>{c, b, a}));
    EXPECT_EQ(GetWindow(b, GW_HWNDPREV), c);
    EXPECT_EQ(GetWindow(a, GW_HWNDFIRST), c);
    // SetWindowPos restacks unless told not to.
    const UINT keep = SWP_NOMOVE | SWP_NOSIZE;
    ASSERT_TRUE(SetWindowPos(c, HWND_BOTTOM, 0, 0, 0, 0, keep));
    EXPECT_EQ(OwnStack(), (std::vector<HWND>{b, a, c}));
    ASSERT_TRUE(SetWindowPos(c, b, 0, 0, 0, 0, keep));
    EXPECT_EQ(OwnStack(), (std::vector<HWND>{b, c, a}));
    ASSERT_TRUE(SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, keep | SWP_NOZORDER));
    EXPECT_EQ(OwnStack(), (std::vector<HWND>{b, c, a}));
    ASSERT_TRUE(SetWindowPos(c, HWND_TOP, 0, 0, 0, 0, keep));
    EXPECT_EQ(OwnStack(), (std::vector<HWND>{c, b, a}));

    // SetForegroundWindow lifts the window to the top and makes it the foreground window.
    EXPECT_TRUE(SetForegroundWindow(a));
    EXPECT_EQ(GetForegroundWindow(), a);
    EXPECT_EQ(GetActiveWindow(), a);
    EXPECT_EQ(OwnStack(), (std::vector<HWND>{a, c, b}));

    // A child brings its top-level window forward; children are not in the top-level stack.
    HWND child = CreateWindowExW(0, kClass, u"kid", WS_CHILD | WS_VISIBLE, 0, 0, 2, 2, b, nullptr, nullptr, nullptr);
    HWND second = CreateWindowExW(0, kClass, u"kid2", WS_CHILD | WS_VISIBLE, 0, 0, 2, 2, b, nullptr, nullptr, nullptr);
    ASSERT_TRUE(child && second);
    EXPECT_EQ(OwnStack(), (std::vector<HWND>{a, c, b}));
    EXPECT_EQ(GetWindow(b, GW_CHILD), child);  // children stack in the order they were made
    EXPECT_EQ(GetWindow(child, GW_HWNDNEXT), second);
    EXPECT_EQ(GetWindow(second, GW_HWNDNEXT), nullptr);
    // Children restack among their siblings only; a window that is no sibling moves nothing.
    ASSERT_TRUE(SetWindowPos(second, HWND_TOPMOST, 0, 0, 0, 0, keep));
    EXPECT_EQ(GetWindow(b, GW_CHILD), second);
    ASSERT_TRUE(SetWindowPos(second, child, 0, 0, 0, 0, keep));
    EXPECT_EQ(GetWindow(b, GW_CHILD), child);
    EXPECT_EQ(GetWindow(child, GW_HWNDNEXT), second);
    ASSERT_TRUE(SetWindowPos(second, a, 0, 0, 0, 0, keep));
    EXPECT_EQ(GetWindow(b, GW_CHILD), child);
    ASSERT_TRUE(SetWindowPos(child, HWND_BOTTOM, 0, 0, 0, 0, keep));
    EXPECT_EQ(GetWindow(b, GW_CHILD), second);
    EXPECT_EQ(OwnStack(), (std::vector<HWND>{a, c, b}));
    EXPECT_TRUE(SetForegroundWindow(child));
    EXPECT_EQ(GetForegroundWindow(), b);
    EXPECT_EQ(OwnStack().front(), b);

    // A failed call leaves the foreground alone.
    DestroyWindow(c);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetForegroundWindow(c));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(GetForegroundWindow(), b);
    EXPECT_EQ(OwnStack(), (std::vector<HWND>{b, a}));
    // Destroying the foreground window leaves no foreground window.
    DestroyWindow(b);
    EXPECT_EQ(GetForegroundWindow(), nullptr);
    EXPECT_EQ(GetActiveWindow(), nullptr);
}

TEST_F(TopLevelWindowsTest, TitlesAndClassNames) {
    HWND w = CreateWindowExW(0, u"vxtopleveltest", u"Notes", WS_VISIBLE, 0, 0, 4, 4, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(w);
    m_windows.push_back(w);
    WCHAR buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    // The class keeps the spelling it was registered with, whatever spelling created the window.
    EXPECT_EQ(GetClassNameW(w, buffer, 16), 14);
    EXPECT_EQ(std::u16string(buffer), u"VxTopLevelTest");
    // Text is cut to maxCount - 1 units and terminated; nothing past it is written.
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(GetClassNameW(w, buffer, 5), 4);
    EXPECT_EQ(std::u16string(buffer), u"VxTo");
    EXPECT_EQ(buffer[5], u'#');
    EXPECT_EQ(GetWindowTextW(w, buffer, 16), 5);
    EXPECT_EQ(std::u16string(buffer), u"Notes");
    EXPECT_TRUE(SetWindowTextW(w, u"Calendar"));
    EXPECT_EQ(GetWindowTextW(w, buffer, 16), 8);
    EXPECT_EQ(std::u16string(buffer), u"Calendar");
    EXPECT_TRUE(SetWindowTextW(w, nullptr));
    EXPECT_EQ(GetWindowTextLengthW(w), 0);

    // A window made without a name has an empty title.
    HWND untitled = CreateWindowExW(0, kClass, nullptr, 0, 0, 0, 4, 4, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(untitled);
    m_windows.push_back(untitled);
    buffer[0] = u'#';
    EXPECT_EQ(GetWindowTextW(untitled, buffer, 16), 0);
    EXPECT_EQ(buffer[0], 0);

    // A dead window: nothing copied, the platform's error.
    DestroyWindow(untitled);
    SetLastError(0xdeadbeef);
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(GetClassNameW(untitled, buffer, 16), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(buffer[0], u'#');
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetWindowTextW(untitled, u"x"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(TopLevelWindowsTest, FindWindowMatchesClassAnyCaseAndTitleExactly) {
    HWND lower = Top(u"Inbox", 0);  // hidden windows are found too
    HWND upper = Top(u"Inbox");
    HWND other = Top(u"inbox");
    ASSERT_TRUE(lower && upper && other);
    HWND child = CreateWindowExW(0, kClass, u"Pane", WS_CHILD, 0, 0, 2, 2, upper, nullptr, nullptr, nullptr);
    ASSERT_TRUE(child);
    // The topmost of several matches wins.
    EXPECT_EQ(FindWindowW(u"VXTOPLEVELTEST", u"Inbox"), upper);
    EXPECT_EQ(FindWindowW(kClass, u"inbox"), other);
    EXPECT_EQ(FindWindowW(nullptr, u"inbox"), other);
    EXPECT_EQ(FindWindowW(kClass, nullptr), other);
    SetForegroundWindow(lower);
    EXPECT_EQ(FindWindowW(kClass, u"Inbox"), lower);
    // Titles compare whole and with case; child windows are not searched.
    EXPECT_EQ(FindWindowW(kClass, u"Inbo"), nullptr);
    EXPECT_EQ(FindWindowW(kClass, u"INBOX"), nullptr);
    EXPECT_EQ(FindWindowW(kClass, u"Pane"), nullptr);
    EXPECT_EQ(FindWindowW(u"NoSuchClass", nullptr), nullptr);
}

TEST_F(TopLevelWindowsTest, OwningProcessAndExtendedStyle) {
    HWND w = Top(u"mine");
    ASSERT_TRUE(w);
    DWORD process = 0xdeadbeef;
    // A window belongs to the process that made it, unless the host says otherwise.
    EXPECT_NE(GetWindowThreadProcessId(w, &process), 0u);
    EXPECT_EQ(process, GetCurrentProcessId());
    EXPECT_NE(GetWindowThreadProcessId(w, nullptr), 0u);
    ASSERT_TRUE(host::SetWindowProcess(w, 0x10000040));
    EXPECT_EQ(GetWindowThreadProcessId(w, &process), GetWindowThreadProcessId(w, nullptr));
    EXPECT_EQ(process, 0x10000040u);

    HWND styled = CreateWindowExW(WS_EX_CAPTIONOKBTN, kClass, u"ok", WS_VISIBLE, 0, 0, 2, 2, nullptr, nullptr, nullptr,
                                  nullptr);
    ASSERT_TRUE(styled);
    m_windows.push_back(styled);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(styled, GWL_EXSTYLE)), 0x80000000u);

    DestroyWindow(w);
    process = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetWindowThreadProcessId(w, &process), 0u);
    EXPECT_EQ(process, 0xdeadbeefu);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(host::SetWindowProcess(w, 1));
}

TEST_F(TopLevelWindowsTest, ObserverSeesPostsSendsKeystrokesAndForegroundInOrder) {
    HWND w = Top(u"watched");
    ASSERT_TRUE(w);
    std::vector<std::string> lines;
    std::vector<host::WindowEvent> events;
    host::SetWindowObserver([&](const host::WindowEvent& e) {
        events.push_back(e);
        lines.push_back(host::FormatWindowEvent(e));
    });
    const auto hex = [](HWND h) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(h)));
        return std::string(text);
    };
    ASSERT_TRUE(PostMessageW(w, WM_USER + 1, 0x12, -1));
    SendMessageW(w, WM_USER + 2, 0, 0x55);
    keybd_event(VK_CONTROL, 0x1D, KEYEVENTF_KEYUP, 1);
    ASSERT_TRUE(SetForegroundWindow(w));
    // A post to a window that is gone fails and is not reported.
    HWND gone = Top(u"gone");
    DestroyWindow(gone);
    EXPECT_FALSE(PostMessageW(gone, WM_CLOSE, 0, 0));

    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Message " + hex(w) + " \"VxTopLevelTest\" 0x0401 0x00000012 0xFFFFFFFF");
    EXPECT_EQ(lines[1], "SendMessage " + hex(w) + " \"VxTopLevelTest\" 0x0402 0x00000000 0x00000055");
    EXPECT_EQ(lines[2], "keybd_event 0x11 0x00000002");
    EXPECT_EQ(lines[3], "SetForegroundWindow " + hex(w) + " \"VxTopLevelTest\"");
    EXPECT_EQ(events[2].scan, 0x1D);
    EXPECT_EQ(events[2].extraInfo, 1u);

    // The posted message still waits in the queue: observing does not consume it.
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, w, WM_USER + 1, WM_USER + 1, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0x12u);
    host::SetWindowObserver(nullptr);
    PostMessageW(w, WM_USER, 0, 0);
    EXPECT_EQ(lines.size(), 4u);
}

TEST_F(TopLevelWindowsTest, SimulatedWindowsParseFromText) {
    host::SimulatedWindowSpec spec;
    std::string error;
    // Every field is set, so a spec used before keeps nothing of it.
    spec.title = u"old";
    spec.visible = false;
    spec.processPath = u"\\Windows\\old.exe";
    spec.stubborn = true;
    ASSERT_TRUE(host::ParseSimulatedWindow(u"Notes", &spec, &error));
    EXPECT_EQ(spec.className, u"Notes");
    EXPECT_EQ(spec.title, u"");
    EXPECT_TRUE(spec.visible);
    EXPECT_TRUE(spec.processPath.empty());
    EXPECT_FALSE(spec.stubborn);

    ASSERT_TRUE(host::ParseSimulatedWindow(u"A|t|hidden|0x10000008|", &spec, &error));
    EXPECT_FALSE(spec.visible);
    EXPECT_EQ(spec.processId, 0x10000008u);
    EXPECT_FALSE(spec.stubborn);

    // Bad text is refused with a reason and leaves the spec as it was.
    for (const char16_t* bad : {u"", u"|title", u"A|t|maybe", u"A|t|1|0", u"A|t|1||often", u"A|t|1||stubborn|x"}) {
        error.clear();
        EXPECT_FALSE(host::ParseSimulatedWindow(bad, &spec, &error)) << ToUtf8(bad);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(spec.className, u"A");
    }
}

TEST_F(TopLevelWindowsTest, SimulatedWindowsRecordAndClose) {
    host::SimulatedWindowSpec spec;
    spec.className = u"Sim Class";
    spec.title = u"Sim";
    HWND quick = host::CreateSimulatedWindow(spec);
    spec.stubborn = true;
    HWND stubborn = host::CreateSimulatedWindow(spec);
    spec.stubborn = false;
    spec.visible = false;
    spec.processPath = u"\\Windows\\simprog.exe";
    HWND queued = host::CreateSimulatedWindow(spec);
    ASSERT_TRUE(quick && stubborn && queued);
    EXPECT_TRUE(IsWindowVisible(quick));
    EXPECT_FALSE(IsWindowVisible(queued));
    DWORD owner = 0;
    GetWindowThreadProcessId(queued, &owner);
    EXPECT_NE(owner, GetCurrentProcessId());
    // A second window naming the same program belongs to the same process.
    HWND sibling = host::CreateSimulatedWindow(spec);
    DWORD siblingOwner = 0;
    GetWindowThreadProcessId(sibling, &siblingOwner);
    EXPECT_EQ(siblingOwner, owner);

    // A posted message waits in the programs' queue, not this thread's, until this program gives
    // up the processor (here in Sleep); then WM_CLOSE ends the window.
    ASSERT_TRUE(PostMessageW(quick, WM_ACTIVATE, WA_INACTIVE, 7));
    ASSERT_TRUE(PostMessageW(quick, WM_CLOSE, 0, 0));
    EXPECT_TRUE(IsWindow(quick));
    EXPECT_TRUE(host::SimulatedWindowMessages(quick).empty());
    MSG msg{};
    EXPECT_FALSE(PeekMessageW(&msg, quick, 0, 0, PM_NOREMOVE));
    Sleep(0);
    EXPECT_FALSE(IsWindow(quick));
    auto got = host::SimulatedWindowMessages(quick);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].message, static_cast<UINT>(WM_ACTIVATE));
    EXPECT_EQ(got[0].lParam, 7);
    EXPECT_EQ(got[1].message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(got[2].message, static_cast<UINT>(WM_DESTROY));

    // A stubborn window hears WM_CLOSE and stays.
    PostMessageW(stubborn, WM_CLOSE, 0, 0);
    host::RunSimulatedPrograms();
    EXPECT_TRUE(IsWindow(stubborn));
    ASSERT_EQ(host::SimulatedWindowMessages(stubborn).size(), 1u);

    // A message box lets them run too, as its own message loop does.
    PostMessageW(queued, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(queued));
    MessageBoxW(nullptr, u"wait", u"", MB_OK);
    EXPECT_FALSE(IsWindow(queued));

    host::DestroySimulatedWindows();
    EXPECT_FALSE(IsWindow(stubborn));
    EXPECT_TRUE(host::SimulatedWindowMessages(stubborn).empty());
    // The class made for them is gone with them.
    WNDCLASSW info{};
    EXPECT_FALSE(GetClassInfoW(nullptr, u"Sim Class", &info));
}

}  // namespace

// Nobody looks at a simulated program's window: a visible one is painted (its update region
// empties) without ever holding pixels, however many of them a run makes.
TEST_F(TopLevelWindowsTest, SimulatedWindowsPaintWithoutPixels) {
    host::SimulatedWindowSpec spec;
    spec.className = u"Sim Paint";
    spec.title = u"Sim";
    HWND shown = host::CreateSimulatedWindow(spec);
    ASSERT_NE(shown, nullptr);
    host::RunSimulatedPrograms();
    RECT update{};
    EXPECT_FALSE(GetUpdateRect(shown, &update, FALSE));
    EXPECT_EQ(host::WindowFromHandle(shown)->SurfaceBytes(), 0u);
}
