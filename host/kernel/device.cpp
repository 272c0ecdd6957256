#include "host/kernel/device.h"

#include <fcntl.h>
#include <unistd.h>

#include <sqlite3.h>

#include <cstring>
#include <iterator>
#include <system_error>

#include "host/com/com_runtime.h"
#include "host/db/database_store.h"
#include "host/kernel/database.h"
#include "host/modules/module_table.h"
#include "host/windows/sip.h"
#include "host/store/object_store.h"
#include "platform/winbase.h"
#include "host/registry/registry_store.h"

namespace host {

namespace fs = std::filesystem;

namespace {

Device* g_current = nullptr;
thread_local DWORD t_lastError = 0;

const char kSettingsSchema[] =
    "CREATE TABLE IF NOT EXISTS settings(name TEXT PRIMARY KEY, value TEXT NOT NULL)";

// The tables every image's database has from its first day (settings, registry, store).
constexpr const char* kImageTables[] = {"settings", "reg_keys", "reg_values", "store_entries"};

// The image's own files, which are never symbolic links.
constexpr const char* kImageFiles[] = {"device.db", "device.db-wal", "device.db-shm", "journal.log"};

bool Refuse(std::string* reason, std::string text) {
    if (reason) *reason = std::move(text);
    return false;
}

// Whether the database file holds the emulator's tables. Read only: a file that is not an
// image's database is left exactly as it was.
bool HasImageSchema(const fs::path& file, std::string* reason) {
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW;
    if (sqlite3_open_v2(file.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        const std::string why = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return Refuse(reason, "its database cannot be opened (" + why + ")");
    }
    sqlite3_busy_timeout(db, 5000);
    size_t found = 0;
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table'", -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
            for (const char* table : kImageTables)
                if (name && std::strcmp(name, table) == 0) ++found;
        }
    }
    const std::string why = sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    if (rc != SQLITE_DONE) return Refuse(reason, "its database cannot be read (" + why + ")");
    if (found != std::size(kImageTables)) return Refuse(reason, "its database holds no device image");
    return true;
}

}  // namespace

Device::Device(fs::path root, std::unique_ptr<Database> db) : m_root(std::move(root)), m_db(std::move(db)) {
    m_db->Exec(kSettingsSchema);
    m_registry = std::make_unique<RegistryStore>(*this);
    m_files = std::make_unique<ObjectStore>(*this);
    m_databases = std::make_unique<DatabaseStore>(*this);
    m_modules = std::make_unique<ModuleTable>(*this);
    m_com = std::make_unique<ComRuntime>(*this);
}

Device::~Device() {
    // A running input panel goes first, while its input method's library is still loaded; then
    // the libraries, whose detach entries may still call the registry or files.
    ReleaseDeviceSip(this);
    m_com.reset();
    m_modules.reset();
    m_databases.reset();
    m_files.reset();
    m_registry.reset();
    if (g_current == this) g_current = nullptr;
}

bool Device::IsImage(const fs::path& image, std::string* reason) {
    std::error_code ec;
    if (!fs::is_directory(image, ec)) return Refuse(reason, "it is not a folder");
    const fs::file_status store = fs::symlink_status(image / "store", ec);
    if (fs::is_symlink(store)) return Refuse(reason, "its store is a symbolic link");
    if (!fs::is_directory(store)) return Refuse(reason, "it has no store folder");
    for (const char* name : kImageFiles) {
        const fs::file_status status = fs::symlink_status(image / name, ec);
        if (fs::is_symlink(status)) return Refuse(reason, std::string(name) + " is a symbolic link");
        if (fs::exists(status) && !fs::is_regular_file(status)) return Refuse(reason, std::string(name) + " is not a file");
    }
    const fs::path db = image / "device.db";
    if (!fs::is_regular_file(fs::symlink_status(db, ec))) return Refuse(reason, "it has no device.db");
    if (fs::file_size(db, ec) == 0) return Refuse(reason, "its device.db is empty");
    return HasImageSchema(db, reason);
}

std::unique_ptr<Device> Device::Open(const fs::path& image, std::string* error) {
    std::string reason;
    if (!IsImage(image, &reason)) {
        if (error) *error = image.string() + " is not a device image: " + reason;
        return nullptr;
    }
    std::error_code ec;
    auto db = Database::Open(image / "device.db", false, error);
    if (!db) return nullptr;
    return std::unique_ptr<Device>(new Device(fs::absolute(image, ec), std::move(db)));
}

std::unique_ptr<Device> Device::Create(const fs::path& image, bool force, std::string* error) {
    std::error_code ec;
    if (fs::exists(image, ec)) {
        if (!fs::is_directory(image, ec)) {
            if (error) *error = image.string() + " exists and is not a folder";
            return nullptr;
        }
        if (!fs::is_empty(image, ec)) {
            std::string reason;
            const bool isImage = IsImage(image, &reason);
            if (!force || !isImage) {
                if (error)
                    *error = image.string() + (isImage ? " is a device image (use --force to replace it)"
                                                       : " is not empty and not a device image (" + reason +
                                                             "); only a device image is replaced");
                return nullptr;
            }
            // remove_all removes a link itself, never what it points to.
            for (auto& entry : fs::directory_iterator(image, ec)) fs::remove_all(entry.path(), ec);
            if (ec) {
                if (error) *error = "cannot empty " + image.string() + ": " + ec.message();
                return nullptr;
            }
        }
    }
    fs::create_directories(image / "store", ec);
    if (ec) {
        if (error) *error = "cannot create " + image.string() + ": " + ec.message();
        return nullptr;
    }
    auto db = Database::Open(image / "device.db", true, error);
    if (!db) return nullptr;
    return std::unique_ptr<Device>(new Device(fs::absolute(image, ec), std::move(db)));
}

std::string Device::Setting(std::string_view name, std::string_view fallback) const {
    auto st = m_db->Prepare("SELECT value FROM settings WHERE name=?1");
    st.Bind(1, name);
    if (st.Step() == SQLITE_ROW) return st.Text(0);
    return std::string(fallback);
}

bool Device::SetSetting(std::string_view name, std::string_view value) {
    return m_db->Prepare("INSERT INTO settings(name,value) VALUES(?1,?2) "
                         "ON CONFLICT(name) DO UPDATE SET value=excluded.value")
        .Bind(1, name)
        .Bind(2, value)
        .Run();
}

static int SettingNumber(const Device& device, const char* name, int fallback) {
    std::string text = device.Setting(name);
    try {
        return text.empty() ? fallback : std::stoi(text);
    } catch (...) {
        return fallback;
    }
}

int Device::ScreenWidth() const { return SettingNumber(*this, "screen.width", 240); }
int Device::ScreenHeight() const { return SettingNumber(*this, "screen.height", 320); }

uint64_t Device::StoreCapacity() const {
    std::string text = Setting("store.capacity");
    if (text.empty() || text.size() > 20) return kDefaultStoreCapacity;
    uint64_t bytes = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return kDefaultStoreCapacity;
        bytes = bytes * 10 + uint64_t(c - '0');
        if (bytes > kMaxStoreCapacity) return kDefaultStoreCapacity;
    }
    return bytes ? bytes : kDefaultStoreCapacity;
}

void Device::Record(std::string_view line) {
    // O_APPEND keeps lines whole when two processes share one image.
    int fd = ::open((m_root / "journal.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd >= 0) {
        std::string text(line);
        text += '\n';
        ssize_t ignored = ::write(fd, text.data(), text.size());
        (void)ignored;
        ::close(fd);
    }
    if (m_console) m_console(line);
}

int Device::NextAnswer(unsigned style) {
    static const int buttons[6][3] = {
        {IDOK, 0, 0},           {IDOK, IDCANCEL, 0}, {IDABORT, IDRETRY, IDIGNORE},
        {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, 0},    {IDRETRY, IDCANCEL, 0},
    };
    unsigned kind = style & 0xF;
    const int* choices = buttons[kind < 6 ? kind : 0];
    std::optional<int> given;
    if (!m_answers.empty()) {
        given = m_answers.front();
        m_answers.pop_front();
    } else if (m_answerSource) {
        given = m_answerSource();
    }
    if (!given) return choices[0];
    const int answer = *given;
    // An answer the box has no button for is taken as its first button.
    for (int i = 0; i < 3; ++i)
        if (choices[i] == answer) return answer;
    return choices[0];
}

Device* CurrentDevice() { return g_current; }

ScopedDevice::ScopedDevice(Device* device) : m_previous(g_current) { g_current = device; }
ScopedDevice::~ScopedDevice() { g_current = m_previous; }

void SetLastErrorCode(DWORD error) { t_lastError = error; }
DWORD LastErrorCode() { return t_lastError; }

}  // namespace host
