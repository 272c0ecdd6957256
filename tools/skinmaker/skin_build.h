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

// What a build could not draw as described; the skin is still made.
struct BuildReport {
    std::vector<char16_t> missing;  // characters the font lacks; the labels lack them
    std::vector<std::string> unfit;  // labels too large for their keys, left off, one line each
};

// Writes every file into options.outDir (which must exist).
bool BuildSkin(const SkinDescription& skin, const CharTables& tables, LabelPainter& painter,
               const BuildOptions& options, BuildReport* report, std::string* error);

}  // namespace skinmaker
