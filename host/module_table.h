// Placeholder: filled in by the component's implementation.
#pragma once

namespace host {

class Device;

class ModuleTable {
public:
    explicit ModuleTable(Device& device);
    ~ModuleTable();
};

}  // namespace host
