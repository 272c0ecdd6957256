#include "host/kernel/handles.h"

#include <mutex>
#include <unordered_map>

#include "host/kernel/device.h"
#include "platform/files.h"

namespace host {

namespace {

struct Slot {
    HandleType type;
    std::shared_ptr<KernelObject> object;
};

struct Table {
    std::mutex mutex;
    std::unordered_map<uintptr_t, Slot> slots;
    // Small multiples of four, as the device's handles are, starting well above zero.
    uintptr_t next = 0x1000;
};

Table& TheTable() {
    static Table* table = new Table;  // never destroyed: handles may be closed during exit
    return *table;
}

}  // namespace

HANDLE InsertHandle(HandleType type, std::shared_ptr<KernelObject> object) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    uintptr_t value = t.next;
    t.next += 4;
    t.slots.emplace(value, Slot{type, std::move(object)});
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> ReferenceHandle(HANDLE handle, HandleType type) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.slots.find(reinterpret_cast<uintptr_t>(handle));
    if (it == t.slots.end() || it->second.type != type) return nullptr;
    return it->second.object;
}

static bool Remove(HANDLE handle, bool (*accept)(HandleType, HandleType), HandleType type) {
    std::shared_ptr<KernelObject> doomed;
    Table& t = TheTable();
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        auto it = t.slots.find(reinterpret_cast<uintptr_t>(handle));
        if (it == t.slots.end() || !accept(it->second.type, type)) return false;
        doomed = std::move(it->second.object);
        t.slots.erase(it);
    }
    // The object is released outside the lock: its destructor may close other handles.
    doomed.reset();
    return true;
}

bool RemoveHandle(HANDLE handle, HandleType type) {
    return Remove(handle, [](HandleType have, HandleType want) { return have == want; }, type);
}

bool RemoveClosableHandle(HANDLE handle) {
    return Remove(handle, [](HandleType have, HandleType) { return have != HandleType::Find; }, HandleType::Other);
}

}  // namespace host

BOOL CloseHandle(HANDLE handle) {
    if (!host::RemoveClosableHandle(handle)) {
        host::SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
