// pocketsim: plays the device for a person. One table of commands; each entry parses its own
// arguments and returns 0 on success, 1 when the run fails, 2 on bad usage.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(const std::vector<std::string>& args);
    const char* summary;
};

const Command kCommands[] = {
    {"init", commands::Init, "make a device image with the package installed"},
    {"reg", commands::Reg, "export or import the registry as .reg text"},
    {"db", commands::Db, "list, dump, load or drop the image's property databases"},
    {"demo", commands::Demo, "make a default image and show the package at work"},
    {"keyboard", commands::Keyboard, "drive the keyboard with pen events and print the keys it sends"},
    {"register", commands::Register, "register the image's input method library (DllRegisterServer)"},
    {"unregister", commands::Unregister, "unregister the image's input method library (DllUnregisterServer)"},
    {"script", commands::Script, "run one language script on an image as the language switcher does"},
    {"muiapply", commands::MuiApply, "apply a configuration script on an image as muiapply does"},
    {"lingo", commands::Lingo, "open the language switcher as the control panel does and play its dialog"},
    {"options", commands::Options, "open the keyboard's options from the input panel and play the page"},
    {"ls", commands::Ls, "list a folder of an image"},
    {"get", commands::Get, "copy a file out of an image"},
    {"diff", commands::Diff, "list what differs between two images: files, registry, databases"},
    {"check", commands::Check, "check language packages and configuration scripts without running them"},
    {"roundtrip", commands::Roundtrip, "switch a scratch copy to a package and back, and list what did not come back"},
    {"skin", commands::Skin, "check a skin library: its resources and the screens it fits"},
    {"install", commands::Install, "install a device cabinet into an image as the device's cabinet installer does"},
    {"put", commands::Put, "copy a file into an image (as data: the image never runs it)"},
    {"run", commands::Run, "start a device program and wait for it"},
    {"boot", commands::Boot, "play one boot: the drivers, then the start-up folder"},
    {"rotate", commands::Rotate, "start the image's drivers, then turn the screen and tell every window"},
};

void PrintUsage(FILE* out) {
    std::fprintf(out, "usage: pocketsim COMMAND [ARGS...]   (pocketsim COMMAND --help for more)\n\ncommands:\n");
    for (auto& c : kCommands) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return cli::kUsage;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return cli::FinishOutput(cli::kOk);
    }
    std::vector<std::string> rest(argv + 2, argv + argc);
    for (auto& c : kCommands)
        if (name == c.name) return cli::FinishOutput(c.run(rest));
    return cli::Fail(cli::kUsage, "unknown command '" + cli::Name(name) + "' (try pocketsim --help)");
}
