// The whole screen as a person sees it: the navigation bar at the top with the foreground
// window's title (and the Done button of a dialog that has one), every visible top-level window
// from the bottom of the stack up with its visible children, and the input panel above them.
// Each window is painted afresh first, so the picture is what the windows draw now.
#pragma once

#include <memory>

#include "host/gdi/bitmap.h"

namespace host {

class Device;

std::unique_ptr<Bitmap> RenderScreen(Device& device);

}  // namespace host
