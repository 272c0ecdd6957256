#include "render_plan.h"

#include <algorithm>

namespace keyboard {

bool TogglePressedRect(std::vector<RECT>& pressed, const RECT& rect) {
    auto it = std::find_if(pressed.begin(), pressed.end(), [&rect](const RECT& r) { return SameRect(r, rect); });
    if (it != pressed.end()) {
        pressed.erase(it);
        return false;
    }
    pressed.push_back(rect);
    return true;
}

}  // namespace keyboard
