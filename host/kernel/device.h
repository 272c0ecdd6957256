// One emulated device: an image folder on the host with its object store (IMAGE/store), its
// database (IMAGE/device.db: registry, file metadata, property databases, settings) and its journal
// (IMAGE/journal.log). A host program installs one device at start; tests install a fresh one
// per test. The platform calls reach it through CurrentDevice() only.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/wintypes.h"

namespace host {

class Database;
class RegistryStore;
class ObjectStore;
class DatabaseStore;
class ModuleTable;
class ComRuntime;

// A handheld's object store held a few tens of MB, shared with program memory. 64 MB holds what
// `pocketsim init` installs (about 14 MB; about 25 MB from a sanitizer build, whose libraries and
// programs are larger) with most of it free, and the package's cabinet beside it while it is
// installed. Installed host programs count at their host size like any other file: the store
// counts what its files hold, whoever wrote them.
constexpr uint64_t kDefaultStoreCapacity = uint64_t(64) << 20;
// The largest capacity a setting may give: far beyond any handheld, far from overflowing a sum.
constexpr uint64_t kMaxStoreCapacity = uint64_t(1) << 40;

// The image's count of soft resets, so that a boot can tell that a program it started reset the
// device.
constexpr char kResetCountSetting[] = "resets";

class Device {
public:
    // Whether the folder is a device image: its store a folder and its database a file, neither
    // of them (nor the journal or the database's companions) a symbolic link, and the database
    // holding the emulator's tables. An image may come from someone else, so it is never
    // followed out of itself. False with the reason otherwise.
    static bool IsImage(const std::filesystem::path& image, std::string* reason);
    // Opens an existing image. Null with a reason when the folder is not an image.
    static std::unique_ptr<Device> Open(const std::filesystem::path& image, std::string* error);
    // Makes a new, empty image: the folder must be missing or empty, or, with force, a device
    // image, whose contents are removed first. Any other folder is left alone.
    static std::unique_ptr<Device> Create(const std::filesystem::path& image, bool force, std::string* error);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    const std::filesystem::path& Root() const { return m_root; }
    std::filesystem::path StoreRoot() const { return m_root / "store"; }
    Database& Db() { return *m_db; }
    RegistryStore& Registry() { return *m_registry; }
    ObjectStore& Files() { return *m_files; }
    DatabaseStore& Databases() const { return *m_databases; }
    ModuleTable& Modules() { return *m_modules; }
    ComRuntime& Com() { return *m_com; }

    // The device's settings (screen size, ROM version, the emulator's own): text by name.
    std::string Setting(std::string_view name, std::string_view fallback = {}) const;
    bool SetSetting(std::string_view name, std::string_view value);
    int ScreenWidth() const;
    int ScreenHeight() const;
    // The object store's capacity in bytes: the setting "store.capacity" (a decimal byte count),
    // or kDefaultStoreCapacity when the image has none or holds no valid number.
    uint64_t StoreCapacity() const;
    // The device's clock. With the setting "clock" = "played", a wait (Sleep) moves the clock on
    // by its length at once instead of letting that time pass, so that code that waits can be
    // run without sleeping; GetTickCount then counts the waits played as time gone by.
    bool PlaysClock() const { return Setting("clock") == "played"; }
    void PlayTime(DWORD ms) { m_playedMs += ms; }
    uint64_t PlayedTime() const { return m_playedMs; }

    // Journal: every message box and reset is appended to IMAGE/journal.log and handed to the
    // console sink (pocketsim prints it on standard output).
    void Record(std::string_view line);
    void SetConsole(std::function<void(std::string_view)> sink) { m_console = std::move(sink); }
    // A line for the console only (what a person at a dialog sees), not journaled.
    void Print(std::string_view line) const {
        if (m_console) m_console(line);
    }
    // Answers for message boxes, used in order; an empty queue answers with the first button.
    void QueueAnswer(int id) { m_answers.push_back(id); }
    int NextAnswer(unsigned style);
    // Where answers come from once the queue is empty (a person shared by the program's starter).
    void SetAnswerSource(std::function<std::optional<int>()> source) { m_answerSource = std::move(source); }
    // Debug trace lines; dropped when no sink is set.
    void SetTraceSink(std::function<void(std::u16string_view)> sink) { m_trace = std::move(sink); }
    void Trace(std::u16string_view line) const {
        if (m_trace) m_trace(line);
    }
    // Why something a person named could not be used (a script source that did not download:
    // its address, and the reason with the platform's error code), for the front end to show.
    // Dropped when no sink is set.
    using DiagnosticSink = std::function<void(std::string_view name, std::string_view reason)>;
    void SetDiagnosticSink(DiagnosticSink sink) { m_diagnostic = std::move(sink); }
    void Diagnose(std::string_view name, std::string_view reason) const {
        if (m_diagnostic) m_diagnostic(name, reason);
    }

private:
    Device(std::filesystem::path root, std::unique_ptr<Database> db);

    std::filesystem::path m_root;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<RegistryStore> m_registry;
    std::unique_ptr<ObjectStore> m_files;
    std::unique_ptr<DatabaseStore> m_databases;
    std::unique_ptr<ModuleTable> m_modules;
    std::unique_ptr<ComRuntime> m_com;
    std::function<void(std::string_view)> m_console;
    std::function<void(std::u16string_view)> m_trace;
    DiagnosticSink m_diagnostic;
    std::deque<int> m_answers;
    std::function<std::optional<int>()> m_answerSource;
    std::atomic<uint64_t> m_playedMs{0};
};

// The installed device, or null; platform calls fail cleanly without one.
Device* CurrentDevice();

// Installs a device for a scope and restores the previous one afterwards.
class ScopedDevice {
public:
    explicit ScopedDevice(Device* device);
    ~ScopedDevice();
    ScopedDevice(const ScopedDevice&) = delete;
    ScopedDevice& operator=(const ScopedDevice&) = delete;

private:
    Device* m_previous;
};

// Thread's last error, shared by every platform call.
void SetLastErrorCode(DWORD error);
DWORD LastErrorCode();

// Text quoted in a journal line (a message box's text, a control's): backslash, quote, CR and LF
// escaped, so that one line stays one line.
std::string EscapeJournalText(std::u16string_view text);

}  // namespace host
