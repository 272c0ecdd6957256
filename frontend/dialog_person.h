// A person at the package's dialogs, as `pocketsim lingo` and `pocketsim options` play them: the
// actions they take, parsed from the command line, and the player that takes one action each time
// a dialog waits for its person.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/kernel/device.h"
#include "platform/commdlg.h"
#include "platform/windows.h"

namespace commands {

// The usage lines of the actions every dialog command takes.
extern const char kDialogActionsUsage[];

struct DialogAction {
    enum class Kind { Show, Select, Click, Ok, Cancel, Render, File };
    Kind kind = Kind::Show;
    int id = 0;
    int index = 0;
    std::string file;      // render's picture, or file's device path
    bool cancel = false;   // file -: the next open-file dialog is cancelled
    std::string word;      // as given, for error lines
};

enum class FileActions { Refused, Allowed };

// False with a usage error for an unknown action or a bad operand.
bool ParseDialogActions(const std::vector<std::string>& words, FileActions files, std::vector<DialogAction>* actions,
                        std::string* error);

// The dialog as `show` prints it.
void PrintDialog(HWND dialog);

class DialogPerson {
public:
    DialogPerson(host::Device& device, std::vector<DialogAction> actions);
    // Installs the person at every dialog and open-file dialog of the process while it lives.
    void Sit();
    void Leave();
    ~DialogPerson() { Leave(); }

    // Takes the next action at the dialog; false when there is none left or the action failed,
    // which leaves the dialog to be cancelled.
    bool Act(HWND dialog);
    // The answer to an open-file dialog: the path of the last `file` action since the previous
    // dialog, then nothing (cancelled).
    std::optional<std::u16string> AnswerOpenFile();

    // The first action no dialog was open for, if any.
    const DialogAction* Unserved() const;
    bool Failed() const { return m_failed; }
    const std::string& Error() const { return m_error; }

private:
    bool Fail(const std::string& error);

    host::Device& m_device;
    std::vector<DialogAction> m_actions;
    size_t m_next = 0;
    bool m_failed = false;
    bool m_seated = false;
    std::string m_error;
    std::optional<std::u16string> m_fileAnswer;
};

}  // namespace commands
