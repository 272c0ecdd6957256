// pocketsim muiapply: runs the configuration runner's main routine in this process, on an image,
// among windows of simulated programs given on the command line, and prints what it does to them
// (posted messages, keystrokes, foreground changes, started programs) together with its message
// boxes and the reset, in the order they happen.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "source_report.h"
#include "trace_printer.h"
#include "host/kernel/process.h"
#include "host/windows/simulated_window.h"
#include "host/windows/window.h"
#include "platform/text.h"
#include "platform/windows.h"
#include "runner/mui_engine.h"

namespace commands {

namespace {

const char kUsage[] =
    "usage: pocketsim muiapply IMAGE [SOURCE] [--window SPEC]... [--foreground CLASS]\n"
    "                          [--answer ok|cancel|yes|no]... [--trace]\n"
    "Runs \\Windows\\muiapply.exe's configuration run on the image as that program runs it, with\n"
    "SOURCE as its command line (default file://\\Windows\\muiconfig.xml), and prints each\n"
    "message posted to a window, keystroke, SetForegroundWindow, started program, message box and\n"
    "reset as it happens.\n"
    "  --window SPEC      a window of another program: CLASS|TITLE|visible|PROCESS, hidden in\n"
    "                     place of visible, and |stubborn appended for one that ignores requests\n"
    "                     to close. The first window given is on top; PROCESS names the program\n"
    "                     (for example shell32.exe) that is listed as running and owns the window.\n"
    "  --foreground CLASS the window of that class is the foreground window (default: none)\n"
    "  --answer A         answer the next message box (ok, cancel, yes or no)\n"
    "  --trace            print on standard error, for each command element and If, its line,\n"
    "                     its attributes and what became of it, and why a script did not parse\n"
    "Exit status 0, as the program's. A source that does not open is named on standard error\n"
    "with the reason.\n";

}  // namespace

int MuiApply(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (int code = 0; !cli::ParseCommand(argv, {"window", "foreground", "answer"}, {"trace"}, kUsage, &args, &code)) return code;
    if (args.positional.empty() || args.positional.size() > 2)
        return cli::Fail(cli::kUsage, "muiapply takes IMAGE [SOURCE] (see --help)");
    std::vector<host::SimulatedWindowSpec> specs;
    for (const std::string& text : args.Values("window")) {
        host::SimulatedWindowSpec spec;
        // The reason quotes the spec as the window layer read it.
        if (!host::ParseSimulatedWindow(FromUtf8(text), &spec, &error))
            return cli::Fail(cli::kUsage, cli::NameIn(error, ToUtf8(FromUtf8(text))));
        specs.push_back(std::move(spec));
    }
    const bool hasForeground = args.Has("foreground");
    const std::u16string foregroundClass = FromUtf8(args.Value("foreground"));
    size_t foregroundIndex = specs.size();
    for (size_t i = 0; hasForeground && i < specs.size() && foregroundIndex == specs.size(); ++i)
        if (specs[i].className == foregroundClass) foregroundIndex = i;
    if (hasForeground && foregroundIndex == specs.size())
        return cli::Fail(cli::kUsage,
                         "--foreground names no --window class: '" + cli::Name(args.Value("foreground")) + "'");
    std::vector<int> answers;
    if (!cli::ParseAnswers(args, &answers, &error)) return cli::Fail(cli::kUsage, error);
    const std::u16string source = args.positional.size() > 1 ? FromUtf8(args.positional[1]) : std::u16string();

    cli::Session session;
    if (!cli::OpenSession(args.positional[0], args, &session)) return cli::kFailure;
    // The routine sees itself as the installed program, as the process snapshot shows it.
    host::SetCurrentProcessPath(u"\\Windows\\muiapply.exe");

    std::vector<HWND> windows;
    for (const host::SimulatedWindowSpec& spec : specs) {
        HWND window = host::CreateSimulatedWindow(spec);
        if (!window) {
            host::DestroySimulatedWindows();
            return cli::Fail(cli::kFailure, "cannot make the window of class '" + cli::Name(ToUtf8(spec.className)) +
                                                "' (error " + std::to_string(GetLastError()) + ")");
        }
        windows.push_back(window);
    }
    if (foregroundIndex < windows.size()) SetForegroundWindow(windows[foregroundIndex]);
    // A new window opens on top, and so does the foreground window: each goes to the bottom in
    // turn so that the stack follows the command line, first on top.
    for (HWND window : windows)
        SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    host::SetWindowObserver([](const host::WindowEvent& event) {
        // Messages sent while windows are made or destroyed are the window layer's own business.
        if (event.kind != host::WindowEventKind::Sent) cli::PrintLine(host::FormatWindowEvent(event));
    });
    int exitCode = 0;
    {
        cli::SourceReport report(*session.device, {source.empty() ? std::u16string(kDefaultMuiSource) : source});
        cli::TracePrinter trace(args.Has("trace"), true);
        exitCode = MuiApplyMain(source.empty() ? nullptr : source.c_str());
    }
    host::SetWindowObserver(nullptr);
    host::DestroySimulatedWindows();
    host::ClearSimulatedProcesses();
    return exitCode;
}

}  // namespace commands
