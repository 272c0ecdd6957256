// A person at the package's dialogs, as the front end plays one: the actions they take, parsed
// from the command line, and the player that takes one action each time a dialog waits for its
// person. A person may also be shared with the programs the front end starts, in the image.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/kernel/device.h"
#include "platform/commdlg.h"
#include "platform/windows.h"

namespace host {

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
    DialogPerson(Device& device, std::vector<DialogAction> actions);
    // The person the front end shares through the image (see ShareWithStartedPrograms): each
    // action is taken from the image when a dialog waits, so that the next one goes to whichever
    // process shows a dialog next.
    static DialogPerson Shared(Device& device);
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
    bool Next(DialogAction* action);

    Device& m_device;
    std::vector<DialogAction> m_actions;
    size_t m_next = 0;
    bool m_failed = false;
    bool m_seated = false;
    std::string m_error;
    std::optional<std::u16string> m_fileAnswer;
    bool m_shared = false;
};

// The environment variable that tells a started program to join the shared person.
constexpr char kSharedPersonVariable[] = "VX_SHARED_PERSON";

// Stores the actions (as ParseDialogActions takes them) and the message box answers in the image
// for the programs this process starts, and marks the environment they inherit. False with a
// usage error for actions that do not parse.
bool ShareWithStartedPrograms(Device& device, const std::vector<std::string>& words, const std::vector<int>& answers,
                              std::string* error);

// Ends the sharing and removes what is left of it from the image. Gives the error an action met in
// a started program, or else the word of the first action no dialog was open for; empty when
// every action was taken.
std::string StopSharing(Device& device);

// In a started program: when its starter shares a person, seats that person at the program's
// dialogs and lets it answer the program's message boxes. The person stays for the process.
void JoinSharedPerson(Device& device);

}  // namespace host
