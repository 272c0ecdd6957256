#include "host/kernel/device.h"

#include <fcntl.h>
#include <unistd.h>

#include <system_error>

#include "host/com/com_runtime.h"
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

}  // namespace

Device::Device(fs::path root, std::unique_ptr<Database> db) : m_root(std::move(root)), m_db(std::move(db)) {
    m_db->Exec(kSettingsSchema);
    m_registry = std::make_unique<RegistryStore>(*this);
    m_files = std::make_unique<ObjectStore>(*this);
    m_modules = std::make_unique<ModuleTable>(*this);
    m_com = std::make_unique<ComRuntime>(*this);
}

Device::~Device() {
    // A running input panel goes first, while its input method's library is still loaded; then
    // the libraries, whose detach entries may still call the registry or files.
    ReleaseDeviceSip(this);
    m_com.reset();
    m_modules.reset();
    m_files.reset();
    m_registry.reset();
    if (g_current == this) g_current = nullptr;
}

std::unique_ptr<Device> Device::Open(const fs::path& image, std::string* error) {
    std::error_code ec;
    if (!fs::is_directory(image / "store", ec) || !fs::is_regular_file(image / "device.db", ec)) {
        if (error) *error = image.string() + " is not a device image (run: pocketsim init " + image.string() + ")";
        return nullptr;
    }
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
            if (!force) {
                if (error) *error = image.string() + " is not empty (use --force to replace it)";
                return nullptr;
            }
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
    int fd = ::open((m_root / "journal.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
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
    if (m_answers.empty()) return choices[0];
    int answer = m_answers.front();
    m_answers.pop_front();
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
