#include "host/modules/trusted_code.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "host/kernel/database.h"
#include "host/kernel/device.h"
#include "host/kernel/sha256.h"
#include "host/store/device_path.h"
#include "host/store/object_store.h"
#include "platform/text.h"
#include "platform/winerror.h"

namespace host {

namespace fs = std::filesystem;

namespace {

// No module the package or its programs install comes near this.
constexpr off_t kMaxCodeFile = 256 << 20;
constexpr size_t kKeySize = 32;
constexpr char kKeyFile[] = "pocketsim-trust.key";

const char kTrustSchema[] =
    "CREATE TABLE IF NOT EXISTS trusted_code(path BLOB PRIMARY KEY, hash BLOB NOT NULL, seal BLOB NOT NULL)";

using Key = std::array<uint8_t, kKeySize>;

bool ReadKey(const fs::path& file, Key* key) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    const ssize_t got = ::read(fd, key->data(), key->size());
    ::close(fd);
    return got == static_cast<ssize_t>(key->size());
}

// Makes the key file unless it exists; two processes racing for it end up with the same key.
bool MakeKey(const fs::path& file, Key* key) {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    const fs::path temporary = file.string() + "." + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return ReadKey(file, key);
    Key fresh{};
    bool ok = ::getrandom(fresh.data(), fresh.size(), 0) == static_cast<ssize_t>(fresh.size()) &&
              ::write(fd, fresh.data(), fresh.size()) == static_cast<ssize_t>(fresh.size());
    ::close(fd);
    // link() fails when another process made the key first: then its key is the key.
    if (ok) ::link(temporary.c_str(), file.c_str());
    ::unlink(temporary.c_str());
    return ReadKey(file, key);
}

// The folder of the emulator's own library: the key belongs to this build of the emulator.
fs::path LibraryFolder() {
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void*>(&LibraryFolder), &info) || !info.dli_fname) return {};
    std::error_code ec;
    return fs::canonical(info.dli_fname, ec).parent_path();
}

const std::optional<Key>& EmulatorKey() {
    static std::once_flag once;
    static std::optional<Key> key;
    std::call_once(once, [] {
        Key found{};
        const fs::path beside = LibraryFolder();
        if (!beside.empty() && (ReadKey(beside / kKeyFile, &found) || MakeKey(beside / kKeyFile, &found))) {
            key = found;
            return;
        }
        // An emulator installed where it cannot write keeps its key in the user's configuration.
        const char* config = std::getenv("XDG_CONFIG_HOME");
        const char* home = std::getenv("HOME");
        fs::path folder = config && *config ? fs::path(config) : home && *home ? fs::path(home) / ".config" : fs::path();
        if (!folder.empty() && MakeKey(folder / "pocketsim" / kKeyFile, &found)) key = found;
    });
    return key;
}

// The record's key: the device path folded as the device compares names.
std::string FoldedPath(std::u16string_view devicePath) {
    std::u16string folded(devicePath);
    for (WCHAR& c : folded) c = towupper16(c);
    return ToUtf8(folded);
}

std::optional<Sha256Digest> HashOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxCodeFile) return std::nullopt;
    Sha256 hash;
    std::vector<uint8_t> buffer(1 << 16);
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), at);
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        hash.Update(buffer.data(), static_cast<size_t>(got));
        at += got;
    }
    return hash.Finish();
}

Sha256Digest Seal(const Key& key, const std::string& folded, const Sha256Digest& hash) {
    std::string message = "trusted-code";
    message += '\0';
    message += folded;
    message += '\0';
    message.append(reinterpret_cast<const char*>(hash.data()), hash.size());
    return HmacSha256(key.data(), key.size(), message.data(), message.size());
}

// Compares without an early exit, so the time taken tells nothing of where a forged seal differs.
bool SameDigest(const void* a, const void* b, size_t size) {
    const auto* x = static_cast<const uint8_t*>(a);
    const auto* y = static_cast<const uint8_t*>(b);
    uint8_t difference = 0;
    for (size_t i = 0; i < size; ++i) difference |= x[i] ^ y[i];
    return difference == 0;
}

int Refuse(DWORD code, const char* why, DWORD* error, std::string* reason, int fd = -1) {
    if (fd >= 0) ::close(fd);
    *error = code;
    if (reason) *reason = why;
    return -1;
}

}  // namespace

std::string DescriptorPath(int fd) {
    // The loader knows a library by the path it was opened with, so a descriptor number used
    // again for another file would hand back the library loaded first. Each path is therefore
    // spelt differently: a count written as "//" and "/." steps, which resolve to nothing.
    static std::atomic<uint64_t> count{0};
    uint64_t n = count++;
    std::string path = "/proc/self";
    do {
        path += (n & 1) ? "/." : "//";
        n >>= 1;
    } while (n);
    return path + "/fd/" + std::to_string(fd);
}

namespace {

bool RecordTrust(Device& device, std::u16string_view devicePath, const Sha256Digest& hash, std::string* reason) {
    const std::optional<Key>& key = EmulatorKey();
    if (!key) {
        if (reason) *reason = "the emulator has no key to seal what it installs";
        return false;
    }
    const std::string folded = FoldedPath(devicePath);
    const Sha256Digest seal = Seal(*key, folded, hash);
    Database& db = device.Db();
    const bool ok = db.Exec(kTrustSchema) &&
                    db.Prepare("INSERT INTO trusted_code(path, hash, seal) VALUES(?1, ?2, ?3) "
                               "ON CONFLICT(path) DO UPDATE SET hash=excluded.hash, seal=excluded.seal")
                        .BindBlob(1, folded.data(), folded.size())
                        .BindBlob(2, hash.data(), hash.size())
                        .BindBlob(3, seal.data(), seal.size())
                        .Run();
    if (!ok && reason) *reason = "cannot record it: " + db.LastError();
    return ok;
}

}  // namespace

bool TrustInstalledCode(Device& device, std::u16string_view devicePath, std::string* reason) {
    fs::path hostPath;
    DWORD code = 0;
    if (!device.Files().ResolveExisting(devicePath, &hostPath, &code)) {
        if (reason) *reason = "no such file (error " + std::to_string(code) + ")";
        return false;
    }
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    const std::optional<Sha256Digest> hash = fd >= 0 ? HashOf(fd) : std::nullopt;
    if (fd >= 0) ::close(fd);
    if (!hash) {
        if (reason) *reason = "the file cannot be read";
        return false;
    }
    return RecordTrust(device, devicePath, *hash, reason);
}

bool TrustExpectedCode(Device& device, std::u16string_view devicePath, const Sha256Digest& hash, std::string* reason) {
    // Spelt as the loader and CreateProcessW look it up: from the root, one backslash apart.
    std::vector<std::u16string> parts;
    const DWORD code = SplitDevicePath(devicePath, PathKind::Entry, &parts);
    if (code != ERROR_SUCCESS || parts.empty()) {
        if (reason) *reason = "not a device path (error " + std::to_string(code) + ")";
        return false;
    }
    std::u16string path;
    for (const std::u16string& part : parts) path += u"\\" + part;
    return RecordTrust(device, path, hash, reason);
}

int OpenTrustedCode(Device& device, std::u16string_view devicePath, const fs::path& hostPath, DWORD* error,
                    std::string* reason) {
    const std::optional<Key>& key = EmulatorKey();
    if (!key) return Refuse(ERROR_BAD_EXE_FORMAT, "the emulator has no key to check host code with", error, reason);
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return Refuse(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED, "cannot open it", error, reason);
    const std::optional<Sha256Digest> hash = HashOf(fd);
    if (!hash) return Refuse(ERROR_BAD_EXE_FORMAT, "not a file that can be run", error, reason, fd);
    const std::string folded = FoldedPath(devicePath);
    std::vector<uint8_t> storedHash, storedSeal;
    {
        Database& db = device.Db();
        std::lock_guard lock(db.Mutex());
        auto st = db.Prepare("SELECT hash, seal FROM trusted_code WHERE path=?1");
        // An image without the table has never had host code installed.
        if (st.Raw()) {
            st.BindBlob(1, folded.data(), folded.size());
            if (st.Step() == SQLITE_ROW) {
                storedHash = st.Blob(0);
                storedSeal = st.Blob(1);
            }
        }
    }
    if (storedHash.empty())
        return Refuse(ERROR_BAD_EXE_FORMAT, "host code the emulator did not install", error, reason, fd);
    const Sha256Digest seal = Seal(*key, folded, *hash);
    if (storedHash.size() != hash->size() || !SameDigest(storedHash.data(), hash->data(), hash->size()))
        return Refuse(ERROR_BAD_EXE_FORMAT, "host code changed since the emulator installed it", error, reason, fd);
    if (storedSeal.size() != seal.size() || !SameDigest(storedSeal.data(), seal.data(), seal.size()))
        return Refuse(ERROR_BAD_EXE_FORMAT, "host code recorded by another emulator", error, reason, fd);
    return fd;
}

}  // namespace host
