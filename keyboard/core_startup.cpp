// Construction, start-up and release of the engine's tables, and the skin catalogue. Start-up
// never fails for want of a skin: with none usable the keyboard shows its notice and resolves
// every point to no key. It fails only when the chosen skin cannot be loaded or its keyboard
// image does not fit the screen.
#include "keyboard_core.h"

#include "platform/gdi.h"
#include "platform/modules.h"

using namespace keyboard;

KeyboardCore::KeyboardCore() { m_EmptyEntry.m_Rect.push_back(RECT{}); }

KeyboardCore::~KeyboardCore() { ReleaseEngine(); }

const CharsetEntry* KeyboardCore::EntryAt(int32_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_Charset.size()) return nullptr;
    return &m_Charset[static_cast<size_t>(index)];
}

const LayoutTable& KeyboardCore::ShownLayout() const {
    return m_stKbStatus.m_bDigital ? m_DigitLayout : m_CharLayout;
}

CharsetMarks KeyboardCore::Marks() const {
    return CharsetMarks{m_nLastDigit, m_nFirstFunc, m_nLastFunc, m_nFirstChar, m_nLastChar};
}

HBITMAP KeyboardCore::MaskBitmap(MaskId mask) const {
    switch (mask) {
    case MaskId::Lng1Small: return m_hLng1SmlKbMask;
    case MaskId::Lng1Large: return m_hLng1LrgKbMask;
    case MaskId::Uml1Small: return m_hUml1SmlKbMask;
    case MaskId::Uml1Large: return m_hUml1LrgKbMask;
    case MaskId::Lng2Small: return m_hLng2SmlKbMask;
    case MaskId::Lng2Large: return m_hLng2LrgKbMask;
    case MaskId::Uml2Small: return m_hUml2SmlKbMask;
    case MaskId::Uml2Large: return m_hUml2LrgKbMask;
    case MaskId::Digit: return m_hDigitMask;
    case MaskId::Stock: break;
    }
    return nullptr;
}

SkinList KeyboardCore::FindSkinFiles(LPCWSTR extension) const { return keyboard::FindSkinFiles(extension); }

SkinList KeyboardCore::GetSkinList() const { return keyboard::GetSkinList(); }

BOOL KeyboardCore::StartEngine(int width, int height) {
    m_nSwipeMode = 1;
    m_nPressedIndex = -1;
    m_bPressedShown = false;
    m_nShownIndex = -1;
    m_phLastWnd = nullptr;
    m_stKbStatus.m_bShift = m_stKbStatus.m_bCAPS = m_stKbStatus.m_bCtrl = false;
    m_stKbStatus.m_bDigital = m_stKbStatus.m_bUml = false;
    m_bNoSkin = false;
    m_PressedRects.clear();
    m_MaskSelection = MaskSelection{};

    const SkinList list = GetSkinList();
    if (list.empty()) {
        DebugTrace(u"No valid skins\n");
        m_bNoSkin = true;
        return TRUE;
    }

    {
        SettingsKey key(SettingsKey::Mode::Create);
        if (std::optional<DWORD> swipe = key.ReadDword(kSwipeValue))
            m_nSwipeMode = *swipe;
        else
            key.WriteDword(kSwipeValue, 1);

        const std::u16string stored = key.ReadString(kSkinValue).value_or(std::u16string());
        SkinChoice choice =
            ChooseSkin(list, stored, [this](const std::u16string& path) { return IsValidSkin(path.c_str()) != FALSE; });
        if (choice.none) {
            m_bNoSkin = true;
            return TRUE;
        }
        m_SkinPath = std::move(choice.skinPath);
        m_SkinFile = std::move(choice.loadPath);
        if (choice.writeBack) key.WriteString(kSkinValue, m_SkinPath);

        m_hSkinLib = LoadLibraryW(m_SkinFile.c_str());
        if (!m_hSkinLib) {
            DebugTrace(u"can't load any resources for skin. break func\n");
            return FALSE;
        }
        LoadCharsets();
        m_bExtSym = key.ReadDword(kExtSymValue).value_or(1) != 0;
    }

    if (!LoadSkin(width, height)) {
        DebugTrace(u"can't loading skin\n");
        return FALSE;
    }
    GetKeyboardMask();
    return TRUE;
}

void KeyboardCore::DeleteBitmaps() {
    HBITMAP* slots[] = {&m_hKbdBmp,        &m_hDigitKbdBmp,   &m_hDigitMask,     &m_hLng1SmlKbMask,
                        &m_hLng1LrgKbMask, &m_hLng2SmlKbMask, &m_hLng2LrgKbMask, &m_hUml1SmlKbMask,
                        &m_hUml1LrgKbMask, &m_hUml2SmlKbMask, &m_hUml2LrgKbMask};
    for (HBITMAP* slot : slots) {
        if (*slot) DeleteObject(*slot);
        *slot = nullptr;
    }
}

void KeyboardCore::ReleaseEngine() {
    m_ptLast = POINT{};
    m_nPressedIndex = -1;
    m_bPressedShown = false;
    m_nShownIndex = -1;
    m_Charset.clear();
    const CharsetMarks empty;
    m_nLastDigit = empty.m_nLastDigit;
    m_nFirstFunc = empty.m_nFirstFunc;
    m_nLastFunc = empty.m_nLastFunc;
    m_nFirstChar = empty.m_nFirstChar;
    m_nLastChar = empty.m_nLastChar;
    m_CharLayout.Clear();
    m_DigitLayout.Clear();
    m_PressedRects.clear();
    m_MaskSelection = MaskSelection{};
    DeleteBitmaps();
    if (m_hSkinLib) FreeLibrary(m_hSkinLib);
    m_hSkinLib = nullptr;
}
