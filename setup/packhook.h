// Packhook: the setup library the cabinet installer calls while it installs or removes the
// package. After an installation it drops the installer's record of the package and prepares
// the device; it refuses removal.
#pragma once

#include "platform/wintypes.h"

namespace setup {

constexpr const WCHAR* kDevicePreparation = u"\\Windows\\DevPrep.exe";
// The application key holds at most this many characters; longer names are cut.
constexpr size_t kApplicationKeyChars = 254;

// The work of Install_Exit; returns what it returns (0).
DWORD PackhookInstallExit();

}  // namespace setup
