// The muiapply program: applies the script its command line names.
#include "mui_engine.h"
#include "platform/winbase.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPWSTR commandLine, int /*showCommand*/) {
    return MuiApplyMain(commandLine);
}
