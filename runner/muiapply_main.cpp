// The muiapply program on the host: started on a device by CreateProcessW, it opens that device's
// image and applies the script its command line names.
#include <cstdio>
#include <string>

#include "host/kernel/device.h"
#include "host/kernel/process.h"
#include "mui_engine.h"

int main(int argc, char** argv) {
    std::string error;
    std::unique_ptr<host::Device> device = host::OpenStartedDevice(&error);
    if (!device) {
        std::fprintf(stderr, "muiapply: %s\n", error.c_str());
        return 1;
    }
    host::ScopedDevice scope(device.get());
    const std::u16string commandLine = host::StartedCommandLine(argc, argv);
    return MuiApplyMain(commandLine.c_str());
}
