#include "registry_store.h"

namespace host {
RegistryStore::RegistryStore(Device&) {}
RegistryStore::~RegistryStore() = default;
}  // namespace host
