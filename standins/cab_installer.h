// The device's cabinet installer, played by the emulator (\Windows\wceload.exe): installs a device
// cabinet (files, registry values, shortcuts, the application's record) with its setup library's
// hooks, and removes an installed application again.
#pragma once

#include <cstdio>
#include <string_view>

namespace standins {

// Runs one command line on the installed device, as the program does:
//   [/noui] [/silent] PATH.CAB     installs the cabinet
//   /u "PROVIDER NAME"             removes the application recorded under that name
// What it did goes to out, one line per file, value and shortcut; a failure is one line on err.
// Returns the program's exit code: 0 done, 1 failed (nothing changed), 2 a bad command line.
int RunCabInstaller(std::u16string_view commandLine, std::FILE* out, std::FILE* err);

}  // namespace standins
