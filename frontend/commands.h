// pocketsim's commands, one function each, dispatched from main's table.
#pragma once

#include <string>
#include <vector>

namespace host {
class Device;
}

namespace commands {

int Init(const std::vector<std::string>& args);
int Reg(const std::vector<std::string>& args);
int Demo(const std::vector<std::string>& args);
int Keyboard(const std::vector<std::string>& args);

// Drives the keyboard of the installed device with `pocketsim keyboard` events; its exit status.
int RunKeyboardEvents(host::Device& device, const std::vector<std::string>& events);

}  // namespace commands
