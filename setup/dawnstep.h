// Dawnstep: finishes the package's installation at the first boot after it, then opens the
// language switcher so that the user picks the interface language.
#pragma once

#include "platform/wintypes.h"

namespace setup {

constexpr const WCHAR* kCabinetInstaller = u"\\Windows\\wceload.exe";
constexpr const WCHAR* kCertificateCabinet = u"\\Windows\\SdkCerts.CAB";
constexpr const WCHAR* kStartupShortcut = u"\\Windows\\Startup\\Dawnstep.lnk";
constexpr const WCHAR* kApplicationRecord = u"Software\\Apps\\Norvane Vexor";
constexpr const WCHAR* kLanguageApplet = u"\\Windows\\Lingo.cpl";
// How long to wait between two attempts to initialise COM.
constexpr DWORD kComRetryMs = 100;

// Each step's failure is passed over; always 0, when the language switch has not reset the
// device first.
int DawnstepMain();

}  // namespace setup
