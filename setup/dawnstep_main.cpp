// The Dawnstep program, started at boot by its shortcut in the start-up folder.
#include "dawnstep.h"
#include "platform/winbase.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return setup::DawnstepMain(); }
