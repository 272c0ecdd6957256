// OLE Automation type libraries as the package uses them: loading a library's type library
// (from a .tlb file or from the "TYPELIB" resource of a module) and registering it under
// HKEY_CLASSES_ROOT\TypeLib, as a COM server's registration does.
#pragma once

#include "com.h"

typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;

typedef enum tagSYSKIND { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 } SYSKIND;

typedef enum tagLIBFLAGS {
    LIBFLAG_FRESTRICTED = 0x1,
    LIBFLAG_FCONTROL = 0x2,
    LIBFLAG_FHIDDEN = 0x4,
    LIBFLAG_FHASDISKIMAGE = 0x8
} LIBFLAGS;

typedef enum tagTYPEKIND {
    TKIND_ENUM = 0,
    TKIND_RECORD,
    TKIND_MODULE,
    TKIND_INTERFACE,
    TKIND_DISPATCH,
    TKIND_COCLASS,
    TKIND_ALIAS,
    TKIND_UNION,
    TKIND_MAX
} TYPEKIND;

struct TLIBATTR {
    GUID guid;
    LCID lcid;
    SYSKIND syskind;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    WORD wLibFlags;
};

// Index of the library itself in ITypeLib::GetDocumentation.
#define MEMBERID_NIL (-1)

struct ITypeInfo;
struct ITypeComp;

extern const IID IID_ITypeLib;  // {00020402-0000-0000-C000-000000000046}

// Slot order as on the device. The host's type library answers for the library as a whole
// (attributes and documentation); the calls on its type descriptions fail with E_NOTIMPL.
struct ITypeLib : IUnknown {
    virtual UINT STDMETHODCALLTYPE GetTypeInfoCount() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** info) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* kind) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) = 0;
    // The caller gives the attributes back with ReleaseTLibAttr.
    virtual HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** attr) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** comp) = 0;
    // index MEMBERID_NIL: the library. Every out pointer may be null; strings are freed with
    // SysFreeString and are null where the library holds none.
    virtual HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext,
                                                       BSTR* helpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsName(LPOLESTR name, ULONG hash, BOOL* found) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindName(LPOLESTR name, ULONG hash, ITypeInfo** infos, LONG* memberIds,
                                               USHORT* found) = 0;
    virtual void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* attr) = 0;

protected:
    ~ITypeLib() = default;
};

// path: a type library file, or a module whose resource "TYPELIB" 1 holds one. Fails with
// E_INVALIDARG for a null argument and TYPE_E_CANTLOADLIBRARY when the file is missing or holds
// no readable type library; *lib is null on failure.
HRESULT LoadTypeLib(LPCOLESTR path, ITypeLib** lib);
// Writes HKEY_CLASSES_ROOT\TypeLib\{libid}\MAJ.MIN (hexadecimal numbers, as the platform does):
// its default value the library's help string (or its name), the subkey LCID\win32 (or win16,
// win64 by the library's system kind) holding fullPath, FLAGS and HELPDIR (helpDir, empty when
// null). TYPE_E_REGISTRYACCESS when the registry refuses a write.
HRESULT RegisterTypeLib(ITypeLib* lib, LPCOLESTR fullPath, LPCOLESTR helpDir);
// Removes what RegisterTypeLib wrote for that locale and system kind, then the version key and
// the library key once nothing else is left under them. TYPE_E_REGISTRYACCESS when that
// registration does not exist.
HRESULT UnRegisterTypeLib(REFGUID libId, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
