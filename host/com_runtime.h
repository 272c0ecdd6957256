// Placeholder: filled in by the component's implementation.
#pragma once

namespace host {

class Device;

class ComRuntime {
public:
    explicit ComRuntime(Device& device);
    ~ComRuntime();
};

}  // namespace host
