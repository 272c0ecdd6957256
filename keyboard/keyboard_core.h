// The keyboard engine without its device contexts: skins and layout tables, the character table,
// the status machine with gestures, key delivery and the pressed-key list, the skin catalogue
// and start-up. CKeyboard adds the device contexts, painting and the window calls by
// implementing the four hooks at the bottom, so that everything here runs, and is tested, on
// plain data with a recording implementation of the hooks.
//
// Members keep the package's names. The engine owns its bitmaps and the skin library and
// releases them on every path; it holds the SIP callback without a reference.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "charset_table.h"
#include "key_delivery.h"
#include "layout_table.h"
#include "platform/sip.h"
#include "skin_catalogue.h"
#include "status_machine.h"

class KeyboardCore {
public:
    KeyboardCore();
    virtual ~KeyboardCore();
    KeyboardCore(const KeyboardCore&) = delete;
    KeyboardCore& operator=(const KeyboardCore&) = delete;

    // Skin package and layout tables.
    // True when the skin's portrait image is as wide as the shorter side of the screen.
    BOOL IsValidSkin(LPCWSTR path);
    // Turns the loaded skin (m_hSkinLib) into the layout tables and bitmaps for a size.
    BOOL LoadSkin(int width, int height);

    // Character table, from the engine's module (m_hInstance) and the skin's second language.
    BOOL LoadCharsets();

    // Keyboard state and key resolution. A window argument points at the panel window's handle;
    // null (or a null handle) is no window.
    int GetKeyIndex(int x, int y, BOOL letters) const;
    BOOL IsDigitalLineEntry(WCHAR code) const;
    BOOL IsStatusKeyEntry(WCHAR code) const;
    BOOL IsFunctionalKeyEntry(WCHAR code) const;
    void GetKeyboardMask();
    void SetKbStatus(WCHAR code, HWND* window);
    void ReleaseModifiers(HWND* window);
    void PressKey(POINT point, HWND* window, BOOL down);
    void MoveMouse(POINT point, HWND* window);
    BOOL DblPressKey(POINT point, HWND* window);
    void Swipe(POINT start, POINT end, const keyboard::CharsetEntry& entry, HWND* window);

    // Key delivery through m_pIMCallback.
    void SendKeyToApp(DWORD lng1, DWORD uml1, DWORD lng2, DWORD uml2, BOOL bShifted);

    // The pressed-key list.
    void DrawButton(const keyboard::LayoutEntry& entry, HWND* window, BOOL invalidate);
    void PaintStatusButtons(HWND* window);
    // The entry of the first key with that code in the layout shown, or an entry with one empty
    // rectangle.
    const keyboard::LayoutEntry& FindLayoutEntry(WCHAR code) const;

    // Skin catalogue.
    keyboard::SkinList FindSkinFiles(LPCWSTR extension) const;
    keyboard::SkinList GetSkinList() const;

    // Set by the owner: the module that carries the engine's tables and strings.
    HINSTANCE m_hInstance = nullptr;
    // The SIP's callback, stored without a reference.
    IIMCallback* m_pIMCallback = nullptr;

    keyboard::KbStatus m_stKbStatus;

    // The skin as stored in "Skin" (what the shell compares to notice a change), and the file
    // loaded for it: a path of the skin list, which differs from m_SkinPath when "Skin" holds a
    // part of a path.
    std::u16string m_SkinPath;
    std::u16string m_SkinFile;
    bool m_bNoSkin = false;
    HMODULE m_hSkinLib = nullptr;

    std::vector<keyboard::CharsetEntry> m_Charset;
    int32_t m_nLastDigit = -1;
    int32_t m_nFirstFunc = 0;
    int32_t m_nLastFunc = -1;
    int32_t m_nFirstChar = 0;
    int32_t m_nLastChar = -1;

    keyboard::LayoutTable m_CharLayout;
    keyboard::LayoutTable m_DigitLayout;
    RECT m_CAPSRect{};
    bool m_bHasCapsKey = false;
    bool m_bPortrait = false;

    DWORD m_nSwipeMode = 1;
    bool m_bExtSym = true;

    int32_t m_nPressedIndex = -1;
    bool m_bPressedShown = false;
    POINT m_ptDown{};
    POINT m_ptLast{};
    HWND* m_phLastWnd = nullptr;

    std::vector<RECT> m_PressedRects;
    // What GetKeyboardMask chose; the hooks put the matching bitmaps into the device contexts,
    // and key delivery types the characters of the main mask.
    keyboard::MaskSelection m_MaskSelection;

    HBITMAP m_hKbdBmp = nullptr;
    HBITMAP m_hDigitKbdBmp = nullptr;
    HBITMAP m_hDigitMask = nullptr;
    HBITMAP m_hLng1SmlKbMask = nullptr;
    HBITMAP m_hLng1LrgKbMask = nullptr;
    HBITMAP m_hLng2SmlKbMask = nullptr;
    HBITMAP m_hLng2LrgKbMask = nullptr;
    HBITMAP m_hUml1SmlKbMask = nullptr;
    HBITMAP m_hUml1LrgKbMask = nullptr;
    HBITMAP m_hUml2SmlKbMask = nullptr;
    HBITMAP m_hUml2LrgKbMask = nullptr;

    // The bitmap of a mask choice; null for the stock bitmap or a mask the skin lacks.
    HBITMAP MaskBitmap(keyboard::MaskId mask) const;

protected:
    // Start-up after the device contexts exist: settings, skin choice, tables, bitmaps, masks.
    BOOL StartEngine(int width, int height);
    // Tables, bitmaps and the skin library; the status record and the settings stay.
    void ReleaseEngine();

    // Platform effects.
    virtual void CapturePen(HWND window) = 0;
    virtual void ReleasePen() = 0;
    // rect null: the whole window. Always with erasing.
    virtual void InvalidateWindow(HWND window, const RECT* rect) = 0;
    // m_MaskSelection changed: put the matching bitmaps into the device contexts.
    virtual void SelectMasks() = 0;

private:
    const keyboard::CharsetEntry* EntryAt(int32_t index) const;
    const keyboard::LayoutTable& ShownLayout() const;
    keyboard::CharsetMarks Marks() const;
    void SendKeyEntry(const keyboard::CharsetEntry& entry, bool shifted);
    void SendVirtualKeyEvent(const keyboard::VirtualKeyEvent& event);
    // The pen highlight: on for one entry of the layout shown, off again for exactly that one.
    void ShowPressed(int32_t index, HWND* window);
    void HidePressed(HWND* window);
    // Pen-up done: the capture goes and the pen is idle again.
    void EndPress();
    void ReplaceBitmap(HBITMAP& slot, LPCWSTR name);
    void DeleteBitmaps();

    keyboard::LayoutEntry m_EmptyEntry;
    int32_t m_nShownIndex = -1;
};
