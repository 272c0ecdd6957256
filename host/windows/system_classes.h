// The window classes the platform itself provides to every program: the dialog class and the
// control classes ("static", "button", "combobox"), and the shell's menu bar. They are known
// from the start of the process and cannot be unregistered.
#pragma once

#include <vector>

#include "platform/windows.h"

namespace host {

std::vector<WNDCLASSW> SystemClasses();

}  // namespace host
