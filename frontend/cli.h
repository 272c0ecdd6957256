// Command-line plumbing shared by pocketsim's commands: argument parsing, usage errors, the
// device a command opens, and how the device's journal reaches standard output.
#pragma once

#include <memory>
#include <string>
#include <string_view>
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

// The start of every command: Parse, then the usage printed for --help. False when the command is
// done, with its exit status in *code (0 after the help, kUsage with the reason on standard error).
bool ParseCommand(const std::vector<std::string>& argv, const std::vector<std::string>& valueOptions,
                  const std::vector<std::string>& flagOptions, const std::string& usage, Args* args, int* code);

// Prints "pocketsim: MESSAGE" on standard error, control characters escaped as Name escapes
// them, and returns code.
int Fail(int code, const std::string& message);

// Standard output of a command. A write that fails (a full disk, /dev/full) is remembered with
// its reason, and FinishOutput turns it into the command's failure.
void Out(std::string_view text);
// The line and a line end, flushed at once so that a reader sees each line as it happens.
void PrintLine(std::string_view line);
// Flushes what printf and the like left in the buffer, remembering a failure as Out does.
void Flush();
// The end of every command: flushes and closes standard output. When a write failed on the
// way, a successful code becomes kFailure with one line on standard error; other codes stay,
// since their own line has been printed.
int FinishOutput(int code);

// How many characters of a name a line shows.
constexpr size_t kNameChars = 200;
// A user-supplied name (an image path, a file, a key, a window spec, a source) as pocketsim's
// error lines show it: its first kNameChars characters, then "…" when it is longer, with
// control characters, C1 controls, line separators and bidirectional overrides escaped (\n, \t,
// \x1b, \u202e) and bytes that are not UTF-8 as \xNN, so that a hostile name can neither forge
// a line nor reach the terminal as an escape sequence.
std::string Name(std::string_view name);
// text (a reason from the emulator, which embeds the name as it was given) with every occurrence
// of name shown as Name shows it.
std::string NameIn(std::string_view text, std::string_view name);

// Opens an existing image, installs it as the process's device, prints message boxes and resets
// on standard output, and queues the --answer replies. Null (after printing why) on failure.
struct Session {
    std::unique_ptr<host::Device> device;
    std::unique_ptr<host::ScopedDevice> scope;
};
bool OpenSession(const std::string& image, const Args& args, Session* session);
// The same for a device just created.
void Attach(std::unique_ptr<host::Device> device, const Args& args, Session* session);
// A file a command reads whole (a .reg file, a database load file): its bytes when it is a
// regular file of at most maxBytes; false with the reason otherwise (a folder, a device, a FIFO,
// a larger file). `kind` names such a file in the reasons (".reg file").
bool ReadInputFile(const std::string& path, size_t maxBytes, const char* kind, std::string* bytes, std::string* error);

// --answer ok|cancel|yes|no -> IDOK ...; false for an unknown word.
bool ParseAnswers(const Args& args, std::vector<int>* answers, std::string* error);

}  // namespace cli
