// Turns a parsed description into the files of a skin: images, masks, layout and data
// resources, and the .rc script that names them for the resource compiler.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "char_tables.h"
#include "description.h"
#include "labels.h"

namespace skinmaker {

struct BuildOptions {
    std::filesystem::path outDir;
    std::string name;  // the .rc file is outDir/name.rc
    bool previews = false;  // also write PNG previews of every image under every mask
};

// Writes every file into options.outDir (which must exist). Characters the font lacks are
// reported in missing; the labels then lack them but the build goes on.
bool BuildSkin(const SkinDescription& skin, const CharTables& tables, LabelPainter& painter,
               const BuildOptions& options, std::vector<char16_t>* missing, std::string* error);

}  // namespace skinmaker
