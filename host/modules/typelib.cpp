// LoadTypeLib, RegisterTypeLib and UnRegisterTypeLib over the header reader, and the minimal
// ITypeLib they share.
#include "host/modules/typelib.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <vector>

#include "host/kernel/device.h"
#include "platform/files.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"

const IID IID_ITypeLib = DEFINE_GUID_VALUE(0x00020402, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

namespace host {

namespace {

constexpr uint32_t kMsftMagic = 0x5446534D;  // "MSFT"
constexpr size_t kHeaderSize = 0x54;
// With this bit of the header's flags word a help string library offset follows the header.
constexpr uint32_t kHelpDllFlag = 0x100;
constexpr size_t kSegmentCount = 15;
constexpr size_t kSegmentSize = 16;
constexpr size_t kTypeInfoSegment = 0;
constexpr size_t kTypeInfoSize = 0x64;  // one type description's base record
constexpr size_t kGuidSegment = 5;
constexpr size_t kNameSegment = 7;
constexpr size_t kStringSegment = 8;
constexpr size_t kGuidEntrySize = 24;   // GUID, hreftype, next in hash chain
constexpr size_t kNameIntroSize = 12;   // hreftype, next in hash chain, length byte, flags, hash
// A type library is a few kilobytes; anything this large is not one.
constexpr DWORD kMaxFileSize = 64u << 20;

uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
int32_t ReadI32(const uint8_t* p) { return static_cast<int32_t>(ReadU32(p)); }
uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

struct Segment {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

bool Fail(std::string* reason, const char* text) {
    if (reason) *reason = text;
    return false;
}

// The file's strings are single-byte text in the library's code page; the Latin-1 reading
// keeps ASCII exact, which is all the package's libraries hold.
std::u16string Widen(const uint8_t* p, size_t length) {
    std::u16string text(length, u'\0');
    for (size_t i = 0; i < length; ++i) text[i] = p[i];
    return text;
}

// A name of the name segment at offset: the intro (its length in the low byte of its third
// word), then the bytes.
bool ReadName(const Segment& names, int32_t offset, std::u16string* out) {
    if (offset < 0 || static_cast<size_t>(offset) + kNameIntroSize > names.size) return false;
    const size_t length = names.data[offset + 8];
    if (static_cast<size_t>(offset) + kNameIntroSize + length > names.size) return false;
    *out = Widen(names.data + offset + kNameIntroSize, length);
    return true;
}

// A string of the string segment at offset: a 16-bit length, then the bytes.
bool ReadString(const Segment& strings, int32_t offset, std::u16string* out) {
    if (offset < 0 || static_cast<size_t>(offset) + 2 > strings.size) return false;
    const size_t length = ReadU16(strings.data + offset);
    if (static_cast<size_t>(offset) + 2 + length > strings.size) return false;
    *out = Widen(strings.data + offset + 2, length);
    return true;
}

class TypeLib final : public ITypeLib {
public:
    explicit TypeLib(const TypeLibHeader& header) : m_header(header) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ITypeLib) {
            *object = static_cast<ITypeLib*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG refs = --m_refs;
        if (refs == 0) delete this;
        return refs;
    }

    UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return m_header.typeInfoCount; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** info) override {
        if (!info) return E_INVALIDARG;
        *info = nullptr;
        return index < m_header.typeInfoCount ? NotImplemented(u"GetTypeInfo") : TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* kind) override {
        if (!kind) return E_INVALIDARG;
        if (index >= m_header.types.size()) return TYPE_E_ELEMENTNOTFOUND;
        *kind = m_header.types[index].kind;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID, ITypeInfo** info) override {
        if (!info) return E_INVALIDARG;
        *info = nullptr;
        return NotImplemented(u"GetTypeInfoOfGuid");
    }
    HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** attr) override {
        if (!attr) return E_INVALIDARG;
        *attr = new (std::nothrow) TLIBATTR{m_header.guid,         m_header.lcid,         m_header.syskind,
                                            m_header.majorVersion, m_header.minorVersion, m_header.flags};
        return *attr ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** comp) override {
        if (!comp) return E_INVALIDARG;
        *comp = nullptr;
        return NotImplemented(u"GetTypeComp");
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext,
                                               BSTR* helpFile) override {
        if (name) *name = nullptr;
        if (docString) *docString = nullptr;
        if (helpFile) *helpFile = nullptr;
        if (index != MEMBERID_NIL && (index < 0 || static_cast<size_t>(index) >= m_header.types.size()))
            return TYPE_E_ELEMENTNOTFOUND;
        // A type description's own help file and context are not read: the library's stand in.
        const TypeDescription* type = index == MEMBERID_NIL ? nullptr : &m_header.types[static_cast<size_t>(index)];
        const std::u16string& ownName = type ? type->name : m_header.name;
        const bool hasHelp = type ? type->hasHelpString : m_header.hasHelpString;
        const std::u16string& help = type ? type->helpString : m_header.helpString;
        BSTR strings[3] = {};
        bool ok = true;
        if (name) ok = ok && (strings[0] = SysAllocString(ownName.c_str()));
        if (docString && hasHelp) ok = ok && (strings[1] = SysAllocString(help.c_str()));
        if (helpFile && m_header.hasHelpFile) ok = ok && (strings[2] = SysAllocString(m_header.helpFile.c_str()));
        if (!ok) {
            for (BSTR s : strings) SysFreeString(s);
            return E_OUTOFMEMORY;
        }
        if (name) *name = strings[0];
        if (docString) *docString = strings[1];
        if (helpFile) *helpFile = strings[2];
        if (helpContext) *helpContext = m_header.helpContext;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsName(LPOLESTR, ULONG, BOOL* found) override {
        if (found) *found = FALSE;
        return NotImplemented(u"IsName");
    }
    HRESULT STDMETHODCALLTYPE FindName(LPOLESTR, ULONG, ITypeInfo**, LONG*, USHORT* found) override {
        if (found) *found = 0;
        return NotImplemented(u"FindName");
    }
    void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* attr) override { delete attr; }

private:
    ~TypeLib() = default;

    // Type descriptions are not read; a caller that needs them must learn so loudly.
    static HRESULT NotImplemented(const char16_t* call) {
        if (Device* device = CurrentDevice()) device->Trace(FormatW(u"ITypeLib::%s is not implemented\n", call));
        return E_NOTIMPL;
    }

    std::atomic<ULONG> m_refs{1};
    TypeLibHeader m_header;
};

// The whole file, or false when it cannot be read (missing, unreadable, implausibly large).
bool ReadDeviceFile(LPCOLESTR path, std::vector<uint8_t>* bytes) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    bool ok = high == 0 && size != 0xFFFFFFFF && size <= kMaxFileSize;
    if (ok) {
        bytes->resize(size);
        DWORD read = 0;
        ok = size == 0 || (ReadFile(file, bytes->data(), size, &read, nullptr) && read == size);
    }
    CloseHandle(file);
    return ok;
}

// The "TYPELIB" 1 resource of a module, parsed.
bool ReadModuleTypeLib(LPCOLESTR path, TypeLibHeader* header, std::string* reason) {
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return Fail(reason, "neither a type library nor a module");
    bool ok = false;
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), u"TYPELIB");
    HGLOBAL data = resource ? LoadResource(module, resource) : nullptr;
    const void* bytes = data ? LockResource(data) : nullptr;
    if (bytes)
        ok = ParseTypeLibHeader(static_cast<const uint8_t*>(bytes), SizeofResource(module, resource), header, reason);
    else
        Fail(reason, "the module has no TYPELIB 1 resource");
    FreeLibrary(module);
    return ok;
}

const char16_t* SysKindName(SYSKIND kind) {
    switch (kind) {
    case SYS_WIN16: return u"win16";
    case SYS_WIN32: return u"win32";
    case SYS_MAC: return u"mac";
    case SYS_WIN64: return u"win64";
    }
    return u"win32";
}

std::u16string VersionKeyPath(const GUID& guid, WORD major, WORD minor) {
    WCHAR text[40] = {};
    StringFromGUID2(guid, text, 40);
    return FormatW(u"TypeLib\\%s\\%x.%x", text, major, minor);
}

bool SetDefault(HKEY root, const std::u16string& subKey, const std::u16string& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR));
    const bool ok =
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

// Whether key has subkeys other than those named in `ignored`; an unreadable key counts as used.
bool HasOtherSubKeys(HKEY root, const std::u16string& path, std::initializer_list<const char16_t*> ignored) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return true;
    bool other = false;
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD length = 256;
        const LONG result = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS) {
            other = true;
            break;
        }
        bool skip = false;
        for (const char16_t* n : ignored) skip = skip || EqualsNoCase(name, n);
        if (!skip) {
            other = true;
            break;
        }
    }
    RegCloseKey(key);
    return other;
}

}  // namespace

bool ParseTypeLibHeader(const uint8_t* data, size_t size, TypeLibHeader* header, std::string* reason) {
    if (!data || size < kHeaderSize) return Fail(reason, "shorter than a type library header");
    if (ReadU32(data) != kMsftMagic) return Fail(reason, "not an MSFT type library");
    const uint32_t varFlags = ReadU32(data + 0x14);
    const int32_t typeInfoCount = ReadI32(data + 0x20);
    if (typeInfoCount < 0) return Fail(reason, "negative type description count");

    size_t pos = kHeaderSize + ((varFlags & kHelpDllFlag) ? 4 : 0);
    // The offsets of the type descriptions sit between the header and the segment directory.
    if (static_cast<uint64_t>(typeInfoCount) * 4 > size - std::min(size, pos)) return Fail(reason, "truncated");
    pos += static_cast<size_t>(typeInfoCount) * 4;
    if (size < pos || size - pos < kSegmentCount * kSegmentSize) return Fail(reason, "truncated segment directory");

    Segment segments[kSegmentCount];
    for (size_t i = 0; i < kSegmentCount; ++i) {
        const int32_t offset = ReadI32(data + pos + i * kSegmentSize);
        const int32_t length = ReadI32(data + pos + i * kSegmentSize + 4);
        if (offset == -1) continue;
        if (offset < 0 || length < 0 || static_cast<uint64_t>(offset) + static_cast<uint64_t>(length) > size)
            return Fail(reason, "segment outside the file");
        segments[i] = Segment{data + offset, static_cast<size_t>(length)};
    }

    TypeLibHeader result;
    const int32_t guidOffset = ReadI32(data + 0x08);
    const Segment& guids = segments[kGuidSegment];
    if (guidOffset < 0 || static_cast<size_t>(guidOffset) + kGuidEntrySize > guids.size)
        return Fail(reason, "library identifier outside the GUID table");
    const uint8_t* g = guids.data + guidOffset;
    result.guid.Data1 = ReadU32(g);
    result.guid.Data2 = ReadU16(g + 4);
    result.guid.Data3 = ReadU16(g + 6);
    std::memcpy(result.guid.Data4, g + 8, 8);

    // The word at 0x0C is the locale of the file's own strings; the library's declared locale,
    // the one it is registered under, follows it.
    result.lcid = ReadI32(data + 0x10);
    const uint32_t sysKind = varFlags & 0x0F;
    if (sysKind > SYS_WIN64) return Fail(reason, "unknown system kind");
    result.syskind = static_cast<SYSKIND>(sysKind);
    const uint32_t version = ReadU32(data + 0x18);
    result.majorVersion = static_cast<WORD>(version & 0xFFFF);
    result.minorVersion = static_cast<WORD>(version >> 16);
    result.flags = static_cast<WORD>(ReadU32(data + 0x1C));
    result.typeInfoCount = static_cast<DWORD>(typeInfoCount);
    result.helpContext = ReadU32(data + 0x2C);

    const Segment& names = segments[kNameSegment];
    if (!ReadName(names, ReadI32(data + 0x38), &result.name)) return Fail(reason, "library name outside the name table");

    const Segment& strings = segments[kStringSegment];
    const Segment& typeInfos = segments[kTypeInfoSegment];
    if (static_cast<uint64_t>(typeInfoCount) * kTypeInfoSize > typeInfos.size)
        return Fail(reason, "type descriptions outside their table");
    result.types.resize(static_cast<size_t>(typeInfoCount));
    for (size_t i = 0; i < result.types.size(); ++i) {
        const uint8_t* base = typeInfos.data + i * kTypeInfoSize;
        TypeDescription& type = result.types[i];
        const uint32_t kind = ReadU32(base) & 0x0F;
        if (kind >= TKIND_MAX) return Fail(reason, "unknown type kind");
        type.kind = static_cast<TYPEKIND>(kind);
        if (!ReadName(names, ReadI32(base + 0x34), &type.name)) return Fail(reason, "type name outside the name table");
        const int32_t typeHelp = ReadI32(base + 0x3C);
        if (typeHelp != -1) {
            if (!ReadString(strings, typeHelp, &type.helpString)) return Fail(reason, "type help string outside the table");
            type.hasHelpString = true;
        }
    }
    const int32_t helpString = ReadI32(data + 0x24);
    if (helpString != -1) {
        if (!ReadString(strings, helpString, &result.helpString)) return Fail(reason, "help string outside the table");
        result.hasHelpString = true;
    }
    const int32_t helpFile = ReadI32(data + 0x3C);
    // Without a help file the flag 0x10 is clear and the offset means nothing.
    if ((varFlags & 0x10) && helpFile != -1) {
        if (!ReadString(strings, helpFile, &result.helpFile)) return Fail(reason, "help file outside the table");
        result.hasHelpFile = true;
    }
    *header = std::move(result);
    return true;
}

ITypeLib* CreateTypeLib(const TypeLibHeader& header) { return new (std::nothrow) TypeLib(header); }

}  // namespace host

HRESULT LoadTypeLib(LPCOLESTR path, ITypeLib** lib) {
    if (!lib) return E_INVALIDARG;
    *lib = nullptr;
    if (!path) return E_INVALIDARG;
    host::TypeLibHeader header;
    std::string reason;
    std::vector<uint8_t> bytes;
    bool ok = false;
    if (!host::ReadDeviceFile(path, &bytes))
        reason = "cannot be read";
    else if (bytes.size() >= 4 && host::ReadU32(bytes.data()) == host::kMsftMagic)
        ok = host::ParseTypeLibHeader(bytes.data(), bytes.size(), &header, &reason);
    else
        ok = host::ReadModuleTypeLib(path, &header, &reason);
    if (!ok) {
        if (host::Device* device = host::CurrentDevice())
            device->Trace(u"LoadTypeLib " + std::u16string(path) + u": " + FromUtf8(reason) + u"\n");
        return TYPE_E_CANTLOADLIBRARY;
    }
    *lib = host::CreateTypeLib(header);
    return *lib ? S_OK : E_OUTOFMEMORY;
}

HRESULT RegisterTypeLib(ITypeLib* lib, LPCOLESTR fullPath, LPCOLESTR helpDir) {
    if (!lib || !fullPath) return E_INVALIDARG;
    TLIBATTR* attr = nullptr;
    HRESULT hr = lib->GetLibAttr(&attr);
    if (FAILED(hr)) return hr;
    BSTR name = nullptr, doc = nullptr;
    hr = lib->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, nullptr);
    if (FAILED(hr)) {
        lib->ReleaseTLibAttr(attr);
        return hr;
    }
    const std::u16string versionKey = host::VersionKeyPath(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum);
    const std::u16string title = doc ? doc : name ? name : u"";
    const std::u16string pathKey =
        versionKey + FormatW(u"\\%x\\%s", static_cast<unsigned>(attr->lcid), host::SysKindName(attr->syskind));
    const bool ok = host::SetDefault(HKEY_CLASSES_ROOT, versionKey, title) &&
                    host::SetDefault(HKEY_CLASSES_ROOT, pathKey, fullPath) &&
                    host::SetDefault(HKEY_CLASSES_ROOT, versionKey + u"\\FLAGS",
                                     FormatW(u"%u", static_cast<unsigned>(attr->wLibFlags))) &&
                    host::SetDefault(HKEY_CLASSES_ROOT, versionKey + u"\\HELPDIR", helpDir ? helpDir : u"");
    SysFreeString(name);
    SysFreeString(doc);
    lib->ReleaseTLibAttr(attr);
    return ok ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT UnRegisterTypeLib(REFGUID libId, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
    const std::u16string versionKey = host::VersionKeyPath(libId, major, minor);
    const std::u16string localeKey = versionKey + FormatW(u"\\%x", static_cast<unsigned>(lcid));
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (localeKey + u"\\" + host::SysKindName(syskind)).c_str(), 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return TYPE_E_REGISTRYACCESS;
    RegCloseKey(key);
    if (RegDeleteKeyW(HKEY_CLASSES_ROOT, (localeKey + u"\\" + host::SysKindName(syskind)).c_str()) != ERROR_SUCCESS)
        return TYPE_E_REGISTRYACCESS;
    // Other locales and system kinds of the same version keep the version key alive.
    if (!host::HasOtherSubKeys(HKEY_CLASSES_ROOT, localeKey, {})) RegDeleteKeyW(HKEY_CLASSES_ROOT, localeKey.c_str());
    if (!host::HasOtherSubKeys(HKEY_CLASSES_ROOT, versionKey, {u"FLAGS", u"HELPDIR"}))
        RegDeleteKeyW(HKEY_CLASSES_ROOT, versionKey.c_str());
    const std::u16string libKey = versionKey.substr(0, versionKey.rfind(u'\\'));
    if (!host::HasOtherSubKeys(HKEY_CLASSES_ROOT, libKey, {})) RegDeleteKeyW(HKEY_CLASSES_ROOT, libKey.c_str());
    return S_OK;
}
