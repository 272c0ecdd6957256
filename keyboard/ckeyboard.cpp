// CKeyboard's device contexts and window calls: start-up and release around the core, mask
// selection into the contexts, pen capture and invalidation.
#include "CKeyboard.h"

using namespace keyboard;

CKeyboard::~CKeyboard() { DeleteContexts(); }

BOOL CKeyboard::Init(int width, int height) {
    ReleaseSkin();
    m_hKbdDC = CreateCompatibleDC(nullptr);
    m_hMaskDC = CreateCompatibleDC(nullptr);
    m_hExtMaskDC = CreateCompatibleDC(nullptr);
    m_hStockKbdBmp = m_hKbdDC ? GetCurrentObject(m_hKbdDC, OBJ_BITMAP) : nullptr;
    m_hStockMaskBmp = m_hMaskDC ? GetCurrentObject(m_hMaskDC, OBJ_BITMAP) : nullptr;
    m_hStockExtMaskBmp = m_hExtMaskDC ? GetCurrentObject(m_hExtMaskDC, OBJ_BITMAP) : nullptr;
    return StartEngine(width, height);
}

void CKeyboard::DeleteContexts() {
    // Put the stock bitmaps back first: a bitmap still selected into a context cannot be
    // deleted.
    HDC* contexts[] = {&m_hKbdDC, &m_hMaskDC, &m_hExtMaskDC};
    HGDIOBJ* stock[] = {&m_hStockKbdBmp, &m_hStockMaskBmp, &m_hStockExtMaskBmp};
    for (size_t i = 0; i < 3; ++i) {
        if (*contexts[i]) {
            if (*stock[i]) SelectObject(*contexts[i], *stock[i]);
            DeleteDC(*contexts[i]);
        }
        *contexts[i] = nullptr;
        *stock[i] = nullptr;
    }
}

void CKeyboard::ReleaseSkin() {
    DeleteContexts();
    ReleaseEngine();
}

void CKeyboard::CapturePen(HWND window) { SetCapture(window); }

void CKeyboard::ReleasePen() { ReleaseCapture(); }

void CKeyboard::InvalidateWindow(HWND window, const RECT* rect) {
    if (!InvalidateRect(window, rect, TRUE)) DebugTrace(u"InvalidateRect error: %d\n", static_cast<int>(GetLastError()));
}

void CKeyboard::SelectMasks() {
    // Each context first gets back its own bitmap; a mask the skin lacks then leaves it there,
    // as a failed selection would.
    if (m_hKbdDC && m_hKbdBmp) SelectObject(m_hKbdDC, m_hKbdBmp);
    if (m_hMaskDC && m_hStockMaskBmp) SelectObject(m_hMaskDC, m_hStockMaskBmp);
    if (m_hExtMaskDC && m_hStockExtMaskBmp) SelectObject(m_hExtMaskDC, m_hStockExtMaskBmp);

    const MaskSelection& sel = m_MaskSelection;
    if (sel.image == KeyboardImage::Digits && m_hKbdDC && m_hDigitKbdBmp) SelectObject(m_hKbdDC, m_hDigitKbdBmp);
    if (HBITMAP main = MaskBitmap(sel.main); main && m_hMaskDC) SelectObject(m_hMaskDC, main);
    if (HBITMAP ext = MaskBitmap(sel.ext); ext && m_hExtMaskDC) SelectObject(m_hExtMaskDC, ext);
}
