// The keyboard engine of the input method: CKeyboard. The input method object owns one by value,
// sets m_hInstance to the module that carries the engine's resources and m_pIMCallback to the
// SIP's callback, and drives it with Init/ReleaseSkin; the panel window hands it the pen
// (PressKey, MoveMouse, DblPressKey) and its paint requests (Paint).
//
// Everything but drawing lives in KeyboardCore; CKeyboard adds the three long-lived memory
// device contexts that hold the keyboard image and the label masks, painting, pen capture and
// invalidation. All images and masks stay selected between paints, so painting allocates
// nothing.
#pragma once

#include "keyboard_core.h"
#include "platform/gdi.h"
#include "platform/windows.h"

class CKeyboard : public KeyboardCore {
public:
    CKeyboard() = default;
    ~CKeyboard() override;

    // Brings the engine up for a screen size: false when the chosen skin cannot be loaded or
    // does not fit; true with m_bNoSkin set when there is no usable skin.
    BOOL Init(int width, int height);
    // Takes the engine down: tables, bitmaps, device contexts and the skin library. The status
    // record, the settings read and m_SkinPath stay.
    void ReleaseSkin();
    // Paints the whole keyboard into dc. The window is used only for the no-skin notice.
    void Paint(HDC dc, HWND* window);

    HDC m_hKbdDC = nullptr;
    HDC m_hMaskDC = nullptr;
    HDC m_hExtMaskDC = nullptr;
    // The bitmaps the contexts held when created, put back before a bitmap is deleted.
    HGDIOBJ m_hStockKbdBmp = nullptr;
    HGDIOBJ m_hStockMaskBmp = nullptr;
    HGDIOBJ m_hStockExtMaskBmp = nullptr;

protected:
    void CapturePen(HWND window) override;
    void ReleasePen() override;
    void InvalidateWindow(HWND window, const RECT* rect) override;
    void SelectMasks() override;

private:
    void DeleteContexts();
};
