// The dialog manager: modal dialogs made from templates (dialog_template.h), their window class
// "Dialog" with the platform's default handling, and the person at the dialog.
//
// A modal dialog runs its own message loop. Whenever the dialog's thread has nothing left to
// handle, it is the person's turn: the dialog driver a front end or a test installed is called
// with the innermost open dialog, does one thing a person would (pick an entry, click a button,
// press Done) and returns true, or returns false when the person has nothing more to do, and
// the dialog is then cancelled (IDCANCEL), as a person would leave it. Without a driver nobody
// answers a dialog: it is cancelled at once, with a trace line.
//
// Dialog units become pixels with the base units of the template's font (or the system font):
// the vertical unit is the font's height, the horizontal one the average width of the 52 Latin
// letters, as the platform measures them; the font's pixel height comes from its point size at
// the screen's pixels per inch (96 on a 240-pixel-wide screen).
#pragma once

#include <functional>
#include <vector>

#include "platform/dialogs.h"

namespace host {

LRESULT DialogClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

using DialogDriver = std::function<bool(HWND dialog)>;
// Installs the driver for every modal dialog of the process (null removes it).
void SetDialogDriver(DialogDriver driver);

// The modal dialogs open now, the innermost last.
std::vector<HWND> OpenDialogs();

// The dialog was given a Done button (SHInitDialog): the navigation bar shows it, and pressing it
// sends IDOK.
void SetDoneButton(HWND dialog, bool done);
bool HasDoneButton(HWND dialog);
// A window the shell made for the dialog (its menu bar), destroyed with the dialog.
void AttachToDialog(HWND dialog, HWND companion);

// Base units of a dialog in pixels, from its font: x the average character width, y the height.
SIZE DialogBaseUnits(HWND dialog);

}  // namespace host
