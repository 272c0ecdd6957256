// The device's shortcut files (*.lnk): one line of text, `NN#COMMAND`, where NN is the number of
// characters of COMMAND and COMMAND is a program path, quoted when it holds spaces, followed by
// its arguments: `22#"\Windows\Dawnstep.exe"`. The shell reads the command after '#'; the count
// only bounds it.
#pragma once

#include <string>
#include <string_view>

namespace host {

struct Shortcut {
    std::u16string target;     // the program or document path, without quotes
    std::u16string arguments;  // what follows it, may be empty
};

// The file's text for a shortcut: quoted target, a space and the arguments when there are any,
// and the count in front. Written in UTF-8 (plain ASCII for the usual paths).
std::string FormatShortcut(const Shortcut& shortcut);

// Reads a shortcut file's bytes (UTF-8, or the device's ANSI code page when not UTF-8). False
// with a reason when the text is not `NN#COMMAND` or names no target.
bool ParseShortcut(std::string_view bytes, int ansiCodePage, Shortcut* shortcut, std::string* error);

}  // namespace host
