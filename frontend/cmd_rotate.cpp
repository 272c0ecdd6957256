// pocketsim rotate: boots the image's drivers as the device manager does, then turns the screen
// and tells every window, so that what the drivers' windows do on a rotation reaches the image.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "host/kernel/device_manager.h"
#include "host/windows/rotation.h"

namespace commands {

namespace {

const char kUsage[] =
    "usage: pocketsim rotate IMAGE\n"
    "Starts the drivers registered under HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn (each key: \"Dll\",\n"
    "\"Prefix\", \"Order\") as the device manager does, printing for each\n"
    "  driver KEY: started          or   driver KEY: not started: REASON\n"
    "then turns the screen (width and height swap), sends every window the settings change\n"
    "that follows a rotation, and prints the new size:\n"
    "  screen WIDTHxHEIGHT\n"
    "A driver that does not start does not stop the others nor the rotation. Exit status 0,\n"
    "1 when the image does not open or the new size cannot be stored.\n";

}  // namespace

int Rotate(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (int code = 0; !cli::ParseCommand(argv, {}, {}, kUsage, &args, &code)) return code;
    if (args.positional.size() != 1) return cli::Fail(cli::kUsage, "rotate takes IMAGE (see --help)");
    cli::Session session;
    if (!cli::OpenSession(args.positional[0], args, &session)) return cli::kFailure;
    for (const host::DriverStart& driver : host::StartBuiltInDrivers(*session.device))
        cli::PrintLine("driver " + host::DescribeDriverStart(driver));
    if (!host::RotateScreen(*session.device, &error)) return cli::Fail(cli::kFailure, error);
    cli::PrintLine("screen " + std::to_string(session.device->ScreenWidth()) + "x" +
                   std::to_string(session.device->ScreenHeight()));
    return cli::kOk;
}

}  // namespace commands
