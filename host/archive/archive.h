// The emulator's archive component (platform/archive.h), registered as a built-in class when
// vxhost loads.
#pragma once

#include "platform/com.h"

namespace host {

// A new class factory of the archive component with one reference held by the caller, or null
// when out of memory. Tests that stand another component in for it restore it with this.
IClassFactory* MakeArchiveFactory();

}  // namespace host
