// Which screens a skin serves. The engine offers a skin on a screen only when the skin's
// portrait keyboard image is as wide as the screen's shorter side, and loads it for an
// orientation only when that orientation's image is as wide as one of the screen's sides. Pure
// rules, shared by the engine and by the tools that check skins.
#pragma once

#include "platform/wintypes.h"

namespace keyboard {

inline constexpr const WCHAR* kPortraitImage = u"char_keyboard_bitmap";
inline constexpr const WCHAR* kLandscapeImage = u"LANSCAPE_KEYBOARD_BITMAP";

constexpr bool IsLandscape(int width, int height) { return width > height; }

// The width a portrait image needs for the skin to be offered on a cx by cy screen.
constexpr LONG OfferedWidth(int cx, int cy) { return cx > cy ? cy : cx; }

// Whether the keyboard image of the screen's orientation lets the skin load.
constexpr bool ImageLoads(LONG imageWidth, int width, int height) { return imageWidth == width || imageWidth == height; }

}  // namespace keyboard
