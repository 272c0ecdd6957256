#include "showmessage.h"

#include "platform/text.h"
#include "platform/winbase.h"

namespace {
HWND g_messageOwner = nullptr;
}

void SetMessageOwner(HWND owner) { g_messageOwner = owner; }
HWND GetMessageOwner() { return g_messageOwner; }

int ShowMessage(const WCHAR* text) {
    WCHAR buffer[255];
    wcsncpy(buffer, text ? text : u"", 254);
    buffer[254] = 0;
    return MessageBoxW(g_messageOwner, buffer, u"", MB_SETFOREGROUND);
}
