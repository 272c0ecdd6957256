// The actions of a person at a dialog and the player that takes them.
#include "dialog_person.h"

#include <charconv>
#include <memory>
#include <utility>

#include "cli.h"
#include "host/gdi/png_writer.h"
#include "host/windows/controls.h"
#include "host/windows/dialog.h"
#include "host/windows/file_dialog.h"
#include "host/windows/screen.h"
#include "platform/dialogs.h"
#include "platform/text.h"

namespace commands {

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

std::string Quoted(const std::u16string& text) { return "\"" + host::EscapeJournalText(text) + "\""; }

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
        } else if (word == "file" && files == FileActions::Allowed) {
            action.kind = Kind::File;
            if (!operand("a device path or -", &action.file)) return false;
            action.cancel = action.file == "-";
            // The open-file dialog shows the device's folders from the root down.
            if (!action.cancel && (action.file.empty() || action.file[0] != '\\' || action.file.back() == '\\' ||
                                   action.file.size() >= MAX_PATH)) {
                *error = "file takes a full device path (\\Folder\\Name.vxs, under " + std::to_string(MAX_PATH) +
                         " characters) or -, not '" + cli::Name(action.file) + "'";
                return false;
            }
        } else {
            *error = "unknown action '" + cli::Name(word) + "' (see --help)";
            return false;
        }
        actions->push_back(std::move(action));
    }
    return true;
}

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

DialogPerson::DialogPerson(host::Device& device, std::vector<DialogAction> actions)
    : m_device(device), m_actions(std::move(actions)) {}

void DialogPerson::Sit() {
    host::SetDialogDriver([this](HWND dialog) { return Act(dialog); });
    host::SetOpenFileAnswerer([this](const OPENFILENAMEW&) { return AnswerOpenFile(); });
    m_seated = true;
}

void DialogPerson::Leave() {
    if (!m_seated) return;
    host::SetDialogDriver(nullptr);
    host::SetOpenFileAnswerer(nullptr);
    m_seated = false;
}

std::optional<std::u16string> DialogPerson::AnswerOpenFile() { return std::exchange(m_fileAnswer, std::nullopt); }

bool DialogPerson::Act(HWND dialog) {
    using Kind = DialogAction::Kind;
    if (m_failed || m_next >= m_actions.size()) return false;
    const DialogAction& action = m_actions[m_next++];
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
    return false;
}

}  // namespace commands
