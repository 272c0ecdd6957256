// The archive component played by the emulator: the class the Expand command creates, over
// libarchive (CAB, ZIP, 7-Zip and tar).
//
// The archive's bytes are read once through the platform's file calls, so that only device
// paths of the installed image are ever opened. Opening lists the entries; each content stream
// then runs its own reader over the shared bytes up to its entry, so that content is
// decompressed only when read and in the caller's chunks.
//
// The root folder holds the regular files whose stored path is one valid name. Stored paths are
// outside input: a path with a separator of either kind lies in a sub-folder (or climbs out of
// the archive, as "..\x" or "/x" would) and is not a root item, and a name that is empty, "."
// or ".." is refused, so no item can lead a caller outside the folder it extracts to.
#include "host/archive/archive.h"

#include "platform/archive.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "host/com/com_runtime.h"
#include "host/kernel/device.h"
#include "host/store/object_store.h"
#include "platform/files.h"
#include "platform/text.h"

const CLSID CLSID_Archive = DEFINE_GUID_VALUE(0x5C7C9E17, 0x3121, 0x4D20, 0x92, 0x91, 0x54, 0xEF, 0xA3, 0x19, 0x16, 0xDA);
const IID IID_IArchive = DEFINE_GUID_VALUE(0x7CABFDF3, 0x77E8, 0x4031, 0x9D, 0x8B, 0xB6, 0x66, 0x22, 0x51, 0x65, 0xD8);
const IID IID_IArchiveFolder = DEFINE_GUID_VALUE(0x9CD8667C, 0x2813, 0x4DF9, 0xAE, 0xC9, 0xD8, 0x79, 0x76, 0x70, 0x2B, 0x42);
const IID IID_IArchiveItems = DEFINE_GUID_VALUE(0xB054BE8F, 0x9E7B, 0x498B, 0xB8, 0xD3, 0x30, 0x85, 0x3F, 0xD2, 0xAB, 0x2B);
const IID IID_IArchiveItem = DEFINE_GUID_VALUE(0xCA9F3010, 0x4765, 0x448C, 0xB7, 0x13, 0xA2, 0x69, 0x20, 0xE8, 0x7D, 0x7B);

namespace host {

namespace {

// The archive is held in memory while it is open; a file larger than this is refused rather than
// allowed to exhaust the host's memory.
constexpr DWORD kMaxArchiveBytes = 0x40000000;

struct RootFile {
    std::u16string name;
    ULONGLONG size = 0;
    bool sizeKnown = false;  // the archive told the size (a ZIP may leave it to the end of the data)
    size_t ordinal = 0;      // position among all entries of the archive, counted from 0
};

struct ReaderFree {
    void operator()(struct archive* reader) const { archive_read_free(reader); }
};
using Reader = std::unique_ptr<struct archive, ReaderFree>;

struct ArchiveData {
    std::vector<BYTE> bytes;
    std::vector<RootFile> files;
    // The reader of the stream released last, positioned before entry spareNext. A stream for a
    // later entry continues with it, so that extracting the items in order decompresses a CAB's
    // shared data blocks once instead of once per item.
    mutable std::mutex spareLock;
    mutable Reader spare;
    mutable size_t spareNext = 0;
};
using ArchiveDataPtr = std::shared_ptr<const ArchiveData>;

// Only formats whose readers are built into the library: the library's filters for other
// compressions may start outside programs, which a device component must never do.
Reader OpenReader(const std::vector<BYTE>& bytes) {
    Reader reader(archive_read_new());
    if (!reader) return nullptr;
    archive_read_support_format_cab(reader.get());
    archive_read_support_format_zip(reader.get());
    archive_read_support_format_7zip(reader.get());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_memory(reader.get(), bytes.data(), bytes.size()) != ARCHIVE_OK) return nullptr;
    return reader;
}

std::u16string EntryPath(struct archive_entry* entry) {
    if (const char* utf8 = archive_entry_pathname_utf8(entry)) return FromUtf8(utf8);
    const char* raw = archive_entry_pathname(entry);
    return raw ? FromUtf8(raw) : std::u16string();
}

// The name of a root item, or false for a path that is not one valid name.
bool RootName(const std::u16string& path, std::u16string* name) {
    if (path.empty() || path == u"." || path == u"..") return false;
    for (char16_t c : path)
        if (c == u'\\' || c == u'/' || c == 0) return false;
    *name = path;
    return true;
}

DWORD ReadDeviceFile(LPCWSTR path, std::vector<BYTE>* bytes) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    SetLastError(ERROR_SUCCESS);
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    DWORD error = size == INVALID_FILE_SIZE ? GetLastError() : ERROR_SUCCESS;
    if (!error && (high || size > kMaxArchiveBytes)) error = ERROR_NOT_ENOUGH_MEMORY;
    if (!error) {
        try {
            bytes->resize(size);
        } catch (const std::bad_alloc&) {
            error = ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    DWORD done = 0;
    while (!error && done < bytes->size()) {
        DWORD read = 0;
        if (!ReadFile(file, bytes->data() + done, DWORD(bytes->size()) - done, &read, nullptr)) error = GetLastError();
        else if (read == 0) bytes->resize(done);  // the file shrank while it was read
        done += read;
    }
    CloseHandle(file);
    return error;
}

// Lists the archive; ERROR_BAD_FORMAT for bytes no reader accepts or whose listing fails part
// way, since a damaged archive would otherwise extract a silently shortened set of files.
DWORD ListArchive(ArchiveData* data) {
    Reader reader = OpenReader(data->bytes);
    if (!reader) return ERROR_BAD_FORMAT;
    struct archive_entry* entry = nullptr;
    for (size_t ordinal = 0;; ++ordinal) {
        int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) return ERROR_SUCCESS;
        if (status < ARCHIVE_WARN) return ERROR_BAD_FORMAT;
        if (archive_entry_filetype(entry) != AE_IFREG) continue;
        RootFile file;
        if (!RootName(EntryPath(entry), &file.name)) continue;
        file.sizeKnown = archive_entry_size_is_set(entry) && archive_entry_size(entry) >= 0;
        file.size = file.sizeKnown ? ULONGLONG(archive_entry_size(entry)) : 0;
        file.ordinal = ordinal;
        data->files.push_back(std::move(file));
    }
}

// A reader positioned at the data of entry ordinal: the spare one when it has not passed the
// entry yet, else a new one. *next receives the entry the reader reads the header of next.
Reader ReaderAt(const ArchiveData& data, size_t ordinal, size_t* next) {
    Reader reader;
    *next = 0;
    {
        std::lock_guard guard(data.spareLock);
        if (data.spare && data.spareNext <= ordinal) {
            reader = std::move(data.spare);
            *next = data.spareNext;
        }
    }
    if (!reader) reader = OpenReader(data.bytes);
    if (!reader) return nullptr;
    struct archive_entry* entry = nullptr;
    for (; *next <= ordinal; ++*next)
        if (archive_read_next_header(reader.get(), &entry) < ARCHIVE_WARN) return nullptr;
    return reader;
}

// The size of an entry whose size the archive does not tell, found by decompressing it, but no
// further than limit: STG_E_MEDIUMFULL for content beyond it.
HRESULT MeasureContent(const ArchiveData& data, size_t ordinal, ULONGLONG limit, ULONGLONG* size) {
    size_t next = 0;
    Reader reader = ReaderAt(data, ordinal, &next);
    if (!reader) return STG_E_READFAULT;
    std::vector<BYTE> scratch(64 * 1024);
    ULONGLONG total = 0;
    for (;;) {
        la_ssize_t n = archive_read_data(reader.get(), scratch.data(), scratch.size());
        if (n < 0) return STG_E_READFAULT;
        if (n == 0) break;
        total += ULONGLONG(n);
        if (total > limit) return STG_E_MEDIUMFULL;
    }
    *size = total;
    return S_OK;
}

BSTR CopyToBstr(const std::u16string& text) { return SysAllocStringLen(text.data(), UINT(text.size())); }

// The reference counting shared by the component's objects.
template <class Interface>
class ComObject : public Interface {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG refs = --m_refs;
        if (refs == 0) delete this;
        return refs;
    }

protected:
    virtual ~ComObject() = default;
    HRESULT Answer(REFIID riid, const IID& own, void** object) {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == own) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

private:
    std::atomic<ULONG> m_refs{1};
};

class ItemStream final : public ComObject<ISequentialStream> {
public:
    ItemStream(ArchiveDataPtr data, Reader reader, size_t next, ULONGLONG size)
        : m_data(std::move(data)), m_reader(std::move(reader)), m_next(next), m_left(size) {}
    ~ItemStream() override {
        if (m_failed) return;
        std::lock_guard guard(m_data->spareLock);
        m_data->spare = std::move(m_reader);
        m_data->spareNext = m_next;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return Answer(riid, IID_ISequentialStream, object);
    }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override {
        if (read) *read = 0;
        if (!buffer && size) return STG_E_INVALIDPOINTER;
        ULONG done = 0;
        // The library hands out data in pieces of its own size; fill the caller's buffer so that a
        // short read means the end, as the caller's loop expects.
        while (!m_failed && !m_ended && done < size) {
            // Never more than the size the room was checked for: content beyond the size the
            // archive states is a damaged (or crafted) archive.
            if (m_left == 0) {
                BYTE probe;
                la_ssize_t n = archive_read_data(m_reader.get(), &probe, 1);
                m_ended = n == 0;
                m_failed = n != 0;
                break;
            }
            ULONG want = ULONG(std::min<ULONGLONG>(size - done, m_left));
            la_ssize_t n = archive_read_data(m_reader.get(), static_cast<BYTE*>(buffer) + done, want);
            if (n < 0) {
                m_failed = true;
            } else if (n == 0) {
                m_ended = true;
            } else {
                done += ULONG(n);
                m_left -= ULONGLONG(n);
            }
        }
        if (read) *read = done;
        return m_failed ? STG_E_READFAULT : S_OK;
    }

    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG* written) override {
        if (written) *written = 0;
        return STG_E_ACCESSDENIED;
    }

private:
    ArchiveDataPtr m_data;  // keeps the bytes the reader works on
    Reader m_reader;
    size_t m_next;     // the entry whose header the reader reads next
    ULONGLONG m_left;  // bytes of the entry not handed out yet
    bool m_ended = false;
    bool m_failed = false;
};

class ArchiveItem final : public ComObject<IArchiveItem> {
public:
    ArchiveItem(ArchiveDataPtr data, size_t index) : m_data(std::move(data)), m_index(index) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return Answer(riid, IID_IArchiveItem, object);
    }
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override { return Text(name); }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* path) override { return Text(path); }
    HRESULT STDMETHODCALLTYPE get_Size(ULONGLONG* size) override {
        if (!size) return E_POINTER;
        *size = File().size;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE OpenStream(ISequentialStream** stream) override {
        if (!stream) return E_POINTER;
        *stream = nullptr;
        const RootFile& file = File();
        Device* device = CurrentDevice();
        ObjectStore* store = device ? &device->Files() : nullptr;
        ULONGLONG size = file.sizeKnown ? file.size : ~ULONGLONG(0);
        if (!file.sizeKnown && store) {
            if (HRESULT hr = MeasureContent(*m_data, file.ordinal, store->Capacity(), &size); FAILED(hr)) return hr;
        }
        // Content that cannot fit in the device's store is refused before a byte of it is handed
        // out, so an extraction stops before it makes its output file rather than leave half of
        // it. The check cannot know that the output may replace a file of that name: it asks
        // room for the whole item.
        if (store && store->CheckRoom(size) == ERROR_DISK_FULL) return STG_E_MEDIUMFULL;
        size_t next = 0;
        Reader reader = ReaderAt(*m_data, file.ordinal, &next);
        if (!reader) return STG_E_READFAULT;
        *stream = new (std::nothrow) ItemStream(m_data, std::move(reader), next, size);
        return *stream ? S_OK : E_OUTOFMEMORY;
    }

private:
    const RootFile& File() const { return m_data->files[m_index]; }
    HRESULT Text(BSTR* out) {
        if (!out) return E_POINTER;
        *out = CopyToBstr(File().name);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    ArchiveDataPtr m_data;
    size_t m_index;
};

class ArchiveItems final : public ComObject<IArchiveItems> {
public:
    explicit ArchiveItems(ArchiveDataPtr data) : m_data(std::move(data)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return Answer(riid, IID_IArchiveItems, object);
    }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
        if (!count) return E_POINTER;
        *count = LONG(m_data->files.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Item(LONG index, IArchiveItem** item) override {
        if (!item) return E_POINTER;
        *item = nullptr;
        if (index < 0 || size_t(index) >= m_data->files.size()) return E_INVALIDARG;
        *item = new (std::nothrow) ArchiveItem(m_data, size_t(index));
        return *item ? S_OK : E_OUTOFMEMORY;
    }

private:
    ArchiveDataPtr m_data;
};

class ArchiveFolder final : public ComObject<IArchiveFolder> {
public:
    explicit ArchiveFolder(ArchiveDataPtr data) : m_data(std::move(data)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return Answer(riid, IID_IArchiveFolder, object);
    }
    HRESULT STDMETHODCALLTYPE get_Files(IArchiveItems** items) override {
        if (!items) return E_POINTER;
        *items = new (std::nothrow) ArchiveItems(m_data);
        return *items ? S_OK : E_OUTOFMEMORY;
    }

private:
    ArchiveDataPtr m_data;
};

class Archive final : public ComObject<IArchive> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return Answer(riid, IID_IArchive, object);
    }

    HRESULT STDMETHODCALLTYPE Open(LPCWSTR path) override {
        if (!path) return E_INVALIDARG;
        if (m_data) return E_UNEXPECTED;
        std::shared_ptr<ArchiveData> data;
        try {
            data = std::make_shared<ArchiveData>();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        DWORD error = ReadDeviceFile(path, &data->bytes);
        if (!error) error = ListArchive(data.get());
        if (error) return HRESULT_FROM_WIN32(error);
        m_data = std::move(data);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_RootFolder(IArchiveFolder** folder) override {
        if (!folder) return E_POINTER;
        *folder = nullptr;
        if (!m_data) return E_UNEXPECTED;
        *folder = new (std::nothrow) ArchiveFolder(m_data);
        return *folder ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT STDMETHODCALLTYPE Close() override {
        if (!m_data) return S_FALSE;
        m_data.reset();
        return S_OK;
    }

private:
    ArchiveDataPtr m_data;
};

class ArchiveFactory final : public ComObject<IClassFactory> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        return Answer(riid, IID_IClassFactory, object);
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        Archive* archive = new (std::nothrow) Archive;
        if (!archive) return E_OUTOFMEMORY;
        HRESULT hr = archive->QueryInterface(riid, object);
        archive->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// The component is part of the emulated platform, present as soon as the library is loaded.
[[maybe_unused]] const bool g_archiveRegistered = (RegisterBuiltinClass(CLSID_Archive, MakeArchiveFactory), true);

}  // namespace

IClassFactory* MakeArchiveFactory() { return new (std::nothrow) ArchiveFactory; }

}  // namespace host
