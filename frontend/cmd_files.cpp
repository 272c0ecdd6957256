// pocketsim ls, get and put: files moved in and out of an image through the device's own file
// calls, so a device path can name nothing outside the image's store. A file put in is plain
// data: it is never recorded as installed host code, so the image cannot run it.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/winbase.h"
#include "platform/winerror.h"
#include "trace_printer.h"

namespace commands {

namespace {

const char kLsUsage[] =
    "usage: pocketsim ls IMAGE [PATH]\n"
    "Lists the device folder PATH (default \\), one entry a line: the size in bytes or <DIR>,\n"
    "then the name, folders first, each group sorted by name.\n";
const char kGetUsage[] =
    "usage: pocketsim get IMAGE DEVPATH HOSTFILE\n"
    "Copies the device file DEVPATH out of the image to HOSTFILE (replaced if it exists).\n";
const char kPutUsage[] =
    "usage: pocketsim put IMAGE HOSTFILE DEVPATH\n"
    "Copies HOSTFILE (a regular file of at most 64 MiB) into the image as the device file\n"
    "DEVPATH, replacing one that is there; its folder must exist. A file put in is data only:\n"
    "the image never runs it as host code.\n";

constexpr size_t kMaxPutBytes = 64u << 20;

std::string Reason(DWORD error) { return cli::TracePrinter::ErrorName(error); }

int Help(const cli::Args& args, const char* usage, bool* done) {
    *done = args.help;
    if (args.help) std::fputs(usage, stdout);
    return cli::kOk;
}

}  // namespace

int Ls(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (!cli::Parse(argv, {}, {}, &args, &error)) return cli::Fail(cli::kUsage, error);
    bool done = false;
    if (int rc = Help(args, kLsUsage, &done); done) return rc;
    if (args.positional.empty() || args.positional.size() > 2)
        return cli::Fail(cli::kUsage, "ls takes IMAGE [PATH] (see --help)");
    std::u16string folder = args.positional.size() > 1 ? FromUtf8(args.positional[1]) : u"\\";
    cli::Session session;
    if (!cli::OpenSession(args.positional[0], args, &session)) return cli::kFailure;
    const std::string shown = cli::Name(ToUtf8(folder));
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return cli::Fail(cli::kFailure, "ls: '" + shown + "': " + Reason(GetLastError()));
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return cli::Fail(cli::kFailure, "ls: '" + shown + "' is a file");
    std::u16string pattern = folder;
    if (pattern.empty() || pattern.back() != u'\\') pattern += u'\\';
    pattern += u"*";
    std::vector<std::pair<std::string, std::string>> folders, files;
    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = ToUtf8(data.cFileName);
            if (name == "." || name == "..") continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                folders.emplace_back(name, "<DIR>");
            } else {
                unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
                files.emplace_back(name, std::to_string(size));
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    std::sort(folders.begin(), folders.end());
    std::sort(files.begin(), files.end());
    for (const auto* group : {&folders, &files})
        for (const auto& [name, size] : *group) cli::PrintLine(size + " " + cli::Name(name));
    return cli::kOk;
}

int Get(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (!cli::Parse(argv, {}, {}, &args, &error)) return cli::Fail(cli::kUsage, error);
    bool done = false;
    if (int rc = Help(args, kGetUsage, &done); done) return rc;
    if (args.positional.size() != 3) return cli::Fail(cli::kUsage, "get takes IMAGE DEVPATH HOSTFILE (see --help)");
    const std::u16string devicePath = FromUtf8(args.positional[1]);
    const std::string shown = cli::Name(args.positional[1]);
    cli::Session session;
    if (!cli::OpenSession(args.positional[0], args, &session)) return cli::kFailure;
    HANDLE file = CreateFileW(devicePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return cli::Fail(cli::kFailure, "get: '" + shown + "': " + Reason(GetLastError()));
    std::string bytes;
    char chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
            DWORD failure = GetLastError();
            CloseHandle(file);
            return cli::Fail(cli::kFailure, "get: '" + shown + "': " + Reason(failure));
        }
        if (got == 0) break;
        bytes.append(chunk, got);
    }
    CloseHandle(file);
    // Written beside the target first, so that a failed write leaves the host file as it was.
    const std::string target = args.positional[2];
    const std::string partial = target + ".pocketsim-partial";
    FILE* out = std::fopen(partial.c_str(), "wb");
    bool written = out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (out && std::fclose(out) != 0) written = false;
    if (!written || std::rename(partial.c_str(), target.c_str()) != 0) {
        std::remove(partial.c_str());
        return cli::Fail(cli::kFailure, "get: cannot write '" + cli::Name(target) + "'");
    }
    return cli::kOk;
}

int Put(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (!cli::Parse(argv, {}, {}, &args, &error)) return cli::Fail(cli::kUsage, error);
    bool done = false;
    if (int rc = Help(args, kPutUsage, &done); done) return rc;
    if (args.positional.size() != 3) return cli::Fail(cli::kUsage, "put takes IMAGE HOSTFILE DEVPATH (see --help)");
    std::string bytes;
    if (!cli::ReadInputFile(args.positional[1], kMaxPutBytes, "file", &bytes, &error))
        return cli::Fail(cli::kFailure, "cannot put " + error);
    const std::u16string devicePath = FromUtf8(args.positional[2]);
    const std::string shown = cli::Name(args.positional[2]);
    cli::Session session;
    if (!cli::OpenSession(args.positional[0], args, &session)) return cli::kFailure;
    HANDLE file = CreateFileW(devicePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return cli::Fail(cli::kFailure, "put: '" + shown + "': " + Reason(GetLastError()));
    size_t at = 0;
    while (at < bytes.size()) {
        DWORD part = static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1u << 20)), wrote = 0;
        if (!WriteFile(file, bytes.data() + at, part, &wrote, nullptr) || wrote == 0) {
            DWORD failure = GetLastError();
            CloseHandle(file);
            DeleteFileW(devicePath.c_str());
            return cli::Fail(cli::kFailure, "put: '" + shown + "': " + Reason(failure));
        }
        at += wrote;
    }
    CloseHandle(file);
    return cli::kOk;
}

}  // namespace commands
