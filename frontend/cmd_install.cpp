// pocketsim install: installs a device cabinet from the host into an image as the device does,
// by copying it into the image and starting the image's cabinet installer on it. Before that,
// the members that are the build's own programs and libraries are recorded as trusted where the
// installer will write them; any other host code in a cabinet stays data the image never runs.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cabinet_trust.h"
#include "cli.h"
#include "commands.h"
#include "host/cabinet/cabinet.h"
#include "host/kernel/process.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/text.h"
#include "platform/winerror.h"

namespace commands {

namespace {

const char kUsage[] =
    "usage: pocketsim install IMAGE FILE.CAB\n"
    "Installs a device cabinet (at most 128 MiB) into the image as the device's cabinet installer\n"
    "does: FILE.CAB is copied into the image's \\Temp, \\Windows\\wceload.exe is started on it and\n"
    "its lines are printed (file PATH, reg KEY \"NAME\", shortcut PATH, then installed \"NAME\"),\n"
    "and the copy is removed. Members of the cabinet that are this build's own programs and\n"
    "libraries may run where they land; any other host code in it never runs.\n"
    "Exit status 0 when the installer installed the cabinet, 1 when it or this command failed\n"
    "(the installer then leaves the image as it was).\n";

constexpr size_t kMaxCabinetBytes = 128u << 20;

bool WriteDeviceFile(const std::u16string& path, const std::string& bytes, DWORD* error) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    *error = ok ? ERROR_SUCCESS : GetLastError();
    if (!CloseHandle(file) && ok) {
        ok = false;
        *error = GetLastError();
    }
    if (!ok) DeleteFileW(path.c_str());
    return ok;
}

// A name for the copy in \Temp that no file has yet: the cabinet's own name when the device can
// spell it, numbered when it is taken.
std::u16string TemporaryPath(const std::string& hostPath) {
    std::u16string name = FromUtf8(std::filesystem::path(hostPath).filename().string());
    if (name.empty() || name.size() > 64 || name.find_first_of(u"\\/:*?\"<>|") != std::u16string::npos ||
        name.front() == u'.')
        name = u"install.cab";
    std::u16string path = u"\\Temp\\" + name;
    for (int n = 1; GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; ++n)
        path = u"\\Temp\\" + FromUtf8(std::to_string(n)) + u"-" + name;
    return path;
}

}  // namespace

int InstallCabinet(host::Device& device, const std::string& cabPath, bool listing, std::string* error) {
    std::string bytes;
    if (!cli::ReadInputFile(cabPath, kMaxCabinetBytes, "cabinet", &bytes, error)) return cli::kFailure;
    std::vector<host::CabinetMember> members;
    if (!host::ReadCabinet(bytes, host::CabinetLimits{}, &members, error)) {
        *error = cli::Name(cabPath) + ": " + *error;
        return cli::kFailure;
    }
    members.clear();

    std::vector<std::u16string> trusted;
    std::vector<setup::PriorTrust> prior;
    if (!setup::TrustBuildCodeInCabinet(device, bytes, &trusted, &prior, error)) return cli::kFailure;

    if (!CreateDirectoryW(u"\\Temp", nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        *error = "cannot make \\Temp (error " + std::to_string(GetLastError()) + ")";
        return cli::kFailure;
    }
    const std::u16string copy = TemporaryPath(cabPath);
    DWORD code = 0;
    if (!WriteDeviceFile(copy, bytes, &code)) {
        *error = "cannot copy the cabinet into the image as " + ToUtf8(copy) + " (error " + std::to_string(code) +
                 (code == ERROR_DISK_FULL ? ": the store is full" : "") + ")";
        return cli::kFailure;
    }
    bytes.clear();

    // The installer writes to this program's standard output and error; what this program
    // printed so far goes first.
    cli::Flush();
    std::u16string commandLine = (listing ? u"\"" : u"/silent \"") + copy + u"\"";
    PROCESS_INFORMATION info{};
    // Without the listing, nothing the installer and the programs it starts show is printed.
    if (!listing) ::setenv(host::kQuietVariable, "1", 1);
    const BOOL started = CreateProcessW(u"\\Windows\\wceload.exe", commandLine.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, nullptr, &info);
    if (!listing) ::unsetenv(host::kQuietVariable);
    if (!started) {
        code = GetLastError();
        DeleteFileW(copy.c_str());
        setup::RestorePriorTrust(device, prior);
        *error = "cannot start \\Windows\\wceload.exe (error " + std::to_string(code) +
                 "); an image made before the installer existed needs pocketsim init";
        return cli::kFailure;
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    DeleteFileW(copy.c_str());
    setup::RestorePriorTrust(device, prior);
    // The installer has said why on standard error.
    return exitCode == 0 ? cli::kOk : cli::kFailure;
}

int Install(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (int code = 0; !cli::ParseCommand(argv, {}, {}, kUsage, &args, &code)) return code;
    if (args.positional.size() != 2) return cli::Fail(cli::kUsage, "install takes IMAGE FILE.CAB (see --help)");
    // A file that is no cabinet is refused before the image is opened.
    std::string bytes;
    std::vector<host::CabinetMember> members;
    if (!cli::ReadInputFile(args.positional[1], kMaxCabinetBytes, "cabinet", &bytes, &error))
        return cli::Fail(cli::kFailure, "install: " + error);
    if (!host::ReadCabinet(bytes, host::CabinetLimits{}, &members, &error))
        return cli::Fail(cli::kFailure, "install: " + cli::Name(args.positional[1]) + ": " + error);
    bytes.clear();
    members.clear();

    cli::Session session;
    if (!cli::OpenSession(args.positional[0], args, &session)) return cli::kFailure;
    const int code = InstallCabinet(*session.device, args.positional[1], true, &error);
    if (code != cli::kOk && !error.empty()) return cli::Fail(code, "install: " + error);
    return code;
}

}  // namespace commands
