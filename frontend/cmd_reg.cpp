#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli.h"
#include "commands.h"
#include "host/registry/regfile.h"
#include "platform/text.h"

namespace commands {

namespace {

const char kUsage[] =
    "usage: pocketsim reg export IMAGE [KEY] [--utf16]\n"
    "       pocketsim reg import IMAGE FILE\n"
    "export prints the registry (or the subtree of KEY, as HKEY_LOCAL_MACHINE\\Software\\...) as\n"
    ".reg text (Windows Registry Editor Version 5.00) in UTF-8, or with --utf16 in UTF-16LE with\n"
    "BOM and CR LF, as Windows' registry editor reads it. import merges a .reg file as Windows'\n"
    "registry editor reads it (REGEDIT4 or version 5.00; UTF-8, UTF-16LE with BOM, or ANSI in the\n"
    "image's code page) and applies nothing when the file has an error. FILE is a regular file of\n"
    "at most 16 MiB.\n";

// The whole file is checked before anything is applied, so it is held in memory: a handheld's
// registry exports to a few hundred kilobytes, and a larger file is refused rather than read.
constexpr size_t kMaxRegFileBytes = 16u << 20;

}  // namespace

int Reg(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (int code = 0; !cli::ParseCommand(argv, {}, {"utf16"}, kUsage, &args, &code)) return code;
    const auto& pos = args.positional;
    if (pos.empty()) return cli::Fail(cli::kUsage, "reg needs export or import (see --help)");
    if (pos[0] == "export") {
        if (pos.size() < 2 || pos.size() > 3) return cli::Fail(cli::kUsage, "reg export takes IMAGE [KEY]");
        cli::Session session;
        if (!cli::OpenSession(pos[1], args, &session)) return cli::kFailure;
        const std::u16string key = pos.size() == 3 ? FromUtf8(pos[2]) : std::u16string();
        std::string text;
        // The reason quotes the key as the registry read it.
        const auto encoding = args.Has("utf16") ? host::RegTextEncoding::Utf16 : host::RegTextEncoding::Utf8;
        if (!host::ExportRegistry(*session.device, key, &text, &error, encoding))
            return cli::Fail(cli::kFailure, cli::NameIn(error, ToUtf8(key)));
        cli::Out(text);
        return cli::kOk;
    }
    if (pos[0] == "import") {
        if (pos.size() != 3) return cli::Fail(cli::kUsage, "reg import takes IMAGE FILE");
        if (args.Has("utf16")) return cli::Fail(cli::kUsage, "--utf16 is an option of reg export");
        std::string bytes;
        if (!cli::ReadInputFile(pos[2], kMaxRegFileBytes, ".reg file", &bytes, &error)) return cli::Fail(cli::kFailure, "cannot import " + error);
        cli::Session session;
        if (!cli::OpenSession(pos[1], args, &session)) return cli::kFailure;
        if (!host::ImportRegistry(*session.device, bytes, &error))
            return cli::Fail(cli::kFailure, cli::Name(pos[2]) + ": " + error);
        return cli::kOk;
    }
    return cli::Fail(cli::kUsage, "unknown reg command '" + cli::Name(pos[0]) + "' (export or import)");
}

}  // namespace commands
