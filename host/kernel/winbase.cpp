// Process-wide platform calls: last error, message boxes, the trace sink, time, metrics.
#include "host/kernel/scheduler.h"
#include "host/kernel/threads.h"
#include "platform/winbase.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "host/kernel/device.h"
#include "platform/text.h"

DWORD GetLastError() { return host::LastErrorCode(); }
void SetLastError(DWORD error) { host::SetLastErrorCode(error); }

namespace host {

// Message box text as one journal line: backslash, quote, CR and LF escaped.
std::string EscapeJournalText(std::u16string_view text) {
    std::string out;
    for (char c : ToUtf8(text)) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default: out += c;
        }
    }
    return out;
}

namespace {

std::atomic<OtherProgramsRunner> g_otherPrograms{nullptr};

}  // namespace

void SetOtherProgramsRunner(OtherProgramsRunner runner) { g_otherPrograms.store(runner); }

void YieldToOtherPrograms() {
    if (IsCreatedThread()) return;
    if (OtherProgramsRunner runner = g_otherPrograms.load()) runner();
}

}  // namespace host

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT style) {
    host::Device* device = host::CurrentDevice();
    if (!device) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    char styleText[16];
    snprintf(styleText, sizeof styleText, "0x%08X", style);
    std::string line = "MessageBox \"" + host::EscapeJournalText(text ? text : u"") + "\" caption=\"" +
                       host::EscapeJournalText(caption ? caption : u"") + "\" style=" + styleText;
    device->Record(line);
    // A message box runs a message loop of its own while it waits for its answer.
    host::YieldToOtherPrograms();
    return device->NextAnswer(style);
}

void OutputDebugStringW(LPCWSTR text) {
    if (host::Device* device = host::CurrentDevice(); device && text) device->Trace(text);
}

namespace {
std::atomic<void*> g_scriptTrace{nullptr};
}  // namespace

void* GetScriptTrace() { return g_scriptTrace.load(); }

void SetScriptTrace(void* trace) { g_scriptTrace.store(trace); }

void DebugTrace(LPCWSTR fmt, ...) {
    host::Device* device = host::CurrentDevice();
    if (!device || !fmt) return;
    va_list ap;
    va_start(ap, fmt);
    std::u16string line = VFormatW(fmt, ap);
    va_end(ap);
    device->Trace(line);
}

HLOCAL LocalAlloc(UINT flags, UINT bytes) {
    // A block of 0 bytes is still a block the caller may free.
    void* p = (flags & LMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
    if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}

DWORD GetTickCount() {
    using namespace std::chrono;
    uint64_t now = static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    if (const host::Device* device = host::CurrentDevice()) now += device->PlayedTime();
    return static_cast<DWORD>(now);
}

void Sleep(DWORD ms) {
    host::YieldToOtherPrograms();
    host::Device* device = host::CurrentDevice();
    if (device && device->PlaysClock())
        device->PlayTime(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int GetSystemMetrics(int index) {
    host::Device* device = host::CurrentDevice();
    if (!device) return 0;
    switch (index) {
    case SM_CXSCREEN: return device->ScreenWidth();
    case SM_CYSCREEN: return device->ScreenHeight();
    default: return 0;
    }
}
