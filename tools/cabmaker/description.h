// The text description cabmaker makes a device cabinet from (README.md has the format).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "host/cabinet/ce_cabinet_builder.h"

namespace cabmaker {

// Reads the description; host files named in it are taken relative to baseDir. False with
// "LINE: reason" when a line cannot be read.
bool ParseDescription(std::string_view text, const std::filesystem::path& baseDir, host::CeCabinetDescription* out,
                      std::string* error);

}  // namespace cabmaker
