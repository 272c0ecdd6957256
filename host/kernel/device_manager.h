// The device manager: loads the drivers registered under HKEY_LOCAL_MACHINE "Drivers\BuiltIn"
// into the calling process and starts them, as the device does at boot. Each subkey names one
// driver: "Dll" (REG_SZ, the library; a bare name is looked for in \Windows), "Prefix" (REG_SZ,
// three letters) and "Order" (REG_DWORD; lower loads first, keys without one after all that
// have one, equal orders by key name). A library loads through the device's loader, so only host
// code the emulator installed runs; PREFIX_Init (platform/devload.h) is called with the key's
// path. A started driver stays loaded until the process ends.
#pragma once

#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace host {

class Device;

struct DriverStart {
    std::u16string key;     // the subkey's name
    std::u16string dll;     // as registered
    std::u16string prefix;  // as registered
    bool hasOrder = false;
    DWORD order = 0;
    bool started = false;
    // Why the driver did not start ("no Dll value", "no such file", "not host code this emulator
    // installed", "no TLT_Init", "TLT_Init returned 0" ...), or "already started" when an earlier
    // call of this process started it.
    std::string reason;
    DWORD_PTR context = 0;  // what PREFIX_Init returned
};

// Starts every registered driver in order; one that fails does not stop the others. One entry
// per subkey, in the order tried. Returns once the threads the drivers started wait for
// messages, so that their windows hear what comes next.
std::vector<DriverStart> StartBuiltInDrivers(Device& device);

// "KEY: started" or "KEY: not started: REASON", as pocketsim prints it.
std::string DescribeDriverStart(const DriverStart& start);

}  // namespace host
