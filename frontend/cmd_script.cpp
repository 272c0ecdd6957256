// pocketsim script: runs one language script on an image with the full command set, once, as the
// language switcher runs it, and reports what Run returned. Unlike a language switch it records
// no new language, rewrites no shell keys and does not reset the device.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "image_view.h"
#include "scratch_image.h"
#include "source_report.h"
#include "trace_printer.h"
#include "platform/com.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "script/command_table.h"
#include "script/reghelpers.h"
#include "script/rename_log.h"
#include "script/script_engine.h"

namespace commands {

namespace {

const char kUsage[] =
    "usage: pocketsim script IMAGE SOURCE [--companion SOURCE] [--cur HEX] [--target HEX]\n"
    "                        [--answer ok|cancel|yes|no]... [--trace] [--dry-run]\n"
    "Runs the language script SOURCE on the image as the language switcher does, with the\n"
    "script of the language being left as --companion, and prints Run=N status=0xHHHHHHHH.\n"
    "A source is a device path (\\Windows\\vl_0419.xml), a FILE: address or an HTTP: or FTP:\n"
    "address; it is never a path on the host.\n"
    "  --cur HEX      current language; written to HKCU\\MUI CurLang before the run\n"
    "                 (default: CurLang as stored, 0 when missing)\n"
    "  --target HEX   language being switched to (default 0)\n"
    "  --answer A     answer the next message box (ok, cancel, yes or no)\n"
    "  --trace        print on standard error, for each command element and If, its line, its\n"
    "                 attributes and what became of it, and why a script did not parse\n"
    "  --dry-run      run on a scratch copy of the image and print, after the Run line, what\n"
    "                 the run changed, as pocketsim diff prints it; the image is not touched\n"
    "HEX is 1 to 8 hexadecimal digits, with or without 0x. Exit status 0 when Run returned 1.\n"
    "A source that does not open is named on standard error with the reason.\n";

// 1 to 8 hexadecimal digits, optionally after 0x; nothing else.
bool ParseLanguage(const std::string& text, DWORD* value) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits.erase(0, 2);
    if (digits.empty() || digits.size() > 8) return false;
    DWORD result = 0;
    for (char c : digits) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return false;
        result = result * 16 + DWORD(digit);
    }
    *value = result;
    return true;
}

}  // namespace

int RunLanguageScript(const WCHAR* source, const WCHAR* companion, DWORD current, DWORD target, HRESULT* status) {
    // Archive extraction goes through COM, so the thread joins it for the length of the run.
    HRESULT comStarted = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ClearRenameLog();
    ScriptEngine engine;
    ProcessList spared;
    CommandTable table(&spared);
    engine.CreateDocument();
    engine.m_pSink = &table;
    g_dwCurrentLanguage = current;
    g_dwTargetLanguage = target;
    int ran = engine.Run(source, companion);
    engine.ReleaseDocuments();
    ClearRenameLog();
    if (SUCCEEDED(comStarted)) CoUninitialize();
    *status = engine.m_hrStatus;
    return ran;
}

int Script(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (int code = 0; !cli::ParseCommand(argv, {"companion", "cur", "target", "answer"}, {"trace", "dry-run"}, kUsage, &args, &code))
        return code;
    if (args.positional.size() != 2) return cli::Fail(cli::kUsage, "script takes IMAGE SOURCE (see --help)");
    DWORD current = 0, target = 0;
    const bool hasCurrent = args.Has("cur");
    if (hasCurrent && !ParseLanguage(args.Value("cur"), &current))
        return cli::Fail(cli::kUsage,
                         "--cur takes a hexadecimal language identifier, not '" + cli::Name(args.Value("cur")) + "'");
    if (args.Has("target") && !ParseLanguage(args.Value("target"), &target))
        return cli::Fail(cli::kUsage,
                         "--target takes a hexadecimal language identifier, not '" + cli::Name(args.Value("target")) +
                             "'");
    std::vector<int> answers;
    if (!cli::ParseAnswers(args, &answers, &error)) return cli::Fail(cli::kUsage, error);
    const std::u16string source = FromUtf8(args.positional[1]);
    const bool hasCompanion = args.Has("companion");
    const std::u16string companion = FromUtf8(args.Value("companion"));

    const bool dryRun = args.Has("dry-run");
    std::string image = args.positional[0];
    cli::ScratchImage scratch;
    if (dryRun) {
        if (!scratch.Make(image, &error)) return cli::Fail(cli::kFailure, cli::NameIn(error, image));
        image = scratch.Path();
    }
    cli::Session session;
    if (!cli::OpenSession(image, args, &session)) return cli::kFailure;
    std::vector<std::string> before;
    if (dryRun && !view::Snapshot(*session.device, &before, &error))
        return cli::Fail(cli::kFailure, "cannot read the image: " + error);
    if (hasCurrent) {
        LONG written = RegWriteValue(HKEY_CURRENT_USER, u"MUI", u"CurLang", &current, 4, u"REG_DWORD");
        if (written != ERROR_SUCCESS)
            return cli::Fail(cli::kFailure, "cannot write CurLang (error " + std::to_string(written) + ")");
    } else {
        RegReadDword(HKEY_CURRENT_USER, u"MUI", u"CurLang", &current);
    }

    HRESULT status = S_OK;
    int ran = 0;
    {
        cli::SourceReport report(*session.device, hasCompanion ? std::vector{source, companion} : std::vector{source});
        cli::TracePrinter trace(args.Has("trace"), true);
        ran = RunLanguageScript(source.c_str(), hasCompanion ? companion.c_str() : nullptr, current, target, &status);
    }

    std::printf("Run=%d status=0x%08X\n", ran, static_cast<unsigned>(status));
    cli::Flush();
    if (dryRun) {
        std::vector<std::string> after;
        if (!view::Snapshot(*session.device, &after, &error))
            return cli::Fail(cli::kFailure, "cannot read the image after the run: " + error);
        view::PrintChanges(before, after, stdout);
        cli::Flush();
    }
    return ran == 1 ? cli::kOk : cli::kFailure;
}

}  // namespace commands
