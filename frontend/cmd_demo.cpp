#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "cli.h"
#include "commands.h"
#include "image_setup.h"
#include "host/registry/regfile.h"
#include "image_view.h"
#include "runner/mui_engine.h"

namespace commands {

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: pocketsim demo [IMAGE] [--answer ok|cancel|yes|no]...\n"
    "Makes a default device image in IMAGE (default: ./demo-image, replaced if it is a device\n"
    "image already) and shows the package at work on it: what the image holds, then typing on the\n"
    "on-screen keyboard (the input method the SIP loads) in both languages, with PNG pictures of\n"
    "the keyboard in the image folder, the language switcher switching the device to Russian (its\n"
    "dialog as text and pictures, then the changes listed), and the configuration runner applying\n"
    "its sample script.\n";

}  // namespace

int Demo(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (int code = 0; !cli::ParseCommand(argv, {"answer"}, {}, kUsage, &args, &code)) return code;
    if (args.positional.size() > 1) return cli::Fail(cli::kUsage, "demo takes at most one IMAGE folder");
    std::vector<int> answers;
    if (!cli::ParseAnswers(args, &answers, &error)) return cli::Fail(cli::kUsage, error);
    std::string image = args.positional.empty() ? "demo-image" : args.positional[0];

    // Replace an earlier demo image, but never a folder that holds something else.
    std::error_code ec;
    bool isImage = fs::exists(fs::path(image) / "device.db", ec);
    if (fs::exists(image, ec) && !isImage && !fs::is_empty(image, ec))
        return cli::Fail(cli::kFailure,
                         cli::Name(image) + " is not empty and not a device image; choose another folder");
    auto device = host::Device::Create(image, true, &error);
    if (!device) return cli::Fail(cli::kFailure, cli::NameIn(error, image));
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

    // Typing through the on-screen keyboard: the device's SIP loads the input method that init
    // registered, each tap goes to its panel window, and the keys reach the focused application
    // as the SIP callback calls printed below.
    const std::string english = (fs::path(image) / "keyboard-english.png").string();
    const std::string russian = (fs::path(image) / "keyboard-russian.png").string();
    std::printf("\n== Typing \"Hi there\" on the Classic skin (Shift, H, i, Space, t, h, e, r, e)\n");
    cli::Flush();
    if (int rc = RunKeyboardEvents(*session.device, {"key", "48", "key", "99", "key", "89", "key", "57", "key", "86",
                                                     "key", "99", "key", "84", "key", "85", "key", "84", "status",
                                                     "render", english}))
        return rc;
    std::printf("\n== Switching to the second language and typing \"привет\" (Lang, п, р, и, в, е, т)\n");
    cli::Flush();
    if (int rc = RunKeyboardEvents(*session.device, {"key", "51", "key", "98", "key", "99", "key", "109", "key", "96",
                                                     "key", "86", "key", "110", "status", "down", "@98", "render",
                                                     russian}))
        return rc;
    std::printf("\n== The keyboard as drawn: %s and %s (the last with a key held down)\n", english.c_str(),
                russian.c_str());

    // The language switcher, opened as the control panel opens it: its dialog, then Russian
    // picked and Done pressed; the switch runs the Russian package's script with the English
    // one as its companion, records the language and resets the device.
    const std::string switcher = (fs::path(image) / "lingo-english.png").string();
    const std::string picked = (fs::path(image) / "lingo-russian.png").string();
    std::vector<std::string> before, after;
    if (!view::Snapshot(*session.device, &before, &error)) return cli::Fail(cli::kFailure, error);
    std::printf("\n== The language switcher (\\Windows\\Lingo.cpl) as the control panel opens it\n");
    cli::Flush();
    if (int rc = RunLingoActions(*session.device, {"show", "render", switcher}); rc != cli::kOk) return rc;
    std::printf("\n== Picking Russian and pressing Done\n");
    cli::Flush();
    if (int rc = RunLingoActions(*session.device, {"select", "1005", "1", "render", picked, "ok"}); rc != cli::kOk)
        return rc;
    std::printf("\n== The dialog as drawn: %s and %s\n", switcher.c_str(), picked.c_str());
    std::printf("\n== What the switch changed (files, registry lines, then database records)\n");
    if (!view::Snapshot(*session.device, &after, &error)) return cli::Fail(cli::kFailure, error);
    view::PrintChanges(before, after, stdout);

    // The configuration runner applies the sample script; this image has no ROM version, so only
    // the language conditions can hold, and the script ends by asking for a reset.
    std::printf("\n== Applying \\Windows\\muiconfig.xml as \\Windows\\muiapply.exe does\n");
    cli::Flush();
    MuiApplyMain(nullptr);
    std::printf("\n== The settings it wrote (this image has no ROM version, so no ROM condition held)\n");
    std::string settings;
    if (!host::ExportRegistry(*session.device, u"HKEY_LOCAL_MACHINE\\Software\\Vexor\\Config", &settings, &error))
        return cli::Fail(cli::kFailure, error);
    std::printf("%s", settings.c_str());
    return cli::kOk;
}

}  // namespace commands
