// Placeholder: filled in by the component's implementation.
#pragma once

namespace host {

class Device;

class RegistryStore {
public:
    explicit RegistryStore(Device& device);
    ~RegistryStore();
};

}  // namespace host
