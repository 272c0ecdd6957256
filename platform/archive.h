// The platform's archive component: a COM class that opens an archive file of the device and
// presents its root folder as a collection of file items, each with a name, a path and a content
// stream. Only what extraction needs is declared: open, root folder, file items, content, close.
//
// Usage: CoCreateInstance(CLSID_Archive, null, CLSCTX_INPROC_SERVER, IID_IArchive) after COM is
// initialised on the thread; Open(device path); get_RootFolder; get_Files; get_Count; Item(i);
// get_Name / get_Path / OpenStream; Close; Release.
#pragma once

#include "com.h"

extern const CLSID CLSID_Archive;  // {5C7C9E17-3121-4D20-9291-54EFA31916DA}
extern const IID IID_IArchive;     // {7CABFDF3-77E8-4031-9D8B-B666225165D8}
extern const IID IID_IArchiveFolder;
extern const IID IID_IArchiveItems;
extern const IID IID_IArchiveItem;

// One file of the archive. Strings come back as BSTRs the caller frees with SysFreeString.
struct IArchiveItem : IUnknown {
    // The file's name, without any folder.
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
    // The file's path inside the archive, backslash-separated; for an item of the root folder it
    // equals the name.
    virtual HRESULT STDMETHODCALLTYPE get_Path(BSTR* path) = 0;
    // The uncompressed size in bytes.
    virtual HRESULT STDMETHODCALLTYPE get_Size(ULONGLONG* size) = 0;
    // A new stream over the file's content, positioned at its start, with one reference held by
    // the caller. Read returns S_OK and fewer bytes than asked at the end; a damaged archive makes
    // Read fail with STG_E_READFAULT. Write fails with STG_E_ACCESSDENIED. Content too large for
    // the room left in the device's store is refused with STG_E_MEDIUMFULL.
    virtual HRESULT STDMETHODCALLTYPE OpenStream(ISequentialStream** stream) = 0;

protected:
    ~IArchiveItem() = default;
};

// The file items of one folder, in the order the archive stores them.
struct IArchiveItems : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* count) = 0;
    // E_INVALIDARG (and a null item) for an index outside 0 .. count - 1.
    virtual HRESULT STDMETHODCALLTYPE Item(LONG index, IArchiveItem** item) = 0;

protected:
    ~IArchiveItems() = default;
};

struct IArchiveFolder : IUnknown {
    // The folder's file items; folders and the files inside sub-folders are not among them.
    virtual HRESULT STDMETHODCALLTYPE get_Files(IArchiveItems** items) = 0;

protected:
    ~IArchiveFolder() = default;
};

// The archive object. Objects obtained from an open archive stay usable after Close and after
// the archive object is released: each keeps what it needs.
struct IArchive : IUnknown {
    // Opens the archive file at an absolute device path (CAB and ZIP at least). Fails with
    // HRESULT_FROM_WIN32 of the file call's error for a file that cannot be read,
    // HRESULT_FROM_WIN32(ERROR_BAD_FORMAT) for a file that is no archive it knows, and
    // E_UNEXPECTED when an archive is already open.
    virtual HRESULT STDMETHODCALLTYPE Open(LPCWSTR path) = 0;
    // E_UNEXPECTED (and a null folder) when no archive is open.
    virtual HRESULT STDMETHODCALLTYPE get_RootFolder(IArchiveFolder** folder) = 0;
    // S_FALSE when no archive was open.
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;

protected:
    ~IArchive() = default;
};
