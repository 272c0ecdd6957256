#include "cli.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "platform/winbase.h"

namespace cli {

bool Args::Has(const std::string& name) const {
    for (auto& [n, v] : options)
        if (n == name) return true;
    return false;
}

std::string Args::Value(const std::string& name, const std::string& fallback) const {
    std::string result = fallback;
    for (auto& [n, v] : options)
        if (n == name) result = v;
    return result;
}

std::vector<std::string> Args::Values(const std::string& name) const {
    std::vector<std::string> result;
    for (auto& [n, v] : options)
        if (n == name) result.push_back(v);
    return result;
}

static bool Listed(const std::vector<std::string>& list, const std::string& name) {
    for (auto& item : list)
        if (item == name) return true;
    return false;
}

bool Parse(const std::vector<std::string>& argv, const std::vector<std::string>& valueOptions,
           const std::vector<std::string>& flagOptions, Args* args, std::string* error) {
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (a == "--help" || a == "-h") {
            args->help = true;
            continue;
        }
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            std::string name = a.substr(2), value;
            bool inlineValue = false;
            if (auto eq = name.find('='); eq != std::string::npos) {
                value = name.substr(eq + 1);
                name = name.substr(0, eq);
                inlineValue = true;
            }
            if (Listed(valueOptions, name)) {
                if (!inlineValue) {
                    if (i + 1 >= argv.size()) {
                        *error = "option --" + Name(name) + " needs a value";
                        return false;
                    }
                    value = argv[++i];
                }
                args->options.emplace_back(name, value);
            } else if (Listed(flagOptions, name) && !inlineValue) {
                args->options.emplace_back(name, "");
            } else {
                *error = "unknown option " + Name(a);
                return false;
            }
            continue;
        }
        args->positional.push_back(a);
    }
    return true;
}

namespace {

// The length of the UTF-8 sequence at text[at] with its code point in *out; 0 when the bytes
// there are not UTF-8 (overlong forms and surrogates included).
size_t DecodeUtf8(std::string_view text, size_t at, char32_t* out) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        *out = lead;
        return 1;
    }
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
    char32_t cp = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(at + i) & 0x3F);
    }
    static const char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    *out = cp;
    return length;
}

// Characters a terminal acts on rather than shows: C1 controls (0x9B alone starts an escape
// sequence on some terminals), line and paragraph separators, and the marks that reorder text.
bool Invisible(char32_t cp) {
    return (cp >= 0x80 && cp <= 0x9F) || cp == 0x200E || cp == 0x200F || (cp >= 0x2028 && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

std::string Escaped(std::string_view text, size_t maxChars) {
    std::string out;
    size_t chars = 0;
    for (size_t at = 0; at < text.size(); ++chars) {
        if (chars == maxChars) {
            out += "…";
            break;
        }
        char32_t cp = 0;
        const size_t length = DecodeUtf8(text, at, &cp);
        char escape[12];
        if (length == 0) {
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(text[at]));
            out += escape;
            ++at;
            continue;
        }
        if (cp == '\n') out += "\\n";
        else if (cp == '\t') out += "\\t";
        else if (cp == '\r') out += "\\r";
        else if (cp < 0x20 || cp == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(cp));
            out += escape;
        } else if (Invisible(cp)) {
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(cp));
            out += escape;
        } else {
            out.append(text.substr(at, length));
        }
        at += length;
    }
    return out;
}

bool g_outputFailed = false;
int g_outputErrno = 0;  // the first failure's, 0 when it is not known

void NoteOutputFailure(int error) {
    if (g_outputFailed) return;
    g_outputFailed = true;
    g_outputErrno = error;
}

}  // namespace

void Out(std::string_view text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) NoteOutputFailure(errno);
}

void PrintLine(std::string_view line) {
    Out(line);
    Out("\n");
    Flush();
}

void Flush() {
    errno = 0;
    if (std::fflush(stdout) != 0) NoteOutputFailure(errno);
}

int FinishOutput(int code) {
    Flush();
    // A write through printf that failed before leaves only the stream's error flag.
    if (std::ferror(stdout)) NoteOutputFailure(0);
    // Closing is the last write: some file systems report a failure only there.
    errno = 0;
    if (std::fclose(stdout) != 0) NoteOutputFailure(errno);
    if (!g_outputFailed || code != kOk) return code;
    std::string line = "pocketsim: cannot write standard output";
    if (g_outputErrno) line += std::string(": ") + std::strerror(g_outputErrno);
    std::fputs((line + "\n").c_str(), stderr);
    return kFailure;
}

bool ParseCommand(const std::vector<std::string>& argv, const std::vector<std::string>& valueOptions,
                  const std::vector<std::string>& flagOptions, const std::string& usage, Args* args, int* code) {
    std::string error;
    if (!Parse(argv, valueOptions, flagOptions, args, &error)) {
        *code = Fail(kUsage, error);
        return false;
    }
    if (args->help) {
        std::fputs(usage.c_str(), stdout);
        *code = kOk;
        return false;
    }
    return true;
}

int Fail(int code, const std::string& message) {
    Flush();
    std::cerr << "pocketsim: " << Escaped(message, std::string::npos) << std::endl;
    return code;
}

std::string Name(std::string_view name) { return Escaped(name, kNameChars); }

std::string NameIn(std::string_view text, std::string_view name) {
    if (name.empty()) return std::string(text);
    const std::string shown = Name(name);
    std::string out;
    size_t from = 0;
    for (size_t found; (found = text.find(name, from)) != std::string_view::npos; from = found + name.size()) {
        out.append(text.substr(from, found - from));
        out += shown;
    }
    out.append(text.substr(from));
    return out;
}

bool ReadInputFile(const std::string& path, size_t maxBytes, const char* kind, std::string* bytes, std::string* error) {
    auto reason = [&](const std::string& why) { *error = Name(path) + ": " + why; };
    // Not blocking, so that a FIFO without a writer is refused rather than waited for.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason(std::strerror(errno));
        return false;
    }
    struct stat st{};
    bool ok = ::fstat(fd, &st) == 0;
    if (!ok) reason(std::strerror(errno));
    else if (S_ISDIR(st.st_mode)) reason(std::string("a folder, not a ") + kind);
    else if (!S_ISREG(st.st_mode)) reason("not a regular file");
    ok = ok && S_ISREG(st.st_mode);
    // The size is checked again while reading, since the file may grow meanwhile.
    bool tooLarge = ok && static_cast<uint64_t>(st.st_size) > maxBytes;
    char buffer[1 << 16];
    while (ok && !tooLarge) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            reason(std::strerror(errno));
            ok = false;
        } else if (got == 0) {
            break;
        } else if (bytes->size() + static_cast<size_t>(got) > maxBytes) {
            tooLarge = true;
        } else {
            bytes->append(buffer, static_cast<size_t>(got));
        }
    }
    ::close(fd);
    if (tooLarge)
        reason("larger than " + std::to_string(maxBytes >> 20) + " MiB, the most a " + kind + " may hold");
    return ok && !tooLarge;
}

bool ParseAnswers(const Args& args, std::vector<int>* answers, std::string* error) {
    for (auto& word : args.Values("answer")) {
        if (word == "ok") answers->push_back(IDOK);
        else if (word == "cancel") answers->push_back(IDCANCEL);
        else if (word == "yes") answers->push_back(IDYES);
        else if (word == "no") answers->push_back(IDNO);
        else {
            *error = "--answer takes ok, cancel, yes or no, not '" + Name(word) + "'";
            return false;
        }
    }
    return true;
}

void Attach(std::unique_ptr<host::Device> device, const Args& args, Session* session) {
    std::vector<int> answers;
    std::string ignored;
    ParseAnswers(args, &answers, &ignored);
    for (int a : answers) device->QueueAnswer(a);
    device->SetConsole([](std::string_view line) { PrintLine(line); });
    session->device = std::move(device);
    session->scope = std::make_unique<host::ScopedDevice>(session->device.get());
}

bool OpenSession(const std::string& image, const Args& args, Session* session) {
    std::string error;
    auto device = host::Device::Open(image, &error);
    if (!device) {
        Fail(kFailure, NameIn(error, image));
        return false;
    }
    Attach(std::move(device), args, session);
    return true;
}

}  // namespace cli
