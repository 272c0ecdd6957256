// The device manager's start of the built-in drivers.
#include "host/kernel/device_manager.h"

#include <dlfcn.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <utility>

#include "host/kernel/device.h"
#include "host/kernel/threads.h"
#include "platform/devload.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace host {

namespace {

constexpr const WCHAR* kBuiltIn = u"Drivers\\BuiltIn";
// How long a driver's threads may take to be ready for messages.
constexpr DWORD kThreadSettleMs = 5000;

// Drivers started by this process, by image and key, so that a second call does not start one
// twice.
std::mutex g_startedLock;
std::set<std::pair<std::string, std::u16string>>& Started() {
    static auto* started = new std::set<std::pair<std::string, std::u16string>>;
    return *started;
}

bool ReadText(HKEY key, const WCHAR* name, std::u16string* text) {
    WCHAR buffer[MAX_PATH] = {};
    DWORD type = 0;
    DWORD size = sizeof buffer - sizeof(WCHAR);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    *text = buffer;
    return true;
}

std::vector<std::u16string> DriverKeys() {
    std::vector<std::u16string> names;
    HKEY builtIn = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kBuiltIn, 0, KEY_READ, &builtIn) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        WCHAR name[MAX_PATH];
        DWORD length = MAX_PATH;
        const LONG rc = RegEnumKeyExW(builtIn, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_SUCCESS) names.emplace_back(name, length);
    }
    RegCloseKey(builtIn);
    return names;
}

std::string LoadFailure(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_MOD_NOT_FOUND: return "no such file";
    case ERROR_BAD_EXE_FORMAT: return "not host code this emulator installed";
    default: return "does not load (error " + std::to_string(error) + ")";
    }
}

// The device keeps a started driver for the life of its process, and its threads run on after
// the image that loaded it is closed: the library is made one that is never unmapped.
void KeepLoaded(FARPROC symbol) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(symbol), &info) && info.dli_fname)
        dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}

void Start(DriverStart& driver) {
    const std::u16string path = std::u16string(kBuiltIn) + u"\\" + driver.key;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        driver.reason = "the key cannot be read";
        return;
    }
    const bool hasDll = ReadText(key, u"Dll", &driver.dll);
    const bool hasPrefix = ReadText(key, u"Prefix", &driver.prefix);
    RegCloseKey(key);
    if (!hasDll || driver.dll.empty()) {
        driver.reason = "no Dll value";
        return;
    }
    if (!hasPrefix || driver.prefix.size() != 3) {
        driver.reason = "no Prefix value of three letters";
        return;
    }
    std::u16string library = driver.dll;
    if (library.find(u'\\') == std::u16string::npos) library = u"\\Windows\\" + library;
    HMODULE module = LoadLibraryW(library.c_str());
    if (!module) {
        driver.reason = LoadFailure(GetLastError());
        return;
    }
    const std::u16string entry = driver.prefix + u"_Init";
    auto init = reinterpret_cast<PFN_STREAM_INIT>(GetProcAddressW(module, entry.c_str()));
    if (!init) {
        driver.reason = "no " + ToUtf8(entry);
        FreeLibrary(module);
        return;
    }
    driver.context = init(reinterpret_cast<DWORD_PTR>(path.c_str()));
    if (!driver.context) {
        // As the device does, a driver that did not start is unloaded again.
        driver.reason = ToUtf8(entry) + " returned 0";
        FreeLibrary(module);
        return;
    }
    KeepLoaded(reinterpret_cast<FARPROC>(init));
    driver.started = true;
}

}  // namespace

std::vector<DriverStart> StartBuiltInDrivers(Device& device) {
    ScopedDevice scope(&device);
    std::vector<DriverStart> drivers;
    for (std::u16string& name : DriverKeys()) {
        DriverStart driver;
        driver.key = std::move(name);
        HKEY key = nullptr;
        const std::u16string path = std::u16string(kBuiltIn) + u"\\" + driver.key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
            DWORD type = 0, value = 0, size = sizeof value;
            if (RegQueryValueExW(key, u"Order", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
                    ERROR_SUCCESS &&
                type == REG_DWORD) {
                driver.hasOrder = true;
                driver.order = value;
            }
            RegCloseKey(key);
        }
        drivers.push_back(std::move(driver));
    }
    std::stable_sort(drivers.begin(), drivers.end(), [](const DriverStart& a, const DriverStart& b) {
        if (a.hasOrder != b.hasOrder) return a.hasOrder;
        if (a.order != b.order) return a.order < b.order;
        return CompareNoCase(a.key, b.key) < 0;
    });
    for (DriverStart& driver : drivers) {
        const auto id = std::make_pair(device.Root().string(), UpperCase(driver.key));
        {
            std::lock_guard guard(g_startedLock);
            if (Started().count(id)) {
                driver.started = true;
                driver.reason = "already started";
                continue;
            }
        }
        Start(driver);
        if (driver.started) {
            std::lock_guard guard(g_startedLock);
            Started().insert(id);
        }
    }
    // A driver's thread makes its windows after Init returned; they are in place before the
    // caller goes on, as they are long before anything else happens at a device's boot.
    WaitForStartingThreads(kThreadSettleMs);
    return drivers;
}

std::string DescribeDriverStart(const DriverStart& start) {
    std::string line = ToUtf8(start.key) + ": ";
    if (start.started) return line + (start.reason.empty() ? "started" : start.reason);
    return line + "not started: " + start.reason;
}

}  // namespace host
