// Command-line plumbing shared by pocketsim's commands: argument parsing, usage errors, the
// device a command opens, and how the device's journal reaches standard output.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/kernel/device.h"

namespace cli {

enum ExitCode { kOk = 0, kFailure = 1, kUsage = 2 };

struct Args {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;  // --name value (value may be empty)
    bool help = false;

    bool Has(const std::string& name) const;
    std::string Value(const std::string& name, const std::string& fallback = {}) const;
    std::vector<std::string> Values(const std::string& name) const;
};

// Splits argv into positional arguments and options. valueOptions lists the options that take
// a value, flagOptions those that do not; anything else is a usage error (message in *error).
bool Parse(const std::vector<std::string>& argv, const std::vector<std::string>& valueOptions,
           const std::vector<std::string>& flagOptions, Args* args, std::string* error);

// Prints "pocketsim: MESSAGE" on standard error and returns code.
int Fail(int code, const std::string& message);

// Opens an existing image, installs it as the process's device, prints message boxes and resets
// on standard output, and queues the --answer replies. Null (after printing why) on failure.
struct Session {
    std::unique_ptr<host::Device> device;
    std::unique_ptr<host::ScopedDevice> scope;
};
bool OpenSession(const std::string& image, const Args& args, Session* session);
// The same for a device just created.
void Attach(std::unique_ptr<host::Device> device, const Args& args, Session* session);
// --answer ok|cancel|yes|no -> IDOK ...; false for an unknown word.
bool ParseAnswers(const Args& args, std::vector<int>* answers, std::string* error);

}  // namespace cli
