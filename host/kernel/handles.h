// The process's handle table. Kernel objects of every kind (open files, searches, and the
// processes, databases ... that other parts of the emulator add) get a HANDLE here, so that
// CloseHandle works on all of them as on the device. Handle values are never reused within a
// process, so a call on a closed handle fails cleanly instead of reaching a newer object.
#pragma once

#include <memory>

#include "platform/wintypes.h"

namespace host {

enum class HandleType {
    File,
    Find,  // closed by FindClose, not by CloseHandle
    Process,
    Thread,
    Event,
    Database,
    Other,
};

// Base of every object behind a handle; its destructor releases what the object holds.
class KernelObject {
public:
    virtual ~KernelObject() = default;
};

// Never null nor INVALID_HANDLE_VALUE.
HANDLE InsertHandle(HandleType type, std::shared_ptr<KernelObject> object);
// The object behind handle when it is of that type, else null. The reference keeps the object
// alive while a call uses it, even if another thread closes the handle meanwhile.
std::shared_ptr<KernelObject> ReferenceHandle(HANDLE handle, HandleType type);
template <class T>
std::shared_ptr<T> ReferenceHandleAs(HANDLE handle, HandleType type) {
    return std::static_pointer_cast<T>(ReferenceHandle(handle, type));
}
// Removes handle when it is of that type; false otherwise.
bool RemoveHandle(HANDLE handle, HandleType type);
// Removes a handle of any type that CloseHandle may close; false for unknown handles.
bool RemoveClosableHandle(HANDLE handle);

}  // namespace host
