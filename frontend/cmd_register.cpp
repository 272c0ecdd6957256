// pocketsim register IMAGE / pocketsim unregister IMAGE: what the device's registration tool
// does with the package's input method library: load \Windows\vexor.dll and call its
// DllRegisterServer or DllUnregisterServer.
#include <cstdio>

#include "cli.h"
#include "commands.h"
#include "platform/com.h"
#include "platform/modules.h"
#include "platform/text.h"

namespace commands {

namespace {

const char kLibrary[] = "\\Windows\\vexor.dll";

const char kRegisterUsage[] =
    "usage: pocketsim register IMAGE [--answer ok|cancel|yes|no]...\n"
    "Loads \\Windows\\vexor.dll of the image and calls its DllRegisterServer, as the device's\n"
    "registration tool does. Prints the HRESULT and exits with 1 when it fails.\n";
const char kUnregisterUsage[] =
    "usage: pocketsim unregister IMAGE [--answer ok|cancel|yes|no]...\n"
    "Loads \\Windows\\vexor.dll of the image and calls its DllUnregisterServer. Prints the HRESULT\n"
    "and exits with 1 when it fails.\n";

int RunRegistration(const std::vector<std::string>& argv, const char* usage, const char* exportName) {
    cli::Args args;
    std::string error;
    if (int code = 0; !cli::ParseCommand(argv, {"answer"}, {}, usage, &args, &code)) return code;
    if (args.positional.size() != 1) return cli::Fail(cli::kUsage, "this command takes one IMAGE folder (see --help)");
    std::vector<int> answers;
    if (!cli::ParseAnswers(args, &answers, &error)) return cli::Fail(cli::kUsage, error);
    cli::Session session;
    if (!cli::OpenSession(args.positional[0], args, &session)) return cli::kFailure;
    if (!CallServerExport(FromUtf8(kLibrary).c_str(), exportName, &error)) return cli::Fail(cli::kFailure, error);
    return cli::kOk;
}

}  // namespace

bool CallServerExport(const char16_t* library, const char* exportName, std::string* error) {
    HMODULE module = LoadLibraryW(library);
    if (!module) {
        *error = "cannot load " + ToUtf8(library) + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    auto entry = reinterpret_cast<DllRegisterServerProc>(GetProcAddressW(module, FromUtf8(exportName).c_str()));
    const HRESULT hr = entry ? entry() : S_OK;
    FreeLibrary(module);
    if (!entry) {
        *error = ToUtf8(library) + " exports no " + exportName;
        return false;
    }
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
        *error = std::string(exportName) + " of " + ToUtf8(library) + " failed with " + code;
        return false;
    }
    return true;
}

int Register(const std::vector<std::string>& argv) {
    return RunRegistration(argv, kRegisterUsage, "DllRegisterServer");
}

int Unregister(const std::vector<std::string>& argv) {
    return RunRegistration(argv, kUnregisterUsage, "DllUnregisterServer");
}

}  // namespace commands
