#include <cstdio>
#include <filesystem>
#include <string>

#include "cli.h"
#include "commands.h"
#include "image_setup.h"
#include "image_view.h"

namespace commands {

namespace {

const char kUsage[] =
    "usage: pocketsim demo [IMAGE] [--answer ok|cancel|yes|no]...\n"
    "Makes a default device image in IMAGE (default: ./demo-image, replaced if it is a device\n"
    "image already) and shows the package at work on it: what the image holds.\n";

}  // namespace

int Demo(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (!cli::Parse(argv, {"answer"}, {}, &args, &error)) return cli::Fail(cli::kUsage, error);
    if (args.help) {
        std::fputs(kUsage, stdout);
        return cli::kOk;
    }
    if (args.positional.size() > 1) return cli::Fail(cli::kUsage, "demo takes at most one IMAGE folder");
    std::vector<int> answers;
    if (!cli::ParseAnswers(args, &answers, &error)) return cli::Fail(cli::kUsage, error);
    std::string image = args.positional.empty() ? "demo-image" : args.positional[0];

    // Replace an earlier demo image, but never a folder that holds something else.
    std::error_code ec;
    namespace fs = std::filesystem;
    bool isImage = fs::exists(fs::path(image) / "device.db", ec);
    if (fs::exists(image, ec) && !isImage && !fs::is_empty(image, ec))
        return cli::Fail(cli::kFailure, image + " is not empty and not a device image; choose another folder");
    auto device = host::Device::Create(image, true, &error);
    if (!device) return cli::Fail(cli::kFailure, error);
    cli::Session session;
    cli::Attach(std::move(device), args, &session);
    setup::ImageOptions options;
    if (!setup::PopulateImage(*session.device, options, &error)) return cli::Fail(cli::kFailure, error);

    std::printf("== A new device image in %s (screen %dx%d)\n\n", image.c_str(), session.device->ScreenWidth(),
                session.device->ScreenHeight());
    std::printf("== Its files\n");
    view::PrintTree(stdout);
    std::printf("\n== Its registry\n");
    if (!view::PrintRegistry(*session.device, stdout, &error)) return cli::Fail(cli::kFailure, error);
    return cli::kOk;
}

}  // namespace commands
