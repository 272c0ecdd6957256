// pocketsim options: the keyboard's options page as a person reaches it from the input panel. The
// image's SIP starts its input method and shows the panel as `pocketsim keyboard` does, opens the
// package keyboard's options through the SIP, and a person takes the actions given at the page.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "host/windows/dialog_person.h"
#include "host/windows/sip.h"
#include "printing_callback.h"
#include "platform/com.h"
#include "platform/text.h"

namespace commands {

namespace {

const std::string kUsage = std::string(
    "usage: pocketsim options IMAGE [ACTION...] [--answer ok|cancel|yes|no]...\n"
    "Starts the image's input method and shows the input panel, opens the keyboard's options\n"
    "through the SIP and plays a person at the page with the actions, in order:\n") + host::kDialogActionsUsage +
    "  file PATH        the next open-file dialog answers the device path PATH\n"
    "  file -           the next open-file dialog is cancelled (so is one no file action answers)\n"
    "A dialog still open after the last action is cancelled. An action when no dialog is open\n"
    "fails the run. Message boxes print as in the other commands, and so do the keys that reach\n"
    "the SIP callback (as in pocketsim keyboard).\n";

// {0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}: the package's input method.
const CLSID kKeybInputClsid =
    DEFINE_GUID_VALUE(0x0ADFAAAF, 0x2E1A, 0x4A75, 0x90, 0xA8, 0x6C, 0x1E, 0x62, 0xA3, 0xA6, 0x29);

std::string HresultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

}  // namespace

int RunOptionsActions(host::Device& device, const std::vector<std::string>& words) {
    std::vector<host::DialogAction> actions;
    std::string error;
    if (!host::ParseDialogActions(words, host::FileActions::Allowed, &actions, &error)) return cli::Fail(cli::kUsage, error);
    PrintingCallback callback;
    host::DialogPerson person(device, std::move(actions));
    HRESULT hr = S_OK;
    {
        host::Sip& sip = *host::DeviceSip(&device);
        sip.SetCallback(&callback);
        hr = sip.Show();
        if (FAILED(hr)) {
            error = "the keyboard input method did not start (" + HresultText(hr) + ")";
        } else {
            person.Sit();
            // No window of the input settings owns the page here.
            hr = sip.OpenOptions(kKeybInputClsid, nullptr);
            person.Leave();
            if (FAILED(hr)) error = "the keyboard's options did not open (" + HresultText(hr) + ")";
        }
        // The run ends as the SIP ends an input method, so nothing prints after the last action.
        host::ReleaseDeviceSip(&device);
    }
    cli::Flush();
    if (FAILED(hr)) return cli::Fail(cli::kFailure, error);
    if (person.Failed()) return cli::Fail(cli::kFailure, person.Error());
    if (const host::DialogAction* left = person.Unserved()) return cli::Fail(cli::kFailure, left->word + ": no dialog is open");
    return cli::kOk;
}

int Options(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (int code = 0; !cli::ParseCommand(argv, {"answer"}, {}, kUsage, &args, &code)) return code;
    if (args.positional.empty()) return cli::Fail(cli::kUsage, "options takes IMAGE and actions (see --help)");
    const std::vector<std::string> words(args.positional.begin() + 1, args.positional.end());
    std::vector<host::DialogAction> actions;
    if (!host::ParseDialogActions(words, host::FileActions::Allowed, &actions, &error)) return cli::Fail(cli::kUsage, error);
    std::vector<int> answers;
    if (!cli::ParseAnswers(args, &answers, &error)) return cli::Fail(cli::kUsage, error);
    cli::Session session;
    if (!cli::OpenSession(args.positional[0], args, &session)) return cli::kFailure;
    return RunOptionsActions(*session.device, words);
}

}  // namespace commands
