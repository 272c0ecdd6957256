// \Windows\wceload.exe: the device's cabinet installer (standins/cab_installer.h).
#include "platform/winbase.h"
#include "standins/cab_installer.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPWSTR commandLine, int /*showCommand*/) {
    return standins::RunCabInstaller(commandLine ? commandLine : u"", stdout, stderr);
}
