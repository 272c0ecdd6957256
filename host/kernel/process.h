// The device's running programs as one host process sees them. The host process is itself a
// device process (its identifier is the host's process id, so a program started on the device
// knows its own identifier without being told); the programs it starts with CreateProcessW are
// separate host processes, listed while they run; simulated processes are entries only, added
// by tests and the front end so that windows can belong to programs that are not really there.
//
// A program started on the device finds its image in the environment variable VX_DEVICE_IMAGE
// (the image folder), its own device path in VX_DEVICE_PROGRAM, and the command line, unchanged,
// as its only argument. OpenStartedDevice and StartedCommandLine read them.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"

namespace host {

class Device;

inline constexpr char kImageVariable[] = "VX_DEVICE_IMAGE";
inline constexpr char kProgramVariable[] = "VX_DEVICE_PROGRAM";
// Set for started programs that print nothing on the console (their journal lines still count).
inline constexpr char kQuietVariable[] = "VX_QUIET";

enum class ProcessKind { Host, Started, Simulated };

struct ProcessRecord {
    DWORD id = 0;
    DWORD parentId = 0;
    std::u16string path;  // device path, or a bare name when a simulated process was given one
    ProcessKind kind = ProcessKind::Host;
};

// This host process first, then started and simulated processes in the order they appeared.
std::vector<ProcessRecord> RunningProcesses();

// Returns the new process's identifier, or 0 for an empty path. Identifiers of simulated
// processes lie above every host process id.
DWORD AddSimulatedProcess(std::u16string_view devicePath);
bool RemoveSimulatedProcess(DWORD id);
void ClearSimulatedProcesses();

// The device path this host process shows in snapshots. By default the program it was started
// as on the device, else "\Windows\" and the host executable's name (".exe" added when it has
// no extension).
void SetCurrentProcessPath(std::u16string_view devicePath);
std::u16string CurrentProcessPath();

// The part of a path after its last backslash (the whole path when it holds none).
std::u16string_view ExecutableName(std::u16string_view path);

// For a host program started by CreateProcessW: opens the image it was started on. Null with a
// reason when the program was not started on a device.
std::unique_ptr<Device> OpenStartedDevice(std::string* error);
// The command line it was given (empty when there was none).
std::u16string StartedCommandLine(int argc, char** argv);

}  // namespace host
