#include "cli.h"

#include <cstdio>
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
                        *error = "option --" + name + " needs a value";
                        return false;
                    }
                    value = argv[++i];
                }
                args->options.emplace_back(name, value);
            } else if (Listed(flagOptions, name) && !inlineValue) {
                args->options.emplace_back(name, "");
            } else {
                *error = "unknown option " + a;
                return false;
            }
            continue;
        }
        args->positional.push_back(a);
    }
    return true;
}

int Fail(int code, const std::string& message) {
    std::fflush(stdout);
    std::cerr << "pocketsim: " << message << std::endl;
    return code;
}

bool ParseAnswers(const Args& args, std::vector<int>* answers, std::string* error) {
    for (auto& word : args.Values("answer")) {
        if (word == "ok") answers->push_back(IDOK);
        else if (word == "cancel") answers->push_back(IDCANCEL);
        else if (word == "yes") answers->push_back(IDYES);
        else if (word == "no") answers->push_back(IDNO);
        else {
            *error = "--answer takes ok, cancel, yes or no, not '" + word + "'";
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
    device->SetConsole([](std::string_view line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    session->device = std::move(device);
    session->scope = std::make_unique<host::ScopedDevice>(session->device.get());
}

bool OpenSession(const std::string& image, const Args& args, Session* session) {
    std::string error;
    auto device = host::Device::Open(image, &error);
    if (!device) {
        Fail(kFailure, error);
        return false;
    }
    Attach(std::move(device), args, session);
    return true;
}

}  // namespace cli
