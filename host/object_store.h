// Placeholder: filled in by the component's implementation.
#pragma once

namespace host {

class Device;

class ObjectStore {
public:
    explicit ObjectStore(Device& device);
    ~ObjectStore();
};

}  // namespace host
