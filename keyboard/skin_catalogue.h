// The skin catalogue and the keyboard's registry settings: which skin files exist, which one the
// settings choose, and the values under the settings key.
//
// Settings (HKEY_LOCAL_MACHINE "Software\Vexor\7.0"): "Skin" (REG_SZ, the current skin as the
// user or the search chose it), "Swipe" (REG_DWORD gesture mode, 1 when missing), "ExtSym"
// (REG_DWORD, 1 when missing), "SwipeOnlySkin" (REG_DWORD, written at every skin load),
// "UserSkins" (REG_MULTI_SZ, skin files kept outside "\windows").
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace keyboard {

inline constexpr const WCHAR* kSettingsKey = u"Software\\Vexor\\7.0";
inline constexpr const WCHAR* kSkinValue = u"Skin";
inline constexpr const WCHAR* kSwipeValue = u"Swipe";
inline constexpr const WCHAR* kExtSymValue = u"ExtSym";
inline constexpr const WCHAR* kSwipeOnlySkinValue = u"SwipeOnlySkin";
inline constexpr const WCHAR* kUserSkinsValue = u"UserSkins";
inline constexpr const WCHAR* kSkinFolder = u"\\windows";
// "UserSkins" is read into a buffer of this many bytes; a longer value is not read at all.
inline constexpr DWORD kUserSkinsBytes = 5200;
// Paths and the stored skin are read with room for this many characters, terminator included.
inline constexpr size_t kPathChars = 260;

using SkinList = std::vector<std::u16string>;

// The settings key, opened or created, and closed on every path.
// The one rule for the types of the package's settings, wherever they are read: a value counts
// only when stored with the type it is written with, or that type's expandable twin. Texts
// ("Skin", "DefaultIm", "PrevIMClsid") are REG_SZ, or REG_EXPAND_SZ taken as stored (the device
// has no environment to expand); lists ("UserSkins") only REG_MULTI_SZ; numbers only a REG_DWORD
// of four bytes. A value of any other type counts as missing.
inline bool IsTextSettingType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

class SettingsKey {
public:
    enum class Mode { Open, Create };
    explicit SettingsKey(Mode mode);
    ~SettingsKey();
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;

    bool IsOpen() const { return m_key != nullptr; }
    // A REG_DWORD of four bytes; nothing for a missing or differently typed value.
    std::optional<DWORD> ReadDword(const WCHAR* name) const;
    bool WriteDword(const WCHAR* name, DWORD value) const;
    // A text setting (IsTextSettingType) of at most kPathChars - 1 characters; nothing when
    // missing, of another type or longer.
    std::optional<std::u16string> ReadString(const WCHAR* name) const;
    // Stored with its terminator: 2 * (characters + 1) bytes.
    bool WriteString(const WCHAR* name, std::u16string_view value) const;
    // The strings of a REG_MULTI_SZ read into kUserSkinsBytes bytes, up to the first empty one or
    // the end of the data.
    std::vector<std::u16string> ReadMultiString(const WCHAR* name) const;
    // Stores strings as a REG_MULTI_SZ: each with its terminator, then two more zero characters
    // (four zero bytes for no strings at all).
    bool WriteMultiString(const WCHAR* name, const std::vector<std::u16string>& strings) const;

private:
    HKEY m_key = nullptr;
};

// The strings of a multi-string block, up to the first empty one or the end of the block.
std::vector<std::u16string> SplitMultiString(std::span<const WCHAR> block);

// Every file "\windows\*.EXT" as "\windows\NAME", in the order the search returns them.
SkinList FindSkinFiles(const WCHAR* extension);

// The "*.vxs" files of "\windows", then each "UserSkins" path whose file exists (no sorting,
// duplicates kept). A path with wildcards is skipped, as it names no single file.
SkinList GetSkinList();

struct SkinChoice {
    // Nothing usable: no path passed the validity test.
    bool none = true;
    // The value the engine keeps as its skin path: the stored value when it chose the skin,
    // else the path found.
    std::u16string skinPath;
    // The file to load: always a path of the list. A stored bare word ("blue") matches a path
    // that contains it, and the library is loaded by that path, not by the word.
    std::u16string loadPath;
    // The stored value chose nothing, so the found path must be written to "Skin".
    bool writeBack = false;
};

// The stored value, when present and not empty, chooses the first path of the list that contains
// it (case-sensitive) and is valid; otherwise the first valid path is chosen.
SkinChoice ChooseSkin(const SkinList& list, std::u16string_view stored,
                      const std::function<bool(const std::u16string&)>& isValid);

}  // namespace keyboard
