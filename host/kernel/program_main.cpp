// The host side of a device program's start: every program of the package, and every emulator
// program the device starts, links this file for its `main`. It opens the image the program was
// started on, installs that device for the process and calls the program's WinMain with the
// command line as the device passes it; what it shows a person goes to standard output. Kept out
// of libvxhost (programs link it statically), so that the library defines no `main` of its own.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "frontend/trace_printer.h"
#include "host/kernel/device.h"
#include "host/kernel/process.h"
#include "host/windows/dialog_person.h"
#include "host/windows/window.h"
#include "platform/modules.h"
#include "platform/windows.h"

namespace {

// What the program shows a person (message boxes, the reset, dialogs a shared person prints) and
// the programs it starts reach the console its starter prints on, in the order they happen.
void PrintOnConsole(host::Device& device) {
    device.SetConsole([](std::string_view line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    host::SetWindowObserver([](const host::WindowEvent& event) {
        if (event.kind != host::WindowEventKind::Started) return;
        const std::string line = host::FormatWindowEvent(event);
        std::fprintf(stdout, "%s\n", line.c_str());
        std::fflush(stdout);
    });
}

bool IsSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    std::unique_ptr<host::Device> device = host::OpenStartedDevice(&error);
    if (!device) {
        const std::string name = argc > 0 && argv[0] ? argv[0] : "program";
        std::fprintf(stderr, "%s: %s\n", name.substr(name.rfind('/') + 1).c_str(), error.c_str());
        return 1;
    }
    host::ScopedDevice scope(device.get());
    // A starter that shows nothing (pocketsim init installing the package) asks for quiet.
    if (!IsSet(host::kQuietVariable)) PrintOnConsole(*device);
    host::JoinSharedPerson(*device);
    cli::TracePrinter trace(IsSet(cli::kTraceVariable));
    // WinMain may write into its command line, as a device program may; the buffer is its own.
    const std::u16string text = host::StartedCommandLine(argc, argv);
    std::vector<WCHAR> commandLine(text.begin(), text.end());
    commandLine.push_back(0);
    const int code = WinMain(GetModuleHandleW(nullptr), nullptr, commandLine.data(), SW_SHOWNORMAL);
    host::SetWindowObserver(nullptr);
    return code;
}
