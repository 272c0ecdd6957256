// skinmaker: makes the files of a keyboard skin from a layout description, and marks the linked
// resource library as an ARM image. See README.md for the description format.
#include <spawn.h>
#include <sys/wait.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "char_tables.h"
#include "description.h"
#include "labels.h"
#include "pe_machine.h"
#include "skin_build.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Usage(const char* problem) {
    std::fprintf(stderr, "skinmaker: %s (try skinmaker --help)\n", problem);
    return kExitUsage;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "skinmaker: %s\n", message.c_str());
    return kExitFailure;
}

extern "C" char** environ;

// Runs a tool of the MinGW binutils with its arguments as given (no shell), its messages going to
// standard error. False with what went wrong.
bool RunTool(const std::vector<std::string>& argv, std::string* error) {
    std::vector<char*> pointers;
    for (const std::string& a : argv) pointers.push_back(const_cast<char*>(a.c_str()));
    pointers.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0].c_str(), nullptr, nullptr, pointers.data(), environ) != 0) {
        *error = "cannot run " + argv[0] + " (is the MinGW binutils package installed? name another with --windres, --ld)";
        return false;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        *error = argv[0] + " failed; its messages are above";
        return false;
    }
    return true;
}

// The rest of the recipe: the resource compiler, the linker for a resource-only Windows CE
// library, and the ARM machine field the device's loader wants.
bool LinkSkin(const std::filesystem::path& rc, const std::filesystem::path& vxs, const std::string& windres,
              const std::string& ld, const std::string& cpp, std::string* error) {
    const std::filesystem::path object = rc.parent_path() / (rc.stem().string() + ".o");
    if (!RunTool({windres, "--preprocessor=" + cpp, "--preprocessor-arg=-xc", "-I", rc.parent_path().string(),
                  rc.string(), "-O", "coff", "-o", object.string()},
                 error))
        return false;
    if (!RunTool({ld, "--dll", "-e", "0", "-s", "--subsystem", "wince:4.20", "-o", vxs.string(), object.string()}, error))
        return false;
    return skinmaker::SetMachineArm(vxs, error);
}

int Build(const std::vector<std::string_view>& args) {
    std::filesystem::path description, tables, font, out, vxs;
    std::string windres = "i686-w64-mingw32-windres", ld = "i686-w64-mingw32-ld", cpp = "cpp";
    std::string name;
    int scale = 1;
    bool previews = false;
    auto rendering = skinmaker::GlyphRendering::Mono;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view a = args[i];
        auto value = [&](std::string_view* v) {
            if (i + 1 >= args.size()) return false;
            *v = args[++i];
            return true;
        };
        std::string_view v;
        if (a == "--tables" || a == "--font" || a == "--out" || a == "--name" || a == "--scale" || a == "--render" ||
            a == "--vxs" || a == "--windres" || a == "--ld" || a == "--cpp") {
            if (!value(&v)) return Usage((std::string(a) + " needs a value").c_str());
            if (a == "--tables") tables = v;
            else if (a == "--vxs") vxs = v;
            else if (a == "--windres") windres = v;
            else if (a == "--ld") ld = v;
            else if (a == "--cpp") cpp = v;
            else if (a == "--font") font = v;
            else if (a == "--out") out = v;
            else if (a == "--name") name = v;
            else if (a == "--scale") {
                auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), scale);
                if (ec != std::errc() || end != v.data() + v.size() || scale < 1 || scale > 8)
                    return Usage("--scale takes a whole number from 1 to 8");
            } else if (v == "mono") {
                rendering = skinmaker::GlyphRendering::Mono;
            } else if (v == "threshold") {
                rendering = skinmaker::GlyphRendering::Threshold;
            } else {
                return Usage("--render takes mono or threshold");
            }
        } else if (a == "--png") {
            previews = true;
        } else if (!a.empty() && a[0] == '-') {
            return Usage(("unknown option " + std::string(a)).c_str());
        } else if (description.empty()) {
            description = a;
        } else {
            return Usage("build takes one description");
        }
    }
    if (description.empty() || tables.empty() || font.empty() || out.empty())
        return Usage("build needs a DESCRIPTION, --tables DIR, --font FILE and --out DIR");

    std::string error;
    skinmaker::CharTables charTables;
    if (!charTables.Load(tables, &error)) return Fail(error);
    skinmaker::SkinDescription skin;
    if (!skinmaker::ParseDescription(description, charTables, scale, &skin, &error)) return Fail(error);
    if (name.empty()) name = skin.name;
    skinmaker::LabelPainter painter;
    if (!painter.Open(font, rendering, &error)) return Fail(error);
    std::error_code ec;
    std::filesystem::create_directories(out, ec);
    if (ec) return Fail(out.string() + ": cannot create the folder: " + ec.message());

    skinmaker::BuildReport report;
    if (!skinmaker::BuildSkin(skin, charTables, painter, {out, name, previews}, &report, &error)) return Fail(error);
    for (char16_t c : report.missing)
        std::fprintf(stderr, "skinmaker: warning: %s has no glyph for U+%04X; its labels lack it\n",
                     font.string().c_str(), static_cast<unsigned>(c));
    for (const std::string& line : report.unfit)
        std::fprintf(stderr, "skinmaker: warning: %s: %s\n", description.string().c_str(), line.c_str());
    if (!vxs.empty() && !LinkSkin(out / (name + ".rc"), vxs, windres, ld, cpp, &error)) return Fail(error);
    return kExitOk;
}

int SetMachine(const std::vector<std::string_view>& args) {
    if (args.size() != 1) return Usage("set-machine-arm takes one FILE");
    std::string error;
    if (!skinmaker::SetMachineArm(std::filesystem::path(args[0]), &error)) return Fail(error);
    return kExitOk;
}

int Help(const std::vector<std::string_view>&);

struct Command {
    const char* name;
    int (*run)(const std::vector<std::string_view>& args);
    const char* usage;
};

constexpr Command kCommands[] = {
    {"build", Build,
     "build DESCRIPTION --tables DIR --font FILE --out DIR [--name NAME] [--scale N] [--png] "
     "[--render mono|threshold]\n"
     "            [--vxs FILE [--windres PROG] [--ld PROG] [--cpp PROG]]\n"
     "      writes NAME.rc and the bitmaps and data it names into DIR; with --vxs also compiles and\n"
     "      links them into the finished ARM skin library FILE"},
    {"set-machine-arm", SetMachine, "set-machine-arm FILE\n      marks a linked PE resource library as ARM (0x01C0)"},
    {"help", Help, "help\n      this text"},
};

int Help(const std::vector<std::string_view>&) {
    std::printf("usage: skinmaker COMMAND ...\n");
    for (const Command& c : kCommands) std::printf("  skinmaker %s\n", c.usage);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage("no command");
    std::string_view command = argv[1];
    if (command == "--help" || command == "-h") return Help({});
    std::vector<std::string_view> args(argv + 2, argv + argc);
    for (std::string_view a : args)
        if (a == "--help" || a == "-h") return Help({});
    for (const Command& c : kCommands)
        if (command == c.name) return c.run(args);
    return Usage(("unknown command " + std::string(command)).c_str());
}
