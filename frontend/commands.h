// pocketsim's commands, one function each, dispatched from main's table.
#pragma once

#include <string>
#include <vector>

namespace commands {

int Init(const std::vector<std::string>& args);
int Reg(const std::vector<std::string>& args);
int Demo(const std::vector<std::string>& args);
int Keyboard(const std::vector<std::string>& args);

}  // namespace commands
