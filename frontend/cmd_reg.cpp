#include <cstdio>
#include <fstream>
#include <iterator>

#include "cli.h"
#include "commands.h"
#include "host/registry/regfile.h"
#include "platform/text.h"

namespace commands {

namespace {

const char kUsage[] =
    "usage: pocketsim reg export IMAGE [KEY]\n"
    "       pocketsim reg import IMAGE FILE\n"
    "export prints the registry (or the subtree of KEY, as HKEY_LOCAL_MACHINE\\Software\\...) as\n"
    ".reg text; import merges a .reg file (REGEDIT4 or version 5.00, UTF-8 or UTF-16) and applies\n"
    "nothing when the file has an error.\n";

}  // namespace

int Reg(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (!cli::Parse(argv, {}, {}, &args, &error)) return cli::Fail(cli::kUsage, error);
    if (args.help) {
        std::fputs(kUsage, stdout);
        return cli::kOk;
    }
    const auto& pos = args.positional;
    if (pos.empty()) return cli::Fail(cli::kUsage, "reg needs export or import (see --help)");
    if (pos[0] == "export") {
        if (pos.size() < 2 || pos.size() > 3) return cli::Fail(cli::kUsage, "reg export takes IMAGE [KEY]");
        cli::Session session;
        if (!cli::OpenSession(pos[1], args, &session)) return cli::kFailure;
        const std::u16string key = pos.size() == 3 ? FromUtf8(pos[2]) : std::u16string();
        std::string text;
        // The reason quotes the key as the registry read it.
        if (!host::ExportRegistry(*session.device, key, &text, &error))
            return cli::Fail(cli::kFailure, cli::NameIn(error, ToUtf8(key)));
        cli::Out(text);
        return cli::kOk;
    }
    if (pos[0] == "import") {
        if (pos.size() != 3) return cli::Fail(cli::kUsage, "reg import takes IMAGE FILE");
        std::ifstream in(pos[2], std::ios::binary);
        if (!in) return cli::Fail(cli::kFailure, "cannot read " + cli::Name(pos[2]));
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        cli::Session session;
        if (!cli::OpenSession(pos[1], args, &session)) return cli::kFailure;
        if (!host::ImportRegistry(*session.device, bytes, &error))
            return cli::Fail(cli::kFailure, cli::Name(pos[2]) + ": " + error);
        return cli::kOk;
    }
    return cli::Fail(cli::kUsage, "unknown reg command '" + cli::Name(pos[0]) + "' (export or import)");
}

}  // namespace commands
