// Skin reading and the character table: a loaded skin library becomes the layout tables, the
// CAPS rectangle and the bitmaps for one screen size; the engine's own tables and the skin's
// second language become m_Charset. Missing or malformed resources degrade to empty tables or
// empty handles; only a keyboard image of the wrong width fails a load.
#include "keyboard_core.h"

#include "platform/gdi.h"
#include "resource_data.h"
#include "skin_fit.h"

using namespace keyboard;

namespace {

LONG BitmapWidth(HBITMAP bitmap) {
    BITMAP bm{};
    if (!bitmap || GetObjectW(bitmap, sizeof bm, &bm) == 0) return -1;
    return bm.bmWidth;
}

}  // namespace

BOOL KeyboardCore::IsValidSkin(LPCWSTR path) {
    HMODULE library = path ? LoadLibraryW(path) : nullptr;
    if (!library) {
        DebugTrace(u"LoadLib error: %d\n", static_cast<int>(GetLastError()));
        return FALSE;
    }
    HBITMAP image = LoadBitmapW(library, kPortraitImage);
    if (!image) {
        DebugTrace(u"LoadBmp error: %d\n", static_cast<int>(GetLastError()));
        FreeLibrary(library);
        return FALSE;
    }
    const LONG width = BitmapWidth(image);
    DeleteObject(image);
    FreeLibrary(library);
    const int cx = GetSystemMetrics(SM_CXSCREEN);
    const int cy = GetSystemMetrics(SM_CYSCREEN);
    return width == OfferedWidth(cx, cy);
}

void KeyboardCore::ReplaceBitmap(HBITMAP& slot, LPCWSTR name) {
    HBITMAP loaded = m_hSkinLib ? LoadBitmapW(m_hSkinLib, name) : nullptr;
    if (slot) DeleteObject(slot);
    slot = loaded;
}

BOOL KeyboardCore::LoadSkin(int width, int height) {
    const bool landscape = IsLandscape(width, height);
    m_bHasCapsKey = false;
    m_bPortrait = width < height;
    m_CharLayout.Clear();
    m_CAPSRect = RECT{};

    if (auto caps = ReadCapsRect(FindResourceData(m_hSkinLib, u"CAPS_RECT").bytes)) m_CAPSRect = *caps;

    const bool swipeOnly = FindResourceData(m_hSkinLib, u"SWIPE_ONLY").found;
    if (swipeOnly) m_nSwipeMode = 1;
    SettingsKey(SettingsKey::Mode::Create).WriteDword(kSwipeOnlySkinValue, swipeOnly ? 1 : 0);

    ResourceData letters;
    if (landscape) letters = FindResourceData(m_hSkinLib, u"LNDSCP_LAYOUT_STRUCT");
    if (!letters.found) letters = FindResourceData(m_hSkinLib, u"CHAR_LAYOUT_STRUCT");
    m_bHasCapsKey = ReadLayoutRecords(letters.bytes, m_CharLayout).hasCapsKey;

    m_DigitLayout.Clear();
    ReadLayoutRecords(FindResourceData(m_hSkinLib, u"DIGIT_LAYOUT_STRUCT").bytes, m_DigitLayout);

    if (!landscape) {
        ReplaceBitmap(m_hKbdBmp, kPortraitImage);
        ReplaceBitmap(m_hLng1SmlKbMask, u"LANG1_SMALL_MASK");
        ReplaceBitmap(m_hLng1LrgKbMask, u"LANG1_LARGE_MASK");
        ReplaceBitmap(m_hLng2SmlKbMask, u"LANG2_SMALL_MASK");
        ReplaceBitmap(m_hLng2LrgKbMask, u"LANG2_LARGE_MASK");
        if (m_bExtSym) {
            ReplaceBitmap(m_hUml1SmlKbMask, u"UML1_SMALL_MASK");
            ReplaceBitmap(m_hUml1LrgKbMask, u"UML1_LARGE_MASK");
            ReplaceBitmap(m_hUml2SmlKbMask, u"UML2_SMALL_MASK");
            ReplaceBitmap(m_hUml2LrgKbMask, u"UML2_LARGE_MASK");
        }
    } else {
        ReplaceBitmap(m_hKbdBmp, kLandscapeImage);
        ReplaceBitmap(m_hLng1SmlKbMask, u"LANG1_SMALL_MASK_LS");
        ReplaceBitmap(m_hLng1LrgKbMask, u"LANG1_LARGE_MASK_LS");
        ReplaceBitmap(m_hLng2SmlKbMask, u"LANG2_SMALL_MASK_LS");
        ReplaceBitmap(m_hLng2LrgKbMask, u"LANG2_LARGE_MASK_LS");
        if (m_bExtSym) {
            ReplaceBitmap(m_hUml1SmlKbMask, u"UML1_SMALL_MASK_LS");
            ReplaceBitmap(m_hUml1LrgKbMask, u"UML1_LARGE_MASK_LS");
            ReplaceBitmap(m_hUml2SmlKbMask, u"UML2_SMALL_MASK_LS");
            ReplaceBitmap(m_hUml2LrgKbMask, u"UML2_LARGE_MASK_LS");
        }
    }
    ReplaceBitmap(m_hDigitKbdBmp, u"digit_keyboard_bitmap");
    ReplaceBitmap(m_hDigitMask, u"DIGIT_MASK");

    const LONG imageWidth = BitmapWidth(m_hKbdBmp);
    if (!ImageLoads(imageWidth, width, height)) {
        DebugTrace(u"can't load this skin for other resolution\n");
        return FALSE;
    }
    return TRUE;
}

BOOL KeyboardCore::LoadCharsets() {
    CharsetSources sources;
    sources.digitalset = FindResourceData(m_hInstance, u"digitalset").bytes;
    sources.funcset = FindResourceData(m_hInstance, u"funcset").bytes;
    sources.charsetEn = FindResourceData(m_hInstance, u"charset_en").bytes;
    sources.localeCharset = FindResourceData(m_hSkinLib, u"LOCALE_CHARSET").bytes;
    const CharsetMarks marks = BuildCharset(sources, m_Charset);
    m_nLastDigit = marks.m_nLastDigit;
    m_nFirstFunc = marks.m_nFirstFunc;
    m_nLastFunc = marks.m_nLastFunc;
    m_nFirstChar = marks.m_nFirstChar;
    m_nLastChar = marks.m_nLastChar;
    return TRUE;
}
