// ShowMessage: the package's one way of telling the user something from the script engine and
// the applet. The text is cut to 254 units and shown with an empty caption and
// MB_SETFOREGROUND, owned by the window the applet stored (null until it stores one).
#pragma once

#include "platform/wintypes.h"

int ShowMessage(const WCHAR* text);
void SetMessageOwner(HWND owner);
HWND GetMessageOwner();
