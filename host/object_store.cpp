#include "object_store.h"

namespace host {
ObjectStore::ObjectStore(Device&) {}
ObjectStore::~ObjectStore() = default;
}  // namespace host
