// pocketsim lingo: the control panel's role. Loads the image's language switcher applet by its
// device path, sends it the control panel's messages with no owner window, and plays a person at
// the dialog it opens with the actions given, in order. The image's SIP runs meanwhile, as on the
// device, since the applet hides the input panel and switches input methods.
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "host/gdi/png_writer.h"
#include "host/windows/controls.h"
#include "host/windows/dialog.h"
#include "host/windows/screen.h"
#include "host/windows/sip.h"
#include "platform/com.h"
#include "platform/cpl.h"
#include "platform/dialogs.h"
#include "platform/modules.h"
#include "platform/text.h"

namespace commands {

namespace {

const char kUsage[] =
    "usage: pocketsim lingo IMAGE [ACTION...] [--answer ok|cancel|yes|no]...\n"
    "Opens the language switcher (\\Windows\\Lingo.cpl) as the control panel does and plays a\n"
    "person at its dialog with the actions, in order:\n"
    "  show             print the dialog: dialog \"TITLE\", then one line per control:\n"
    "                   ID CLASS \"TEXT\" [disabled] [checked|unchecked|check=N] [sel=N count=M],\n"
    "                   and a combo box's entries as   [I] \"TEXT\"\n"
    "  select ID N      pick entry N of combo box ID\n"
    "  click ID         click button ID (a check box turns over)\n"
    "  ok, cancel       press Done (ok) or leave the dialog (cancel)\n"
    "  render FILE.png  write the screen as a person sees it\n"
    "A dialog still open after the last action is cancelled. An action when no dialog is open\n"
    "fails the run. Message boxes and the reset print as in the other commands.\n";

enum class Kind { Show, Select, Click, Ok, Cancel, Render };

struct Action {
    Kind kind;
    int id = 0;
    int index = 0;
    std::string file;
    std::string word;  // as given, for error lines
};

bool ParseInt(const std::string& text, int* value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseActions(const std::vector<std::string>& words, std::vector<Action>* actions, std::string* error) {
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        Action action{};
        action.word = word;
        auto operand = [&](const char* what, std::string* out) {
            if (i + 1 >= words.size()) {
                *error = word + " needs " + what;
                return false;
            }
            *out = words[++i];
            return true;
        };
        std::string a, b;
        if (word == "show") {
            action.kind = Kind::Show;
        } else if (word == "ok") {
            action.kind = Kind::Ok;
        } else if (word == "cancel") {
            action.kind = Kind::Cancel;
        } else if (word == "select") {
            action.kind = Kind::Select;
            if (!operand("a control ID and an entry number", &a) || !operand("an entry number", &b)) return false;
            if (!ParseInt(a, &action.id) || !ParseInt(b, &action.index)) {
                *error = "select takes a control ID and an entry number, not '" + cli::Name(a) + "' '" +
                         cli::Name(b) + "'";
                return false;
            }
        } else if (word == "click") {
            action.kind = Kind::Click;
            if (!operand("a control ID", &a)) return false;
            if (!ParseInt(a, &action.id)) {
                *error = "click takes a control ID, not '" + cli::Name(a) + "'";
                return false;
            }
        } else if (word == "render") {
            action.kind = Kind::Render;
            if (!operand("a FILE.png", &action.file)) return false;
        } else {
            *error = "unknown action '" + cli::Name(word) + "' (see --help)";
            return false;
        }
        actions->push_back(std::move(action));
    }
    return true;
}

std::string Quoted(const std::u16string& text) { return "\"" + host::EscapeJournalText(text) + "\""; }

// The dialog as `show` prints it.
void PrintDialog(HWND dialog) {
    WCHAR title[256] = {};
    GetWindowTextW(dialog, title, 256);
    cli::PrintLine("dialog " + Quoted(title));
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const host::ControlView view = host::DescribeControl(child);
        std::string line = std::to_string(view.id) + " " + view.kind + " " + Quoted(view.text);
        if (view.disabled) line += " disabled";
        if (view.checkBox)
            line += view.check == BST_CHECKED     ? " checked"
                    : view.check == BST_UNCHECKED ? " unchecked"
                                                  : " check=" + std::to_string(view.check);
        if (view.kind == "combobox") {
            line += " sel=" + std::to_string(view.selection) + " count=" + std::to_string(view.entries.size());
            cli::PrintLine(line);
            for (size_t i = 0; i < view.entries.size(); ++i)
                cli::PrintLine("  [" + std::to_string(i) + "] " + Quoted(view.entries[i]));
        } else {
            cli::PrintLine(line);
        }
    }
}

// A person at the applet's dialogs: one action each time the dialog waits for them.
class Person {
public:
    explicit Person(host::Device& device, std::vector<Action> actions)
        : m_device(device), m_actions(std::move(actions)) {}

    bool Act(HWND dialog) {
        if (m_failed || m_next >= m_actions.size()) return false;
        const Action& action = m_actions[m_next++];
        switch (action.kind) {
        case Kind::Show: PrintDialog(dialog); return true;
        case Kind::Ok: SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); return true;
        case Kind::Cancel: SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); return true;
        case Kind::Select: {
            HWND combo = GetDlgItem(dialog, action.id);
            if (!combo) return Fail("select: the dialog has no control " + std::to_string(action.id));
            if (!host::PickComboEntry(combo, action.index))
                return Fail("select: control " + std::to_string(action.id) + " is no combo box a person can use " +
                            "or has no entry " + std::to_string(action.index));
            return true;
        }
        case Kind::Click: {
            HWND button = GetDlgItem(dialog, action.id);
            if (!button) return Fail("click: the dialog has no control " + std::to_string(action.id));
            if (!host::ClickControl(button))
                return Fail("click: control " + std::to_string(action.id) + " is no button a person can click");
            return true;
        }
        case Kind::Render: {
            std::unique_ptr<host::Bitmap> screen = host::RenderScreen(m_device);
            std::string error;
            if (!screen) return Fail("render: the screen cannot be drawn");
            if (!host::WritePng(*screen, action.file, &error)) return Fail(cli::NameIn(error, action.file));
            return true;
        }
        }
        return false;
    }

    // The first action no dialog was open for, if any.
    const Action* Unserved() const { return m_next < m_actions.size() && !m_failed ? &m_actions[m_next] : nullptr; }
    bool Failed() const { return m_failed; }
    const std::string& Error() const { return m_error; }

private:
    // Stops playing: the dialog is cancelled as a person would leave it.
    bool Fail(const std::string& error) {
        m_failed = true;
        m_error = error;
        return false;
    }

    host::Device& m_device;
    std::vector<Action> m_actions;
    size_t m_next = 0;
    bool m_failed = false;
    std::string m_error;
};

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
    std::vector<Action> actions;
    std::string error;
    if (!ParseActions(words, &actions, &error)) return cli::Fail(cli::kUsage, error);
    // The control panel's thread is a COM thread: archives in a package's script go through COM.
    const HRESULT comStarted = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    Person person(device, std::move(actions));
    bool loaded = false;
    {
        host::Sip& sip = *host::DeviceSip(&device);
        const HRESULT started = sip.Start();
        if (FAILED(started))
            device.Trace(FormatW(u"lingo: the input panel did not start (0x%08X)\n", static_cast<unsigned>(started)));
        host::SetDialogDriver([&person](HWND dialog) { return person.Act(dialog); });
        {
            ControlPanel panel;
            loaded = panel.Load(u"\\Windows\\Lingo.cpl", &error);
            if (loaded) panel.Open();
        }
        host::SetDialogDriver(nullptr);
        host::ReleaseDeviceSip(&device);
    }
    if (SUCCEEDED(comStarted)) CoUninitialize();
    if (!loaded) return cli::Fail(cli::kFailure, error);
    if (person.Failed()) return cli::Fail(cli::kFailure, person.Error());
    if (const Action* left = person.Unserved()) return cli::Fail(cli::kFailure, left->word + ": no dialog is open");
    cli::Flush();
    return cli::kOk;
}

int Lingo(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (!cli::Parse(argv, {"answer"}, {}, &args, &error)) return cli::Fail(cli::kUsage, error);
    if (args.help) {
        std::fputs(kUsage, stdout);
        return cli::kOk;
    }
    if (args.positional.empty()) return cli::Fail(cli::kUsage, "lingo takes IMAGE and actions (see --help)");
    const std::vector<std::string> words(args.positional.begin() + 1, args.positional.end());
    std::vector<Action> actions;
    if (!ParseActions(words, &actions, &error)) return cli::Fail(cli::kUsage, error);
    std::vector<int> answers;
    if (!cli::ParseAnswers(args, &answers, &error)) return cli::Fail(cli::kUsage, error);
    cli::Session session;
    if (!cli::OpenSession(args.positional[0], args, &session)) return cli::kFailure;
    return RunLingoActions(*session.device, words);
}

}  // namespace commands
