// The small operations around a script run: the version test of configuration scripts, the
// rewriting of the shell's button commands after a language switch, and the soft reset that
// ends one.
#pragma once

#include "platform/wintypes.h"

// The version this build reports as current; the configuration runner passes the device's ROM
// version to the overload instead.
constexpr const WCHAR* kCurrentVersion = u"0.0.0";

// condition is an operator, 'E' (equal), 'G' (current greater) or 'L' (current smaller), followed
// by a version "major.minor.build"; versions compare by major * 100000 + minor * 1000 + build as
// unsigned 32-bit numbers. Returns 0 when the condition holds, 1 otherwise (a null condition, a
// version that does not parse, an unknown operator or none).
int VersionMatches(LPCWSTR condition);
int VersionMatches(LPCWSTR condition, LPCWSTR currentVersion);

// Rewrites the default value and "ResetCmd" of every subkey of HKEY_LOCAL_MACHINE
// "SOFTWARE\Microsoft\Shell\Keys" that holds both as REG_SZ: lower-cased, with the first
// occurrence of each RenameLog record's old text replaced by its new text. Always empties the
// RenameLog. Returns 0.
int FixShellKeyCommands();

// Asks the platform for a soft reset; returns only when the platform does not reset at once.
void SoftReset();
