// The default input method setting of the SIP (HKEY_CURRENT_USER "ControlPanel\Sip"): whether
// this keyboard is the default, making it the default while remembering the previous one, and
// giving the role back.
#pragma once

#include "platform/winbase.h"

inline constexpr const WCHAR* kSipSettingsKey = u"ControlPanel\\Sip";
inline constexpr const WCHAR* kDefaultImValue = u"DefaultIm";
inline constexpr const WCHAR* kPrevImValue = u"PrevIMClsid";

// True when "DefaultIm" names CLSID_KeybInput, in whatever case its text is written.
BOOL IsDefaultIm();

// restore FALSE: "PrevIMClsid" = the text of "DefaultIm", then "DefaultIm" = CLSID_KeybInput.
// restore TRUE: "DefaultIm" = the text of "PrevIMClsid".
// Copying a value that does not exist removes the target value, so that giving the role back
// after making this keyboard the default restores the earlier state, a missing value included.
// False when the key cannot be opened or a write fails; when the class identifier cannot be
// turned into text nothing is written.
BOOL SetDefaultIm(BOOL restore);
