// pocketsim run and boot: start device programs as the device does, each a host process of its
// own, and print what they show a person (message boxes, dialogs a person is asked to show, the
// reset, programs they start) as it happens.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "host/kernel/device.h"
#include "host/kernel/device_manager.h"
#include "host/shell/startup.h"
#include "host/windows/dialog_person.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/text.h"
#include "trace_printer.h"

namespace commands {

namespace {

const char kRunUsage[] =
    "usage: pocketsim run IMAGE PROGRAM [ARGS...] [--answer ok|cancel|yes|no]... [--trace]\n"
    "Starts the device program PROGRAM (a device path; a bare name is looked for in \\Windows)\n"
    "with the rest of the words as its command line, waits for it to end and prints what it\n"
    "shows: message boxes, the reset, the programs it starts, then `exit N` with its exit code.\n"
    "  --answer A   answer the next message box, in whichever program shows it\n"
    "  --trace      the script runs of the started programs print their trace on standard error\n"
    "Exit status 0 when the program exits with 0, 1 otherwise.\n";

const std::string kBootUsage = std::string(
    "usage: pocketsim boot IMAGE [ACTION...] [--answer ok|cancel|yes|no]... [--trace]\n"
    "Plays one boot of the device: the device manager starts the drivers under\n"
    "HKLM\\Drivers\\BuiltIn (one `driver KEY: ...` line each), then the shell starts every item of\n"
    "\\Windows\\Startup in name order (a shortcut's program with its arguments, or a program)\n"
    "and waits for each; a reset ends the boot. A person at the dialogs the started programs\n"
    "open takes the actions, in order, whichever program shows them:\n") + host::kDialogActionsUsage +
    "  --answer A   answer the next message box, in whichever program shows it\n"
    "  --trace      the script runs of the started programs print their trace on standard error\n"
    "Exit status 0, or 1 when an action could not be taken or was left over.\n";

std::string Quoted(const std::u16string& text) { return "\"" + host::EscapeJournalText(text) + "\""; }

// Shares the person with the programs started in its lifetime, and ends the sharing.
class SharedPerson {
public:
    explicit SharedPerson(host::Device& device) : m_device(device) {}
    bool Share(const std::vector<std::string>& words, const std::vector<int>& answers, std::string* error) {
        m_shared = host::ShareWithStartedPrograms(m_device, words, answers, error);
        return m_shared;
    }
    std::string Stop() {
        if (!m_shared) return {};
        m_shared = false;
        return host::StopSharing(m_device);
    }
    ~SharedPerson() {
        Stop();
        ::unsetenv(cli::kTraceVariable);
    }
    // The started programs print the trace of their script runs.
    void Trace(bool on) {
        if (on) ::setenv(cli::kTraceVariable, "1", 1);
    }

private:
    host::Device& m_device;
    bool m_shared = false;
};

}  // namespace

int Run(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (int code = 0; !cli::ParseCommand(argv, {"answer"}, {"trace"}, kRunUsage, &args, &code)) return code;
    if (args.positional.size() < 2) return cli::Fail(cli::kUsage, "run takes IMAGE PROGRAM [ARGS...] (see --help)");
    std::vector<int> answers;
    if (!cli::ParseAnswers(args, &answers, &error)) return cli::Fail(cli::kUsage, error);
    std::u16string commandLine;
    for (size_t i = 2; i < args.positional.size(); ++i)
        commandLine += (i > 2 ? u" " : u"") + FromUtf8(args.positional[i]);
    const std::u16string program = FromUtf8(args.positional[1]);

    cli::Session session;
    if (!cli::OpenSession(args.positional[0], args, &session)) return cli::kFailure;
    SharedPerson person(*session.device);
    if (!person.Share({}, answers, &error)) return cli::Fail(cli::kUsage, error);
    person.Trace(args.Has("trace"));
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), commandLine.empty() ? nullptr : commandLine.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, nullptr, &started))
        return cli::Fail(cli::kFailure, "cannot start " + cli::Name(args.positional[1]) + " (" +
                                            cli::TracePrinter::ErrorName(GetLastError()) + ")");
    CloseHandle(started.hThread);
    WaitForSingleObject(started.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(started.hProcess, &exitCode);
    CloseHandle(started.hProcess);
    cli::PrintLine("exit " + std::to_string(exitCode));
    const std::string left = person.Stop();
    if (!left.empty()) return cli::Fail(cli::kFailure, left);
    return exitCode == 0 ? cli::kOk : cli::kFailure;
}

int Boot(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (int code = 0; !cli::ParseCommand(argv, {"answer"}, {"trace"}, kBootUsage, &args, &code)) return code;
    if (args.positional.empty()) return cli::Fail(cli::kUsage, "boot takes IMAGE [ACTION...] (see --help)");
    std::vector<int> answers;
    if (!cli::ParseAnswers(args, &answers, &error)) return cli::Fail(cli::kUsage, error);
    const std::vector<std::string> words(args.positional.begin() + 1, args.positional.end());
    std::vector<host::DialogAction> checked;
    if (!host::ParseDialogActions(words, host::FileActions::Allowed, &checked, &error))
        return cli::Fail(cli::kUsage, error);

    cli::Session session;
    if (!cli::OpenSession(args.positional[0], args, &session)) return cli::kFailure;
    host::Device& device = *session.device;
    SharedPerson person(device);
    if (!person.Share(words, answers, &error)) return cli::Fail(cli::kUsage, error);
    person.Trace(args.Has("trace"));
    // The device manager starts the drivers first; they stay loaded in this process, as in the
    // device's, while the start-up folder's programs run.
    for (const host::DriverStart& driver : host::StartBuiltInDrivers(device))
        cli::PrintLine("driver " + host::DescribeDriverStart(driver));
    const size_t items = host::RunStartupFolder(device, [](const host::StartupItem& item, bool done) {
        if (!done) {
            cli::PrintLine("startup " + Quoted(item.file) + ": " + Quoted(item.program) +
                           (item.arguments.empty() ? "" : " " + Quoted(item.arguments)));
        } else if (item.started) {
            cli::PrintLine("ended " + Quoted(item.program) + " exit " + std::to_string(item.exitCode));
        } else {
            cli::PrintLine("skipped " + Quoted(item.file) + ": " + item.reason +
                           (item.error ? " (" + cli::TracePrinter::ErrorName(item.error) + ")" : ""));
        }
    });
    if (items == 0) cli::PrintLine("startup: nothing to start");
    const std::string left = person.Stop();
    if (!left.empty()) return cli::Fail(cli::kFailure, left);
    return cli::kOk;
}

}  // namespace commands
