// pocketsim diff: what differs between two images, in the form the demo lists what a language
// switch changed: files with their sizes, registry lines and database records, "- " for what
// only the first has and "+ " for what only the second has.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "image_view.h"

namespace commands {

namespace {

const char kUsage[] =
    "usage: pocketsim diff IMAGE_A IMAGE_B\n"
    "Prints what differs between the two images: file lines (path, size, attributes), registry\n"
    "lines and property database records (\"db NAME: RECORD\" as db dump prints them), \"- \" for\n"
    "those only IMAGE_A has and \"+ \" for those only IMAGE_B has. Nothing when they hold the same.\n"
    "Exit status 0 when both were read, whether they differ or not.\n";

bool Read(const std::string& image, const cli::Args& args, std::vector<std::string>* lines) {
    cli::Session session;
    if (!cli::OpenSession(image, args, &session)) return false;
    std::string error;
    if (view::Snapshot(*session.device, lines, &error)) return true;
    cli::Fail(cli::kFailure, cli::Name(image) + ": " + error);
    return false;
}

}  // namespace

int Diff(const std::vector<std::string>& argv) {
    cli::Args args;
    if (int code = 0; !cli::ParseCommand(argv, {}, {}, kUsage, &args, &code)) return code;
    if (args.positional.size() != 2) return cli::Fail(cli::kUsage, "diff takes IMAGE_A IMAGE_B (see --help)");
    std::vector<std::string> before, after;
    // One image at a time is the process's device.
    if (!Read(args.positional[0], args, &before) || !Read(args.positional[1], args, &after)) return cli::kFailure;
    view::PrintChanges(before, after, stdout);
    return cli::kOk;
}

}  // namespace commands
