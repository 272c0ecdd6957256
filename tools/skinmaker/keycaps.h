// Drawing of the keyboard image: key caps with an outline, rounded corners and a bevel on a
// background, without labels (labels live in the masks).
#pragma once

#include <functional>
#include <vector>

#include "description.h"
#include "layout.h"
#include "raster.h"

namespace skinmaker {

enum class KeyKind { Character, Function, Status };

// Draws every cap into a new image of the board's size. kindOf tells how an entry is coloured;
// scale widens the outline bevel and the corner rounding of enlarged skins.
RgbImage DrawKeyboard(const Keyboard& board, const std::vector<KeyCap>& caps, const Palette& palette, int scale,
                      const std::function<KeyKind(int entry)>& kindOf);

}  // namespace skinmaker
