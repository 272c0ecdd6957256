#include <cstdio>

#include "cli.h"
#include "commands.h"
#include "image_setup.h"

namespace commands {

namespace {

const char kUsage[] =
    "usage: pocketsim init IMAGE [--screen WxH] [--rom X.Y.Z] [--store-size SIZE]\n"
    "                      [--ansi-codepage 1252|1251] [--bare] [--force] [--answer ok|cancel|yes|no]...\n"
    "Makes a device image in the folder IMAGE: the device's folders, registry defaults and the\n"
    "screen size (default 240x320). An existing non-empty folder is refused unless --force.\n"
    "  --rom X.Y.Z        the device's ROM version (three decimal numbers), read by configuration\n"
    "                     scripts through the device information library; without it the device\n"
    "                     has no such library and no ROM condition holds\n"
    "  --store-size SIZE  the capacity of the device's object store: bytes, or a number with K, M\n"
    "                     or G (1024, 1024^2, 1024^3), from 1 to 1024G (default 64M); writes\n"
    "                     beyond it fail as on a full device\n"
    "  --ansi-codepage CP the device's ANSI code page, in which .reg files without a byte order\n"
    "                     mark that are not UTF-8 are read: 1252 (Western European, the default)\n"
    "                     or 1251 (Cyrillic, as on a Russian device)\n"
    "  --bare             a device without the package: its folders, settings, the platform's own\n"
    "                     registry values and the emulator's programs (the cabinet installer);\n"
    "                     `pocketsim install` then installs the package's cabinet\n";

}  // namespace

int Init(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (int code = 0; !cli::ParseCommand(argv, {"screen", "rom", "store-size", "ansi-codepage", "answer"}, {"force", "bare"}, kUsage, &args, &code))
        return code;
    if (args.positional.size() != 1) return cli::Fail(cli::kUsage, "init takes one IMAGE folder (see --help)");
    setup::ImageOptions options;
    options.bare = args.Has("bare");
    if (args.Has("screen") && !setup::ParseScreenSize(args.Value("screen"), &options.screenWidth, &options.screenHeight))
        return cli::Fail(cli::kUsage, "--screen takes WIDTHxHEIGHT, for example 240x320");
    if (args.Has("rom")) {
        options.romVersion = args.Value("rom");
        if (!setup::IsRomVersion(options.romVersion))
            return cli::Fail(cli::kUsage, "--rom takes three decimal numbers X.Y.Z, for example 1.10.5, not '" +
                                              cli::Name(options.romVersion) + "'");
    }
    if (args.Has("store-size") && !setup::ParseStoreSize(args.Value("store-size"), &options.storeCapacity))
        return cli::Fail(cli::kUsage, "--store-size takes a byte count with an optional K, M or G suffix, from 1 to "
                                      "1024G, for example 32M, not '" +
                                          args.Value("store-size") + "'");
    if (args.Has("ansi-codepage")) {
        const std::string cp = args.Value("ansi-codepage");
        options.ansiCodePage = cp == "1252" ? 1252 : cp == "1251" ? 1251 : 0;
        if (!options.ansiCodePage)
            return cli::Fail(cli::kUsage, "--ansi-codepage takes 1252 or 1251, not '" + cli::Name(cp) + "'");
    }
    std::vector<int> answers;
    if (!cli::ParseAnswers(args, &answers, &error)) return cli::Fail(cli::kUsage, error);

    auto device = host::Device::Create(args.positional[0], args.Has("force"), &error);
    if (!device) return cli::Fail(cli::kFailure, cli::NameIn(error, args.positional[0]));
    cli::Session session;
    cli::Attach(std::move(device), args, &session);
    if (!setup::PopulateImage(*session.device, options, &error)) return cli::Fail(cli::kFailure, error);
    return cli::kOk;
}

}  // namespace commands
