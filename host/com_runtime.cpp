#include "com_runtime.h"

namespace host {
ComRuntime::ComRuntime(Device&) {}
ComRuntime::~ComRuntime() = default;
}  // namespace host
