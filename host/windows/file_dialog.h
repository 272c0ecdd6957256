// The platform's open-file dialog as the emulator plays it: a person, played by a front end or a
// test, answers each dialog with a device path or cancels it. Without anyone to answer, the
// dialog is cancelled, as a person who walks away cancels it.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/commdlg.h"

namespace host {

// Called once per open-file dialog with what the caller asked for; returns the chosen path, or
// nothing to cancel. Null removes the answerer.
using OpenFileAnswerer = std::function<std::optional<std::u16string>(const OPENFILENAMEW& request)>;
void SetOpenFileAnswerer(OpenFileAnswerer answerer);

}  // namespace host
