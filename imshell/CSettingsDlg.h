// The options dialog object that the input method object owns. Only its engine pointer exists so
// far: the dialog itself (skins, gestures, default input method) comes with its own change, and
// until then UserOptionsDlg shows nothing.
#pragma once

#include "CKeyboard.h"

class CSettingsDlg {
public:
    // The engine of the owning input method object; not owned.
    CKeyboard* m_pKbd = nullptr;
};
