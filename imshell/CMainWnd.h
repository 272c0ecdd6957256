// The SIP panel window: a child of the SIP window that the keyboard engine draws into and that
// hands every pen message to the engine. It holds no keyboard logic of its own, only the rule
// that the pen-up and moves after a double press the engine consumed are not passed on.
#pragma once

#include "CKeyboard.h"
#include "window_impl.h"

// The panel window's class name, which the SIP's own keyboard windows use as well.
inline constexpr const WCHAR* kPanelClassName = u"D79FF5E2-3F2D-4EDF-9DFA-8EDAE42024BB-PocketExe";

class CMainWnd : public imshell::CWindowImpl<CMainWnd> {
public:
    static constexpr UINT kClassStyle = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;

    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    // Set when the engine consumed the last double tap; cleared by the next pen-down.
    BOOL m_bDblClk = FALSE;
    // The owning input method object's engine; not owned.
    CKeyboard* m_pKbd = nullptr;

private:
    void OnPenDown(POINT point);
};
