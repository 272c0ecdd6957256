// The actions of a person at a dialog and the player that takes them.
#include "host/windows/dialog_person.h"

#include <charconv>
#include <cstdlib>
#include <memory>
#include <utility>

#include "host/gdi/png_writer.h"
#include "host/windows/controls.h"
#include "host/windows/dialog.h"
#include "host/windows/file_dialog.h"
#include "host/windows/screen.h"
#include "platform/dialogs.h"
#include "platform/text.h"

namespace host {

const char kDialogActionsUsage[] =
    "  show             print the dialog: dialog \"TITLE\", then one line per control:\n"
    "                   ID CLASS \"TEXT\" [disabled] [checked|unchecked|check=N] [sel=N count=M],\n"
    "                   and a combo box's entries as   [I] \"TEXT\"\n"
    "  select ID N      pick entry N of combo box ID\n"
    "  click ID         click button ID (a check box turns over)\n"
    "  ok, cancel       press Done (ok) or leave the dialog (cancel)\n"
    "  render FILE.png  write the screen as a person sees it\n";

namespace {

bool ParseInt(const std::string& text, int* value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size();
}

std::string Quoted(const std::u16string& text) { return "\"" + EscapeJournalText(text) + "\""; }

// Where a shared person lives in the image: the actions left (each its words, split by US, the
// actions by RS), the message box answers left (IDs, comma-separated) and the first error.
constexpr char kActionsSetting[] = "person.actions";
constexpr char kAnswersSetting[] = "person.answers";
constexpr char kErrorSetting[] = "person.error";
constexpr char kSeparators[] = "\x1e\x1f";

std::vector<std::vector<std::string>> SplitStored(const std::string& text) {
    std::vector<std::vector<std::string>> actions;
    if (text.empty()) return actions;
    size_t from = 0;
    for (;;) {
        const size_t end = text.find('\x1e', from);
        const std::string one = text.substr(from, end == std::string::npos ? std::string::npos : end - from);
        std::vector<std::string> words;
        size_t at = 0;
        for (;;) {
            const size_t stop = one.find('\x1f', at);
            words.push_back(one.substr(at, stop == std::string::npos ? std::string::npos : stop - at));
            if (stop == std::string::npos) break;
            at = stop + 1;
        }
        actions.push_back(std::move(words));
        if (end == std::string::npos) break;
        from = end + 1;
    }
    return actions;
}

std::string JoinStored(const std::vector<std::vector<std::string>>& actions) {
    std::string text;
    for (size_t i = 0; i < actions.size(); ++i) {
        if (i) text += '\x1e';
        for (size_t k = 0; k < actions[i].size(); ++k) text += (k ? "\x1f" : "") + actions[i][k];
    }
    return text;
}

// A word from the command line as an error line shows it.
std::string Shown(const std::string& word) { return EscapeJournalText(FromUtf8(word)); }

void Print(const std::string& line) {
    if (Device* device = CurrentDevice()) device->Print(line);
}

}  // namespace

bool ParseDialogActions(const std::vector<std::string>& words, FileActions files, std::vector<DialogAction>* actions,
                        std::string* error) {
    using Kind = DialogAction::Kind;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        DialogAction action{};
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
                *error = "select takes a control ID and an entry number, not '" + Shown(a) + "' '" +
                         Shown(b) + "'";
                return false;
            }
        } else if (word == "click") {
            action.kind = Kind::Click;
            if (!operand("a control ID", &a)) return false;
            if (!ParseInt(a, &action.id)) {
                *error = "click takes a control ID, not '" + Shown(a) + "'";
                return false;
            }
        } else if (word == "render") {
            action.kind = Kind::Render;
            if (!operand("a FILE.png", &action.file)) return false;
        } else if (word == "file" && files == FileActions::Allowed) {
            action.kind = Kind::File;
            if (!operand("a device path or -", &action.file)) return false;
            action.cancel = action.file == "-";
            // The open-file dialog shows the device's folders from the root down.
            if (!action.cancel && (action.file.empty() || action.file[0] != '\\' || action.file.back() == '\\' ||
                                   action.file.size() >= MAX_PATH)) {
                *error = "file takes a full device path (\\Folder\\Name.vxs, under " + std::to_string(MAX_PATH) +
                         " characters) or -, not '" + Shown(action.file) + "'";
                return false;
            }
        } else {
            *error = "unknown action '" + Shown(word) + "' (see --help)";
            return false;
        }
        actions->push_back(std::move(action));
    }
    return true;
}

void PrintDialog(HWND dialog) {
    WCHAR title[256] = {};
    GetWindowTextW(dialog, title, 256);
    Print("dialog " + Quoted(title));
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const ControlView view = DescribeControl(child);
        std::string line = std::to_string(view.id) + " " + view.kind + " " + Quoted(view.text);
        if (view.disabled) line += " disabled";
        if (view.checkBox)
            line += view.check == BST_CHECKED     ? " checked"
                    : view.check == BST_UNCHECKED ? " unchecked"
                                                  : " check=" + std::to_string(view.check);
        if (view.kind == "combobox") {
            line += " sel=" + std::to_string(view.selection) + " count=" + std::to_string(view.entries.size());
            Print(line);
            for (size_t i = 0; i < view.entries.size(); ++i)
                Print("  [" + std::to_string(i) + "] " + Quoted(view.entries[i]));
        } else {
            Print(line);
        }
    }
}

DialogPerson::DialogPerson(Device& device, std::vector<DialogAction> actions)
    : m_device(device), m_actions(std::move(actions)) {}

void DialogPerson::Sit() {
    SetDialogDriver([this](HWND dialog) { return Act(dialog); });
    SetOpenFileAnswerer([this](const OPENFILENAMEW&) { return AnswerOpenFile(); });
    m_seated = true;
}

void DialogPerson::Leave() {
    if (!m_seated) return;
    SetDialogDriver(nullptr);
    SetOpenFileAnswerer(nullptr);
    m_seated = false;
}

std::optional<std::u16string> DialogPerson::AnswerOpenFile() { return std::exchange(m_fileAnswer, std::nullopt); }

bool DialogPerson::Act(HWND dialog) {
    using Kind = DialogAction::Kind;
    DialogAction action;
    if (m_failed || !Next(&action)) return false;
    switch (action.kind) {
    case Kind::Show: PrintDialog(dialog); return true;
    case Kind::Ok: SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); return true;
    case Kind::Cancel: SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); return true;
    case Kind::Select: {
        HWND combo = GetDlgItem(dialog, action.id);
        if (!combo) return Fail("select: the dialog has no control " + std::to_string(action.id));
        if (!PickComboEntry(combo, action.index))
            return Fail("select: control " + std::to_string(action.id) + " is no combo box a person can use " +
                        "or has no entry " + std::to_string(action.index));
        return true;
    }
    case Kind::Click: {
        HWND button = GetDlgItem(dialog, action.id);
        if (!button) return Fail("click: the dialog has no control " + std::to_string(action.id));
        if (!ClickControl(button))
            return Fail("click: control " + std::to_string(action.id) + " is no button a person can click");
        return true;
    }
    case Kind::Render: {
        std::unique_ptr<Bitmap> screen = RenderScreen(m_device);
        std::string error;
        if (!screen) return Fail("render: the screen cannot be drawn");
        if (!WritePng(*screen, action.file, &error)) return Fail(error);
        return true;
    }
    case Kind::File:
        if (action.cancel)
            m_fileAnswer.reset();
        else
            m_fileAnswer = FromUtf8(action.file);
        return true;
    }
    return false;
}

const DialogAction* DialogPerson::Unserved() const {
    return m_next < m_actions.size() && !m_failed ? &m_actions[m_next] : nullptr;
}

bool DialogPerson::Fail(const std::string& error) {
    m_failed = true;
    m_error = error;
    // The starter reports it: the first error stands.
    if (m_shared && m_device.Setting(kErrorSetting).empty()) m_device.SetSetting(kErrorSetting, error);
    return false;
}

bool DialogPerson::Next(DialogAction* action) {
    if (!m_shared) {
        if (m_next >= m_actions.size()) return false;
        *action = m_actions[m_next++];
        return true;
    }
    std::vector<std::vector<std::string>> stored = SplitStored(m_device.Setting(kActionsSetting));
    if (stored.empty()) return false;
    m_device.SetSetting(kActionsSetting, JoinStored({stored.begin() + 1, stored.end()}));
    std::vector<DialogAction> parsed;
    std::string error;
    if (!ParseDialogActions(stored.front(), FileActions::Allowed, &parsed, &error) || parsed.size() != 1)
        return Fail("the shared actions in the image are damaged" + (error.empty() ? "" : ": " + error));
    *action = std::move(parsed.front());
    return true;
}

DialogPerson DialogPerson::Shared(Device& device) {
    DialogPerson person(device, {});
    person.m_shared = true;
    return person;
}

bool ShareWithStartedPrograms(Device& device, const std::vector<std::string>& words, const std::vector<int>& answers,
                              std::string* error) {
    std::vector<DialogAction> actions;
    if (!ParseDialogActions(words, FileActions::Allowed, &actions, error)) return false;
    // Each action is stored as its own words, so that a started program parses it as given.
    std::vector<std::vector<std::string>> stored;
    size_t at = 0;
    for (const DialogAction& action : actions) {
        const size_t count = action.kind == DialogAction::Kind::Select ? 3
                             : action.kind == DialogAction::Kind::Click || action.kind == DialogAction::Kind::Render ||
                                       action.kind == DialogAction::Kind::File
                                 ? 2
                                 : 1;
        stored.emplace_back(words.begin() + at, words.begin() + at + count);
        at += count;
    }
    for (const std::string& word : words) {
        if (word.find_first_of(kSeparators) != std::string::npos) {
            *error = "an action holds a control character: '" + Shown(word) + "'";
            return false;
        }
    }
    std::string answerText;
    for (int answer : answers) answerText += (answerText.empty() ? "" : ",") + std::to_string(answer);
    device.SetSetting(kActionsSetting, JoinStored(stored));
    device.SetSetting(kAnswersSetting, answerText);
    device.SetSetting(kErrorSetting, "");
    ::setenv(kSharedPersonVariable, "1", 1);
    return true;
}

std::string StopSharing(Device& device) {
    ::unsetenv(kSharedPersonVariable);
    std::string result = device.Setting(kErrorSetting);
    const std::vector<std::vector<std::string>> left = SplitStored(device.Setting(kActionsSetting));
    if (result.empty() && !left.empty()) result = left.front().front() + ": no dialog is open";
    device.SetSetting(kActionsSetting, "");
    device.SetSetting(kAnswersSetting, "");
    device.SetSetting(kErrorSetting, "");
    return result;
}

void JoinSharedPerson(Device& device) {
    const char* shared = std::getenv(kSharedPersonVariable);
    if (!shared || !*shared) return;
    static DialogPerson* person = new DialogPerson(DialogPerson::Shared(device));  // lives as the process does
    person->Sit();
    device.SetAnswerSource([&device]() -> std::optional<int> {
        std::string text = device.Setting(kAnswersSetting);
        if (text.empty()) return std::nullopt;
        const size_t comma = text.find(',');
        const std::string first = text.substr(0, comma);
        device.SetSetting(kAnswersSetting, comma == std::string::npos ? "" : text.substr(comma + 1));
        int answer = 0;
        std::from_chars(first.data(), first.data() + first.size(), answer);
        return answer;
    });
}

}  // namespace host
