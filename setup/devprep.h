// DevPrep: the package's device preparation program, which the cabinet installs as
// \Windows\DevPrep.exe and the setup library runs after the installation. It registers the
// input method library, so that the installed keyboard works at once.
#pragma once

#include "platform/wintypes.h"

namespace setup {

constexpr const WCHAR* kInputMethodLibrary = u"\\Windows\\vexor.dll";

// Exit codes: 0 registered; 1 the library does not load; 2 it exports no DllRegisterServer;
// 3 its registration failed.
int DevPrepMain();

}  // namespace setup
