// pocketsim roundtrip: switches a scratch copy of an image from its current language to another
// package and back, with the language switcher's own switch, and lists what did not come back.
// A package that loses something on the way (a file deleted and never restored, a key renamed
// one way only) shows here before a device loses it.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "image_view.h"
#include "lingo.h"
#include "scratch_image.h"
#include "source_report.h"
#include "trace_printer.h"
#include "platform/com.h"
#include "platform/text.h"
#include "script/command_table.h"
#include "script/reghelpers.h"
#include "script/rename_log.h"

namespace commands {

namespace {

const char kUsage[] =
    "usage: pocketsim roundtrip IMAGE PACKAGE_B [--answer ok|cancel|yes|no]... [--trace]\n"
    "On a scratch copy of the image, switches from the package of the current language\n"
    "(HKCU\\MUI CurLang, found among \\Windows\\vl_*.xml as the language switcher finds it) to\n"
    "PACKAGE_B and back, as the language switcher switches (each package run with the other as\n"
    "its companion, CurLang recorded, the shell's key commands rewritten; no layout, no reset),\n"
    "and prints what differs from before, as pocketsim diff prints it. The image is not touched.\n"
    "PACKAGE_B is a device path (\\Windows\\vl_0419.xml) or a FILE:, HTTP: or FTP: address.\n"
    "  --trace   print each run's trace on standard error, as pocketsim script --trace does\n"
    "Exit status 0 when everything came back, 1 when something did not or a switch failed.\n";

std::string Hex(DWORD language) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(language));
    return text;
}

}  // namespace

int Roundtrip(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (int code = 0; !cli::ParseCommand(argv, {"answer"}, {"trace"}, kUsage, &args, &code)) return code;
    if (args.positional.size() != 2) return cli::Fail(cli::kUsage, "roundtrip takes IMAGE PACKAGE_B (see --help)");
    std::vector<int> answers;
    if (!cli::ParseAnswers(args, &answers, &error)) return cli::Fail(cli::kUsage, error);

    const std::string& image = args.positional[0];
    cli::ScratchImage scratch;
    if (!scratch.Make(image, &error)) return cli::Fail(cli::kFailure, cli::NameIn(error, image));
    cli::Session session;
    if (!cli::OpenSession(scratch.Path(), args, &session)) return cli::kFailure;

    // The packages as the switcher lists them: the current one among the installed packages,
    // B read the same way.
    ClearRenameLog();
    g_dwCurrentLanguage = 0;
    RegReadDword(HKEY_CURRENT_USER, u"MUI", u"CurLang", &g_dwCurrentLanguage);
    EnumeratePackages();
    const int current = FindCurrentPackage();
    if (current == kNoPackage)
        return cli::Fail(cli::kFailure, "no package in \\Windows\\vl_*.xml is of the current language " +
                                            Hex(g_dwCurrentLanguage) + " (HKCU\\MUI CurLang)");
    const LanguagePackage from = Applet().packages[current];
    const std::u16string pathB = FromUtf8(args.positional[1]);
    const int before = Applet().packageCount;
    {
        cli::SourceReport report(*session.device, {pathB});
        ReadPackage(pathB.c_str());
    }
    if (Applet().packageCount == before)
        return cli::Fail(cli::kFailure, cli::Name(args.positional[1]) +
                                            " is no language package: it does not load, or its description has no "
                                            "language ID other than 0");
    const LanguagePackage to = Applet().packages[before];
    if (to.id == from.id)
        return cli::Fail(cli::kFailure, cli::Name(args.positional[1]) + " is of the current language " + Hex(from.id) +
                                            ": there is nothing to switch");

    std::vector<std::string> start, end;
    if (!view::Snapshot(*session.device, &start, &error))
        return cli::Fail(cli::kFailure, "cannot read the image: " + error);
    // Archive extraction goes through COM, so the thread joins it for the length of the runs.
    HRESULT comStarted = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int there = 0, back = 0;
    {
        cli::TracePrinter trace(args.Has("trace"));
        there = SwitchPackage(to.path, to.id, from.path);
        if (there) back = SwitchPackage(from.path, from.id, to.path);
    }
    ClearRenameLog();
    if (SUCCEEDED(comStarted)) CoUninitialize();
    if (!there) return cli::Fail(cli::kFailure, "the switch to " + Hex(to.id) + " did not run (see --trace)");
    if (!back) return cli::Fail(cli::kFailure, "the switch back to " + Hex(from.id) + " did not run (see --trace)");

    if (!view::Snapshot(*session.device, &end, &error))
        return cli::Fail(cli::kFailure, "cannot read the image after the switches: " + error);
    view::PrintChanges(start, end, stdout);
    cli::Flush();
    std::sort(start.begin(), start.end());
    std::sort(end.begin(), end.end());
    return start == end ? cli::kOk : cli::kFailure;
}

}  // namespace commands
