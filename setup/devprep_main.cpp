// The DevPrep program.
#include "devprep.h"
#include "platform/winbase.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return setup::DevPrepMain(); }
