// Message handling of the SIP panel window.
#include "CMainWnd.h"

namespace {

// Pen positions are two signed 16-bit client coordinates, so a captured drag left of or above
// the window arrives negative.
POINT PenPoint(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

}  // namespace

void CMainWnd::OnPenDown(POINT point) {
    m_bDblClk = FALSE;
    if (m_pKbd) m_pKbd->PressKey(point, &m_hWnd, TRUE);
}

BOOL CMainWnd::ProcessWindowMessage(HWND window, UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(window, &ps);
        if (dc && m_pKbd) m_pKbd->Paint(dc, &m_hWnd);
        EndPaint(window, &ps);
        return TRUE;
    }
    case WM_ERASEBKGND:
        // The engine paints every pixel, so erasing would only make the keyboard flicker.
        result = 1;
        return TRUE;
    case WM_LBUTTONDOWN:
        OnPenDown(PenPoint(lParam));
        return TRUE;
    case WM_LBUTTONUP:
        if (!m_bDblClk && m_pKbd) m_pKbd->PressKey(PenPoint(lParam), &m_hWnd, FALSE);
        return TRUE;
    case WM_MOUSEMOVE:
        if (!m_bDblClk && m_pKbd) m_pKbd->MoveMouse(PenPoint(lParam), &m_hWnd);
        return TRUE;
    case WM_LBUTTONDBLCLK:
        if (m_pKbd) {
            if (m_pKbd->DblPressKey(PenPoint(lParam), &m_hWnd))
                m_bDblClk = TRUE;
            else
                OnPenDown(PenPoint(lParam));
        }
        return TRUE;
    default:
        return FALSE;
    }
}
