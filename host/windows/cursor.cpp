// The cursor: the device shows no pointer, but programs show the wait cursor while they work and
// restore the one before, so the host keeps which cursor is current and hands out the shared
// handles of the system cursors.
#include <atomic>
#include <cstdint>

#include "host/kernel/device.h"
#include "platform/winerror.h"
#include "platform/windows.h"

namespace {

std::atomic<HCURSOR> g_current{nullptr};

// Any non-null value that no other handle uses; the system cursors are never freed.
HCURSOR SystemCursor(uintptr_t id) { return reinterpret_cast<HCURSOR>(0xC0000000u + id); }

}  // namespace

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
    const auto id = reinterpret_cast<uintptr_t>(name);
    // Only the system cursors exist: programs of this package carry no cursor resources.
    if (instance || (id != reinterpret_cast<uintptr_t>(IDC_ARROW) && id != reinterpret_cast<uintptr_t>(IDC_WAIT))) {
        host::SetLastErrorCode(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return SystemCursor(id);
}

HCURSOR SetCursor(HCURSOR cursor) { return g_current.exchange(cursor); }
