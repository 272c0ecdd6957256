// pocketsim lingo: the control panel's role. Loads the image's language switcher applet by its
// device path, sends it the control panel's messages with no owner window, and plays a person at
// the dialog it opens with the actions given, in order. The image's SIP runs meanwhile, as on the
// device, since the applet hides the input panel and switches input methods.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "host/windows/dialog_person.h"
#include "host/windows/sip.h"
#include "platform/com.h"
#include "platform/cpl.h"
#include "platform/modules.h"
#include "platform/text.h"
#include "trace_printer.h"

namespace commands {

namespace {

const std::string kUsage = std::string(
    "usage: pocketsim lingo IMAGE [ACTION...] [--answer ok|cancel|yes|no]... [--trace]\n"
    "Opens the language switcher (\\Windows\\Lingo.cpl) as the control panel does and plays a\n"
    "person at its dialog with the actions, in order:\n") + host::kDialogActionsUsage +
    "A dialog still open after the last action is cancelled. An action when no dialog is open\n"
    "fails the run. Message boxes and the reset print as in the other commands.\n"
    "With --trace, each language script the switcher runs is traced on standard error: every\n"
    "command element and If with its line, its attributes and what became of it, and why a\n"
    "script did not parse.\n";

// The applet loaded as the control panel loads it, unloaded with CPL_STOP and CPL_EXIT.
class ControlPanel {
public:
    ~ControlPanel() {
        if (m_entry && m_initialised) {
            m_entry(nullptr, CPL_STOP, 0, 0);
            m_entry(nullptr, CPL_EXIT, 0, 0);
        }
        if (m_icon) DestroyIcon(m_icon);
        if (m_module) FreeLibrary(m_module);
    }

    bool Load(const WCHAR* path, std::string* error) {
        m_module = LoadLibraryW(path);
        if (!m_module) {
            *error = "cannot load " + ToUtf8(path) + " (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        m_entry = reinterpret_cast<APPLET_PROC>(GetProcAddressW(m_module, u"CPlApplet"));
        if (!m_entry) {
            *error = ToUtf8(path) + " exports no CPlApplet";
            return false;
        }
        if (m_entry(nullptr, CPL_INIT, 0, 0) == 0) {
            *error = ToUtf8(path) + " refused CPL_INIT";
            return false;
        }
        m_initialised = true;
        if (m_entry(nullptr, CPL_GETCOUNT, 0, 0) < 1) {
            *error = ToUtf8(path) + " holds no applet";
            return false;
        }
        NEWCPLINFO info{};
        m_entry(nullptr, CPL_NEWINQUIRE, 0, reinterpret_cast<LPARAM>(&info));
        m_icon = info.hIcon;
        m_data = info.lData;
        return true;
    }

    // The person double-clicks the applet's icon; returns when its dialog has ended.
    void Open() { m_entry(nullptr, CPL_DBLCLK, 0, m_data); }

private:
    HMODULE m_module = nullptr;
    APPLET_PROC m_entry = nullptr;
    bool m_initialised = false;
    HICON m_icon = nullptr;
    LPARAM m_data = 0;
};

}  // namespace

int RunLingoActions(host::Device& device, const std::vector<std::string>& words) {
    std::vector<host::DialogAction> actions;
    std::string error;
    if (!host::ParseDialogActions(words, host::FileActions::Refused, &actions, &error)) return cli::Fail(cli::kUsage, error);
    // The control panel's thread is a COM thread: archives in a package's script go through COM.
    const HRESULT comStarted = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    host::DialogPerson person(device, std::move(actions));
    bool loaded = false;
    {
        host::Sip& sip = *host::DeviceSip(&device);
        const HRESULT started = sip.Start();
        if (FAILED(started))
            device.Trace(FormatW(u"lingo: the input panel did not start (0x%08X)\n", static_cast<unsigned>(started)));
        person.Sit();
        {
            ControlPanel panel;
            loaded = panel.Load(u"\\Windows\\Lingo.cpl", &error);
            if (loaded) panel.Open();
        }
        person.Leave();
        host::ReleaseDeviceSip(&device);
    }
    if (SUCCEEDED(comStarted)) CoUninitialize();
    if (!loaded) return cli::Fail(cli::kFailure, error);
    if (person.Failed()) return cli::Fail(cli::kFailure, person.Error());
    if (const host::DialogAction* left = person.Unserved()) return cli::Fail(cli::kFailure, left->word + ": no dialog is open");
    cli::Flush();
    return cli::kOk;
}

int Lingo(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (int code = 0; !cli::ParseCommand(argv, {"answer"}, {"trace"}, kUsage, &args, &code)) return code;
    if (args.positional.empty()) return cli::Fail(cli::kUsage, "lingo takes IMAGE and actions (see --help)");
    const std::vector<std::string> words(args.positional.begin() + 1, args.positional.end());
    std::vector<host::DialogAction> actions;
    if (!host::ParseDialogActions(words, host::FileActions::Refused, &actions, &error)) return cli::Fail(cli::kUsage, error);
    std::vector<int> answers;
    if (!cli::ParseAnswers(args, &answers, &error)) return cli::Fail(cli::kUsage, error);
    cli::Session session;
    if (!cli::OpenSession(args.positional[0], args, &session)) return cli::kFailure;
    cli::TracePrinter trace(args.Has("trace"));
    return RunLingoActions(*session.device, words);
}

}  // namespace commands
