// The rebooter program.
#include "platform/winbase.h"
#include "rebooter.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) { return setup::RebooterMain(instance); }
