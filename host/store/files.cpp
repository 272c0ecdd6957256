// The platform's file calls: thin adapters from the Win32 names to the installed device's
// object store, with the platform's handles, out-parameter rules and last-error codes.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <new>

#include "host/kernel/device.h"
#include "host/kernel/handles.h"
#include "host/store/object_store.h"

namespace {

using host::SetLastErrorCode;

struct FileObject : host::KernelObject {
    int fd = -1;
    DWORD access = 0;
    host::ShareLock share;
    ~FileObject() override {
        if (fd >= 0) ::close(fd);
    }
};

struct FindObject : host::KernelObject {
    std::mutex mutex;
    std::vector<host::StoreEntryInfo> entries;
    size_t next = 0;
};

host::ObjectStore* Store() {
    host::Device* device = host::CurrentDevice();
    return device ? &device->Files() : nullptr;
}

// The caller's path, read no further than one unit past the longest valid path so that a
// string without a terminator in reach is refused as too long rather than overrun.
std::u16string_view PathView(LPCWSTR path) {
    size_t n = 0;
    while (n <= MAX_PATH && path[n]) ++n;
    return std::u16string_view(path, n);
}

BOOL Outcome(DWORD error) {
    if (error) {
        SetLastErrorCode(error);
        return FALSE;
    }
    return TRUE;
}

// Runs a path call on the installed store; no device means no store, so no path exists.
template <class Call>
DWORD OnStore(Call call) {
    host::ObjectStore* store = Store();
    return store ? call(*store) : DWORD(ERROR_PATH_NOT_FOUND);
}

void FillFindData(const host::StoreEntryInfo& entry, WIN32_FIND_DATAW* data) {
    *data = WIN32_FIND_DATAW{};
    data->dwFileAttributes = entry.attributes;
    data->ftCreationTime = entry.creationTime;
    data->ftLastAccessTime = entry.accessTime;
    data->ftLastWriteTime = entry.writeTime;
    data->nFileSizeHigh = DWORD(entry.size >> 32);
    data->nFileSizeLow = DWORD(entry.size & 0xFFFFFFFFu);
    data->dwOID = entry.oid;
    // Device names are at most 255 units, so the name always fits with its terminator.
    size_t n = std::min(entry.name.size(), size_t(MAX_PATH - 1));
    std::copy_n(entry.name.data(), n, data->cFileName);
    data->cFileName[n] = 0;
}

// Writes all of data at the file's position (at its end when append) as one change of the store:
// bytes it would add beyond the store's capacity fail the whole call with ERROR_DISK_FULL before
// anything is written. A host failure part way cuts off what the call appended and puts the
// position back (bytes it overwrote stay overwritten).
DWORD WriteWhole(int fd, const void* data, size_t size, bool append) {
    host::StoreWrite change(Store());
    struct stat st;
    off_t position = append ? 0 : ::lseek(fd, 0, SEEK_CUR);
    if (position < 0 || ::fstat(fd, &st) != 0) return host::ErrorFromErrno(errno);
    const uint64_t before = uint64_t(st.st_size);
    const uint64_t end = (append ? before : uint64_t(position)) + size;
    if (DWORD error = change.Reserve(end > before ? end - before : 0)) return error;
    DWORD error = ERROR_SUCCESS;
    for (size_t done = 0; done < size;) {
        ssize_t put = ::write(fd, static_cast<const char*>(data) + done, size - done);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) {
            error = host::ErrorFromErrno(errno);
            if (end > before) {
                int ignored = ::ftruncate(fd, off_t(before));  // what stays is counted below
                (void)ignored;
            }
            if (!append) ::lseek(fd, position, SEEK_SET);
            break;
        }
        done += size_t(put);
    }
    if (::fstat(fd, &st) == 0) change.Changed(int64_t(st.st_size) - int64_t(before));
    return error;
}

int ErrnoFromError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER: return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_DISK_FULL: return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY: return ENOMEM;
    default: return EIO;
    }
}

// A C stream's file: fopencookie calls these with the stream's buffered bytes.
struct StreamFile {
    int fd;
    bool append;
};

ssize_t StreamRead(void* cookie, char* buffer, size_t size) {
    for (;;) {
        ssize_t got = ::read(static_cast<StreamFile*>(cookie)->fd, buffer, size);
        if (got >= 0 || errno != EINTR) return got;
    }
}

ssize_t StreamWrite(void* cookie, const char* buffer, size_t size) {
    auto* file = static_cast<StreamFile*>(cookie);
    if (DWORD error = WriteWhole(file->fd, buffer, size, file->append)) {
        SetLastErrorCode(error);
        errno = ErrnoFromError(error);
        return 0;  // the stream's error: a cookie's write must not return less than zero
    }
    return ssize_t(size);
}

int StreamSeek(void* cookie, off64_t* offset, int whence) {
    off_t position = ::lseek(static_cast<StreamFile*>(cookie)->fd, off_t(*offset), whence);
    if (position < 0) return -1;
    *offset = position;
    return 0;
}

int StreamClose(void* cookie) {
    auto* file = static_cast<StreamFile*>(cookie);
    int result = ::close(file->fd);
    delete file;
    return result;
}

const cookie_io_functions_t kStreamCalls = {StreamRead, StreamWrite, StreamSeek, StreamClose};

}  // namespace

BOOL CreateDirectoryW(LPCWSTR path, void*) {
    if (!path) return Outcome(ERROR_INVALID_PARAMETER);
    return Outcome(OnStore([&](host::ObjectStore& s) { return s.CreateDirectory(PathView(path)); }));
}

BOOL RemoveDirectoryW(LPCWSTR path) {
    if (!path) return Outcome(ERROR_INVALID_PARAMETER);
    return Outcome(OnStore([&](host::ObjectStore& s) { return s.RemoveDirectory(PathView(path)); }));
}

BOOL CopyFileW(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
    if (!from || !to) return Outcome(ERROR_INVALID_PARAMETER);
    auto ifExists = failIfExists ? host::IfExists::Fail : host::IfExists::Replace;
    return Outcome(OnStore([&](host::ObjectStore& s) { return s.CopyFile(PathView(from), PathView(to), ifExists); }));
}

BOOL MoveFileW(LPCWSTR from, LPCWSTR to) {
    if (!from || !to) return Outcome(ERROR_INVALID_PARAMETER);
    return Outcome(OnStore([&](host::ObjectStore& s) { return s.MoveFile(PathView(from), PathView(to)); }));
}

BOOL DeleteFileW(LPCWSTR path) {
    if (!path) return Outcome(ERROR_INVALID_PARAMETER);
    return Outcome(OnStore([&](host::ObjectStore& s) { return s.DeleteFile(PathView(path)); }));
}

DWORD GetFileAttributesW(LPCWSTR path) {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    DWORD error = path ? OnStore([&](host::ObjectStore& s) { return s.GetAttributes(PathView(path), &attributes); })
                       : DWORD(ERROR_INVALID_PARAMETER);
    if (error) {
        SetLastErrorCode(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    return attributes;
}

BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) {
    if (!path) return Outcome(ERROR_INVALID_PARAMETER);
    return Outcome(OnStore([&](host::ObjectStore& s) { return s.SetAttributes(PathView(path), attributes); }));
}

HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data) {
    if (!pattern || !data) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto find = std::make_shared<FindObject>();
    DWORD error = OnStore([&](host::ObjectStore& s) { return s.Find(PathView(pattern), &find->entries); });
    if (error) {
        SetLastErrorCode(error);
        return INVALID_HANDLE_VALUE;
    }
    FillFindData(find->entries[0], data);
    find->next = 1;
    return host::InsertHandle(host::HandleType::Find, std::move(find));
}

BOOL FindNextFileW(HANDLE handle, WIN32_FIND_DATAW* data) {
    auto find = host::ReferenceHandleAs<FindObject>(handle, host::HandleType::Find);
    if (!find) return Outcome(ERROR_INVALID_HANDLE);
    if (!data) return Outcome(ERROR_INVALID_PARAMETER);
    std::lock_guard<std::mutex> lock(find->mutex);
    if (find->next >= find->entries.size()) return Outcome(ERROR_NO_MORE_FILES);
    FillFindData(find->entries[find->next++], data);
    return TRUE;
}

BOOL FindClose(HANDLE handle) {
    return Outcome(host::RemoveHandle(handle, host::HandleType::Find) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE);
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, void*, DWORD disposition, DWORD flags, HANDLE) {
    if (!path) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    host::OpenRequest request;
    request.access = access & (GENERIC_READ | GENERIC_WRITE);
    request.share = share & (FILE_SHARE_READ | FILE_SHARE_WRITE);
    request.disposition = disposition;
    request.attributes = flags;
    host::OpenedFile opened;
    DWORD error = OnStore([&](host::ObjectStore& s) { return s.OpenFile(PathView(path), request, &opened); });
    if (error) {
        SetLastErrorCode(error);
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<FileObject>();
    file->fd = opened.fd;
    file->access = request.access;
    file->share = std::move(opened.share);
    // The dispositions that may create tell the caller whether the file was already there.
    if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
        SetLastErrorCode(opened.existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return host::InsertHandle(host::HandleType::File, std::move(file));
}

BOOL ReadFile(HANDLE handle, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
    if (read) *read = 0;
    auto file = host::ReferenceHandleAs<FileObject>(handle, host::HandleType::File);
    if (!file) return Outcome(ERROR_INVALID_HANDLE);
    // The device has no overlapped I/O on files.
    if (overlapped || (!buffer && toRead)) return Outcome(ERROR_INVALID_PARAMETER);
    if (!(file->access & GENERIC_READ)) return Outcome(ERROR_ACCESS_DENIED);
    DWORD done = 0;
    while (done < toRead) {
        ssize_t got = ::read(file->fd, static_cast<char*>(buffer) + done, toRead - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Outcome(host::ErrorFromErrno(errno));
        if (got == 0) break;
        done += DWORD(got);
    }
    if (read) *read = done;
    return TRUE;
}

BOOL WriteFile(HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped) {
    if (written) *written = 0;
    auto file = host::ReferenceHandleAs<FileObject>(handle, host::HandleType::File);
    if (!file) return Outcome(ERROR_INVALID_HANDLE);
    if (overlapped || (!buffer && toWrite)) return Outcome(ERROR_INVALID_PARAMETER);
    if (!(file->access & GENERIC_WRITE)) return Outcome(ERROR_ACCESS_DENIED);
    if (DWORD error = WriteWhole(file->fd, buffer, toWrite, false)) return Outcome(error);
    if (written) *written = toWrite;
    return TRUE;
}

DWORD GetFileSize(HANDLE handle, DWORD* high) {
    auto file = host::ReferenceHandleAs<FileObject>(handle, host::HandleType::File);
    struct stat st;
    if (!file || ::fstat(file->fd, &st) != 0) {
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = uint64_t(st.st_size);
    if (high) *high = DWORD(size >> 32);
    // A size whose low part is INVALID_FILE_SIZE is told apart by the last error.
    SetLastErrorCode(ERROR_SUCCESS);
    return DWORD(size & 0xFFFFFFFFu);
}

DWORD SetFilePointer(HANDLE handle, LONG distance, LONG* high, DWORD method) {
    auto file = host::ReferenceHandleAs<FileObject>(handle, host::HandleType::File);
    if (!file) {
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : -1;
    if (whence < 0) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t move = high ? int64_t((uint64_t(uint32_t(*high)) << 32) | uint32_t(distance)) : int64_t(distance);
    int64_t base = 0;
    if (whence == SEEK_CUR) base = ::lseek(file->fd, 0, SEEK_CUR);
    if (whence == SEEK_END) {
        struct stat st;
        base = ::fstat(file->fd, &st) == 0 ? int64_t(st.st_size) : -1;
    }
    if (base < 0) {
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    // The position is checked before it moves: a refused seek leaves it where it was.
    if (move < 0 && base + move < 0) {
        SetLastErrorCode(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    off_t position = ::lseek(file->fd, off_t(base + move), SEEK_SET);
    if (position < 0) {
        SetLastErrorCode(host::ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (high) *high = LONG(uint64_t(position) >> 32);
    SetLastErrorCode(ERROR_SUCCESS);
    return DWORD(uint64_t(position) & 0xFFFFFFFFu);
}

BOOL SetEndOfFile(HANDLE handle) {
    auto file = host::ReferenceHandleAs<FileObject>(handle, host::HandleType::File);
    if (!file) return Outcome(ERROR_INVALID_HANDLE);
    if (!(file->access & GENERIC_WRITE)) return Outcome(ERROR_ACCESS_DENIED);
    host::StoreWrite change(Store());
    struct stat st;
    off_t position = ::lseek(file->fd, 0, SEEK_CUR);
    if (position < 0 || ::fstat(file->fd, &st) != 0) return Outcome(host::ErrorFromErrno(errno));
    // A file grown to the position gains those bytes, though they read as zeros.
    if (DWORD error = change.Reserve(position > st.st_size ? uint64_t(position - st.st_size) : 0))
        return Outcome(error);
    if (::ftruncate(file->fd, position) != 0) return Outcome(host::ErrorFromErrno(errno));
    change.Changed(int64_t(position) - int64_t(st.st_size));
    return TRUE;
}

FILE* _wfopen(LPCWSTR path, LPCWSTR mode) {
    auto fail = [](DWORD error) -> FILE* {
        SetLastErrorCode(error);
        errno = ErrnoFromError(error);
        return nullptr;
    };
    if (!path || !mode) return fail(ERROR_INVALID_PARAMETER);
    // Mode: r, w or a, then any of '+', 'b' and 't'. Streams are binary on the host: "t"
    // is accepted and reads the bytes unchanged.
    WCHAR kind = mode[0];
    if (kind != u'r' && kind != u'w' && kind != u'a') return fail(ERROR_INVALID_PARAMETER);
    bool plus = false;
    for (const WCHAR* m = mode + 1; *m; ++m) {
        if (*m == u'+') plus = true;
        else if (*m != u'b' && *m != u't') return fail(ERROR_INVALID_PARAMETER);
    }
    host::OpenRequest request;
    request.access = (kind == u'r' ? GENERIC_READ : GENERIC_WRITE) | (plus ? GENERIC_READ | GENERIC_WRITE : 0);
    request.share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    request.disposition = kind == u'r' ? OPEN_EXISTING : kind == u'w' ? CREATE_ALWAYS : OPEN_ALWAYS;
    request.attributes = FILE_ATTRIBUTE_NORMAL;
    request.append = kind == u'a';
    host::OpenedFile opened;
    DWORD error = OnStore([&](host::ObjectStore& s) { return s.OpenFile(PathView(path), request, &opened); });
    if (error) return fail(error);
    // The C library closes the stream, so a stream takes no part in the sharing rules.
    opened.share = host::ShareLock();
    char hostMode[3] = {char(kind), plus ? '+' : '\0', '\0'};
    // The stream writes through the store, so that its bytes count against the capacity.
    auto* cookie = new (std::nothrow) StreamFile{opened.fd, request.append};
    FILE* stream = cookie ? ::fopencookie(cookie, hostMode, kStreamCalls) : nullptr;
    if (!stream) {
        ::close(opened.fd);
        delete cookie;
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    return stream;
}
