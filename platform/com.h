// COM basics: interfaces in the platform's slot order, GUID text, class creation.
#pragma once

#include "winbase.h"

#define DEFINE_GUID_VALUE(l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    GUID { l, w1, w2, { b1, b2, b3, b4, b5, b6, b7, b8 } }

extern const IID IID_IUnknown;
extern const IID IID_IClassFactory;
extern const IID IID_ISequentialStream;
extern const IID IID_IStream;
extern const GUID GUID_NULL;

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};

struct ISequentialStream : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG size, ULONG* written) = 0;

protected:
    ~ISequentialStream() = default;
};

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
union ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
};

#define STATFLAG_DEFAULT 0
#define STATFLAG_NONAME 1
#define STGM_READ 0x00000000L
#define STGM_WRITE 0x00000001L
#define STGM_READWRITE 0x00000002L

#define STREAM_SEEK_SET 0
#define STREAM_SEEK_CUR 1
#define STREAM_SEEK_END 2
#define STGTY_STREAM 2

struct STATSTG {
    LPWSTR pwcsName;
    DWORD type;
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
};

struct IStream : ISequentialStream {
    virtual HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                                             ULARGE_INTEGER* written) = 0;
    virtual HRESULT STDMETHODCALLTYPE Commit(DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Revert() = 0;
    virtual HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IStream** stream) = 0;

protected:
    ~IStream() = default;
};

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_DISABLE_OLE1DDE 0x4
#define COINIT_SPEED_OVER_MEMORY 0x8

// COM is initialised per thread, as the device's COM requires before any class is created:
// without it CoCreateInstance and CoGetClassObject fail with CO_E_NOTINITIALIZED. The first call
// on a thread returns S_OK, later ones S_FALSE; each needs its CoUninitialize.
// Class creation looks at the emulator's own classes first, then at the registered in-process
// server ("HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32"). Failures: REGDB_E_CLASSNOTREG (no
// registration or no server path), CO_E_DLLNOTFOUND (the library does not load), CO_E_ERRORINDLL
// (it exports no DllGetClassObject), E_NOTIMPL (a context without CLSCTX_INPROC_SERVER: the
// device has no out-of-process servers), or the server's own code. The object is null on failure.
HRESULT CoInitializeEx(LPVOID reserved, DWORD flags);
void CoUninitialize();
// Frees the in-process servers whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, LPVOID* object);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID reserved, REFIID riid, LPVOID* object);
LPVOID CoTaskMemAlloc(size_t size);
void CoTaskMemFree(LPVOID p);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", either case on input; upper case on output.
HRESULT CLSIDFromString(LPCWSTR text, CLSID* clsid);
HRESULT IIDFromString(LPCWSTR text, IID* iid);
// The caller frees the text with CoTaskMemFree.
HRESULT StringFromCLSID(REFCLSID clsid, LPWSTR* text);
HRESULT StringFromIID(REFIID iid, LPWSTR* text);
// Writes the braced text (39 units with the terminator); returns the units written or 0.
int StringFromGUID2(REFGUID guid, LPWSTR buffer, int size);

BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);

// Signatures of an in-process server's exports.
typedef HRESULT (*DllGetClassObjectProc)(REFCLSID clsid, REFIID riid, LPVOID* object);
typedef HRESULT (*DllCanUnloadNowProc)();
typedef HRESULT (*DllRegisterServerProc)();
