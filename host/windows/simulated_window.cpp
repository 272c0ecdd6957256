#include "host/windows/simulated_window.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "host/kernel/device.h"
#include "platform/text.h"
#include "host/kernel/process.h"
#include "host/kernel/scheduler.h"
#include "host/windows/window.h"

namespace host {

namespace {

struct Simulated {
    bool stubborn = false;
    bool dialog = false;  // of class "Dialog": IDOK closes it
    bool alive = true;
    std::vector<ReceivedMessage> received;
};

struct SimulatedTable {
    std::mutex lock;
    std::map<HWND, Simulated> windows;
    std::set<std::u16string> classes;  // registered here, unregistered when all are destroyed
};

SimulatedTable& Sims() {
    static SimulatedTable* table = new SimulatedTable;
    return *table;
}

LRESULT SimulatedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    bool known = false;
    bool stubborn = false;
    bool dialog = false;
    {
        SimulatedTable& table = Sims();
        std::lock_guard guard(table.lock);
        auto it = table.windows.find(window);
        if (it != table.windows.end()) {
            known = true;
            stubborn = it->second.stubborn;
            dialog = it->second.dialog;
            it->second.received.push_back({message, wParam, lParam});
            if (message == WM_DESTROY) it->second.alive = false;
        }
    }
    // Nobody looks at a simulated program's window, so it paints by emptying its update region
    // without a device context: its window never holds pixels (they come with the first context).
    if (message == WM_PAINT) {
        ValidateRect(window, nullptr);
        return 0;
    }
    // A dialog box also closes on its OK command, as the device's dialogs do.
    if (known && (message == WM_CLOSE || (dialog && message == WM_COMMAND && LOWORD(wParam) == IDOK))) {
        if (!stubborn) DestroyWindow(window);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The simulated programs' thread. It runs a job given to it (creating or destroying windows)
// and then its message loop until its queue is empty, while the thread that gave the job waits:
// only one of the two runs at a time, so the order of what happens never depends on timing.
class ProgramsThread {
public:
    static ProgramsThread& Get() {
        // Never destroyed: the thread waits for work until the process ends.
        static ProgramsThread* programs = new ProgramsThread;
        return *programs;
    }

    // Runs job (may be empty) on the thread, then its message loop; returns when both are done.
    // On the thread itself the job runs at once and the loop is left to the caller's own.
    void Run(const std::function<void()>& job) {
        if (std::this_thread::get_id() == m_id) {
            if (job) job();
            return;
        }
        std::unique_lock guard(m_lock);
        m_idle.wait(guard, [&] { return !m_pending; });
        m_job = job;
        m_pending = true;
        m_wake.notify_one();
        m_idle.wait(guard, [&] { return !m_pending; });
    }

private:
    ProgramsThread() {
        std::thread thread([this] { Loop(); });
        m_id = thread.get_id();
        thread.detach();
    }

    void Loop() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock guard(m_lock);
                m_wake.wait(guard, [&] { return m_pending; });
                job = std::move(m_job);
            }
            if (job) job();
            MSG msg{};
            // PeekMessageW on this thread does not yield, so the loop ends when the queue does.
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            {
                std::lock_guard guard(m_lock);
                m_pending = false;
            }
            m_idle.notify_all();
        }
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::function<void()> m_job;
    bool m_pending = false;
    std::thread::id m_id;
};

void RunPrograms() { ProgramsThread::Get().Run(nullptr); }

std::u16string Lower(std::u16string_view text) {
    std::u16string out(text);
    for (WCHAR& c : out) c = towlower16(c);
    return out;
}

bool ParseFlag(std::u16string_view field, const char16_t* yes, const char16_t* no, bool fallback, bool* value) {
    const std::u16string word = Lower(field);
    if (word.empty()) {
        *value = fallback;
        return true;
    }
    if (word == u"1" || word == u"yes" || word == u"true" || word == yes) {
        *value = true;
        return true;
    }
    if (word == u"0" || word == u"no" || word == u"false" || (no && word == no)) {
        *value = false;
        return true;
    }
    return false;
}

DWORD OwnerOf(const SimulatedWindowSpec& spec) {
    if (spec.processId) return spec.processId;
    if (spec.processPath.empty()) return 0;
    for (const ProcessRecord& process : RunningProcesses())
        if (EqualsNoCase(process.path, spec.processPath)) return process.id;
    return AddSimulatedProcess(spec.processPath);
}

}  // namespace

bool ParseSimulatedWindow(std::u16string_view text, SimulatedWindowSpec* spec, std::string* error) {
    auto fail = [error](std::string reason) {
        if (error) *error = std::move(reason);
        return false;
    };
    std::vector<std::u16string_view> fields;
    for (size_t start = 0;;) {
        const size_t bar = text.find(u'|', start);
        fields.push_back(text.substr(start, bar == std::u16string_view::npos ? std::u16string_view::npos : bar - start));
        if (bar == std::u16string_view::npos) break;
        start = bar + 1;
    }
    const std::string quoted = "\"" + ToUtf8(text) + "\"";
    if (fields.size() > 5) return fail("window " + quoted + " has more than CLASS|TITLE|visible|PROCESS|stubborn");
    if (fields[0].empty()) return fail("window " + quoted + " has no class name");
    SimulatedWindowSpec parsed;
    parsed.className = fields[0];
    if (fields.size() > 1) parsed.title = fields[1];
    if (fields.size() > 2 && !ParseFlag(fields[2], u"visible", u"hidden", true, &parsed.visible))
        return fail("window " + quoted + ": visibility must be 1, 0, visible or hidden");
    if (fields.size() > 3 && !fields[3].empty()) {
        const std::u16string process(fields[3]);
        WCHAR* end = nullptr;
        const unsigned long id = wcstoul(process.c_str(), &end, 0);
        if (end && *end == 0 && process[0] >= u'0' && process[0] <= u'9') {
            if (id == 0 || id > 0xFFFFFFFFul) return fail("window " + quoted + ": process id out of range");
            parsed.processId = static_cast<DWORD>(id);
        } else {
            parsed.processPath = process;
        }
    }
    if (fields.size() > 4 && !ParseFlag(fields[4], u"stubborn", nullptr, false, &parsed.stubborn))
        return fail("window " + quoted + ": the last field must be stubborn or empty");
    *spec = std::move(parsed);
    return true;
}

HWND CreateSimulatedWindow(const SimulatedWindowSpec& spec) {
    if (spec.className.empty()) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    WNDCLASSW existing{};
    if (!GetClassInfoW(nullptr, spec.className.c_str(), &existing)) {
        WNDCLASSW cls{};
        cls.lpfnWndProc = SimulatedProc;
        cls.lpszClassName = spec.className.c_str();
        if (!RegisterClassW(&cls)) return nullptr;
        SimulatedTable& table = Sims();
        std::lock_guard guard(table.lock);
        table.classes.insert(spec.className);
    }
    const DWORD style = spec.visible ? WS_VISIBLE : 0;
    HWND window = nullptr;
    DWORD error = ERROR_SUCCESS;
    // Made on the programs' thread, so that its posted messages wait in that thread's queue.
    ProgramsThread::Get().Run([&] {
        window = CreateWindowExW(spec.exStyle, spec.className.c_str(), spec.title.c_str(), style, 0, 0, CW_USEDEFAULT,
                                 CW_USEDEFAULT, nullptr, nullptr, nullptr, nullptr);
        if (!window) error = GetLastError();
    });
    SetOtherProgramsRunner(RunPrograms);
    if (!window) {
        SetLastErrorCode(error);
        return nullptr;
    }
    {
        SimulatedTable& table = Sims();
        std::lock_guard guard(table.lock);
        table.windows[window].stubborn = spec.stubborn;
        table.windows[window].dialog = spec.className == u"Dialog";
    }
    // A class another part registered keeps its procedure for other windows; this one is
    // subclassed so that it records and closes like the rest.
    if (existing.lpfnWndProc && existing.lpfnWndProc != SimulatedProc)
        SetWindowLongPtrW(window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(SimulatedProc));
    if (DWORD owner = OwnerOf(spec)) SetWindowProcess(window, owner);
    return window;
}

void RunSimulatedPrograms() {
    bool any = false;
    {
        SimulatedTable& table = Sims();
        std::lock_guard guard(table.lock);
        any = !table.windows.empty();
    }
    if (any) RunPrograms();
}

std::vector<ReceivedMessage> SimulatedWindowMessages(HWND window) {
    SimulatedTable& table = Sims();
    std::lock_guard guard(table.lock);
    auto it = table.windows.find(window);
    return it == table.windows.end() ? std::vector<ReceivedMessage>() : it->second.received;
}

void DestroySimulatedWindows() {
    std::vector<HWND> windows;
    std::set<std::u16string> classes;
    {
        SimulatedTable& table = Sims();
        std::lock_guard guard(table.lock);
        for (auto& [window, sim] : table.windows)
            if (sim.alive) windows.push_back(window);
    }
    SetOtherProgramsRunner(nullptr);
    // Destroyed by their own thread, which then takes what is left in its queue.
    ProgramsThread::Get().Run([&] {
        for (HWND window : windows)
            if (IsWindow(window)) DestroyWindow(window);
    });
    {
        SimulatedTable& table = Sims();
        std::lock_guard guard(table.lock);
        table.windows.clear();
        classes.swap(table.classes);
    }
    for (const std::u16string& name : classes) UnregisterClassW(name.c_str(), nullptr);
}

}  // namespace host
