// The applet library's one export, as the control panel looks it up.
#include "lingo.h"

extern "C" __attribute__((visibility("default"))) LONG CPlApplet(HWND window, UINT message, LPARAM param1,
                                                                 LPARAM param2) {
    return AppletEntry(window, message, param1, param2);
}
