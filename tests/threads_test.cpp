// Threads of a program and their windows: CreateThread and its handle, messages sent to a window
// of another thread, the rotation's broadcast to every thread's windows, and the emulator's way
// of making COM initialisation fail.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "host/com/com_runtime.h"
#include "host/windows/rotation.h"
#include "platform/com.h"
#include "platform/threads.h"
#include "platform/windows.h"
#include "test_image.h"

namespace {

using ThreadsTest = ImageTest;

// A window on a thread of its own that pumps messages until WM_DESTROY; its procedure notes the
// thread it ran on and the settings changes it got.
struct Pumped {
    static inline std::atomic<DWORD> handledOn{0};
    static inline std::atomic<int> settingChanges{0};
    static inline std::atomic<WPARAM> lastChange{0};
    std::atomic<HWND> window{nullptr};
    DWORD threadId = 0;
    HANDLE thread = nullptr;

    static LRESULT Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case WM_USER:
            handledOn = GetCurrentThreadId();
            return static_cast<LRESULT>(wParam * 2);
        case WM_SETTINGCHANGE:
            ++settingChanges;
            lastChange = wParam;
            return 0;
        case WM_DESTROY:
            // Only the pumping thread's window ends a loop: the test's thread destroys its own
            // windows and must not be left with a quit message.
            if (GetWindowLongPtrW(window, GWLP_USERDATA)) PostQuitMessage(7);
            return 0;
        default: return DefWindowProcW(window, message, wParam, lParam);
        }
    }
    static DWORD Run(LPVOID self) {
        auto* pumped = static_cast<Pumped*>(self);
        HWND window = CreateWindowExW(0, u"PumpedTest", u"", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                      CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, 1);
        pumped->window = window;
        MSG msg{};
        // Destroyed from its own thread when asked with WM_CLOSE.
        while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
        return static_cast<DWORD>(msg.wParam);
    }
};

class CrossThreadTest : public ThreadsTest {
protected:
    void SetUp() override {
        ThreadsTest::SetUp();
        WNDCLASSW cls{};
        cls.lpfnWndProc = Pumped::Proc;
        cls.lpszClassName = u"PumpedTest";
        RegisterClassW(&cls);
        Pumped::settingChanges = 0;
        Pumped::handledOn = 0;
    }
    void TearDown() override {
        UnregisterClassW(u"PumpedTest", nullptr);
        ThreadsTest::TearDown();
    }
    void Start(Pumped& pumped) {
        pumped.thread = CreateThread(nullptr, 0, Pumped::Run, &pumped, 0, &pumped.threadId);
        ASSERT_NE(nullptr, pumped.thread);
        for (int i = 0; i < 500 && !pumped.window; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_NE(nullptr, pumped.window);
    }
    // Sends from a helper thread, so that a send that hangs fails the test instead of stopping it.
    static bool SendWithin(HWND window, UINT message, WPARAM wParam, LRESULT* result) {
        auto done = std::make_shared<std::promise<LRESULT>>();
        std::future<LRESULT> answer = done->get_future();
        std::thread([=] { done->set_value(SendMessageW(window, message, wParam, 0)); }).detach();
        if (answer.wait_for(std::chrono::seconds(5)) != std::future_status::ready) return false;
        *result = answer.get();
        return true;
    }
};

TEST_F(ThreadsTest, ACreatedThreadRunsAtOnceAndItsHandleTellsItsEnd) {
    struct Seen {
        DWORD id = 0;
    } seen;
    DWORD id = 0;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            static_cast<Seen*>(p)->id = GetCurrentThreadId();
            return 42;
        },
        &seen, 0, &id);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(42u, code);
    EXPECT_EQ(id, seen.id);
    EXPECT_NE(GetCurrentThreadId(), id);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(thread, 0));

    // A thread that has not ended yet is still active.
    std::atomic<bool> release{false};
    thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            while (!static_cast<std::atomic<bool>*>(p)->load()) std::this_thread::yield();
            return 0;
        },
        &release, 0, nullptr);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread, 10));
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(DWORD(STILL_ACTIVE), code);
    release = true;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
    CloseHandle(thread);

    EXPECT_EQ(nullptr, CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
}

// A message sent to a window of another thread is handled on that thread, when it looks for
// messages, and the sender gets the result.
TEST_F(CrossThreadTest, ASentMessageIsHandledOnTheWindowsThread) {
    Pumped pumped;
    Start(pumped);
    LRESULT result = 0;
    ASSERT_TRUE(SendWithin(pumped.window, WM_USER, 21, &result));
    EXPECT_EQ(42, result);
    EXPECT_EQ(pumped.threadId, Pumped::handledOn.load());
    EXPECT_EQ(42, SendMessageW(pumped.window, WM_USER, 21, 0));
    EXPECT_EQ(pumped.threadId, GetWindowThreadProcessId(pumped.window, nullptr));

    ASSERT_TRUE(PostMessageW(pumped.window, WM_CLOSE, 0, 0));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pumped.thread, 5000));
    DWORD code = 0;
    GetExitCodeThread(pumped.thread, &code);
    EXPECT_EQ(7u, code);
    CloseHandle(pumped.thread);
}

// A window whose thread has ended without destroying it gets nothing: the send returns 0 at once
// and a post fails.
TEST_F(CrossThreadTest, SendingToAWindowOfAnEndedThreadReturnsZero) {
    HWND orphan = nullptr;
    std::thread([&] {
        orphan = CreateWindowExW(0, u"PumpedTest", u"", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 nullptr, nullptr, nullptr, nullptr);
    }).join();
    ASSERT_TRUE(IsWindow(orphan));
    LRESULT result = -1;
    ASSERT_TRUE(SendWithin(orphan, WM_USER, 21, &result)) << "the send did not return";
    EXPECT_EQ(0, result);
    EXPECT_EQ(0u, Pumped::handledOn.load());
    EXPECT_FALSE(PostMessageW(orphan, WM_USER, 1, 0));
    DestroyWindow(orphan);
}

// The rotation swaps the screen and every top-level window of every thread has handled the
// settings change when it returns.
TEST_F(CrossThreadTest, RotationTellsEveryThreadsWindowsBeforeItReturns) {
    m_device->SetSetting("screen.width", "240");
    m_device->SetSetting("screen.height", "320");
    Pumped pumped;
    Start(pumped);
    HWND local = CreateWindowExW(0, u"PumpedTest", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, local);
    std::string error;
    ASSERT_TRUE(host::RotateScreen(*m_device, &error)) << error;
    EXPECT_EQ(2, Pumped::settingChanges.load());
    EXPECT_EQ(WPARAM(SETTINGCHANGE_RESET), Pumped::lastChange.load());
    EXPECT_EQ(320, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(240, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ("320", m_device->Setting("screen.width"));
    EXPECT_EQ("240", m_device->Setting("screen.height"));

    DestroyWindow(local);
    PostMessageW(pumped.window, WM_CLOSE, 0, 0);
    WaitForSingleObject(pumped.thread, 5000);
    CloseHandle(pumped.thread);
}

// The emulator's test setting makes the next N initialisations fail, then COM works as before.
TEST_F(ThreadsTest, TheTestSettingMakesComInitialisationFailThatManyTimes) {
    m_device->SetSetting(host::kComInitFailuresSetting, "2");
    EXPECT_TRUE(FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    EXPECT_TRUE(FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    EXPECT_EQ("0", m_device->Setting(host::kComInitFailuresSetting));
    EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    CoUninitialize();
    m_device->SetSetting(host::kComInitFailuresSetting, "many");
    EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    CoUninitialize();
}

}  // namespace
