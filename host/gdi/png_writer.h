// Writes a device bitmap as a PNG file (8-bit RGB), so that a person can look at what was drawn.
#pragma once

#include <string>

#include "host/gdi/bitmap.h"

namespace host {

// False with a reason when the file cannot be written.
bool WritePng(const Bitmap& bitmap, const std::string& path, std::string* error);

}  // namespace host
